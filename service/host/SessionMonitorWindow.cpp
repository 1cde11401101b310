#include "service/host/SessionMonitorWindow.h"

#include <algorithm>
#include <array>

#include "common/ProgramLogger.h"
#include "platform/base/Time.h"
#include "platform/kernel/Wait.h"
#include "platform/sessions/Sessions.h"
#include "platform/user/Window.h"
#include "service/device/ServiceEvents.h"

namespace {

constexpr char16_t kMonitorWindowClass[] = u"CWTSSessionMonitorWindow";
constexpr char16_t kSessionEventName[] = u"HALMAVET_SESSION_EVENT";
constexpr char16_t kTerminalServicesReadyEvent[] = u"Global\\TermSrvReadyEvent";

constexpr platform::Timeout kReadinessWait{60000};
// How long to wait before the readiness event is looked for again while it does not exist.
constexpr platform::Timeout kReadinessOpenRetry{250};
constexpr platform::Timeout kRegistrationRetry{2000};
constexpr int kRegistrationRetries = 60;

// The change types' names for the log, by type; types outside 1 to 9 have none.
constexpr std::array<const char16_t*, 10> kChangeTypeNames = {
    u"",
    u"WTS_CONSOLE_CONNECT",
    u"WTS_CONSOLE_DISCONNECT",
    u"WTS_REMOTE_CONNECT",
    u"WTS_REMOTE_DISCONNECT",
    u"WTS_SESSION_LOGON",
    u"WTS_SESSION_LOGOFF",
    u"WTS_SESSION_LOCK",
    u"WTS_SESSION_UNLOCK",
    u"WTS_SESSION_REMOTE_CONTROL",
};

const char16_t* ChangeTypeName(std::uint32_t p_nType) {
  return p_nType < kChangeTypeNames.size() ? kChangeTypeNames[p_nType] : u"";
}

std::uint32_t MillisecondsSince(std::uint32_t p_nStartTick) {
  return platform::TickCount() - p_nStartTick;
}

}  // namespace

CWTSSessionMonitorWindow::~CWTSSessionMonitorWindow() { DestroyWindow(); }

HWND CWTSSessionMonitorWindow::Create() { return CreateOfClass(kMonitorWindowClass, WS_POPUP); }

bool CWTSSessionMonitorWindow::ProcessWindowMessage(HWND p_hWnd, UINT p_nMessage, WPARAM p_wParam,
                                                    LPARAM p_lParam, LRESULT& p_lResult,
                                                    std::uint32_t p_nMsgMapID) {
  if (p_nMsgMapID != 0) {
    return false;
  }
  switch (p_nMessage) {
    case WM_WTSSESSION_CHANGE:
      p_lResult = OnWTSSessionChange(static_cast<std::uint32_t>(p_wParam),
                                     static_cast<std::uint32_t>(p_lParam));
      return true;
    case WM_CREATE:
      // The handle is known only once creation is over; the registration needs it now.
      m_hWnd = p_hWnd;
      p_lResult = OnCreate();
      return true;
    case WM_DESTROY:
      p_lResult = OnDestroy();
      return true;
    default:
      return false;
  }
}

LRESULT CWTSSessionMonitorWindow::OnCreate() {
  m_hSessionEvent = CreateAutoResetEvent(kSessionEventName);
  if (!m_hSessionEvent) {
    g_Logger->Log(LOG_TO_FILE, u"CWTSSessionMonitorWindow CreateEvent Fails!");
  }
  const std::uint32_t l_nStartTick = platform::TickCount();
  if (AwaitTerminalServices()) {
    g_Logger->Log(LOG_TO_FILE,
                  u"CWTSSessionMonitorWindow WTSRegisterSessionNotification TermServ Event "
                  u"Succeeds in %d ms",
                  MillisecondsSince(l_nStartTick));
  } else {
    g_Logger->Log(LOG_TO_FILE,
                  u"CWTSSessionMonitorWindow WTSRegisterSessionNotification TermServ Event "
                  u"Times Out!");
  }
  if (RegisterForSessionNotices()) {
    g_Logger->Log(LOG_TO_FILE,
                  u"CWTSSessionMonitorWindow WTSRegisterSessionNotification Succeeds in %d ms",
                  MillisecondsSince(l_nStartTick));
  } else {
    g_Logger->Log(LOG_TO_FILE, u"CWTSSessionMonitorWindow WTSRegisterSessionNotification Fails!");
  }
  return 0;
}

bool CWTSSessionMonitorWindow::AwaitTerminalServices() const {
  const std::uint32_t l_nStartTick = platform::TickCount();
  for (;;) {
    const platform::Timeout l_Left =
        kReadinessWait - platform::Timeout(MillisecondsSince(l_nStartTick));
    if (l_Left <= platform::Timeout::zero()) {
      return false;
    }
    const platform::Event l_hReady = platform::Event::Open(kTerminalServicesReadyEvent).handle;
    if (l_hReady) {
      return platform::WaitForObject(l_hReady.Ref(), l_Left).Signalled(0);
    }
    platform::Sleep(std::min(l_Left, kReadinessOpenRetry));
  }
}

bool CWTSSessionMonitorWindow::RegisterForSessionNotices() const {
  for (int l_nRetry = 0;; ++l_nRetry) {
    if (platform::WTSRegisterSessionNotification(m_hWnd, platform::NOTIFY_FOR_ALL_SESSIONS)) {
      return true;
    }
    if (l_nRetry == kRegistrationRetries) {
      return false;
    }
    platform::Sleep(kRegistrationRetry);
  }
}

LRESULT CWTSSessionMonitorWindow::OnWTSSessionChange(std::uint32_t p_nType,
                                                     std::uint32_t p_dwSessionId) {
  // Every notice is kept: several may come before the listener looks, and each logon and logoff
  // must be acted on.
  m_Changes.push_back({p_nType, p_dwSessionId});
  g_Logger->Log(LOG_TO_FILE,
                u"CWTSSessionMonitorWindow OnWTSSessionChange Type = %s for session %d",
                ChangeTypeName(p_nType), p_dwSessionId);
  m_hSessionEvent.Set();
  return 0;
}

LRESULT CWTSSessionMonitorWindow::OnDestroy() {
  platform::WTSUnRegisterSessionNotification(m_hWnd);
  return 0;
}

std::vector<CSessionChange> CWTSSessionMonitorWindow::TakeSessionChanges() {
  std::vector<CSessionChange> l_Changes(m_Changes.begin(), m_Changes.end());
  m_Changes.clear();
  return l_Changes;
}
