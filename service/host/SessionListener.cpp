#include "service/host/SessionListener.h"

#include <array>
#include <optional>
#include <span>
#include <string>

#include "common/MenuTexts.h"
#include "common/ProgramLogger.h"
#include "platform/base/Format.h"
#include "platform/base/Language.h"
#include "platform/base/NoDestructor.h"
#include "platform/base/Text.h"
#include "platform/base/Time.h"
#include "platform/kernel/Wait.h"
#include "platform/sessions/Sessions.h"
#include "platform/user/Window.h"
#include "service/device/DisplayState.h"
#include "service/device/ReportWriter.h"
#include "service/device/ServiceEvents.h"
#include "service/host/SessionMonitorWindow.h"
#include "service/session/MediaPlayerEvents.h"

std::vector<std::unique_ptr<CUserControlBlock>> g_UserControlBlocks;

namespace {

enum class ListenerAction { SessionChange, Route, Terminate, UserLogoff };

// One waited event: its name, the constant that names it in the log, and what its signal does.
struct CListenerEvent {
  const char16_t* m_szName;
  const char16_t* m_szConstant;
  ListenerAction m_Action;
  std::uint32_t m_nButton;  // the code that Route passes on
};

// In wait order, which is also the order of priority.
constexpr std::array<CListenerEvent, 25> kListenerEvents = {{
    {u"HALMAVET_SESSION_EVENT", u"WTS_SESSION_EVENT_NAME", ListenerAction::SessionChange, 0},
    {u"RemoteButtonUp", u"REMOTE_BUTTON_UP", ListenerAction::Route, kButtonUp},
    {u"RemoteButtonDown", u"REMOTE_BUTTON_DOWN", ListenerAction::Route, kButtonDown},
    {u"RemoteButtonLeft", u"REMOTE_BUTTON_LEFT", ListenerAction::Route, kButtonLeft},
    {u"RemoteButtonRight", u"REMOTE_BUTTON_RIGHT", ListenerAction::Route, kButtonRight},
    {u"RemoteButtonOk", u"REMOTE_BUTTON_OK", ListenerAction::Route, kButtonOk},
    {u"RemoteButtonPlay", u"REMOTE_BUTTON_PLAY", ListenerAction::Route, kButtonPlay},
    {u"RemoteButtonPause", u"REMOTE_BUTTON_PAUSE", ListenerAction::Route, kButtonPause},
    {u"RemoteButtonStop", u"REMOTE_BUTTON_STOP", ListenerAction::Route, kButtonStop},
    {u"TERMINATE_WTS_SESSION_THREAD", u"TERMINATE_WTS_SESSION_THREAD", ListenerAction::Terminate,
     0},
    {u"RemoteButtonPower", u"REMOTE_BUTTON_POWER", ListenerAction::Route, kButtonPower},
    {u"RemoteMediaPlayerEvent", u"REMOTE_MEDIA_PLAYER_EVENT", ListenerAction::Route,
     kButtonMediaPlayerEvent},
    {u"WTS_USER_SESSION_LOGOFF", u"WTS_USER_SESSION_LOGOFF", ListenerAction::UserLogoff, 0},
    {u"RefreshScreen", u"REFRESH_SCREEN", ListenerAction::Route, kButtonRefreshScreen},
    {u"RemoteButtonPrev", u"REMOTE_BUTTON_PREV", ListenerAction::Route, kButtonPrev},
    {u"RemoteButtonNext", u"REMOTE_BUTTON_NEXT", ListenerAction::Route, kButtonNext},
    {u"RemoteButtonRewind", u"REMOTE_BUTTON_REWIND", ListenerAction::Route, kButtonRewind},
    {u"RemoteButtonFastForward", u"REMOTE_BUTTON_FAST_FORWARD", ListenerAction::Route,
     kButtonFastForward},
    {u"RemoteButtonPageDown", u"REMOTE_BUTTON_PAGE_DOWN", ListenerAction::Route, kButtonPageDown},
    {u"RemoteButtonPageUp", u"REMOTE_BUTTON_PAGE_UP", ListenerAction::Route, kButtonPageUp},
    {u"RemoteButtonHome", u"REMOTE_BUTTON_HOME", ListenerAction::Route, kButtonHome},
    {u"RemoteButtonPagesDown", u"RemoteButtonPagesDown", ListenerAction::Route, kButtonPagesDown},
    {u"RemoteButtonPagesUp", u"RemoteButtonPagesUp", ListenerAction::Route, kButtonPagesUp},
    {u"Global\\WMPAlbumDeletedEvent", u"WMP_ALBUM_DELETED_EVENT", ListenerAction::Route,
     kButtonAlbumDeleted},
    {u"OnMediaCollectionChange", u"ON_MEDIA_COLLECTION_CHANGE", ListenerAction::Route,
     kButtonMediaCollectionChange},
}};

constexpr platform::Timeout kLogoffWait{10000};
constexpr platform::Timeout kStopWait{20000};
constexpr char16_t kUserLogoffEventName[] = u"WTS_USER_SESSION_LOGOFF";
constexpr char16_t kShutdownCompleteEventName[] = u"Global\\WMP_SERVICE_SHUTDOWN_COMPLETE";

// The listener's 25 events, and the wait list of those that could be made: a null handle would
// make every wait fail at once, so a missing event is left out of the wait instead. Owned and used
// by the listener's thread.
class CListenerEvents {
 public:
  CListenerEvents() {
    // The one global event of the table is set by the servers of the sessions' users.
    const platform::SecurityDescriptor l_EveryUser = platform::SecurityDescriptor::NullDacl();
    for (std::size_t l_nIndex = 0; l_nIndex < kListenerEvents.size(); ++l_nIndex) {
      const std::u16string_view l_Name = kListenerEvents[l_nIndex].m_szName;
      m_hEvents[l_nIndex] =
          CreateAutoResetEvent(l_Name, l_Name.starts_with(u"Global\\") ? &l_EveryUser : nullptr);
      if (!m_hEvents[l_nIndex]) {
        g_Logger->Log(LOG_TO_FILE, u"WTSLogonListener CreateEvent %s Fails!",
                      kListenerEvents[l_nIndex].m_szConstant);
        continue;
      }
      m_Waited.push_back(m_hEvents[l_nIndex].Ref());
      m_WaitedIndex.push_back(l_nIndex);
    }
  }

  std::span<const platform::ObjectRef> Waited() const { return m_Waited; }
  // The table index of a wait result's index.
  std::size_t TableIndex(std::size_t p_nWaitIndex) const { return m_WaitedIndex[p_nWaitIndex]; }

 private:
  std::array<platform::Event, kListenerEvents.size()> m_hEvents;
  std::vector<platform::ObjectRef> m_Waited;
  std::vector<std::size_t> m_WaitedIndex;
};

// Sets the end-of-stop event; its handle stays open until the process ends, so that the signal
// waits for whoever opens the event later.
void AnnounceShutdownComplete() {
  static NoDestructor<platform::Event> s_hShutdownComplete;
  *s_hShutdownComplete = CreateAutoResetEvent(kShutdownCompleteEventName);
  s_hShutdownComplete->Set();
}

bool HasBlockForSession(std::uint32_t p_dwSessionId) {
  for (const auto& l_pBlock : g_UserControlBlocks) {
    if (l_pBlock->GetSessionId() == p_dwSessionId) {
      return true;
    }
  }
  return false;
}

void StartBlock(std::uint32_t p_dwSessionId, SessionThreadProcedure p_pSessionThread) {
  auto l_pBlock = std::make_unique<CUserControlBlock>(p_dwSessionId, p_pSessionThread);
  l_pBlock->StartSessionThread();
  g_UserControlBlocks.push_back(std::move(l_pBlock));
}

// Waits for every event, within one time-out for them all.
bool AwaitAll(std::span<const platform::Event> p_hEvents, platform::Timeout p_Timeout) {
  const std::uint32_t l_nStartTick = platform::TickCount();
  for (const platform::Event& l_hEvent : p_hEvents) {
    const platform::Timeout l_Elapsed(platform::TickCount() - l_nStartTick);
    const platform::Timeout l_Left = std::max(p_Timeout - l_Elapsed, platform::Timeout::zero());
    if (!platform::WaitForObject(l_hEvent.Ref(), l_Left).Signalled(0)) {
      return false;
    }
  }
  return true;
}

// The listener's set-up, wait loop and stop sequence, on its own thread.
class CSessionListener {
 public:
  explicit CSessionListener(SessionThreadProcedure p_pSessionThread)
      : m_pSessionThread(p_pSessionThread) {}

  void SetUp() {
    g_Logger->Log(LOG_TO_FILE, u"WTSLogonListener sees current session# %d",
                  platform::WTSGetActiveConsoleSessionId());
    m_pMonitorWindow = std::make_unique<CWTSSessionMonitorWindow>();
    m_pMonitorWindow->Create();
    ApplyLanguageRule(platform::UserInterfaceLanguage());
    g_bLcdInitialised = false;
    StartBlocksOfPresentSessions();
    m_Events.emplace();
    g_Logger->Log(LOG_TO_FILE, u"WTSLogonListener Initialization Complete");
  }

  void Run() {
    for (;;) {
      const platform::WaitResult l_Result = platform::MsgWaitForMultipleObjects(
          m_Events->Waited(), false, platform::kInfinite, QS_ALLINPUT);
      if (l_Result.status != platform::WaitStatus::Signalled) {
        g_Logger->Log(LOG_TO_FILE, u"WTSLogonListener MsgWaitForMultipleObjects fails with %d",
                      l_Result.error);
        return;
      }
      if (l_Result.index == m_Events->Waited().size()) {
        PumpMessages();
        continue;
      }
      const CListenerEvent& l_Event = kListenerEvents[m_Events->TableIndex(l_Result.index)];
      switch (l_Event.m_Action) {
        case ListenerAction::SessionChange:
          OnSessionChanges();
          break;
        case ListenerAction::Route:
          Route(l_Event.m_nButton);
          break;
        case ListenerAction::UserLogoff: {
          const std::uint32_t l_dwConsole = platform::WTSGetActiveConsoleSessionId();
          g_Logger->Log(LOG_TO_FILE, u"WTSLogonListener sees User Logoff for Session %d",
                        l_dwConsole);
          UserLogoffedOffSession(l_dwConsole);
          break;
        }
        case ListenerAction::Terminate:
          g_Logger->Log(LOG_TO_FILE, u"WTSLogonListener terminating");
          return;
      }
    }
  }

  void Stop() {
    StopEveryBlock();
    m_Events.reset();
    g_Logger->Log(LOG_TO_FILE, u"WTSLogonListener Handles Clear");
    m_pMonitorWindow.reset();
    g_Logger->Log(LOG_TO_FILE, u"WTSLogonListener SessionMonitorWindow Clear");
    AnnounceShutdownComplete();
    g_Logger->Log(LOG_TO_FILE, u"WTSLogonListener Ends");
  }

 private:
  void StartBlocksOfPresentSessions() {
    const std::optional<std::vector<platform::WTS_SESSION_INFO>> l_Sessions =
        platform::WTSEnumerateSessions();
    if (!l_Sessions) {
      return;
    }
    for (const platform::WTS_SESSION_INFO& l_Session : *l_Sessions) {
      g_Logger->Log(LOG_TO_FILE, u"WTSLogonListener sees session# %d, state = %s on station %s",
                    l_Session.SessionId,
                    platform::FromUtf8(platform::ConnectStateName(l_Session.State)),
                    l_Session.WinStationName);
      if (l_Session.State == platform::WTSActive || l_Session.State == platform::WTSDisconnected) {
        StartBlock(l_Session.SessionId, m_pSessionThread);
      }
    }
  }

  void PumpMessages() {
    MSG l_Message;
    while (platform::PeekMessage(l_Message, 0, 0, 0, PM_REMOVE)) {
      platform::DispatchMessage(l_Message);
    }
  }

  // Acts on every change that the window recorded, in the order they came.
  void OnSessionChanges() {
    for (const CSessionChange& l_Change : m_pMonitorWindow->TakeSessionChanges()) {
      switch (l_Change.m_nType) {
        case WTS_CONSOLE_CONNECT:
          g_Logger->Log(LOG_TO_FILE, u"WTSLogonListener WTS_CONSOLE_CONNECT");
          RedrawForConsole(l_Change.m_dwSessionId);
          break;
        case WTS_SESSION_LOGON:
          g_Logger->Log(LOG_TO_FILE, u"WTSLogonListener WTS_SESSION_LOGON");
          if (!HasBlockForSession(l_Change.m_dwSessionId)) {
            StartBlock(l_Change.m_dwSessionId, m_pSessionThread);
            // A logon at the console connects it before its block exists.
            if (platform::WTSGetActiveConsoleSessionId() == l_Change.m_dwSessionId) {
              RedrawForConsole(l_Change.m_dwSessionId);
            }
          }
          break;
        case WTS_SESSION_LOGOFF:
          g_Logger->Log(LOG_TO_FILE, u"WTSLogonListener WTS_SESSION_LOGOFF");
          LogOffUserSession(l_Change.m_dwSessionId);
          break;
        default:
          break;
      }
    }
  }

  // The display holds the page of the session that had the console, and the pages of a session
  // draw only what changed on its own last page: the session now at the console draws its page
  // whole, off the player screen that the other one may have left.
  static void RedrawForConsole(std::uint32_t p_dwSessionId) {
    if (!HasBlockForSession(p_dwSessionId)) {
      return;
    }
    if (g_bPlayerScreenShown.exchange(false)) {
      g_LcdProtocol->SendLcdCommand(kLcdLeavePlayerScreen);
    }
    ButtonEventForSession(p_dwSessionId, kButtonRefreshScreen);
  }

  static void Route(std::uint32_t p_nButton) {
    if (HaveUserControlBlocks()) {
      ButtonEventForSession(platform::WTSGetActiveConsoleSessionId(), p_nButton);
    }
  }

  // Tells every block's thread to end before it waits for any, so the stop takes as long as the
  // slowest thread rather than the sum of them; a block is deleted once its thread has ended.
  static void StopEveryBlock() {
    for (const auto& l_pBlock : g_UserControlBlocks) {
      l_pBlock->RequestStop();
    }
    std::vector<platform::Event> l_hCompletions;
    l_hCompletions.reserve(g_UserControlBlocks.size());
    for (const auto& l_pBlock : g_UserControlBlocks) {
      l_hCompletions.push_back(CreateAutoResetEvent());
      l_pBlock->StopSessionThread(l_hCompletions.back());
    }
    g_Logger->Log(LOG_TO_FILE, u"WTSLogonListener Waiting....");
    AwaitAll(l_hCompletions, kStopWait);
    l_hCompletions.clear();
    g_Logger->Log(LOG_TO_FILE, u"WTSLogonListener ControlBlock Handles Clear");
    g_UserControlBlocks.clear();
    g_Logger->Log(LOG_TO_FILE, u"WTSLogonListener UserControlBlocks Clear");
  }

  const SessionThreadProcedure m_pSessionThread;
  std::unique_ptr<CWTSSessionMonitorWindow> m_pMonitorWindow;
  std::optional<CListenerEvents> m_Events;
};

}  // namespace

std::uint32_t WTSLogonListener(void* p_pArgument) {
  const auto* l_pSettings = static_cast<const CListenerSettings*>(p_pArgument);
  CSessionListener l_Listener(l_pSettings != nullptr ? l_pSettings->m_pSessionThread
                                                     : UserWindowsMediaPlayer);
  l_Listener.SetUp();
  l_Listener.Run();
  l_Listener.Stop();
  return 0;
}

bool HaveUserControlBlocks() {
  if (!g_UserControlBlocks.empty()) {
    return true;
  }
  PurgeMediaPlayerEvents();
  return false;
}

bool ButtonEventForSession(std::uint32_t p_dwSessionId, std::uint32_t p_nButton) {
  g_Logger->Log(LOG_TO_FILE, u"ButtonEventForSession %d", p_dwSessionId);
  for (const auto& l_pBlock : g_UserControlBlocks) {
    if (l_pBlock->GetSessionId() == p_dwSessionId) {
      l_pBlock->SignalButton(p_nButton);
    }
  }
  return true;
}

bool UserLogoffedOffSession(std::uint32_t p_dwSessionId) {
  g_Logger->Log(LOG_TO_FILE, u"UserLogoffedOffSession %d", p_dwSessionId);
  const platform::Event l_hLogoff = CreateAutoResetEvent(
      platform::Format(std::u16string_view(u"%s%d"), kUserLogoffEventName, p_dwSessionId));
  l_hLogoff.Set();
  return true;
}

bool LogOffUserSession(std::uint32_t p_dwSessionId) {
  g_Logger->Log(LOG_TO_FILE, u"LogOffUserSession %d", p_dwSessionId);
  const platform::Event l_hCompletion = CreateAutoResetEvent();
  if (!l_hCompletion) {
    g_Logger->Log(LOG_TO_FILE, u"LogOffUserSession CreateEvent fails");
  }
  for (auto l_It = g_UserControlBlocks.begin(); l_It != g_UserControlBlocks.end(); ++l_It) {
    if ((*l_It)->GetSessionId() != p_dwSessionId) {
      continue;
    }
    (*l_It)->StopSessionThread(l_hCompletion);
    if (l_hCompletion && !platform::WaitForObject(l_hCompletion.Ref(), kLogoffWait).Signalled(0)) {
      g_Logger->Log(LOG_TO_FILE, u"LogOffUserSession WaitForSingleObject Times Out");
    }
    // The block's destructor waits for a thread that outlived the stop's wait.
    g_UserControlBlocks.erase(l_It);
    break;
  }
  return true;
}
