#include "service/session/UserControlBlock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>

#include "common/tests/support/LogRecorder.h"
#include "platform/base/Format.h"
#include "platform/kernel/Wait.h"
#include "service/device/ServiceEvents.h"

namespace {

using platform::Event;
using platform::Timeout;

std::u16string SessionEventName(std::size_t p_nIndex, std::uint32_t p_dwSessionId) {
  return platform::Format(std::u16string_view(u"%s%d"), g_SessionEventBaseNames[p_nIndex],
                          p_dwSessionId);
}

// The wait index whose event is set (consuming it), or nothing; fails when more than one is.
std::optional<std::size_t> SetWaitIndex(std::uint32_t p_dwSessionId) {
  std::optional<std::size_t> l_Found;
  for (std::size_t l_nIndex = 0; l_nIndex < kSessionWaitEventCount; ++l_nIndex) {
    const Event l_hEvent = Event::Open(SessionEventName(l_nIndex, p_dwSessionId)).handle;
    EXPECT_TRUE(l_hEvent) << l_nIndex;
    if (platform::WaitForObject(l_hEvent.Ref(), Timeout(0)).Signalled(0)) {
      EXPECT_FALSE(l_Found.has_value()) << "also " << l_nIndex;
      l_Found = l_nIndex;
    }
  }
  return l_Found;
}

std::uint32_t EndAtOnce(const CSessionEvents& /*p_Events*/) { return 0; }

// A thread that stays until the test lets it go, then uses its events.
Event& Gate() {
  static Event s_Gate = CreateAutoResetEvent();
  return s_Gate;
}
std::atomic<bool> g_bLateThreadSawItsEvents{false};
std::uint32_t StayUntilGate(const CSessionEvents& p_Events) {
  const platform::ObjectRef l_Gate[] = {Gate().Ref()};
  platform::WaitForObjects(l_Gate, platform::kInfinite);
  g_bLateThreadSawItsEvents = p_Events.m_hThreadInitialized.Set() &&
                              p_Events.m_hWaitEvents[kWaitTerminate].Set();
  return 0;
}

TEST(UserControlBlock, EachButtonCodeSetsItsOwnEvent) {
  struct Case {
    std::uint32_t code;
    std::optional<std::size_t> index;
  };
  const Case l_Cases[] = {
      {0, std::nullopt},
      {kButtonUp, kWaitUp},
      {kButtonDown, kWaitDown},
      {kButtonLeft, kWaitLeft},
      {kButtonRight, kWaitRight},
      {kButtonOk, kWaitOk},
      {kButtonPlay, kWaitPlay},
      {kButtonPause, kWaitPause},
      {kButtonStop, kWaitStop},
      {kButtonPrev, kWaitPrev},
      {kButtonNext, kWaitNext},
      {kButtonRewind, kWaitRewind},
      {kButtonFastForward, kWaitFastForward},
      {kButtonPageDown, kWaitPageDown},
      {kButtonPageUp, kWaitPageUp},
      {kButtonHome, kWaitHome},
      {kButtonPagesDown, kWaitPagesDown},
      {kButtonPagesUp, kWaitPagesUp},
      {kButtonPower, kWaitPower},
      {kButtonMediaPlayerEvent, kWaitMediaPlayerEvent},
      {kButtonRefreshScreen, kWaitRefreshScreen},
      {kButtonAlbumDeleted, kWaitAlbumDeleted},
      {kButtonMediaCollectionChange, kWaitMediaCollectionChange},
      {23, std::nullopt},
  };
  LogRecorder l_Log;
  CUserControlBlock l_Block(7, EndAtOnce);
  ASSERT_TRUE(l_Block.StartSessionThread());
  for (const Case& l_Case : l_Cases) {
    l_Log.Clear();
    EXPECT_TRUE(l_Block.SignalButton(l_Case.code));
    EXPECT_EQ(SetWaitIndex(7), l_Case.index) << l_Case.code;
    EXPECT_EQ(l_Log.Contains(platform::Format(std::u16string_view(u"Unknown Button Event %d"),
                                              l_Case.code)),
              !l_Case.index.has_value())
        << l_Case.code;
  }
  const Event l_hDone = CreateAutoResetEvent();
  l_Block.StopSessionThread(l_hDone);
}

TEST(UserControlBlock, EventNamesCarryTheSessionNumber) {
  for (const std::uint32_t l_dwSession : {0u, 12u}) {
    CUserControlBlock l_Block(l_dwSession, EndAtOnce);
    l_Block.StartSessionThread();
    EXPECT_TRUE(Event::Open(u"RemoteButtonUp" + platform::Format(std::u16string_view(u"%d"),
                                                                 l_dwSession))
                    .handle);
    EXPECT_TRUE(
        Event::Open(SessionEventName(kSessionWaitEventCount, l_dwSession)).handle);
    const Event l_hDone = CreateAutoResetEvent();
    l_Block.StopSessionThread(l_hDone);
  }
}

// A thread that has already ended (its start-up failed) is stopped at once; the events are
// closed afterwards and the caller's event is set.
TEST(UserControlBlock, StoppingAnEndedThreadCompletesAndClosesTheEvents) {
  LogRecorder l_Log;
  CUserControlBlock l_Block(31, EndAtOnce);
  l_Block.StartSessionThread();
  const Event l_hDone = CreateAutoResetEvent();
  EXPECT_TRUE(l_Block.StopSessionThread(l_hDone));
  EXPECT_TRUE(platform::WaitForObject(l_hDone.Ref(), Timeout(0)).Signalled(0));
  EXPECT_TRUE(l_Log.Contains(u"Wait on thread shutdown succeeds"));
  EXPECT_FALSE(Event::Open(SessionEventName(kWaitUp, 31)).handle);
  // A button after the stop reaches nothing and harms nothing.
  EXPECT_TRUE(l_Block.SignalButton(kButtonUp));
}

// The stop gives up after 10 s; the thread goes on with its own events, and the block is not
// gone until the thread has ended.
TEST(UserControlBlock, AThreadThatOutlivesItsStopKeepsItsEvents) {
  LogRecorder l_Log;
  g_bLateThreadSawItsEvents = false;
  {
    CUserControlBlock l_Block(32, StayUntilGate);
    l_Block.StartSessionThread();
    const Event l_hDone = CreateAutoResetEvent();
    l_Block.StopSessionThread(l_hDone);
    EXPECT_TRUE(platform::WaitForObject(l_hDone.Ref(), Timeout(0)).Signalled(0));
    EXPECT_TRUE(l_Log.Contains(u"Wait on thread shutdown sees 258"));
    Gate().Set();
  }
  EXPECT_TRUE(g_bLateThreadSawItsEvents);
}

}  // namespace
