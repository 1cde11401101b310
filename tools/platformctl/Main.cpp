// platformctl: acts on the windows and shell pieces under the platform root from a terminal.

#include <iostream>
#include <string>
#include <vector>

#include "tools/platformctl/PlatformControl.h"

int main(int argc, char** argv) {
  return platformctl::Run(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
