// remote-sim [COMMAND]... | remote-sim --script FILE
// Runs the commands given (each argument one command line), or those of the script file one a
// line, or else reads commands from standard input; prints one answer line each (RemoteSim.h).
// Runs under the service's platform root (PLATFORM_ROOT).

#include <fstream>
#include <iostream>
#include <string>

#include "tools/remote-sim/RemoteSim.h"

namespace {

int RunLines(RemoteSim& p_Sim, std::istream& p_Input) {
  std::string l_Line;
  while (!p_Sim.Quit() && std::getline(p_Input, l_Line)) {
    if (!l_Line.empty()) {
      std::cout << p_Sim.Command(l_Line) << std::endl;
    }
  }
  return 0;
}

}  // namespace

int main(int p_nArguments, char** p_pArguments) {
  RemoteSim l_Sim;
  if (p_nArguments == 3 && std::string(p_pArguments[1]) == "--script") {
    std::ifstream l_Script(p_pArguments[2]);
    if (!l_Script) {
      std::cerr << "remote-sim: cannot read " << p_pArguments[2] << std::endl;
      return 2;
    }
    return RunLines(l_Sim, l_Script);
  }
  if (p_nArguments > 1) {
    for (int l_nIndex = 1; l_nIndex < p_nArguments && !l_Sim.Quit(); ++l_nIndex) {
      std::cout << l_Sim.Command(p_pArguments[l_nIndex]) << std::endl;
    }
    return 0;
  }
  return RunLines(l_Sim, std::cin);
}
