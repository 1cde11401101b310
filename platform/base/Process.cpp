#include "platform/base/Process.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <fstream>
#include <iterator>

#include "platform/base/Text.h"

namespace platform {

std::u16string ModulePath() {
  char buffer[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
  if (length <= 0) {
    return {};
  }
  return FromUtf8(std::string_view(buffer, static_cast<std::size_t>(length)));
}

std::u16string GetCommandLineW() {
  std::ifstream file("/proc/self/cmdline", std::ios::binary);
  std::string words{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  // The arguments stand there each ended by a zero.
  if (!words.empty() && words.back() == '\0') {
    words.pop_back();
  }
  std::replace(words.begin(), words.end(), '\0', ' ');
  return FromUtf8(words);
}

namespace {

// The ids asked of the kernel once, as each is a system call and polls ask for them often; a
// forked child is a new process whose one thread is new too, so it asks again.
std::atomic<std::uint32_t> processId{0};
thread_local std::uint32_t threadId = 0;

void ForgetIdsInChild() noexcept {
  processId.store(0, std::memory_order_relaxed);
  threadId = 0;
}

[[maybe_unused]] const bool forgetsIdsInChild =
    pthread_atfork(nullptr, nullptr, ForgetIdsInChild) == 0;

}  // namespace

std::uint32_t CurrentProcessId() noexcept {
  std::uint32_t id = processId.load(std::memory_order_relaxed);
  if (id == 0) {
    id = static_cast<std::uint32_t>(getpid());
    processId.store(id, std::memory_order_relaxed);
  }
  return id;
}

std::uint32_t CurrentThreadId() noexcept {
  if (threadId == 0) {
    threadId = static_cast<std::uint32_t>(gettid());
  }
  return threadId;
}

std::uint32_t LastSystemError() noexcept { return static_cast<std::uint32_t>(errno); }

}  // namespace platform
