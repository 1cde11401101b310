#pragma once

// Events: auto-reset (a wait consumes the signal, so exactly one waiter sees it) or manual-reset
// (signalled until reset, waking every waiter), unnamed or named across the processes of the root.

#include <string_view>

#include "platform/kernel/KernelHandle.h"
#include "platform/kernel/Security.h"

namespace platform {

enum class EventReset { Auto, Manual };

// Owns one handle to an event. A null event (default, or after a failed creation) ignores Set,
// Reset and Close. Move-only; any thread may set or reset it.
class Event {
 public:
  Event() = default;

  // Creates the event with the access list of `security` (null: the default list), or opens the
  // existing event of that name (whose kind, state and list stay as they are; alreadyExisted
  // tells) with the rights `access`. An empty name makes an unnamed event. A name held by another
  // kind of object fails with ERROR_INVALID_HANDLE; an existing event whose list refuses this
  // process's user those rights with ERROR_ACCESS_DENIED; a full table with
  // ERROR_NO_SYSTEM_RESOURCES.
  static HandleResult<Event> Create(EventReset reset, bool initiallySet,
                                    std::u16string_view name = {},
                                    const SecurityDescriptor* security = nullptr,
                                    std::uint32_t access = EVENT_ALL_ACCESS);
  // Opens the existing event of that name with the rights `access`; ERROR_FILE_NOT_FOUND when
  // there is none, ERROR_ACCESS_DENIED when its list refuses them.
  static HandleResult<Event> Open(std::u16string_view name,
                                  std::uint32_t access = EVENT_ALL_ACCESS);

  // False on a null or dead handle, or one opened without EVENT_MODIFY_STATE.
  bool Set() const;
  // Sets the event that `target` names without a handle of this process: what a process does to
  // another thread's message input, which no access list guards. False when it is dead or not an
  // event.
  static bool Set(ObjectRef target);
  bool Reset() const;

  ObjectRef Ref() const noexcept { return handle_.Ref(); }
  explicit operator bool() const noexcept { return static_cast<bool>(handle_); }
  void Close() noexcept { handle_.Close(); }

 private:
  explicit Event(KernelHandle handle) noexcept : handle_(std::move(handle)) {}
  static HandleResult<Event> FromHandle(HandleResult<KernelHandle> result);

  KernelHandle handle_;
};

}  // namespace platform
