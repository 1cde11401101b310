#include "platform/ipc/ReadinessWatch.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace platform::detail {

ReadinessWatch::ReadinessWatch(int descriptor)
    : ready_(Event::Create(EventReset::Manual, false).handle), stop_(eventfd(0, EFD_CLOEXEC)) {
  if (!ready_ || !stop_) {
    return;
  }
  watcher_ = Thread::Start([this, descriptor] {
    pollfd watched[2] = {{descriptor, POLLIN, 0}, {stop_.Get(), POLLIN, 0}};
    int count = 0;
    do {
      count = poll(watched, 2, -1);
    } while (count < 0 && errno == EINTR);
    if (count > 0 && watched[0].revents != 0) {
      ready_.Set();
    }
    return 0u;
  });
}

ReadinessWatch::~ReadinessWatch() {
  if (watcher_.Joinable()) {
    const std::uint64_t one = 1;
    (void)write(stop_.Get(), &one, sizeof one);
    watcher_.Join();
  }
}

}  // namespace platform::detail
