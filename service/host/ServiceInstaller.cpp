#include "service/host/ServiceInstaller.h"

#include <utility>

#include "platform/base/Process.h"
#include "platform/kernel/Wait.h"
#include "platform/services/ServiceControl.h"
#include "platform/user/Shell.h"

namespace {

using platform::ScHandle;

// How often and how long the removal looks whether the manager has let a stopping service go: the
// manager offers no wait for it, and a stop may take the service's whole stop sequence.
constexpr platform::Timeout kReleaseLook{100};
constexpr int kReleaseLooks = 1200;

platform::HandleResult<ScHandle> OpenManager() {
  return platform::OpenSCManager({}, {}, platform::SC_MANAGER_ALL_ACCESS);
}

}  // namespace

void CServiceInstaller::Fail(std::u16string_view p_strText) const {
  platform::MessageBox(0, p_strText, m_strServiceName, MB_OK);
}

bool CServiceInstaller::IsInstalled() const {
  const platform::HandleResult<ScHandle> l_Manager = OpenManager();
  if (!l_Manager.handle) return false;
  return static_cast<bool>(
      platform::OpenService(l_Manager.handle, m_strServiceName, platform::SERVICE_QUERY_CONFIG)
          .handle);
}

bool CServiceInstaller::Install() const {
  if (IsInstalled()) return true;
  const platform::HandleResult<ScHandle> l_Manager = OpenManager();
  if (!l_Manager.handle) {
    Fail(u"Could not open Service Manager");
    return false;
  }
  platform::ServiceConfig l_Config;
  l_Config.serviceName = m_strServiceName;
  l_Config.displayName = m_strServiceName;
  l_Config.serviceType = platform::SERVICE_WIN32_OWN_PROCESS;
  l_Config.startType = platform::SERVICE_DEMAND_START;
  l_Config.errorControl = platform::SERVICE_ERROR_NORMAL;
  // Built by appending: the optimised build's overlap check misreads a literal before a string.
  std::u16string l_Command(1, u'"');
  l_Command.append(platform::ModulePath()).push_back(u'"');
  l_Config.binaryPathName = std::move(l_Command);
  l_Config.dependencies = {u"RPCSS"};
  if (!platform::CreateService(l_Manager.handle, l_Config, platform::SERVICE_ALL_ACCESS).handle) {
    Fail(u"Could not start service");
    return false;
  }
  return true;
}

bool CServiceInstaller::Uninstall() const {
  if (!IsInstalled()) return true;
  const platform::HandleResult<ScHandle> l_Manager = OpenManager();
  if (!l_Manager.handle) {
    Fail(u"Could not open Service Manager");
    return false;
  }
  const platform::HandleResult<ScHandle> l_Service = platform::OpenService(
      l_Manager.handle, m_strServiceName, platform::SERVICE_STOP | platform::DELETE);
  if (!l_Service.handle) {
    Fail(u"Could not open service");
    return false;
  }
  platform::SERVICE_STATUS l_Status;
  const std::uint32_t l_nStop =
      platform::ControlService(l_Service.handle, platform::SERVICE_CONTROL_STOP, l_Status);
  if (l_nStop != ERROR_SUCCESS && l_nStop != ERROR_SERVICE_NOT_ACTIVE &&
      l_nStop != platform::ERROR_SERVICE_CANNOT_ACCEPT_CTRL) {
    Fail(u"Could not stop service");
  }
  if (platform::DeleteService(l_Service.handle) != ERROR_SUCCESS) {
    Fail(u"Could not delete service");
    return false;
  }
  // A running service goes once its program has ended.
  for (int l_nLook = 0; l_nLook < kReleaseLooks && IsInstalled(); ++l_nLook) {
    platform::Sleep(kReleaseLook);
  }
  return true;
}
