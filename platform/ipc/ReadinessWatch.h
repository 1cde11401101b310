#pragma once

// Lets a wait on kernel objects include a descriptor: a watching thread sets an event once the
// descriptor is readable. Internal to the layer.

#include "platform/kernel/Event.h"
#include "platform/kernel/Posix.h"
#include "platform/kernel/Thread.h"

namespace platform::detail {

// Owns the watching thread, which it stops and joins when it goes. The thread that made it uses it.
class ReadinessWatch {
 public:
  explicit ReadinessWatch(int descriptor);
  ReadinessWatch(const ReadinessWatch&) = delete;
  ReadinessWatch& operator=(const ReadinessWatch&) = delete;
  ~ReadinessWatch();

  // Set once the descriptor is readable; null when the watch could not start.
  ObjectRef Ready() const noexcept { return watcher_.Joinable() ? ready_.Ref() : ObjectRef{}; }

 private:
  Event ready_;
  UniqueFd stop_;
  Thread watcher_;
};

}  // namespace platform::detail
