#pragma once

// Serves the callers of a control listener, each on a thread of its own.

#include <atomic>
#include <functional>
#include <list>
#include <mutex>
#include <thread>

#include "platform/sessions/ControlChannel.h"

namespace platform {

// Owns the listener and the callers' threads; Run joins every one of them before it returns.
// One thread runs it; Stop from any thread, also from a caller's.
class ControlServer {
 public:
  // Serves one caller until its connection ends (Stop ends every connection).
  using Serve = std::function<void(const ControlConnection& caller)>;

  explicit ControlServer(ControlListener listener) : listener_(std::move(listener)) {}
  ControlServer(const ControlServer&) = delete;
  ControlServer& operator=(const ControlServer&) = delete;
  ~ControlServer();

  void Run(const Serve& serve);
  void Stop();

 private:
  struct Caller {
    ControlConnection connection;  // guarded by mutex_; closed by its thread once served
    std::thread thread;
    bool done = false;  // guarded by mutex_
  };
  // Joins the threads of callers that have gone; all of them with `all`.
  void JoinCallers(bool all);

  ControlListener listener_;
  std::atomic<bool> stopped_{false};
  std::mutex mutex_;
  std::list<Caller> callers_;  // guarded by mutex_
};

}  // namespace platform
