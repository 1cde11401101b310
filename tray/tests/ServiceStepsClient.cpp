// The tray's service steps in a process of their own, which a test may start as another user
// ("--as-user <uid>" first): each line "start", "stop" or "restart" runs that step and answers
// "done" once it has returned.

#include <iostream>
#include <string>

#include "common/ProgramLogger.h"
#include "platform/kernel/tests/ActAsUser.h"
#include "tray/ServiceControlSteps.h"

NoDestructor<ProgramLogger> g_Logger(0x156u);

int main(int argc, char** argv) {
  if (!platform::testing::ActAsUserOfArguments(argc, argv)) return 127;
  CServiceControlSteps l_Steps;
  for (std::string l_Line; std::getline(std::cin, l_Line);) {
    if (l_Line == "start") {
      l_Steps.StartService();
    } else if (l_Line == "stop") {
      l_Steps.StopService();
    } else if (l_Line == "restart") {
      l_Steps.RestartService();
    } else {
      std::cout << "unknown " << l_Line << std::endl;
      continue;
    }
    std::cout << "done" << std::endl;
  }
  return 0;
}
