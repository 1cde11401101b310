#include "tray/ServiceControlSteps.h"

#include <string_view>

#include "common/ProgramLogger.h"
#include "platform/kernel/Wait.h"
#include "platform/services/ServiceControl.h"
#include "platform/user/Window.h"

namespace {

constexpr std::u16string_view kServiceName = u"Tamsvard";
constexpr std::uint32_t kServiceAccess =
    platform::SERVICE_START | platform::SERVICE_STOP | platform::SERVICE_QUERY_STATUS;
constexpr platform::Timeout kRestartPause{500};
// A stopping service may take its time: its listener has up to 10 s and each session thread
// seconds more; a minute bounds the wait.
constexpr platform::Timeout kStopCheck{100};
constexpr int kStopChecks = 600;

// The service, opened for starting, stopping and querying; null after logging why.
platform::ScHandle OpenTamsvard() {
  const platform::HandleResult<platform::ScHandle> l_Manager =
      platform::OpenSCManager(u"", u"ServicesActive", platform::SC_MANAGER_CONNECT);
  if (!l_Manager.handle) {
    g_Logger->Log(LOG_TO_FILE, u"OpenSCManager Error = %d", l_Manager.error);
    return {};
  }
  platform::HandleResult<platform::ScHandle> l_Service =
      platform::OpenService(l_Manager.handle, kServiceName, kServiceAccess);
  if (!l_Service.handle) {
    g_Logger->Log(LOG_TO_FILE, u"OpenService Error = %d", l_Service.error);
  }
  return std::move(l_Service.handle);
}

void WaitUntilStopped(const platform::ScHandle& p_hService) {
  for (int l_nCheck = 0; l_nCheck < kStopChecks; ++l_nCheck) {
    platform::SERVICE_STATUS l_Status{};
    if (platform::QueryServiceStatus(p_hService, l_Status) != ERROR_SUCCESS ||
        l_Status.dwCurrentState == platform::SERVICE_STOPPED) {
      return;
    }
    platform::Sleep(kStopCheck);
  }
}

}  // namespace

void CServiceControlSteps::StartService() const {
  const platform::ScHandle l_hService = OpenTamsvard();
  if (!l_hService) return;
  if (const std::uint32_t l_nError = platform::StartService(l_hService);
      l_nError != ERROR_SUCCESS) {
    g_Logger->Log(LOG_TO_FILE, u"StartService fails with %d", l_nError);
  } else {
    g_Logger->Log(LOG_TO_FILE, u"StartService Succeeds");
  }
}

void CServiceControlSteps::StopService() const {
  const platform::ScHandle l_hService = OpenTamsvard();
  if (!l_hService) return;
  platform::SERVICE_STATUS l_Status{};
  if (const std::uint32_t l_nError =
          platform::ControlService(l_hService, platform::SERVICE_CONTROL_STOP, l_Status);
      l_nError != ERROR_SUCCESS) {
    g_Logger->Log(LOG_TO_FILE, u"StopService fails with %d", l_nError);
    return;
  }
  g_Logger->Log(LOG_TO_FILE, u"StopService Succeeds");
  if (!m_bRestarting) {
    if (const HWND l_hPlayer = platform::FindWindow(u"WMPlayerApp", nullptr); l_hPlayer != 0) {
      platform::PostMessage(l_hPlayer, WM_CLOSE, 0, 0);
    }
  }
}

void CServiceControlSteps::RestartService() {
  m_bRestarting = true;
  StopService();
  m_bRestarting = false;
  platform::Sleep(kRestartPause);
  // A start while the service still stops would fail: wait for the stop to be over.
  if (const platform::ScHandle l_hService = OpenTamsvard()) WaitUntilStopped(l_hService);
  StartService();
}
