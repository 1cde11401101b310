#pragma once

// Threads of this process with an exit object that any wait can use.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/base/Module.h"
#include "platform/kernel/Event.h"
#include "platform/kernel/Wait.h"

namespace platform {

// Owns one running thread. A thread must be joined: Join ends the ownership once the thread has
// ended, and the destructor joins, waiting without a time-out, a thread that its owner has not
// joined. Move-only; the owning thread calls Join, any thread may wait on ExitRef.
class Thread {
 public:
  using Procedure = std::uint32_t (*)(void* argument);

  Thread() = default;
  Thread(Thread&&) noexcept = default;
  Thread& operator=(Thread&& other) noexcept;
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  ~Thread();

  // Starts `procedure(argument)` at once. Not joinable when the thread or its exit object cannot
  // be made.
  static Thread Start(Procedure procedure, void* argument);
  static Thread Start(std::function<std::uint32_t()> body);

  // True from the start until the thread has been joined.
  bool Joinable() const noexcept { return state_ && state_->thread.joinable(); }
  // Signalled once the procedure has returned; lives as long as this object (null for a thread
  // that never started).
  ObjectRef ExitRef() const noexcept;
  // The thread's system id (as CurrentThreadId reports it inside the thread); 0 for a thread that
  // never started.
  std::uint32_t Id() const noexcept;
  // The procedure's result once it has returned.
  std::optional<std::uint32_t> ExitCode() const noexcept;

  // Waits up to `timeout` for the thread to end; true when it has ended and is now joined (a
  // thread that never started or was joined before joins at once). Waits on the thread's own end,
  // not on the object table, so a full table never makes it fail.
  bool Join(Timeout timeout = kInfinite);

 private:
  struct State {
    Event exit;
    std::uint32_t id = 0;
    std::atomic<bool> ended{false};  // stored under endMutex, read without it
    std::uint32_t exitCode = 0;      // written before `ended`
    std::mutex endMutex;
    std::condition_variable endChanged;
    std::thread thread;
  };

  bool AwaitEnd(Timeout timeout);

  explicit Thread(std::unique_ptr<State> state) noexcept : state_(std::move(state)) {}

  std::unique_ptr<State> state_;
};

// A library's own thread, as its last act, hands itself and the reference it keeps to its library
// over to the layer (FreeLibraryAndExitThread): the layer joins the thread once it has ended and
// then gives the reference back, so the library can leave the process with its thread without any
// of its code still running then. The layer's thread that does it is joined as the process ends.
// Any thread.
void FreeLibraryOnceEnded(Thread thread, Module library);

}  // namespace platform
