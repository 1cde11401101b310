#pragma once

// The control tool's commands on the platform root's windows and shell pieces: list windows,
// icons, menus, message boxes and opened addresses; post to a window, click an icon, pick a menu
// item, answer a box. One call runs one command line; what it prints goes to `out`, what went
// wrong to `errors`. Any thread.

#include <ostream>
#include <string>
#include <vector>

namespace platformctl {

// The exit code: 0 done, 1 the command failed, 2 the command line is wrong.
int Run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& errors);

}  // namespace platformctl
