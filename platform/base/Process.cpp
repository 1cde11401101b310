#include "platform/base/Process.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

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

std::uint32_t CurrentProcessId() noexcept { return static_cast<std::uint32_t>(getpid()); }

std::uint32_t CurrentThreadId() noexcept { return static_cast<std::uint32_t>(gettid()); }

std::uint32_t LastSystemError() noexcept { return static_cast<std::uint32_t>(errno); }

}  // namespace platform
