#include "service/host/SessionListener.h"

#include <gtest/gtest.h>

#include "service/host/tests/ListenerFixture.h"

namespace listener_test {
namespace {

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

TEST_F(ListenerTest, EveryRoutedEventReachesTheConsoleSessionsBlockOnly) {
  InProcessSessions l_Sessions;
  const std::uint32_t l_dwAlice = l_Sessions.Logon("alice", true);
  const std::uint32_t l_dwBob = l_Sessions.Logon("bob", false);
  ASSERT_NO_FATAL_FAILURE(StartListener());
  ASSERT_EQ(g_UserControlBlocks.size(), 2u);

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

}  // namespace
}  // namespace listener_test
