#include "platform/kernel/ProcessIdentity.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

namespace platform::detail {
namespace {

// The kernel's mark on a process that has begun to exit (before it lets go of its robust locks).
constexpr unsigned long kExiting = 0x4;

struct ProcessStatus {
  char state = '?';
  unsigned long flags = 0;
  std::uint64_t startTime = 0;
};

// Reads the state (field 3), the flags (field 9) and the start time (field 22) of
// /proc/<pid>/stat; the command name in field 2 may hold spaces and parentheses, so the fields are
// counted from its last ')'.
std::optional<ProcessStatus> ReadStatus(std::int32_t pid) noexcept {
  std::array<char, 64> path{};
  std::snprintf(path.data(), path.size(), "/proc/%d/stat", pid);
  const int descriptor = open(path.data(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) {
    return std::nullopt;
  }
  std::array<char, 1024> buffer{};
  const ssize_t length = read(descriptor, buffer.data(), buffer.size() - 1);
  close(descriptor);
  if (length <= 0) {
    return std::nullopt;
  }
  const std::string_view text(buffer.data(), static_cast<std::size_t>(length));
  const std::size_t nameEnd = text.rfind(')');
  if (nameEnd == std::string_view::npos || nameEnd + 2 >= text.size()) {
    return std::nullopt;
  }
  ProcessStatus status;
  status.state = text[nameEnd + 2];
  const char* cursor = buffer.data() + nameEnd + 2;
  for (int field = 3; field < 22; ++field) {
    if (field == 9) {
      status.flags = std::strtoul(cursor, nullptr, 10);
    }
    const char* space = static_cast<const char*>(
        std::memchr(cursor, ' ', static_cast<std::size_t>(buffer.data() + length - cursor)));
    if (space == nullptr) {
      return std::nullopt;
    }
    cursor = space + 1;
  }
  status.startTime = std::strtoull(cursor, nullptr, 10);
  return status;
}

bool Running(const ProcessStatus& status) noexcept {
  return status.state != 'Z' && status.state != 'X' && (status.flags & kExiting) == 0;
}

}  // namespace

ProcessIdentity ThisProcess() noexcept {
  static const ProcessIdentity self = [] {
    const std::int32_t pid = getpid();
    const std::optional<ProcessStatus> status = ReadStatus(pid);
    return ProcessIdentity{pid, status ? status->startTime : 0};
  }();
  return self;
}

std::optional<ProcessIdentity> IdentityOf(std::int32_t pid) noexcept {
  if (pid <= 0) {
    return std::nullopt;
  }
  const std::optional<ProcessStatus> status = ReadStatus(pid);
  if (!status || !Running(*status)) {
    return std::nullopt;
  }
  return ProcessIdentity{pid, status->startTime};
}

bool IsAlive(const ProcessIdentity& process) noexcept {
  const std::optional<ProcessIdentity> now = IdentityOf(process.pid);
  return now && *now == process;
}

}  // namespace platform::detail
