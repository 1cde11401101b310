#include "service/session/UserControlBlock.h"

#include <string>

#include "common/ProgramLogger.h"
#include "platform/base/Format.h"
#include "platform/base/Process.h"
#include "service/device/ServiceEvents.h"

const std::array<const char16_t*, kSessionWaitEventCount + 1> g_SessionEventBaseNames = {
    u"TERMINATE_USER_PLAYER_THREAD",
    u"RemoteButtonUp",
    u"RemoteButtonDown",
    u"RemoteButtonLeft",
    u"RemoteButtonRight",
    u"RemoteButtonOk",
    u"RemoteButtonPlay",
    u"RemoteButtonPause",
    u"RemoteButtonStop",
    u"RemoteButtonPower",
    u"RemoteMediaPlayerEvent",
    u"WTS_USER_SESSION_LOGOFF",
    u"RefreshScreen",
    u"RemoteButtonPrev",
    u"RemoteButtonNext",
    u"RemoteButtonRewind",
    u"RemoteButtonFastForward",
    u"RemoteButtonPageDown",
    u"RemoteButtonPageUp",
    u"RemoteButtonHome",
    u"RemoteButtonPagesDown",
    u"RemoteButtonPagesUp",
    u"MediaPlayerAlbumDeleted",
    u"OnMediaCollectionChange",
    u"USER_SESSION_THREAD_INITIALIZED",
};

namespace {

constexpr platform::Timeout kThreadStopWait{10000};
constexpr std::int32_t kWaitTimeout = 258;
constexpr std::int32_t kWaitFailed = -1;

// The wait index of each button code, by code; 0 marks no code.
constexpr std::array<std::size_t, kButtonMediaCollectionChange + 1> kWaitIndexOfButton = {
    0,                   kWaitUp,          kWaitDown,        kWaitLeft,
    kWaitRight,          kWaitOk,          kWaitPlay,        kWaitPause,
    kWaitStop,           kWaitPrev,        kWaitNext,        kWaitRewind,
    kWaitFastForward,    kWaitPageDown,    kWaitPageUp,      kWaitHome,
    kWaitPagesDown,      kWaitPagesUp,     kWaitPower,       kWaitMediaPlayerEvent,
    kWaitRefreshScreen,  kWaitAlbumDeleted, kWaitMediaCollectionChange,
};

platform::Event CreateSessionEvent(const char16_t* p_szBaseName, std::uint32_t p_dwSessionId) {
  return CreateAutoResetEvent(platform::Format(std::u16string_view(u"%s%d"), p_szBaseName,
                                               p_dwSessionId));
}

}  // namespace

CUserControlBlock::CUserControlBlock(std::uint32_t p_dwSessionId,
                                     SessionThreadProcedure p_pProcedure)
    : m_dwSessionId(p_dwSessionId), m_pProcedure(p_pProcedure) {}

CUserControlBlock::~CUserControlBlock() {
  g_Logger->Log(LOG_TO_FILE, u"CUserControlBlock::~CUserControlBlock");
  m_hThread.Join();
}

bool CUserControlBlock::StartSessionThread() {
  auto l_pEvents = std::make_shared<CSessionEvents>();
  l_pEvents->m_dwSessionId = m_dwSessionId;
  for (std::size_t l_nIndex = 0; l_nIndex < kSessionWaitEventCount; ++l_nIndex) {
    l_pEvents->m_hWaitEvents[l_nIndex] =
        CreateSessionEvent(g_SessionEventBaseNames[l_nIndex], m_dwSessionId);
  }
  l_pEvents->m_hThreadInitialized =
      CreateSessionEvent(g_SessionEventBaseNames[kSessionWaitEventCount], m_dwSessionId);
  m_pEvents = l_pEvents;
  // The thread holds the events for as long as it runs.
  m_hThread = platform::Thread::Start(
      [l_pEvents, l_pProcedure = m_pProcedure]() { return l_pProcedure(*l_pEvents); });
  return true;
}

bool CUserControlBlock::SignalButton(std::uint32_t p_nButton) {
  if (p_nButton == 0 || p_nButton >= kWaitIndexOfButton.size()) {
    g_Logger->Log(LOG_TO_FILE, u"Unknown Button Event %d", p_nButton);
    return true;
  }
  if (m_pEvents) {
    m_pEvents->m_hWaitEvents[kWaitIndexOfButton[p_nButton]].Set();
  }
  return true;
}

void CUserControlBlock::RequestStop() const {
  if (m_pEvents) {
    m_pEvents->m_hWaitEvents[kWaitTerminate].Set();
  }
}

bool CUserControlBlock::StopSessionThread(const platform::Event& p_hDone) {
  g_Logger->Log(LOG_TO_FILE, u"StopSessionThread %x", platform::CurrentThreadId());
  RequestStop();
  if (!m_hThread.Joinable()) {
    // A thread that never started has nothing to wait for.
    g_Logger->Log(LOG_TO_FILE, u"Wait on thread shutdown sees %d", kWaitFailed);
  } else if (m_hThread.Join(kThreadStopWait)) {
    g_Logger->Log(LOG_TO_FILE, u"Wait on thread shutdown succeeds");
  } else {
    g_Logger->Log(LOG_TO_FILE, u"Wait on thread shutdown sees %d", kWaitTimeout);
  }
  // A thread still running keeps its own reference to the events.
  m_pEvents.reset();
  p_hDone.Set();
  return true;
}
