// virtual-remote [COMMAND]...
// Runs the commands given (each argument one command line), or else reads commands from
// standard input; prints one answer line each (VirtualRemote.h). Runs under the service's
// platform root (PLATFORM_ROOT) with PLATFORM_HID=virtual.

#include <iostream>
#include <string>

#include "tools/common/ToolCommands.h"
#include "tools/virtual-remote/VirtualRemote.h"

int main(int p_nArguments, char** p_pArguments) {
  VirtualRemote l_Remote;
  return RunToolCommands(p_nArguments, p_pArguments, std::cin,
                         [&l_Remote](std::string_view p_Line, bool& p_bQuit) {
                           std::string l_Answer = l_Remote.Command(p_Line);
                           p_bQuit = l_Remote.Quit();
                           return l_Answer;
                         });
}
