#pragma once

// VARIANT, the tagged value of dispatch calls and events, and Variant, its owner.

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/base/Bstr.h"
#include "platform/base/Status.h"
#include "platform/com/Interface.h"
#include "platform/com/SafeArray.h"
#include "platform/com/VarType.h"

struct IDispatch;

// vt tells which member holds the value: VT_EMPTY none, VT_I4 lVal, VT_BOOL boolVal, VT_R8
// dblVal, VT_BSTR bstrVal (owned), VT_UNKNOWN punkVal and VT_DISPATCH pdispVal (one reference
// owned, may be null), VT_ARRAY | VT_BSTR parray (owned).
struct VARIANT {
  VARTYPE vt = VT_EMPTY;
  union {
    std::int32_t lVal = 0;
    VARIANT_BOOL boolVal;
    double dblVal;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
    SAFEARRAY* parray;
  };
};

void VariantInit(VARIANT* value) noexcept;
// Frees what the value owns and makes it VT_EMPTY; DISP_E_BADVARTYPE (value untouched) for a type
// outside the list above, DISP_E_ARRAYISLOCKED for a locked array.
HRESULT VariantClear(VARIANT* value) noexcept;
// Clears `*target`, then makes it a deep copy of `*source` (texts and arrays copied, interfaces
// with a new reference).
HRESULT VariantCopy(VARIANT* target, const VARIANT* source);

namespace platform {

// Owns the contents of one VARIANT and clears them on destruction. Belongs to one thread.
class Variant {
 public:
  Variant() noexcept = default;
  Variant(const Variant& other);
  Variant(Variant&& other) noexcept;
  Variant& operator=(Variant other) noexcept;
  ~Variant();

  static Variant FromInt32(std::int32_t value) noexcept;
  static Variant FromBool(VARIANT_BOOL value) noexcept;
  static Variant FromDouble(double value) noexcept;
  static Variant FromText(std::u16string_view text);
  static Variant FromUnknown(IUnknown* object) noexcept;  // adds a reference
  static Variant FromDispatch(IDispatch* object) noexcept;
  static Variant FromTextArray(SAFEARRAY* array);  // copies the array
  // Takes over what `value` owns; `value` becomes empty.
  static Variant Adopt(VARIANT& value) noexcept;

  const VARIANT& operator*() const noexcept { return m_value; }
  const VARIANT* operator->() const noexcept { return &m_value; }
  // For out-parameters: clears the value and hands out the slot.
  VARIANT* put() noexcept;
  // Hands what the value owns to `target`, which must be empty; this becomes empty.
  void Detach(VARIANT& target) noexcept;

 private:
  VARIANT m_value;
};

// Positional arguments of one dispatch call, kept as VARIANTs in the call's reverse order (the
// last argument first), and cleared on destruction. Belongs to one thread.
class ArgumentList {
 public:
  ArgumentList() = default;
  ArgumentList(const ArgumentList&) = delete;
  ArgumentList& operator=(const ArgumentList&) = delete;
  ~ArgumentList();

  // Arguments are pushed first to last; each is stored in front of those already there.
  void Push(Variant value);
  VARIANT* data() noexcept { return m_values.data(); }
  std::uint32_t size() const noexcept { return static_cast<std::uint32_t>(m_values.size()); }

 private:
  std::vector<VARIANT> m_values;
};

}  // namespace platform
