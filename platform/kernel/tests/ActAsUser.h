#pragma once

// The first step of a helper program that a test may start as another user: with the arguments
// "--as-user <uid>" first, the program acts as that user (and the group of the same number) from
// here on. Only a test that runs as root can do that.

#include <grp.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace platform::testing {

// False when the arguments ask for a user that the program cannot become.
inline bool ActAsUserOfArguments(int argumentCount, char** arguments) {
  if (argumentCount < 3 || std::strcmp(arguments[1], "--as-user") != 0) {
    return true;
  }
  const auto user = static_cast<uid_t>(std::stoul(arguments[2]));
  return setgroups(0, nullptr) == 0 && setgid(user) == 0 && setuid(user) == 0;
}

}  // namespace platform::testing
