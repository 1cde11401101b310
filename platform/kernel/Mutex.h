#pragma once

// Mutexes across the processes of the root: owned by one thread at a time, which may take it again
// (each take needs its release). A wait on the mutex takes it. When the owning process dies, the
// mutex is free again.

#include <string_view>

#include "platform/kernel/KernelHandle.h"
#include "platform/kernel/Security.h"

namespace platform {

// Owns one handle to a mutex. Move-only; any thread may wait on it, its owner releases it.
class Mutex {
 public:
  Mutex() = default;

  // Creates the mutex with the access list of `security` (null: the default list), owned by the
  // calling thread when `initiallyOwned`, or opens the existing mutex of that name (not taking
  // it; alreadyExisted tells). Access and errors as for events.
  static HandleResult<Mutex> Create(bool initiallyOwned, std::u16string_view name = {},
                                    const SecurityDescriptor* security = nullptr);
  static HandleResult<Mutex> Open(std::u16string_view name,
                                  std::uint32_t access = MUTEX_ALL_ACCESS);

  // Gives back one take of the calling thread; false when it does not own the mutex.
  bool Release() const;

  ObjectRef Ref() const noexcept { return handle_.Ref(); }
  explicit operator bool() const noexcept { return static_cast<bool>(handle_); }
  void Close() noexcept { handle_.Close(); }

 private:
  explicit Mutex(KernelHandle handle) noexcept : handle_(std::move(handle)) {}
  static HandleResult<Mutex> FromHandle(HandleResult<KernelHandle> result);

  KernelHandle handle_;
};

}  // namespace platform
