#include "platform/kernel/Thread.h"

#include <future>
#include <system_error>

#include "platform/base/Process.h"

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
      raw->ended.store(true, std::memory_order_release);
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
  if (!state_->ended.load(std::memory_order_acquire) &&
      WaitForObject(state_->exit.Ref(), timeout).status != WaitStatus::Signalled) {
    return false;
  }
  state_->thread.join();
  return true;
}

}  // namespace platform
