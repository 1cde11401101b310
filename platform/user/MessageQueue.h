#pragma once

// A thread's message queue. Posted messages arrive on the queue's socket under the root (a
// stream connection from each posting process), so a poster that dies mid-way can corrupt
// nothing; each post then sets the thread's message input, on which the owner waits. Messages
// sent from another thread of the process wait in the queue until the owner serves them, which
// it does whenever it retrieves or waits for messages. Internal to the layer.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "platform/kernel/KernelHandle.h"
#include "platform/kernel/Posix.h"
#include "platform/kernel/Wait.h"
#include "platform/user/Hook.h"
#include "platform/user/Messages.h"

namespace platform::detail {

// What crosses a queue's socket: a posted message, or a notice that the thread's hooks changed.
struct QueueWire {
  std::uint32_t kind = 0;
  HWND hwnd = 0;
  UINT message = 0;
  std::uint32_t time = 0;
  std::uint64_t wParam = 0;
  std::int64_t lParam = 0;
};
inline constexpr std::uint32_t kWirePosted = 1;
inline constexpr std::uint32_t kWireHooksChanged = 2;

// Puts one record into the queue of a thread of any process of the root and sets its message
// input. ERROR_INVALID_THREAD_ID when the thread has no queue, ERROR_NOT_ENOUGH_QUOTA when its
// queue is full. Any thread.
std::uint32_t DeliverToThread(std::uint32_t thread, const QueueWire& wire);

// Owned by its thread (which alone calls the members marked "owner"); other threads of the
// process send through OfThread. Ends with its thread.
class ThreadQueue {
 public:
  // The calling thread's queue, made at its first use; null when it cannot be made.
  static ThreadQueue* ForThisThread();
  // The calling thread's queue if it has one.
  static ThreadQueue* IfExists() noexcept;
  // The queue of a thread of this process, while that thread runs.
  static std::shared_ptr<ThreadQueue> OfThread(std::uint32_t thread);

  // Owner: the next message that passes the filter (window 0: any; range 0..0: any message),
  // taken out when `remove`; nothing when there is none.
  std::optional<MSG> Retrieve(HWND window, UINT first, UINT last, bool remove);
  // Owner: waits for a message that passes the filter: 1, 0 for WM_QUIT, -1 when the wait
  // fails.
  int Get(MSG& message, HWND window, UINT first, UINT last);
  // Owner: waits for one of the objects or, unless the mask is 0, for input that is new since the
  // thread last looked, sent messages served by this wait included (then the index is
  // objects.size()).
  WaitResult Wait(std::span<const ObjectRef> objects, Timeout timeout, UINT wakeMask);
  // Owner.
  void PostQuit(int exitCode);
  void SetTimer(HWND window, std::uintptr_t id, std::uint32_t elapse);
  bool KillTimer(HWND window, std::uintptr_t id);
  // Owner: drops the timers and queued messages of a window that is destroyed.
  void ForgetWindow(HWND window);
  HookChain& Hooks() noexcept { return hooks_; }

  // Any other thread of the process: the owner runs the message and the caller waits for its
  // result; 0 when the thread ends first. A caller with a queue of its own (`senderQueue`)
  // serves the messages sent to it meanwhile, so two threads sending to each other go on.
  LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
               ThreadQueue* senderQueue);

  std::uint32_t Thread() const noexcept { return thread_; }

  ThreadQueue(std::uint32_t thread, ObjectRef input, UniqueFd listener) noexcept;
  ThreadQueue(const ThreadQueue&) = delete;
  ThreadQueue& operator=(const ThreadQueue&) = delete;
  ~ThreadQueue();
  // Owner, at the thread's end: later sends fail and waiting senders get 0.
  void Close();

 private:
  using Clock = std::chrono::steady_clock;

  struct SentMessage {
    MSG message;
    ObjectRef senderInput;  // set when it is done, for a sender that serves its own queue
    LRESULT result = 0;
    bool done = false;
    std::condition_variable finished;
  };
  struct Timer {
    HWND window = 0;
    std::uintptr_t id = 0;
    Clock::duration period{};
    Clock::time_point due;
    bool reported = false;  // its firing was already counted as new input
  };
  // One posting process's connection and the bytes of a record not yet whole.
  struct Connection {
    UniqueFd socket;
    std::vector<char> partial;
  };

  // Owner: takes what arrived, serves sent messages (true when there were any), loads or
  // unloads hooks.
  bool Pump();
  void ReadIncoming();
  bool ReadConnection(Connection& connection);
  bool ServeSent();
  static void Finish(SentMessage& sent);
  bool IsDone(const SentMessage& sent);
  void NoteDueTimers(Clock::time_point now);
  std::optional<Clock::time_point> NextTimer(bool unreportedOnly) const;

  const std::uint32_t thread_;
  const ObjectRef input_;
  const UniqueFd listener_;
  std::vector<Connection> connections_;
  std::deque<MSG> posted_;
  std::vector<Timer> timers_;
  std::optional<int> quit_;
  bool newInput_ = false;
  bool hooksChanged_ = true;
  HookChain hooks_;

  std::mutex sentLock_;
  std::deque<std::shared_ptr<SentMessage>> sent_;  // guarded by sentLock_
  bool closed_ = false;                            // guarded by sentLock_
};

}  // namespace platform::detail
