#include "service/host/SessionMonitorWindow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <thread>

#include "common/tests/support/LogRecorder.h"
#include "platform/kernel/Thread.h"
#include "platform/kernel/Wait.h"
#include "platform/user/Window.h"
#include "service/host/tests/ListenerFixture.h"

namespace listener_test {
namespace {

using platform::Timeout;

constexpr char16_t kReadinessEvent[] = u"Global\\TermSrvReadyEvent";
constexpr char16_t kReadinessSeen[] =
    u"CWTSSessionMonitorWindow WTSRegisterSessionNotification TermServ Event Succeeds in ";
constexpr char16_t kReadinessTimedOut[] =
    u"CWTSSessionMonitorWindow WTSRegisterSessionNotification TermServ Event Times Out!";
constexpr char16_t kRegistered[] =
    u"CWTSSessionMonitorWindow WTSRegisterSessionNotification Succeeds in ";
constexpr char16_t kNotRegistered[] =
    u"CWTSSessionMonitorWindow WTSRegisterSessionNotification Fails!";

bool Logged(const LogRecorder& p_Log, std::u16string_view p_Start) {
  const std::vector<std::u16string> l_Texts = p_Log.Texts();
  return std::any_of(l_Texts.begin(), l_Texts.end(),
                     [&](const std::u16string& l_Text) { return l_Text.starts_with(p_Start); });
}

// Makes the window on a thread of its own, as the listener does, and destroys it there.
platform::Thread CreateWindowOnItsOwnThread() {
  return platform::Thread::Start([] {
    CWTSSessionMonitorWindow l_Window;
    return l_Window.Create() != 0 ? 1u : 0u;
  });
}

TEST(SessionMonitorWindow, WaitsForTheSessionManagersReadinessWithoutTakingIt) {
  LogRecorder l_Log;
  platform::Thread l_Window = CreateWindowOnItsOwnThread();
  // The window looks for the readiness event before the manager has made it.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  InProcessSessions l_Sessions;
  ASSERT_TRUE(l_Window.Join(Timeout(600000)));
  EXPECT_EQ(l_Window.ExitCode(), 1u);
  EXPECT_TRUE(Logged(l_Log, kReadinessSeen));
  EXPECT_TRUE(Logged(l_Log, kRegistered));
  // The manager's signal is still there for everyone else.
  const platform::Event l_hReady = platform::Event::Open(kReadinessEvent).handle;
  ASSERT_TRUE(l_hReady);
  EXPECT_TRUE(platform::WaitForObject(l_hReady.Ref(), Timeout(0)).Signalled(0));
}

// No readiness within the 60 s: the registration is tried all the same, every 2 s, and the
// window is made whether or not it ever succeeds.
TEST(SessionMonitorWindow, RegistrationIsRetriedAfterTheReadinessWaitTimesOut) {
  for (const bool l_bManagerComesLate : {true, false}) {
    SCOPED_TRACE(l_bManagerComesLate);
    LogRecorder l_Log;
    platform::Thread l_Window = CreateWindowOnItsOwnThread();
    ASSERT_TRUE(l_Log.AwaitText(kReadinessTimedOut, kSettle));
    std::optional<InProcessSessions> l_Sessions;
    if (l_bManagerComesLate) {
      l_Sessions.emplace();
    }
    ASSERT_TRUE(l_Window.Join(Timeout(600000)));
    EXPECT_EQ(l_Window.ExitCode(), 1u);
    EXPECT_EQ(Logged(l_Log, kRegistered), l_bManagerComesLate);
    EXPECT_EQ(Logged(l_Log, kNotRegistered), !l_bManagerComesLate);
  }
}

// Lock, unlock and a type without a name are recorded like a logon, in the order they came.
TEST(SessionMonitorWindow, EveryChangeIsRecordedInOrderAndSignalled) {
  LogRecorder l_Log;
  InProcessSessions l_Sessions;
  CWTSSessionMonitorWindow l_Window;
  ASSERT_NE(l_Window.Create(), 0u);
  const platform::Event l_hSignal = platform::Event::Open(u"HALMAVET_SESSION_EVENT").handle;
  ASSERT_TRUE(l_hSignal);
  const std::vector<CSessionChange> l_Posted = {
      {WTS_SESSION_LOCK, 3}, {WTS_SESSION_UNLOCK, 3}, {42, 4}, {WTS_SESSION_LOGON, 5}};
  for (const CSessionChange& l_Change : l_Posted) {
    ASSERT_TRUE(platform::PostMessage(l_Window.m_hWnd, WM_WTSSESSION_CHANGE, l_Change.m_nType,
                                      static_cast<LPARAM>(l_Change.m_dwSessionId)));
  }
  MSG l_Message;
  while (platform::PeekMessage(l_Message, 0, 0, 0, PM_REMOVE)) {
    platform::DispatchMessage(l_Message);
  }
  EXPECT_EQ(l_Window.TakeSessionChanges(), l_Posted);
  EXPECT_TRUE(l_Window.TakeSessionChanges().empty());
  EXPECT_TRUE(platform::WaitForObject(l_hSignal.Ref(), Timeout(0)).Signalled(0));
  EXPECT_TRUE(l_Log.Contains(
      u"CWTSSessionMonitorWindow OnWTSSessionChange Type = WTS_SESSION_LOCK for session 3"));
  EXPECT_TRUE(l_Log.Contains(u"CWTSSessionMonitorWindow OnWTSSessionChange Type =  for session 4"));
}

}  // namespace
}  // namespace listener_test
