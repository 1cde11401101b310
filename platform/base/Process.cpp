#include "platform/base/Process.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
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

std::uint32_t CurrentProcessId() noexcept { return static_cast<std::uint32_t>(getpid()); }

std::uint32_t CurrentThreadId() noexcept { return static_cast<std::uint32_t>(gettid()); }

std::uint32_t LastSystemError() noexcept { return static_cast<std::uint32_t>(errno); }

}  // namespace platform
