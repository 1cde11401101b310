// What a user who is not the administrator can do with the service manager: run as such a user
// with a service's name, it prints one line for each step, "STEP ERROR".

#include <iostream>
#include <string>
#include <thread>
#include <chrono>

#include "platform/base/Text.h"
#include "platform/services/ServiceControl.h"

using namespace platform;

int main(int argumentCount, char** arguments) {
  if (argumentCount != 2) {
    return 2;
  }
  const std::u16string name = FromUtf8(arguments[1]);
  std::cout << "manager-full " << OpenSCManager({}, {}, SC_MANAGER_ALL_ACCESS).error << std::endl;
  const HandleResult<ScHandle> manager = OpenSCManager({}, {}, SC_MANAGER_CONNECT);
  std::cout << "manager-connect " << manager.error << std::endl;
  std::cout << "service-full " << OpenService(manager.handle, name, SERVICE_ALL_ACCESS).error
            << std::endl;
  const HandleResult<ScHandle> service =
      OpenService(manager.handle, name, SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS);
  std::cout << "service-start-stop " << service.error << std::endl;
  if (service.handle) {
    std::cout << "start " << StartService(service.handle) << std::endl;
    SERVICE_STATUS status;
    std::cout << "query " << QueryServiceStatus(service.handle, status) << std::endl;
    // A stop is taken once the service runs; it says so soon after its start.
    for (int attempt = 0; attempt < 500 && status.dwCurrentState != SERVICE_RUNNING; ++attempt) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      QueryServiceStatus(service.handle, status);
    }
    std::cout << "stop " << ControlService(service.handle, SERVICE_CONTROL_STOP, status)
              << std::endl;
  }
  return 0;
}
