#pragma once

// The processes of this platform root, read from what the kernel shows of them: a process
// belongs to the root whose PLATFORM_ROOT it started with, and to the session that its
// PLATFORM_SESSION named then (0 when unset). Internal to the layer; Processes.h is what the
// system's code calls.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/kernel/ProcessIdentity.h"

namespace platform::detail {

struct RootProcess {
  ProcessIdentity identity;
  std::uint32_t sessionId = 0;
  std::u16string imageName;  // the program's file name with ".exe"
};

// Every live process of the root that this process may inspect, in the order of their ids.
std::vector<RootProcess> ListRootProcesses();
// One process of the root; nothing when it has ended or belongs to another root.
std::optional<RootProcess> FindRootProcess(std::int32_t pid);
// The thread ids of a process; empty once it has ended.
std::vector<std::uint32_t> ThreadsOf(std::int32_t pid);

}  // namespace platform::detail
