#pragma once

// The session and service commands of platformctl: each takes the command's words after its
// name, writes what it shows to `out` and what went wrong to `err`, and returns the exit code
// (0 done, 1 failed, 2 misused).

#include <iosfwd>
#include <string>
#include <vector>

namespace platformctl {

using Words = std::vector<std::string>;

struct SessionCommand {
  const char* name;
  const char* arguments;
  const char* help;
  int (*run)(const Words& words, std::ostream& out, std::ostream& err);
};

// Every command of this file, in the order --help lists them.
const std::vector<SessionCommand>& SessionCommands();
// The lines of --help for them.
void PrintSessionCommandHelp(std::ostream& out);

}  // namespace platformctl
