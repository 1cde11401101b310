#include "platform/kernel/Thread.h"

#include <future>
#include <system_error>

#include "platform/base/Process.h"
#include "platform/base/Time.h"

namespace platform {

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
