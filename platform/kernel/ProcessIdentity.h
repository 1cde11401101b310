#pragma once

// Who holds an object: a process id together with the process's start time, so that a record of a
// dead process is never taken for a later process that got the same id. Internal to the layer.

#include <cstdint>
#include <optional>

namespace platform::detail {

struct ProcessIdentity {
  std::int32_t pid = 0;         // 0: nobody
  std::uint64_t startTime = 0;  // clock ticks after boot, from /proc/<pid>/stat

  bool operator==(const ProcessIdentity&) const = default;
};

// This process; any thread may call it. Taken once, so a child made by fork runs a new program
// (posix_spawn, exec) before it uses the layer.
ProcessIdentity ThisProcess() noexcept;

// The identity of the process that has that id now; nothing when there is none or it has begun to
// exit.
std::optional<ProcessIdentity> IdentityOf(std::int32_t pid) noexcept;

// True while the process runs: it exists, started at the recorded time, and has not begun to exit.
bool IsAlive(const ProcessIdentity& process) noexcept;

}  // namespace platform::detail
