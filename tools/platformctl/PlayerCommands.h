#pragma once

// The control tool's player commands: what a person at the player application's screen does,
// done to the player application of the tool's session through the application's control
// (platform/player/PlayerApplicationControl.h). Any thread.

#include <iosfwd>
#include <string>
#include <vector>

namespace platformctl {

// `words` follow "player"; the exit code as Run gives it.
int RunPlayerCommand(const std::vector<std::string>& words, std::ostream& out,
                     std::ostream& errors);

// The lines of --help for them.
extern const char kPlayerUsage[];

}  // namespace platformctl
