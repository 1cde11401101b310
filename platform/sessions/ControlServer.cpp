#include "platform/sessions/ControlServer.h"

namespace platform {

ControlServer::~ControlServer() {
  Stop();
  JoinCallers(true);
}

void ControlServer::Run(const Serve& serve) {
  while (!stopped_.load()) {
    ControlConnection connection = listener_.Accept();
    if (!connection) {
      break;
    }
    JoinCallers(false);
    const std::lock_guard lock(mutex_);
    Caller& caller = callers_.emplace_back();
    caller.connection = std::move(connection);
    caller.thread = std::thread([this, &caller, &serve] {
      serve(caller.connection);
      // A caller that has gone gives its descriptor back now, not when the next one comes.
      const std::lock_guard served(mutex_);
      caller.connection = ControlConnection();
      caller.done = true;
    });
    // A Stop that came while this caller was being taken in did not see it.
    if (stopped_.load()) {
      caller.connection.Shutdown();
    }
  }
  Stop();
  JoinCallers(true);
}

void ControlServer::Stop() {
  stopped_.store(true);
  listener_.Shutdown();
  const std::lock_guard lock(mutex_);
  for (const Caller& caller : callers_) {
    caller.connection.Shutdown();
  }
}

void ControlServer::JoinCallers(bool all) {
  std::list<Caller> finished;
  {
    const std::lock_guard lock(mutex_);
    for (auto caller = callers_.begin(); caller != callers_.end();) {
      const auto next = std::next(caller);
      if (all || caller->done) {
        finished.splice(finished.end(), callers_, caller);
      }
      caller = next;
    }
  }
  for (Caller& caller : finished) {
    caller.thread.join();
  }
}

}  // namespace platform
