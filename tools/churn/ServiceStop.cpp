#include "tools/churn/ServiceStop.h"

#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "platform/base/Text.h"
#include "platform/services/ServiceControl.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A stop waits up to 10 s for the listener, which waits up to 20 s for the session threads.
constexpr auto kStateBound = 60s;
constexpr auto kLook = 50ms;

// Waits until the service's state is `p_nState`.
bool ReachesState(const platform::ScHandle& p_Service, std::uint32_t p_nState) {
  for (const auto l_By = Clock::now() + kStateBound; Clock::now() < l_By;
       std::this_thread::sleep_for(kLook)) {
    platform::SERVICE_STATUS l_Status;
    if (platform::QueryServiceStatus(p_Service, l_Status) == ERROR_SUCCESS &&
        l_Status.dwCurrentState == p_nState) {
      return true;
    }
  }
  return false;
}

// The service opened for its stop and state; none, after saying why, when it does not open.
std::optional<platform::ScHandle> OpenForControl(std::u16string_view p_Service,
                                                 std::ostream& p_Log) {
  const platform::HandleResult<platform::ScHandle> l_Manager =
      platform::OpenSCManager({}, {}, platform::SC_MANAGER_ALL_ACCESS);
  if (!l_Manager.handle) {
    p_Log << "the service manager does not open (" << l_Manager.error << ")\n";
    return std::nullopt;
  }
  platform::HandleResult<platform::ScHandle> l_Service = platform::OpenService(
      l_Manager.handle, p_Service, platform::SERVICE_STOP | platform::SERVICE_QUERY_STATUS);
  if (!l_Service.handle) {
    p_Log << platform::ToUtf8(p_Service) << " does not open (" << l_Service.error << ")\n";
    return std::nullopt;
  }
  return std::move(l_Service.handle);
}

bool StopOpened(const platform::ScHandle& p_Service, const std::string& p_Name,
                std::ostream& p_Log) {
  platform::SERVICE_STATUS l_Status;
  if (const std::uint32_t l_nError =
          platform::ControlService(p_Service, platform::SERVICE_CONTROL_STOP, l_Status);
      l_nError != ERROR_SUCCESS) {
    p_Log << "the stop of " << p_Name << " fails with " << l_nError << "\n";
    return false;
  }
  if (!ReachesState(p_Service, platform::SERVICE_STOPPED)) {
    p_Log << p_Name << " does not stop\n";
    return false;
  }
  return true;
}

}  // namespace

bool StopService(std::u16string_view p_Service, std::ostream& p_Log) {
  const std::optional<platform::ScHandle> l_Service = OpenForControl(p_Service, p_Log);
  return l_Service && StopOpened(*l_Service, platform::ToUtf8(p_Service), p_Log);
}
