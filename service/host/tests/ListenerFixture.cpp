#include "service/host/tests/ListenerFixture.h"

#include <algorithm>
#include <array>

#include "platform/base/Format.h"
#include "platform/kernel/Wait.h"
#include "platform/user/Window.h"
#include "service/device/ServiceEvents.h"

namespace listener_test {

void WakeLog::Note(Wake p_Wake) {
  std::lock_guard l_Lock(m_Lock);
  m_Wakes.push_back(p_Wake);
  m_Noted.notify_all();
}

std::vector<Wake> WakeLog::All() const {
  std::lock_guard l_Lock(m_Lock);
  return m_Wakes;
}

std::vector<std::size_t> WakeLog::Of(std::uint32_t p_dwSessionId) const {
  std::vector<std::size_t> l_Indices;
  for (const Wake& l_Wake : All()) {
    if (l_Wake.m_dwSessionId == p_dwSessionId && l_Wake.m_nIndex != kStarted) {
      l_Indices.push_back(l_Wake.m_nIndex);
    }
  }
  return l_Indices;
}

bool WakeLog::Await(Wake p_Wake) const {
  std::unique_lock l_Lock(m_Lock);
  return m_Noted.wait_for(l_Lock, kSettle, [&] {
    return std::find(m_Wakes.begin(), m_Wakes.end(), p_Wake) != m_Wakes.end();
  });
}

WakeLog& Wakes() {
  static WakeLog s_Wakes;
  return s_Wakes;
}

void NoteWakesUntilTerminate(const CSessionEvents& p_Events) {
  Wakes().Note({p_Events.m_dwSessionId, kStarted});
  std::array<platform::ObjectRef, kSessionWaitEventCount> l_Waited;
  for (std::size_t l_nIndex = 0; l_nIndex < kSessionWaitEventCount; ++l_nIndex) {
    l_Waited[l_nIndex] = p_Events.m_hWaitEvents[l_nIndex].Ref();
  }
  for (;;) {
    const platform::WaitResult l_Result = platform::WaitForObjects(l_Waited, platform::kInfinite);
    if (l_Result.status != platform::WaitStatus::Signalled) {
      break;
    }
    Wakes().Note({p_Events.m_dwSessionId, l_Result.index});
    if (l_Result.index == kWaitTerminate) {
      break;
    }
  }
  // What was signalled together with the terminate event; the stop may ask more than once (the
  // listener asks every block before it stops each), which is no event of its own.
  for (;;) {
    const platform::WaitResult l_Result = platform::WaitForObjects(l_Waited, platform::Timeout(0));
    if (l_Result.status != platform::WaitStatus::Signalled) {
      break;
    }
    if (l_Result.index != kWaitTerminate) {
      Wakes().Note({p_Events.m_dwSessionId, l_Result.index});
    }
  }
}

void LogStandInEnd(const CSessionEvents& p_Events) {
  g_Logger->Log(LOG_TO_FILE, u"stand-in session %d ends", p_Events.m_dwSessionId);
}

std::u16string StandInEnd(std::uint32_t p_dwSessionId) {
  return platform::Format(std::u16string_view(u"stand-in session %d ends"), p_dwSessionId);
}

std::uint32_t NotingSessionThread(const CSessionEvents& p_Events) {
  NoteWakesUntilTerminate(p_Events);
  LogStandInEnd(p_Events);
  return 0;
}

InProcessSessions::InProcessSessions()
    : m_pManager(platform::SessionManager::Start(platform::MakeWindowDelivery())) {
  if (!m_pManager) {
    ADD_FAILURE() << "no session manager";
    return;
  }
  m_Serving = std::thread([this] { m_pManager->Run(); });
  m_Control = platform::SessionControl::Connect();
  EXPECT_TRUE(m_Control.has_value());
}

InProcessSessions::~InProcessSessions() {
  if (m_pManager) {
    m_pManager->Stop();
    m_Serving.join();
  }
}

std::uint32_t InProcessSessions::Logon(const std::string& p_User, bool p_bConsole) {
  const platform::SessionControl::Result l_Result = m_Control->Logon(p_User, p_bConsole);
  EXPECT_EQ(l_Result.error, ERROR_SUCCESS);
  return l_Result.error == ERROR_SUCCESS ? static_cast<std::uint32_t>(std::stoul(l_Result.value))
                                         : 0;
}

void SetListenerEvent(std::u16string_view p_Name) {
  const platform::Event l_hEvent = CreateAutoResetEvent(p_Name);
  ASSERT_TRUE(l_hEvent.Set());
}

void PostSessionChange(std::uint32_t p_nType, std::uint32_t p_dwSessionId) {
  const HWND l_hWnd = platform::FindWindow(u"CWTSSessionMonitorWindow", nullptr);
  ASSERT_NE(l_hWnd, 0u);
  ASSERT_TRUE(platform::PostMessage(l_hWnd, WM_WTSSESSION_CHANGE, p_nType,
                                    static_cast<LPARAM>(p_dwSessionId)));
}

ListenerTest::~ListenerTest() {
  if (listener.Joinable()) {
    StopListener();
  }
}

void ListenerTest::StartListener(SessionThreadProcedure p_pProcedure) {
  log.Clear();
  settings.m_pSessionThread = p_pProcedure;
  listener = platform::Thread::Start(WTSLogonListener, &settings);
  ASSERT_TRUE(log.AwaitText(u"WTSLogonListener Initialization Complete", kSettle));
}

void ListenerTest::StopListener() {
  SetListenerEvent(u"TERMINATE_WTS_SESSION_THREAD");
  EXPECT_TRUE(listener.Join(platform::Timeout(600000)));
}

}  // namespace listener_test
