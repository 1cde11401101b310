// The service manager of a test's root in a process of its own: prints "ready" once it listens
// and ends when an administrator asks it to, or with the test that started it.

#include <signal.h>
#include <sys/prctl.h>

#include <iostream>

#include "platform/services/ServiceManager.h"

int main() {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  const auto manager = platform::ServiceManager::Start();
  if (!manager) {
    std::cout << "failed" << std::endl;
    return 1;
  }
  std::cout << "ready" << std::endl;
  manager->Run();
  return 0;
}
