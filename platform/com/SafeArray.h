#pragma once

// One-dimensional SAFEARRAY of BSTR, the array kind that the system's interfaces pass.

#include <cstdint>
#include <utility>

#include "platform/base/Bstr.h"
#include "platform/base/Status.h"
#include "platform/com/VarType.h"

inline constexpr HRESULT DISP_E_ARRAYISLOCKED = MakeHresult(0x8002000D);
inline constexpr HRESULT DISP_E_BADVARTYPE = MakeHresult(0x80020008);

// Opaque: reached only through the functions below. An array belongs to one thread at a time.
struct SAFEARRAY;

// A vector of `count` empty BSTRs indexed from `lowerBound`; only VT_BSTR is supported (null
// for another type). Throws std::bad_alloc when memory runs out.
SAFEARRAY* SafeArrayCreateVector(VARTYPE type, std::int32_t lowerBound, std::uint32_t count);
// Frees the array and its texts: E_INVALIDARG for null, DISP_E_ARRAYISLOCKED while locked.
HRESULT SafeArrayDestroy(SAFEARRAY* array) noexcept;
// A deep copy into `*copy` (null for a null array).
HRESULT SafeArrayCopy(SAFEARRAY* array, SAFEARRAY** copy);
std::uint32_t SafeArrayGetDim(SAFEARRAY* array) noexcept;
// Bounds of dimension 1 (the only one): DISP_E_BADINDEX for another dimension.
HRESULT SafeArrayGetLBound(SAFEARRAY* array, std::uint32_t dimension, std::int32_t* bound) noexcept;
HRESULT SafeArrayGetUBound(SAFEARRAY* array, std::uint32_t dimension, std::int32_t* bound) noexcept;
// Element access by index (within the bounds, else DISP_E_BADINDEX). Get hands out a copy for
// the caller to free; Put stores a copy of `text`.
HRESULT SafeArrayGetElement(SAFEARRAY* array, const std::int32_t* index, BSTR* text);
HRESULT SafeArrayPutElement(SAFEARRAY* array, const std::int32_t* index, BSTR text);
// While an array is locked it cannot be destroyed; locks nest.
HRESULT SafeArrayLock(SAFEARRAY* array) noexcept;
HRESULT SafeArrayUnlock(SAFEARRAY* array) noexcept;  // E_UNEXPECTED when not locked

namespace platform {

// Owns one SAFEARRAY; destroys it on destruction.
class UniqueSafeArray {
 public:
  UniqueSafeArray() noexcept = default;
  explicit UniqueSafeArray(SAFEARRAY* array) noexcept : m_array(array) {}
  UniqueSafeArray(UniqueSafeArray&& other) noexcept : m_array(other.release()) {}
  UniqueSafeArray& operator=(UniqueSafeArray&& other) noexcept {
    reset(other.release());
    return *this;
  }
  ~UniqueSafeArray() { reset(); }

  SAFEARRAY* get() const noexcept { return m_array; }
  SAFEARRAY* release() noexcept { return std::exchange(m_array, nullptr); }
  void reset(SAFEARRAY* array = nullptr) noexcept {
    if (m_array != nullptr) SafeArrayDestroy(m_array);
    m_array = array;
  }

 private:
  SAFEARRAY* m_array = nullptr;
};

// Holds one lock on an array for its lifetime; `locked()` tells whether the lock was taken.
class SafeArrayLockGuard {
 public:
  explicit SafeArrayLockGuard(SAFEARRAY* array) noexcept
      : m_array(SUCCEEDED(SafeArrayLock(array)) ? array : nullptr) {}
  SafeArrayLockGuard(const SafeArrayLockGuard&) = delete;
  SafeArrayLockGuard& operator=(const SafeArrayLockGuard&) = delete;
  ~SafeArrayLockGuard() {
    if (m_array != nullptr) SafeArrayUnlock(m_array);
  }
  bool locked() const noexcept { return m_array != nullptr; }

 private:
  SAFEARRAY* m_array;
};

}  // namespace platform
