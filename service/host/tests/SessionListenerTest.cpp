#include "service/host/SessionListener.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

#include "platform/base/Format.h"
#include "platform/kernel/Mutex.h"
#include "platform/kernel/Wait.h"
#include "platform/sessions/Sessions.h"
#include "platform/user/Messages.h"
#include "service/device/ServiceEvents.h"
#include "service/host/tests/ListenerFixture.h"
#include "service/session/MediaPlayerEvents.h"

namespace listener_test {
namespace {

using platform::Event;
using platform::Timeout;

// Each routed event of the listener, and the console block's event it must reach.
struct RoutedEvent {
  const char16_t* m_szName;
  std::size_t m_nSessionIndex;
};
constexpr RoutedEvent kRoutedEvents[] = {
    {u"RemoteButtonUp", kWaitUp},
    {u"RemoteButtonDown", kWaitDown},
    {u"RemoteButtonLeft", kWaitLeft},
    {u"RemoteButtonRight", kWaitRight},
    {u"RemoteButtonOk", kWaitOk},
    {u"RemoteButtonPlay", kWaitPlay},
    {u"RemoteButtonPause", kWaitPause},
    {u"RemoteButtonStop", kWaitStop},
    {u"RemoteButtonPower", kWaitPower},
    {u"RemoteMediaPlayerEvent", kWaitMediaPlayerEvent},
    {u"WTS_USER_SESSION_LOGOFF", kWaitUserLogoff},
    {u"RefreshScreen", kWaitRefreshScreen},
    {u"RemoteButtonPrev", kWaitPrev},
    {u"RemoteButtonNext", kWaitNext},
    {u"RemoteButtonRewind", kWaitRewind},
    {u"RemoteButtonFastForward", kWaitFastForward},
    {u"RemoteButtonPageDown", kWaitPageDown},
    {u"RemoteButtonPageUp", kWaitPageUp},
    {u"RemoteButtonHome", kWaitHome},
    {u"RemoteButtonPagesDown", kWaitPagesDown},
    {u"RemoteButtonPagesUp", kWaitPagesUp},
    {u"Global\\WMPAlbumDeletedEvent", kWaitAlbumDeleted},
    {u"OnMediaCollectionChange", kWaitMediaCollectionChange},
};

// The listener's "WTS_USER_SESSION_LOGOFF" signal reaches UserLogoffedOffSession, which logs;
// once it has, every event set before it has been served.
void AwaitEventsSetSoFar(const LogRecorder& p_Log, std::uint32_t p_dwConsole) {
  SetListenerEvent(u"WTS_USER_SESSION_LOGOFF");
  ASSERT_TRUE(p_Log.AwaitText(
      platform::Format(std::u16string_view(u"UserLogoffedOffSession %d"), p_dwConsole), kSettle));
}

void QueueRecords(int p_nCount) {
  for (int l_n = 0; l_n < p_nCount; ++l_n) {
    AppendMediaPlayerEvent(std::make_unique<CPlayerIdleTimeout>(kPlayerIdleTimeoutEventId));
  }
}

TEST_F(ListenerTest, EveryRoutedEventReachesTheConsoleSessionsBlockOnly) {
  const std::uint32_t l_dwAlice = sessions.Logon("alice", true);
  const std::uint32_t l_dwBob = sessions.Logon("bob", false);
  ASSERT_NO_FATAL_FAILURE(StartListener());

  std::vector<std::size_t> l_Expected;
  for (const RoutedEvent& l_Event : kRoutedEvents) {
    SetListenerEvent(l_Event.m_szName);
    ASSERT_TRUE(Wakes().Await({l_dwAlice, l_Event.m_nSessionIndex})) << l_Event.m_nSessionIndex;
    l_Expected.push_back(l_Event.m_nSessionIndex);
  }
  StopListener();
  l_Expected.push_back(kWaitTerminate);
  EXPECT_EQ(Wakes().Of(l_dwAlice), l_Expected);
  EXPECT_EQ(Wakes().Of(l_dwBob), std::vector<std::size_t>{kWaitTerminate});
  EXPECT_TRUE(g_UserControlBlocks.empty());
}

// A routed event with no block at the console: with no block at all nothing could take the
// queued records, so they go; with another session's block they stay for it.
TEST_F(ListenerTest, ARoutedEventWithoutAConsoleBlockIsDropped) {
  struct Case {
    bool m_bOtherSession;
    std::size_t m_nRecordsLeft;
  };
  for (const Case l_Case : {Case{false, 0}, Case{true, 3}}) {
    SCOPED_TRACE(l_Case.m_bOtherSession);
    const std::uint32_t l_dwOther =
        l_Case.m_bOtherSession ? sessions.Logon("bob", false) : kNoSession;
    ASSERT_NO_FATAL_FAILURE(StartListener());
    QueueRecords(3);
    SetListenerEvent(u"RemoteButtonOk");
    ASSERT_NO_FATAL_FAILURE(AwaitEventsSetSoFar(log, platform::WTSGetActiveConsoleSessionId()));
    EXPECT_EQ(PurgeMediaPlayerEvents(), l_Case.m_nRecordsLeft);
    StopListener();
    EXPECT_EQ(Wakes().Of(l_dwOther), l_Case.m_bOtherSession
                                         ? std::vector<std::size_t>{kWaitTerminate}
                                         : std::vector<std::size_t>{});
  }
}

// Set before the listener opens them: one event a pass, lowest index first, and nothing after
// the stop.
TEST_F(ListenerTest, EventsSetTogetherAreServedInIndexOrderUpToTheStop) {
  const std::uint32_t l_dwAlice = sessions.Logon("alice", true);
  std::vector<Event> l_hSet;
  for (const char16_t* l_szName :
       {u"OnMediaCollectionChange", u"RemoteButtonPower", u"TERMINATE_WTS_SESSION_THREAD",
        u"RemoteButtonOk", u"RemoteButtonUp"}) {
    l_hSet.push_back(CreateAutoResetEvent(l_szName));
    ASSERT_TRUE(l_hSet.back().Set());
  }
  ASSERT_NO_FATAL_FAILURE(StartListener());
  EXPECT_TRUE(listener.Join(Timeout(600000)));
  // The block's thread takes its terminate event before a button that came just before it.
  std::vector<std::size_t> l_Reached = Wakes().Of(l_dwAlice);
  std::sort(l_Reached.begin(), l_Reached.end());
  EXPECT_EQ(l_Reached, (std::vector<std::size_t>{kWaitTerminate, kWaitUp, kWaitOk}));
}

TEST_F(ListenerTest, SessionsActiveOrDisconnectedAtStartGetABlock) {
  const std::uint32_t l_dwAlice = sessions.Logon("alice", true);
  const std::uint32_t l_dwBob = sessions.Logon("bob", false);
  // Carol takes the console, which leaves Alice's session disconnected.
  const std::uint32_t l_dwCarol = sessions.Logon("carol", true);
  ASSERT_NO_FATAL_FAILURE(StartListener());
  std::vector<std::uint32_t> l_Blocks;
  for (const auto& l_pBlock : g_UserControlBlocks) l_Blocks.push_back(l_pBlock->GetSessionId());
  // The services' own session, which idles, gets none.
  EXPECT_EQ(l_Blocks, (std::vector<std::uint32_t>{l_dwAlice, l_dwBob, l_dwCarol}));
  SetListenerEvent(u"RemoteButtonUp");
  EXPECT_TRUE(Wakes().Await({l_dwCarol, kWaitUp}));
}

TEST_F(ListenerTest, ALogonMakesOneBlockPerSessionAndALogoffEndsIt) {
  const std::uint32_t l_dwAlice = sessions.Logon("alice", true);
  ASSERT_NO_FATAL_FAILURE(StartListener());

  const std::uint32_t l_dwBob = sessions.Logon("bob", true);
  ASSERT_TRUE(Wakes().Await({l_dwBob, kStarted}));
  SetListenerEvent(u"RemoteButtonUp");
  ASSERT_TRUE(Wakes().Await({l_dwBob, kWaitUp}));

  // A logon notice for a session that has its block, and a logoff of a session without one,
  // change nothing.
  PostSessionChange(WTS_SESSION_LOGON, l_dwAlice);
  PostSessionChange(WTS_SESSION_LOGOFF, 77);
  ASSERT_EQ(sessions.Control().Logoff(l_dwBob).error, ERROR_SUCCESS);
  ASSERT_TRUE(log.AwaitText(StandInEnd(l_dwBob), kSettle));
  // Bob's logon at the console was logged as a console connect too: only the one to come counts.
  log.Clear();
  ASSERT_EQ(sessions.Control().SwitchConsole(l_dwAlice).error, ERROR_SUCCESS);
  ASSERT_TRUE(log.AwaitText(u"WTSLogonListener WTS_CONSOLE_CONNECT", kSettle));
  SetListenerEvent(u"RemoteButtonDown");
  ASSERT_TRUE(Wakes().Await({l_dwAlice, kWaitDown}));
  StopListener();

  const std::vector<Wake> l_Wakes = Wakes().All();
  EXPECT_EQ(std::count(l_Wakes.begin(), l_Wakes.end(), Wake{l_dwAlice, kStarted}), 1);
  // Bob's logon at the console and Alice's return to it each have that session redraw its page
  // whole, as the display still held the other session's; the redraw and the button race.
  const auto l_Sorted = [](std::vector<std::size_t> p_Wakes) {
    std::sort(p_Wakes.begin(), p_Wakes.end());
    return p_Wakes;
  };
  EXPECT_EQ(l_Sorted(Wakes().Of(l_dwBob)),
            (std::vector<std::size_t>{kWaitTerminate, kWaitUp, kWaitRefreshScreen}));
  EXPECT_EQ(l_Sorted(Wakes().Of(l_dwAlice)),
            (std::vector<std::size_t>{kWaitTerminate, kWaitDown, kWaitRefreshScreen}));
}

// A stand-in that, told to end, stays until the test opens the gate, and then still uses its
// events.
Event& Gate() {
  static Event s_hGate = platform::Event::Create(platform::EventReset::Manual, false).handle;
  return s_hGate;
}
std::atomic<int> g_nLateThreadsWithEvents{0};
std::uint32_t GatedSessionThread(const CSessionEvents& p_Events) {
  NoteWakesUntilTerminate(p_Events);
  platform::WaitForObject(Gate().Ref(), platform::kInfinite);
  if (p_Events.m_hThreadInitialized.Set()) {
    ++g_nLateThreadsWithEvents;
  }
  LogStandInEnd(p_Events);
  return 0;
}

// While a logoff holds the listener, two logons and a logoff arrive; all reach the window in one
// pass of the pump and each is acted on, in order.
TEST_F(ListenerTest, EverySessionChangeOfOnePumpPassIsActedOn) {
  const std::uint32_t l_dwAlice = sessions.Logon("alice", true);
  const std::uint32_t l_dwBob = sessions.Logon("bob", false);
  const std::uint32_t l_dwErin = sessions.Logon("erin", false);
  ASSERT_NO_FATAL_FAILURE(StartListener(GatedSessionThread));

  ASSERT_EQ(sessions.Control().Logoff(l_dwBob).error, ERROR_SUCCESS);
  ASSERT_TRUE(log.AwaitText(u"Wait on thread shutdown sees 258", kSettle));
  const std::uint32_t l_dwCarol = sessions.Logon("carol", false);
  const std::uint32_t l_dwDave = sessions.Logon("dave", false);
  // Returns once the notices before it have been posted.
  ASSERT_EQ(sessions.Control().Logoff(l_dwErin).error, ERROR_SUCCESS);
  ASSERT_TRUE(Gate().Set());

  ASSERT_TRUE(log.AwaitText(StandInEnd(l_dwErin), kSettle));
  EXPECT_TRUE(Wakes().Await({l_dwCarol, kStarted}));
  EXPECT_TRUE(Wakes().Await({l_dwDave, kStarted}));
  const std::vector<std::u16string> l_Texts = log.Texts();
  const auto l_Bob = std::find(l_Texts.begin(), l_Texts.end(), StandInEnd(l_dwBob));
  const auto l_Pass =
      std::find(l_Texts.begin(), l_Texts.end(), u"WTSLogonListener WTS_SESSION_LOGON");
  // Bob's block went only once his thread had ended, and using its events after the stop's
  // wait still worked.
  EXPECT_LT(l_Bob, l_Pass);
  EXPECT_EQ(g_nLateThreadsWithEvents, 2);
  StopListener();
  std::vector<std::uint32_t> l_Started;
  for (const Wake& l_Wake : Wakes().All()) {
    if (l_Wake.m_nIndex == kStarted) l_Started.push_back(l_Wake.m_dwSessionId);
  }
  EXPECT_EQ(l_Started,
            (std::vector<std::uint32_t>{l_dwAlice, l_dwBob, l_dwErin, l_dwCarol, l_dwDave}));
}

// Stand-ins that end only once every one of them has been told to: told one after another, each
// with the full stop wait before the next, the first would wait in vain.
constexpr int kSlowSessions = 4;
std::atomic<int> g_nToldToEnd{0};
Event& AllTold() {
  static Event s_hAllTold = platform::Event::Create(platform::EventReset::Manual, false).handle;
  return s_hAllTold;
}
std::uint32_t EndOnceAllAreToldSessionThread(const CSessionEvents& p_Events) {
  NoteWakesUntilTerminate(p_Events);
  if (++g_nToldToEnd == kSlowSessions) {
    AllTold().Set();
  }
  platform::WaitForObject(AllTold().Ref(), Timeout(30000));
  LogStandInEnd(p_Events);
  return 0;
}

TEST_F(ListenerTest, TheStopTellsEveryBlockBeforeItWaitsForAny) {
  for (int l_n = 0; l_n < kSlowSessions; ++l_n) {
    sessions.Logon("user" + std::to_string(l_n), l_n == 0);
  }
  ASSERT_NO_FATAL_FAILURE(StartListener(EndOnceAllAreToldSessionThread));
  ASSERT_EQ(g_UserControlBlocks.size(), static_cast<std::size_t>(kSlowSessions));
  StopListener();
  EXPECT_FALSE(log.Contains(u"Wait on thread shutdown sees 258"));
  EXPECT_EQ(g_nToldToEnd, kSlowSessions);
}

// A thread that outlives the stop's wait keeps its block, and the stop goes on only once it
// has ended.
TEST_F(ListenerTest, AtTheStopABlockLivesUntilItsThreadHasEnded) {
  const std::uint32_t l_dwAlice = sessions.Logon("alice", true);
  ASSERT_NO_FATAL_FAILURE(StartListener(GatedSessionThread));
  SetListenerEvent(u"TERMINATE_WTS_SESSION_THREAD");
  ASSERT_TRUE(log.AwaitText(u"Wait on thread shutdown sees 258", kSettle));
  ASSERT_TRUE(Gate().Set());
  StopListener();
  const std::vector<std::u16string> l_Texts = log.Texts();
  EXPECT_LT(std::find(l_Texts.begin(), l_Texts.end(), StandInEnd(l_dwAlice)),
            std::find(l_Texts.begin(), l_Texts.end(), u"WTSLogonListener UserControlBlocks Clear"));
  EXPECT_EQ(g_nLateThreadsWithEvents, 1);
}

TEST_F(ListenerTest, TheShutdownEventIsSetOnceAtTheVeryEnd) {
  const std::uint32_t l_dwAlice = sessions.Logon("alice", true);
  const Event l_hShutdown = CreateAutoResetEvent(u"Global\\WMP_SERVICE_SHUTDOWN_COMPLETE");
  std::vector<std::u16string> l_TextsWhenSet;
  platform::Thread l_Waiter = platform::Thread::Start([&] {
    platform::WaitForObject(l_hShutdown.Ref(), platform::kInfinite);
    l_TextsWhenSet = log.Texts();
    return 0u;
  });
  ASSERT_NO_FATAL_FAILURE(StartListener());
  StopListener();
  ASSERT_TRUE(l_Waiter.Join(Timeout(600000)));
  EXPECT_NE(std::find(l_TextsWhenSet.begin(), l_TextsWhenSet.end(),
                      u"WTSLogonListener SessionMonitorWindow Clear"),
            l_TextsWhenSet.end());
  EXPECT_NE(std::find(l_TextsWhenSet.begin(), l_TextsWhenSet.end(), StandInEnd(l_dwAlice)),
            l_TextsWhenSet.end());
  EXPECT_FALSE(platform::WaitForObject(l_hShutdown.Ref(), Timeout(0)).Signalled(0));
}

// A name held by another kind of object: the event cannot be made, and the listener waits on
// the others instead of failing every wait.
TEST_F(ListenerTest, AnEventThatCannotBeMadeIsLeftOutOfTheWait) {
  const std::uint32_t l_dwAlice = sessions.Logon("alice", true);
  const platform::Mutex l_hTaken = platform::Mutex::Create(false, u"RemoteButtonUp").handle;
  ASSERT_TRUE(l_hTaken);
  ASSERT_NO_FATAL_FAILURE(StartListener());
  EXPECT_TRUE(log.Contains(u"WTSLogonListener CreateEvent REMOTE_BUTTON_UP Fails!"));
  SetListenerEvent(u"RemoteButtonDown");
  EXPECT_TRUE(Wakes().Await({l_dwAlice, kWaitDown}));
  StopListener();
  EXPECT_EQ(Wakes().Of(l_dwAlice), (std::vector<std::size_t>{kWaitDown, kWaitTerminate}));
}

}  // namespace
}  // namespace listener_test
