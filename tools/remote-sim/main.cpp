// remote-sim [COMMAND]... | remote-sim --script FILE
// Runs the commands given (each argument one command line), or those of the script file one a
// line, or else reads commands from standard input; prints one answer line each (RemoteSim.h).
// Runs under the service's platform root (PLATFORM_ROOT).

#include <fstream>
#include <iostream>
#include <string>

#include "tools/common/ToolCommands.h"
#include "tools/remote-sim/RemoteSim.h"

int main(int p_nArguments, char** p_pArguments) {
  RemoteSim l_Sim;
  const ToolCommand l_Command = [&l_Sim](std::string_view p_Line, bool& p_bQuit) {
    std::string l_Answer = l_Sim.Command(p_Line);
    p_bQuit = l_Sim.Quit();
    return l_Answer;
  };
  if (p_nArguments == 3 && std::string(p_pArguments[1]) == "--script") {
    std::ifstream l_Script(p_pArguments[2]);
    if (!l_Script) {
      std::cerr << "remote-sim: cannot read " << p_pArguments[2] << std::endl;
      return 2;
    }
    return RunToolCommands(1, p_pArguments, l_Script, l_Command);
  }
  return RunToolCommands(p_nArguments, p_pArguments, std::cin, l_Command);
}
