#pragma once

// Starting the programs of a session or of the service manager, and ending a set of processes
// by their ids. Internal to the layer.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/kernel/Posix.h"
#include "platform/kernel/ProcessIdentity.h"

namespace platform::detail {

struct Account {
  uid_t uid = 0;
  gid_t gid = 0;
  std::vector<gid_t> groups;
};

// The account of this machine of that user name; nothing when there is none. Any thread.
std::optional<Account> AccountOf(const std::string& user);

struct LaunchSpec {
  std::vector<std::string> arguments;  // the program (found on PATH without a '/') first
  std::uint32_t sessionId = 0;         // its PLATFORM_SESSION; the root is this process's
  std::map<std::string, std::string> environment;  // added to this process's
  bool ownProcessGroup = false;
  // Left to the system to reap: this process keeps no child of it.
  bool detached = false;
  // Runs as this user when this process is root; nothing: as this process's user.
  std::optional<std::string> user;
  // A descriptor the program inherits as descriptor 3.
  int inherited = -1;
  // Standard input, output and error on /dev/null instead of this process's.
  bool quiet = false;
};

struct Launched {
  pid_t pid = 0;
  UniqueFd processFd;       // readable once the process has ended; none for a detached process
  std::uint32_t error = 0;  // ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ... when it did not start
};

// Starts the program and returns once it runs the program or has failed to. Any thread.
Launched LaunchProgram(const LaunchSpec& spec);

// Ends the processes, each only while it is still the process of that identity: gives them
// `ownEnd` to end by themselves, then asks each that is left to end, then ends those left after
// `grace` at once. Returns when all have ended. Any thread.
void EndProcesses(const std::vector<ProcessIdentity>& processes, std::chrono::nanoseconds ownEnd,
                  std::chrono::milliseconds grace);

}  // namespace platform::detail
