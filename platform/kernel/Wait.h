#pragma once

// Waits on kernel objects, and sleep. Every time-out and sleep runs on the layer's clock (see
// TimeScale in platform/base/Time.h).

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/kernel/KernelHandle.h"

namespace platform {

using Timeout = std::chrono::milliseconds;
inline constexpr Timeout kInfinite = Timeout::max();
inline constexpr std::size_t kMaxWaitObjects = 64;

enum class WaitStatus { Signalled, TimedOut, Failed };

struct WaitResult {
  WaitStatus status = WaitStatus::Failed;
  std::size_t index = 0;                // the object that ended the wait: signalled, or bad
  std::uint32_t error = ERROR_SUCCESS;  // the system error code, when failed

  bool Signalled(std::size_t object) const noexcept {
    return status == WaitStatus::Signalled && index == object;
  }
};

// Waits until one of the objects is signalled and returns the lowest such index: an event while it
// is set (an auto-reset event is consumed, and only that one), a mutex when it is free or already
// the calling thread's (the wait takes it), a thread exit once the thread has ended. Times out
// after `timeout`. Fails at once, never spinning, when an object is null or has died
// (ERROR_INVALID_HANDLE, also while waiting) or there are more than kMaxWaitObjects objects
// (ERROR_INVALID_PARAMETER). Any thread.
WaitResult WaitForObjects(std::span<const ObjectRef> objects, Timeout timeout);
WaitResult WaitForObject(ObjectRef object, Timeout timeout);

// The same, and also ends when the calling thread's message input (MessageInput.h) is set: then
// the index is objects.size(). The input stays set until the thread consumes it.
WaitResult WaitForObjectsOrInput(std::span<const ObjectRef> objects, Timeout timeout);

// Sleeps for the time on the layer's clock; 0 gives up the rest of the time slice.
void Sleep(Timeout duration);

}  // namespace platform
