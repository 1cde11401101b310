#include "platform/user/MessageQueue.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <map>

#include "platform/base/NoDestructor.h"
#include "platform/base/Process.h"
#include "platform/base/Time.h"
#include "platform/kernel/Event.h"
#include "platform/kernel/MessageInput.h"
#include "platform/user/LocalWindows.h"
#include "platform/user/ShellProcess.h"
#include "platform/user/UserRegistry.h"

namespace platform::detail {
namespace {

using Clock = std::chrono::steady_clock;

// The layer's milliseconds until a real time point, rounded up so that a wait never ends early.
Timeout LayerTimeUntil(Clock::time_point when) {
  const double real = std::chrono::duration<double, std::milli>(when - Clock::now()).count();
  return real <= 0 ? Timeout::zero() : Timeout(static_cast<Timeout::rep>(std::ceil(real * TimeScale())));
}

// This process's connections to the queues it posts to, one per thread. Any thread.
class PostConnections {
 public:
  std::uint32_t Deliver(std::uint32_t thread, const QueueWire& wire) {
    std::lock_guard lock(lock_);
    DropEnded();
    for (int attempt = 0; attempt < 2; ++attempt) {
      auto found = connections_.find(thread);
      if (found == connections_.end()) {
        std::optional<Target> target = Connect(thread);
        if (!target) {
          return ERROR_INVALID_THREAD_ID;
        }
        found = connections_.emplace(thread, std::move(*target)).first;
      }
      const ssize_t written =
          ::send(found->second.socket.Get(), &wire, sizeof wire, MSG_DONTWAIT | MSG_NOSIGNAL);
      if (written == static_cast<ssize_t>(sizeof wire)) {
        Event::Set(found->second.input);
        return ERROR_SUCCESS;
      }
      if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        return ERROR_NOT_ENOUGH_QUOTA;
      }
      // The queue went (perhaps the thread id now names another thread's queue): look again.
      connections_.erase(found);
    }
    return ERROR_INVALID_THREAD_ID;
  }

  // A thread of this process whose queue has closed: nothing is posted to it again.
  void Forget(std::uint32_t thread) {
    std::lock_guard lock(lock_);
    connections_.erase(thread);
  }

 private:
  struct Target {
    UniqueFd socket;
    ObjectRef input;
  };

  // Drops the connections to queues whose threads have ended (the queue's end closed), so that
  // a poster keeps no descriptor for a thread it once posted to; one look at all of them.
  void DropEnded() {
    std::vector<pollfd> peers;
    for (const auto& [thread, target] : connections_) {
      peers.push_back({target.socket.Get(), POLLRDHUP, 0});
    }
    if (peers.empty() || ::poll(peers.data(), peers.size(), 0) <= 0) {
      return;
    }
    auto peer = peers.begin();
    for (auto entry = connections_.begin(); entry != connections_.end(); ++peer) {
      const bool ended = (peer->revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
      entry = ended ? connections_.erase(entry) : std::next(entry);
    }
  }

  static std::optional<Target> Connect(std::uint32_t thread) {
    UserRegistry& registry = UserRegistry::Instance();
    const std::optional<QueueRecord> record = registry.ReadQueue(thread);
    const std::optional<sockaddr_un> address =
        record ? detail::LocalSocketAddress(registry.QueueSocket(thread)) : std::nullopt;
    if (!address) {
      return std::nullopt;
    }
    UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!socket || ::connect(socket.Get(), reinterpret_cast<const sockaddr*>(&*address),
                             sizeof *address) != 0) {
      return std::nullopt;
    }
    return Target{std::move(socket), record->input};
  }

  std::mutex lock_;
  std::map<std::uint32_t, Target> connections_;  // guarded by lock_
};

// The queues of this process's threads, for senders on other threads.
class ProcessQueues {
 public:
  void Add(const std::shared_ptr<ThreadQueue>& queue) {
    std::lock_guard lock(lock_);
    queues_[queue->Thread()] = queue;
  }
  void Remove(std::uint32_t thread) {
    std::lock_guard lock(lock_);
    queues_.erase(thread);
  }
  std::shared_ptr<ThreadQueue> Find(std::uint32_t thread) {
    std::lock_guard lock(lock_);
    const auto found = queues_.find(thread);
    return found == queues_.end() ? nullptr : found->second.lock();
  }

 private:
  std::mutex lock_;
  std::map<std::uint32_t, std::weak_ptr<ThreadQueue>> queues_;  // guarded by lock_
};

ProcessQueues& Queues() {
  static NoDestructor<ProcessQueues> queues;
  return *queues;
}

PostConnections& ProcessPostConnections() {
  static NoDestructor<PostConnections> connections;
  return *connections;
}

thread_local bool t_hasQueue = false;

// Holds the calling thread's queue; at the thread's end the queue closes and its windows go.
class QueueOwner {
 public:
  QueueOwner() {
    const ObjectRef input = MessageInput::ForThisThread().Ref();
    const std::uint32_t thread = CurrentThreadId();
    UserRegistry& registry = UserRegistry::Instance();
    registry.ReclaimDeadQueues();
    const std::filesystem::path path = registry.QueueSocket(thread);
    const std::optional<sockaddr_un> address = detail::LocalSocketAddress(path);
    UniqueFd listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (input.IsNull() || !address || !listener) {
      return;
    }
    ::unlink(path.c_str());  // a dead thread's socket of the same id
    if (::bind(listener.Get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0 ||
        ::listen(listener.Get(), SOMAXCONN) != 0 ||
        !registry.WriteQueue({thread, ThisProcess(), input})) {
      return;
    }
    queue_ = std::make_shared<ThreadQueue>(thread, input, std::move(listener));
    Queues().Add(queue_);
  }
  QueueOwner(const QueueOwner&) = delete;
  QueueOwner& operator=(const QueueOwner&) = delete;
  ~QueueOwner() {
    t_hasQueue = false;
    if (!queue_) {
      return;
    }
    Queues().Remove(queue_->Thread());
    UserRegistry::Instance().RemoveQueue(queue_->Thread());
    ProcessPostConnections().Forget(queue_->Thread());
    queue_->Close();
    ForgetThreadWindows(queue_->Thread());
  }

  ThreadQueue* Get() const noexcept { return queue_.get(); }

 private:
  std::shared_ptr<ThreadQueue> queue_;
};

QueueOwner& ThisThreadsOwner() {
  thread_local QueueOwner owner;
  t_hasQueue = true;
  return owner;
}

}  // namespace

std::uint32_t DeliverToThread(std::uint32_t thread, const QueueWire& wire) {
  return ProcessPostConnections().Deliver(thread, wire);
}

ThreadQueue* ThreadQueue::ForThisThread() { return ThisThreadsOwner().Get(); }

ThreadQueue* ThreadQueue::IfExists() noexcept {
  return t_hasQueue ? ThisThreadsOwner().Get() : nullptr;
}

std::shared_ptr<ThreadQueue> ThreadQueue::OfThread(std::uint32_t thread) {
  return Queues().Find(thread);
}

ThreadQueue::ThreadQueue(std::uint32_t thread, ObjectRef input, UniqueFd listener) noexcept
    : thread_(thread), input_(input), listener_(std::move(listener)) {}

ThreadQueue::~ThreadQueue() = default;

void ThreadQueue::Close() {
  {
    std::lock_guard lock(sentLock_);
    closed_ = true;
    for (const std::shared_ptr<SentMessage>& sent : sent_) {
      Finish(*sent);
    }
    sent_.clear();
  }
  hooks_.Clear();
}

bool ThreadQueue::Pump() {
  MessageInput::ForThisThread().Consume();
  ReadIncoming();
  const bool served = ServeSent();
  if (hooksChanged_) {
    hooksChanged_ = false;
    hooks_.Refresh(ThisProcess(), thread_);
  }
  NoteDueTimers(Clock::now());
  return served;
}

void ThreadQueue::ReadIncoming() {
  for (;;) {
    UniqueFd accepted(::accept4(listener_.Get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (!accepted) {
      break;
    }
    connections_.push_back({std::move(accepted), {}});
  }
  std::erase_if(connections_, [this](Connection& connection) { return !ReadConnection(connection); });
}

// False once the poster has closed its end.
bool ThreadQueue::ReadConnection(Connection& connection) {
  char buffer[64 * sizeof(QueueWire)];
  for (;;) {
    const ssize_t got = ::recv(connection.socket.Get(), buffer, sizeof buffer, 0);
    if (got == 0) {
      return false;
    }
    if (got < 0) {
      return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    }
    connection.partial.insert(connection.partial.end(), buffer, buffer + got);
    std::size_t offset = 0;
    for (; connection.partial.size() - offset >= sizeof(QueueWire); offset += sizeof(QueueWire)) {
      QueueWire wire;
      std::memcpy(&wire, connection.partial.data() + offset, sizeof wire);
      if (wire.kind == kWireHooksChanged) {
        hooksChanged_ = true;
      } else if (wire.kind == kWirePosted) {
        posted_.push_back({wire.hwnd, wire.message, static_cast<WPARAM>(wire.wParam),
                           static_cast<LPARAM>(wire.lParam), wire.time});
        newInput_ = true;
      }
    }
    connection.partial.erase(connection.partial.begin(),
                             connection.partial.begin() + static_cast<std::ptrdiff_t>(offset));
  }
}

bool ThreadQueue::ServeSent() {
  for (bool served = false;; served = true) {
    std::shared_ptr<SentMessage> sent;
    {
      std::lock_guard lock(sentLock_);
      if (sent_.empty()) {
        return served;
      }
      sent = std::move(sent_.front());
      sent_.pop_front();
    }
    const MSG& message = sent->message;
    const LRESULT result =
        CallWindowProcedure(message.hwnd, message.message, message.wParam, message.lParam);
    std::lock_guard lock(sentLock_);
    sent->result = result;
    Finish(*sent);
  }
}

// Under the receiving queue's sentLock_.
void ThreadQueue::Finish(SentMessage& sent) {
  sent.done = true;
  sent.finished.notify_all();
  if (!sent.senderInput.IsNull()) {
    Event::Set(sent.senderInput);
  }
}

bool ThreadQueue::IsDone(const SentMessage& sent) {
  std::lock_guard lock(sentLock_);
  return sent.done;
}

LRESULT ThreadQueue::Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                          ThreadQueue* senderQueue) {
  auto sent = std::make_shared<SentMessage>();
  sent->message = {window, message, wParam, lParam, TickCount()};
  if (senderQueue != nullptr) {
    sent->senderInput = senderQueue->input_;
  }
  std::unique_lock lock(sentLock_);
  if (closed_) {
    return 0;
  }
  sent_.push_back(sent);
  lock.unlock();
  Event::Set(input_);
  // A sender with a queue serves it until the receiver, done, sets the sender's input; the
  // pump consumes that input before the look at `done`, so no wake-up is lost.
  bool serving = senderQueue != nullptr;
  while (serving) {
    senderQueue->Pump();
    serving = !IsDone(*sent) && WaitForObjectsOrInput({}, kInfinite).status != WaitStatus::Failed;
  }
  lock.lock();
  sent->finished.wait(lock, [&sent] { return sent->done; });
  return sent->result;
}

void ThreadQueue::NoteDueTimers(Clock::time_point now) {
  for (Timer& timer : timers_) {
    if (!timer.reported && now >= timer.due) {
      timer.reported = true;
      newInput_ = true;
    }
  }
}

std::optional<Clock::time_point> ThreadQueue::NextTimer(bool unreportedOnly) const {
  std::optional<Clock::time_point> next;
  for (const Timer& timer : timers_) {
    if ((!unreportedOnly || !timer.reported) && (!next || timer.due < *next)) {
      next = timer.due;
    }
  }
  return next;
}

std::optional<MSG> ThreadQueue::Retrieve(HWND window, UINT first, UINT last, bool remove) {
  Pump();
  newInput_ = false;
  const auto passes = [&](HWND target, UINT message) {
    return (window == 0 || target == window) &&
           ((first == 0 && last == 0) || (message >= first && message <= last));
  };
  std::optional<MSG> taken;
  const auto posted = std::find_if(posted_.begin(), posted_.end(), [&](const MSG& message) {
    return passes(message.hwnd, message.message);
  });
  if (posted != posted_.end()) {
    taken = *posted;
    if (remove) {
      posted_.erase(posted);
    }
  } else if (quit_ && passes(0, WM_QUIT)) {
    taken = MSG{0, WM_QUIT, static_cast<WPARAM>(*quit_), 0, TickCount()};
    if (remove) {
      quit_.reset();
    }
  } else {
    const Clock::time_point now = Clock::now();
    const auto timer = std::find_if(timers_.begin(), timers_.end(), [&](const Timer& candidate) {
      return now >= candidate.due && passes(candidate.window, WM_TIMER);
    });
    if (timer != timers_.end()) {
      taken = MSG{timer->window, WM_TIMER, timer->id, 0, TickCount()};
      if (remove) {
        timer->due = now + timer->period;
        timer->reported = false;
      }
    }
  }
  if (taken) {
    hooks_.Call(remove, *taken);
  }
  return taken;
}

int ThreadQueue::Get(MSG& message, HWND window, UINT first, UINT last) {
  for (;;) {
    if (std::optional<MSG> taken = Retrieve(window, first, last, true)) {
      message = *taken;
      return message.message == WM_QUIT ? 0 : 1;
    }
    NoteInputIdle();
    const std::optional<Clock::time_point> timer = NextTimer(false);
    if (WaitForObjectsOrInput({}, timer ? LayerTimeUntil(*timer) : kInfinite).status ==
        WaitStatus::Failed) {
      return -1;
    }
  }
}

WaitResult ThreadQueue::Wait(std::span<const ObjectRef> objects, Timeout timeout, UINT wakeMask) {
  const std::optional<Clock::time_point> deadline =
      timeout == kInfinite ? std::nullopt : std::optional(Clock::now() + RealDuration(timeout));
  for (;;) {
    const bool served = Pump();
    const bool queuedCounts = (wakeMask & ~QS_SENDMESSAGE) != 0;  // posts, timers, quit
    if ((queuedCounts && newInput_) || (served && (wakeMask & QS_SENDMESSAGE) != 0)) {
      return {WaitStatus::Signalled, objects.size(), ERROR_SUCCESS};
    }
    std::optional<Clock::time_point> until = deadline;
    const std::optional<Clock::time_point> timer =
        queuedCounts ? NextTimer(true) : std::nullopt;
    if (timer && (!until || *timer < *until)) {
      until = timer;
    }
    const Timeout step = until ? LayerTimeUntil(*until) : kInfinite;
    const WaitResult result =
        wakeMask != 0 ? WaitForObjectsOrInput(objects, step) : WaitForObjects(objects, step);
    if (result.status == WaitStatus::Failed ||
        (result.status == WaitStatus::Signalled && result.index < objects.size())) {
      return result;
    }
    if (result.status == WaitStatus::TimedOut && deadline && Clock::now() >= *deadline) {
      return result;
    }
  }
}

void ThreadQueue::PostQuit(int exitCode) {
  quit_ = exitCode;
  newInput_ = true;
}

void ThreadQueue::SetTimer(HWND window, std::uintptr_t id, std::uint32_t elapse) {
  // The platform's shortest period, so that a timer of 0 fires often but never spins.
  constexpr std::uint32_t kShortestElapse = 10;
  const Clock::duration period = std::chrono::duration_cast<Clock::duration>(
      RealDuration(Timeout(std::max(elapse, kShortestElapse))));
  KillTimer(window, id);
  timers_.push_back({window, id, period, Clock::now() + period, false});
}

bool ThreadQueue::KillTimer(HWND window, std::uintptr_t id) {
  return std::erase_if(timers_, [&](const Timer& timer) {
           return timer.window == window && timer.id == id;
         }) != 0;
}

void ThreadQueue::ForgetWindow(HWND window) {
  std::erase_if(timers_, [window](const Timer& timer) { return timer.window == window; });
  std::erase_if(posted_, [window](const MSG& message) { return message.hwnd == window; });
}

}  // namespace platform::detail
