#include "platform/kernel/Thread.h"

#include <deque>
#include <future>
#include <system_error>
#include <utility>

#include "platform/base/Process.h"
#include "platform/base/Time.h"

namespace platform {
namespace {

// Joins the threads handed over to it and then frees their libraries, one after the other, on a
// thread of its own that starts with the first hand-over and is joined by the destructor, at the
// process's end. Any thread hands over.
class LibraryThreadReaper {
 public:
  static LibraryThreadReaper& Instance() {
    static LibraryThreadReaper s_Reaper;
    return s_Reaper;
  }
  LibraryThreadReaper(const LibraryThreadReaper&) = delete;
  LibraryThreadReaper& operator=(const LibraryThreadReaper&) = delete;
  ~LibraryThreadReaper() {
    std::thread reaper;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
      reaper = std::move(reaper_);
    }
    changed_.notify_one();
    if (reaper.joinable()) {
      reaper.join();
    }
  }

  void HandOver(Thread thread, Module library) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      handed_.emplace_back(std::move(thread), std::move(library));
      // Once the process ends, what comes late is joined and freed with the list.
      if (!reaper_.joinable() && !stopping_) {
        reaper_ = std::thread([this] { Run(); });
      }
    }
    changed_.notify_one();
  }

 private:
  LibraryThreadReaper() = default;

  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return stopping_ || !handed_.empty(); });
      if (handed_.empty()) {
        return;
      }
      std::pair<Thread, Module> next = std::move(handed_.front());
      handed_.pop_front();
      lock.unlock();
      next.first.Join();
      // The library's unload code may run here; nothing of the reaper is held then.
      next.second.Reset();
      lock.lock();
    }
  }

  std::mutex mutex_;  // guards the members below
  std::condition_variable changed_;
  std::deque<std::pair<Thread, Module>> handed_;
  bool stopping_ = false;
  std::thread reaper_;
};

}  // namespace

void FreeLibraryOnceEnded(Thread thread, Module library) {
  LibraryThreadReaper::Instance().HandOver(std::move(thread), std::move(library));
}

Thread& Thread::operator=(Thread&& other) noexcept {
  if (this != &other) {
    Join();
    state_ = std::move(other.state_);
  }
  return *this;
}

Thread::~Thread() { Join(); }

Thread Thread::Start(Procedure procedure, void* argument) {
  return Start([procedure, argument] { return procedure(argument); });
}

Thread Thread::Start(std::function<std::uint32_t()> body) {
  auto state = std::make_unique<State>();
  state->exit = Event::Create(EventReset::Manual, false).handle;
  if (!state->exit) {
    return Thread();
  }
  std::promise<std::uint32_t> started;
  std::future<std::uint32_t> id = started.get_future();
  try {
    state->thread = std::thread([raw = state.get(), &started, body = std::move(body)] {
      started.set_value(CurrentThreadId());
      raw->exitCode = body();
      {
        const std::lock_guard<std::mutex> lock(raw->endMutex);
        raw->ended.store(true, std::memory_order_release);
      }
      raw->endChanged.notify_all();
      raw->exit.Set();
    });
  } catch (const std::system_error&) {
    return Thread();
  }
  state->id = id.get();
  return Thread(std::move(state));
}

ObjectRef Thread::ExitRef() const noexcept { return state_ ? state_->exit.Ref() : ObjectRef{}; }

std::uint32_t Thread::Id() const noexcept { return state_ ? state_->id : 0; }

std::optional<std::uint32_t> Thread::ExitCode() const noexcept {
  if (!state_ || !state_->ended.load(std::memory_order_acquire)) {
    return std::nullopt;
  }
  return state_->exitCode;
}

bool Thread::Join(Timeout timeout) {
  if (!Joinable()) {
    return true;
  }
  if (!AwaitEnd(timeout)) {
    return false;
  }
  state_->thread.join();
  return true;
}

bool Thread::AwaitEnd(Timeout timeout) {
  std::unique_lock<std::mutex> lock(state_->endMutex);
  const auto ended = [this] { return state_->ended.load(std::memory_order_acquire); };
  if (timeout == kInfinite) {
    state_->endChanged.wait(lock, ended);
    return true;
  }
  return state_->endChanged.wait_for(lock, RealDuration(std::max(timeout, Timeout::zero())),
                                     ended);
}

}  // namespace platform
