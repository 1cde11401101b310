#pragma once

// Handles of kernel objects: the objects of the platform root's shared object table (events,
// mutexes, thread exits, message input, shared sections), which every process of the root sees.

#include <cstdint>

#include "platform/base/Status.h"

namespace platform {

// Names one object of the table: its slot and the generation of the slot's object, so that a
// reference to an object that has died never reaches a later object in the same slot. A value that
// owns nothing; any thread and any process of the root may use it. Generation 0 is the null object.
struct ObjectRef {
  std::uint32_t slot = 0;
  std::uint32_t generation = 0;

  bool IsNull() const noexcept { return generation == 0; }
  bool operator==(const ObjectRef&) const = default;
};

// Owns one of this process's handles to a kernel object; the object lives while any process holds
// a handle to it. Closing a null handle does nothing. Move-only; one thread at a time.
class KernelHandle {
 public:
  KernelHandle() = default;
  // Takes over a handle that the table has already counted for this process.
  explicit KernelHandle(ObjectRef object) noexcept : object_(object) {}
  KernelHandle(KernelHandle&& other) noexcept;
  KernelHandle& operator=(KernelHandle&& other) noexcept;
  KernelHandle(const KernelHandle&) = delete;
  KernelHandle& operator=(const KernelHandle&) = delete;
  ~KernelHandle();

  ObjectRef Ref() const noexcept { return object_; }
  explicit operator bool() const noexcept { return !object_.IsNull(); }
  void Close() noexcept;

 private:
  ObjectRef object_;
};

// The outcome of creating or opening an object: the handle (null on failure), whether a named
// object of that name existed already, and the system error code of a failure.
template <class Handle>
struct HandleResult {
  Handle handle;
  bool alreadyExisted = false;
  std::uint32_t error = ERROR_SUCCESS;
};

}  // namespace platform
