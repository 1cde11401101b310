#include "server/ServerTray.h"

#include <array>
#include <cstring>

#include "common/ProgramLogger.h"
#include "platform/base/Format.h"
#include "platform/base/StringTable.h"
#include "platform/base/Text.h"
#include "platform/kernel/Event.h"
#include "platform/kernel/Session.h"
#include "platform/kernel/Wait.h"
#include "platform/services/ServiceControl.h"
#include "platform/user/Resources.h"
#include "platform/user/Window.h"
#include "server/ServerResources.h"

namespace {

using platform::SC_MANAGER_ALL_ACCESS;
using platform::SERVICE_CONTROL_STOP;
using platform::SERVICE_QUERY_STATUS;
using platform::SERVICE_START;
using platform::SERVICE_STATUS;
using platform::SERVICE_STOP;
using platform::SERVICE_STOPPED;

constexpr UINT TPM_RIGHTALIGN = 0x0008;
constexpr UINT TPM_BOTTOMALIGN = 0x0020;
constexpr int SW_SHOWNORMAL = 1;
constexpr std::u16string_view kServiceName = u"Tamsvard";
constexpr std::u16string_view kSupportPage = u"https://support.calvora.example/remote";
constexpr std::uint32_t kServiceAccess = SERVICE_QUERY_STATUS | SERVICE_START | SERVICE_STOP;
constexpr platform::Timeout kProbeStep{1000};
constexpr platform::Timeout kRetryPause{500};
constexpr int kProbeTries = 10;
// A restart waits up to kStopChecks * kRetryPause for the service to have stopped.
constexpr int kStopChecks = 120;

std::u16string SessionEventName(const char16_t* p_szName) {
  return platform::Format(std::u16string_view(u"%s%d"), p_szName,
                          static_cast<std::int32_t>(platform::ProcessSessionId()));
}

// Starts the service once it has stopped: a start while it still stops, or while its program
// still ends, finds it running. At most kStopChecks tries; the last start's error.
std::uint32_t StartOnceStopped(const platform::ScHandle& p_hService) {
  std::uint32_t l_nError = ERROR_SERVICE_ALREADY_RUNNING;
  for (int l_nCheck = 0; l_nCheck < kStopChecks && l_nError == ERROR_SERVICE_ALREADY_RUNNING;
       ++l_nCheck) {
    if (l_nCheck > 0) platform::Sleep(kRetryPause);
    SERVICE_STATUS l_Status{};
    l_nError = platform::QueryServiceStatus(p_hService, l_Status);
    if (l_nError != ERROR_SUCCESS) break;
    l_nError = l_Status.dwCurrentState == SERVICE_STOPPED ? platform::StartService(p_hService)
                                                          : ERROR_SERVICE_ALREADY_RUNNING;
  }
  return l_nError;
}

}  // namespace

std::u16string ServerTerminateEventName() { return SessionEventName(u"Global\\WTS_SERVER_TERMINATE"); }

platform::Event CreateServerTerminateEvent() {
  // "-Stop" may come from another user.
  const platform::SecurityDescriptor l_EveryUser = platform::SecurityDescriptor::NullDacl();
  return platform::Event::Create(platform::EventReset::Auto, false, ServerTerminateEventName(),
                                 &l_EveryUser)
      .handle;
}

bool IsLogonInitializationComplete(bool p_bRetry) {
  const std::u16string l_Name = SessionEventName(u"Global\\WTS_LOGON_INITIALIZATION_COMPLETE");
  const int l_nTries = p_bRetry ? kProbeTries : 1;
  for (int l_nTry = 1; l_nTry <= l_nTries; ++l_nTry) {
    // Only whether the service made it counts: opening takes no signal that is meant for others.
    if (platform::Event::Open(l_Name).handle) return true;
    if (p_bRetry) {
      g_Logger->Log(LOG_TO_FILE, "Service not started yet = %d", l_nTry);
      platform::Sleep(kRetryPause);
    }
  }
  return false;
}

CServerTrayWindow::~CServerTrayWindow() {
  if (Handle() != 0) {
    NOTIFYICONDATAA l_Data;
    l_Data.hWnd = Handle();
    l_Data.uID = kTrayIconId;
    platform::Shell_NotifyIconA(NIM_DELETE, l_Data);
  }
  if (m_hMenu != 0) platform::DestroyMenu(m_hMenu);
}

bool CServerTrayWindow::Create() {
  if (!CServerWindow::Create(u"CServerTrayWindow", WS_POPUP)) return false;
  m_bServiceReady = IsLogonInitializationComplete(false);
  UpdateIcon(NIM_ADD);
  return true;
}

bool CServerTrayWindow::ProcessWindowMessage(UINT p_nMessage, WPARAM p_wParam, LPARAM p_lParam,
                                             LRESULT& p_lResult) {
  p_lResult = 0;
  switch (p_nMessage) {
    case WM_SERVER_TRAY_NOTIFY:
      if (p_wParam == kTrayIconId || p_lParam == kServerTrayProbe) OnTrayNotify(p_lParam);
      return true;
    case WM_COMMAND:
      OnCommand(static_cast<UINT>(p_wParam & 0xFFFF));
      return true;
    case WM_LBUTTONDOWN:
    case WM_NCLBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_NCRBUTTONDOWN:
      return true;
    default:
      return false;
  }
}

void CServerTrayWindow::OnTrayNotify(LPARAM p_lParam) {
  if (p_lParam == WM_LBUTTONDOWN || p_lParam == WM_RBUTTONDOWN) {
    ShowMenu();
  } else if (p_lParam == kServerTrayProbe && !m_bMenuOpen) {
    Probe(false);
  }
}

void CServerTrayWindow::ShowMenu() {
  m_bMenuOpen = true;
  if (m_hMenu == 0) m_hMenu = platform::LoadMenu(IDR_TRAY_MENU);
  const HMENU l_hSubMenu = platform::GetSubMenu(m_hMenu, m_bServiceReady ? 1 : 0);
  if (l_hSubMenu != 0) {
    platform::TrackPopupMenu(l_hSubMenu, TPM_BOTTOMALIGN | TPM_RIGHTALIGN, 0, 0, Handle());
  }
  m_bMenuOpen = false;
}

void CServerTrayWindow::OnCommand(UINT p_nCommand) {
  switch (p_nCommand) {
    case ID_SERVICE_RESTART:
      RestartService(true);
      break;
    case ID_SERVICE_STOP:
      RestartService(false);
      break;
    case ID_HELP_SUPPORT:
      platform::ShellExecute(Handle(), u"open", kSupportPage, u"", u"", SW_SHOWNORMAL);
      break;
    case ID_HELP_ABOUT:
      platform::MessageBox(Handle(), platform::LoadString(IDS_ABOUT_TEXT, kEnglishUnitedStates),
                           platform::LoadString(IDS_TRAY_TIP, kEnglishUnitedStates), MB_OK);
      break;
    default:
      break;
  }
}

void CServerTrayWindow::RestartService(bool p_bStartAgain) {
  const auto l_Manager = platform::OpenSCManager(u"", u"ServicesActive", SC_MANAGER_ALL_ACCESS);
  if (!l_Manager.handle) {
    g_Logger->Log(LOG_TO_FILE, "OpenSCManager Error = %d", l_Manager.error);
    Probe(false);
    return;
  }
  const auto l_Service = platform::OpenService(l_Manager.handle, kServiceName, kServiceAccess);
  if (!l_Service.handle) {
    g_Logger->Log(LOG_TO_FILE, "OpenService Error = %d", l_Service.error);
    Probe(false);
    return;
  }
  SERVICE_STATUS l_Status{};
  if (const std::uint32_t l_nError =
          platform::ControlService(l_Service.handle, SERVICE_CONTROL_STOP, l_Status);
      l_nError != ERROR_SUCCESS) {
    g_Logger->Log(LOG_TO_FILE, "StopService fails with %d", l_nError);
  } else {
    g_Logger->Log(LOG_TO_FILE, "StopService Succeeds");
  }
  if (!p_bStartAgain) {
    Probe(false);
    return;
  }
  platform::Sleep(kRetryPause);
  Probe(false);
  const std::uint32_t l_nStartError = StartOnceStopped(l_Service.handle);
  if (l_nStartError != ERROR_SUCCESS) {
    g_Logger->Log(LOG_TO_FILE, "StartService fails with %d", l_nStartError);
  } else {
    g_Logger->Log(LOG_TO_FILE, "StartService Succeeds");
  }
  Probe(l_nStartError == ERROR_SUCCESS);
}

void CServerTrayWindow::Probe(bool p_bRetry) {
  m_bServiceReady = IsLogonInitializationComplete(p_bRetry);
  UpdateIcon(NIM_MODIFY);
}

void CServerTrayWindow::UpdateIcon(UINT p_nMessage) {
  NOTIFYICONDATAA l_Data;
  l_Data.cbSize = 88;
  l_Data.hWnd = Handle();
  l_Data.uID = kTrayIconId;
  l_Data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  l_Data.uCallbackMessage = WM_SERVER_TRAY_NOTIFY;
  l_Data.hIcon = m_bServiceReady ? IDI_SERVICE_READY : IDI_SERVICE_NOT_READY;
  const std::string l_Tip = platform::ToAnsi(platform::LoadString(IDS_TRAY_TIP, kEnglishUnitedStates));
  std::memcpy(l_Data.szTip, l_Tip.data(), std::min<std::size_t>(l_Tip.size(), 63));
  platform::Shell_NotifyIconA(p_nMessage, l_Data);
}

platform::Thread StartServerTerminateMonitor(const CServerTrayWindow& p_Tray,
                                             std::function<void()> p_Unlock) {
  const HWND l_hTray = p_Tray.Handle();
  return platform::Thread::Start([&p_Tray, l_hTray, p_Unlock = std::move(p_Unlock)]() {
    const platform::Event l_hTerminate = CreateServerTerminateEvent();
    for (;;) {
      const platform::WaitResult l_Result = platform::WaitForObject(l_hTerminate.Ref(), kProbeStep);
      if (l_Result.status != platform::WaitStatus::TimedOut) break;
      if (!p_Tray.IsMenuOpen() &&
          IsLogonInitializationComplete(false) != p_Tray.IsServiceReady()) {
        platform::PostMessage(l_hTray, WM_SERVER_TRAY_NOTIFY, 0, kServerTrayProbe);
      }
    }
    p_Unlock();
    return std::uint32_t{0};
  });
}
