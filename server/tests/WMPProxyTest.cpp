#include "server/WMPProxy.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/base/Time.h"
#include "platform/com/DispatchSink.h"
#include "platform/com/SafeArray.h"
#include "platform/kernel/Event.h"
#include "platform/kernel/Wait.h"
#include "platform/user/Window.h"
#include "server/tests/ServerFakes.h"

namespace server_test {
namespace {

using platform::Timeout;

// What the service's navigation sink receives. The firing thread.
class NavigationLog final : public platform::DispatchSink<NavigationLog, _IWMPEventSinkEvents> {
 public:
  struct Change {
    std::int32_t type;
    std::int32_t lowerBound;
    std::vector<std::u16string> entries;
  };
  HRESULT OnNavigationChanged(std::int32_t p_nType, SAFEARRAY* p_pEntries) {
    Change l_Change{p_nType, -1, {}};
    std::int32_t l_nUpper = -1;
    SafeArrayGetLBound(p_pEntries, 1, &l_Change.lowerBound);
    SafeArrayGetUBound(p_pEntries, 1, &l_nUpper);
    for (std::int32_t l_nIndex = l_Change.lowerBound; l_nIndex <= l_nUpper; ++l_nIndex) {
      BSTR l_bstrEntry = nullptr;
      SafeArrayGetElement(p_pEntries, &l_nIndex, &l_bstrEntry);
      l_Change.entries.emplace_back(l_bstrEntry, SysStringLen(l_bstrEntry));
      SysFreeString(l_bstrEntry);
    }
    changes.push_back(std::move(l_Change));
    return S_OK;
  }
  using SinkMap = platform::SinkMap<platform::SinkEntry<_IWMPEventSinkEvents::WMPNavigationChanged,
                                                        &NavigationLog::OnNavigationChanged>>;
  std::vector<Change> changes;
};

// Serves this thread's messages (the monitor's calls reach the player through this apartment)
// for a while of the layer's clock.
void Pump(Timeout p_Duration) {
  const std::uint32_t l_nEnd =
      platform::TickCount() + static_cast<std::uint32_t>(p_Duration.count());
  while (static_cast<std::int32_t>(l_nEnd - platform::TickCount()) > 0) {
    platform::MsgWaitForMultipleObjects({}, false, Timeout(10), QS_ALLINPUT);
    MSG l_Message;
    while (platform::PeekMessage(l_Message, 0, 0, 0, PM_REMOVE)) platform::DispatchMessage(l_Message);
  }
}

// Serves this thread until the monitor has taken that many counts, for up to 10 s of real time.
void AwaitCounts(const FakePlayer& p_Player, int p_nCounts) {
  const auto l_End = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (p_Player.counts.load() < p_nCounts && std::chrono::steady_clock::now() < l_End) {
    Pump(Timeout(10));
  }
}

// The monitor's one-second settling is what these tests look at: they run on the real clock, so
// that a busy machine cannot stretch a 200 ms gap between polls past the settling time.
class RealClock {
 public:
  RealClock() : m_fScale(platform::TimeScale()) { platform::SetTimeScale(1.0); }
  ~RealClock() { platform::SetTimeScale(m_fScale); }
  RealClock(const RealClock&) = delete;
  RealClock& operator=(const RealClock&) = delete;

 private:
  const double m_fScale;
};

class WMPProxyTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(CoInitialize(nullptr), S_OK); }
  void TearDown() override { CoUninitialize(); }

  ComPtr<CWMPProxy> MakeProxy(HRESULT p_hrHost = S_OK) {
    return platform::MakeObject<CWMPProxy>(FakeServices(player, &quillomb, p_hrHost));
  }
  ComPtr<FakePlayer> player = platform::MakeObject<FakePlayer>();
  FakeQuillomb quillomb;
};

TEST_F(WMPProxyTest, HandsOutThePlayerWithAReferenceOfTheCallersOwn) {
  const ComPtr<CWMPProxy> proxy = MakeProxy();
  IUnknown* handed = nullptr;
  ASSERT_EQ(proxy->InitializePlayer(&handed), S_OK);
  ASSERT_NE(handed, nullptr);
  EXPECT_TRUE(platform::IsSameObject(handed, player->Identity()));
  const ULONG withCaller = player->References();
  handed->Release();
  EXPECT_EQ(player->References(), withCaller - 1);
  // The server still holds its own.
  EXPECT_GT(player->References(), 1u);
}

TEST_F(WMPProxyTest, AFailedPlayerLeavesTheOutPointerUntouched) {
  const ComPtr<CWMPProxy> proxy = MakeProxy(REGDB_E_CLASSNOTREG);
  IUnknown* handed = reinterpret_cast<IUnknown*>(&handed);
  EXPECT_EQ(proxy->InitializePlayer(&handed), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(handed, reinterpret_cast<IUnknown*>(&handed));
}

TEST_F(WMPProxyTest, AMarshallingFailureOnlyDisablesTheMonitor) {
  player->refuseOwnInterface = true;
  const ComPtr<CWMPProxy> proxy = MakeProxy();
  IUnknown* handed = nullptr;
  EXPECT_EQ(proxy->InitializePlayer(&handed), S_OK);
  ASSERT_NE(handed, nullptr);
  handed->Release();
  platform::Sleep(Timeout(200));
  EXPECT_EQ(player->counts.load(), 0) << "no monitor counts albums";
}

platform::Event NamedEvent(std::u16string_view p_Name) {
  return platform::Event::Create(platform::EventReset::Auto, false, p_Name).handle;
}
platform::Event PollEvent() { return NamedEvent(AlbumPollEventName()); }
platform::Event AlbumDeletedEvent() { return NamedEvent(u"Global\\WMPAlbumDeletedEvent"); }


TEST_F(WMPProxyTest, ABurstOfPollsGivesOneCountASecondAfterTheLast) {
  const RealClock l_Clock;
  const ComPtr<CWMPProxy> proxy = MakeProxy();
  const platform::Event poll = PollEvent();
  ComPtr<IUnknown> handed;
  ASSERT_EQ(proxy->InitializePlayer(handed.put()), S_OK);
  AwaitCounts(*player, 1);
  ASSERT_EQ(player->counts.load(), 1);

  std::uint32_t lastPoll = 0;
  for (int poll_number = 0; poll_number < 5; ++poll_number) {
    poll.Set();
    lastPoll = platform::TickCount();
    Pump(Timeout(200));
  }
  AwaitCounts(*player, 2);
  Pump(Timeout(1500));
  EXPECT_EQ(player->counts.load(), 2) << "one count for the whole burst";
  EXPECT_GE(player->lastCountTick.load() - lastPoll, 1000u);
}

TEST_F(WMPProxyTest, OnlyAFallingAlbumCountSetsTheDeletedEvent) {
  const RealClock l_Clock;
  struct Case {
    std::int32_t before;
    std::int32_t after;
    bool deleted;
  };
  for (const Case& c : {Case{5, 4, true}, Case{5, 5, false}, Case{5, 9, false}}) {
    SCOPED_TRACE(testing::Message() << c.before << " -> " << c.after);
    player->albums = c.before;
    player->counts = 0;
    const platform::Event deleted = AlbumDeletedEvent();
    deleted.Reset();
    const ComPtr<CWMPProxy> proxy = MakeProxy();
    const platform::Event poll = PollEvent();
    ComPtr<IUnknown> handed;
    ASSERT_EQ(proxy->InitializePlayer(handed.put()), S_OK);
    AwaitCounts(*player, 1);
    player->albums = c.after;
    poll.Set();
    AwaitCounts(*player, 2);
    Pump(Timeout(300));
    const bool set = platform::WaitForObject(deleted.Ref(), Timeout(0)).status ==
                     platform::WaitStatus::Signalled;
    EXPECT_EQ(set, c.deleted);
    if (c.after > c.before) {
      // The higher count is the new reference: falling back to the first one is a deletion.
      player->albums = c.before;
      poll.Set();
      AwaitCounts(*player, 3);
      Pump(Timeout(300));
      EXPECT_EQ(platform::WaitForObject(deleted.Ref(), Timeout(0)).status,
                platform::WaitStatus::Signalled);
    }
  }
}

TEST_F(WMPProxyTest, TheLastReleaseWaitsForTheMonitorToLetThePlayerGo) {
  ComPtr<CWMPProxy> proxy = MakeProxy();
  const platform::Event poll = PollEvent();
  {
    ComPtr<IUnknown> handed;
    ASSERT_EQ(proxy->InitializePlayer(handed.put()), S_OK);
  }
  AwaitCounts(*player, 1);
  // The monitor is inside a count when the object goes.
  player->countDelayMs = 300;
  poll.Set();
  Pump(Timeout(1100));
  proxy.Release();
  // The monitor's own reference came through its apartment: its release is served when this
  // apartment next pumps.
  const auto l_End = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (player->References() > 1u && std::chrono::steady_clock::now() < l_End) {
    Pump(Timeout(10));
  }
  EXPECT_EQ(player->References(), 1u) << "neither the object nor its monitor holds the player";
  player->countDelayMs = 0;
}

TEST_F(WMPProxyTest, ASelectionArrivesAsAZeroBasedArrayOfItsLines) {
  struct Case {
    std::vector<std::u16string> lines;
  };
  const ComPtr<CWMPProxy> proxy = MakeProxy();
  const ComPtr<NavigationLog> sink = platform::MakeObject<NavigationLog>();
  ASSERT_EQ(sink->DispEventAdvise(proxy->Identity()), S_OK);
  ASSERT_EQ(proxy->LoadQuillombMonitor(), S_OK);
  for (const Case& c : {Case{{u"Library", u"Music", u"Albums"}}, Case{{}}}) {
    sink->changes.clear();
    quillomb.SetSelection(c.lines);
    platform::PostMessage(quillomb.window, quillomb.message, 0, 0);
    Pump(Timeout(100));
    ASSERT_EQ(sink->changes.size(), 1u);
    EXPECT_EQ(sink->changes[0].type, 0);
    EXPECT_EQ(sink->changes[0].lowerBound, 0);
    EXPECT_EQ(sink->changes[0].entries, c.lines);
  }
}

TEST_F(WMPProxyTest, ASelectionIsReadOnlyWithinTheTransferBuffer) {
  const ComPtr<CWMPProxy> proxy = MakeProxy();
  const ComPtr<NavigationLog> sink = platform::MakeObject<NavigationLog>();
  ASSERT_EQ(sink->DispEventAdvise(proxy->Identity()), S_OK);
  ASSERT_EQ(proxy->LoadQuillombMonitor(), S_OK);
  // No terminator anywhere: a reader that looks past the buffer runs off its end.
  std::fill(quillomb.selection.begin(), quillomb.selection.end(), 'x');
  EXPECT_EQ(proxy->OnWMPTreeChange(0, 0), 0);
  ASSERT_EQ(sink->changes.size(), 1u);
  for (const std::u16string& entry : sink->changes[0].entries) EXPECT_LE(entry.size(), 512u);
}

TEST_F(WMPProxyTest, AnUnansweredRequestOrAMissingLibraryFiresNothing) {
  const ComPtr<CWMPProxy> proxy = MakeProxy();
  const ComPtr<NavigationLog> sink = platform::MakeObject<NavigationLog>();
  ASSERT_EQ(sink->DispEventAdvise(proxy->Identity()), S_OK);
  proxy->OnWMPTreeChange(0, 0);
  ASSERT_EQ(proxy->LoadQuillombMonitor(), S_OK);
  quillomb.answers = false;
  proxy->OnWMPTreeChange(0, 0);
  EXPECT_TRUE(sink->changes.empty());
}

TEST_F(WMPProxyTest, LoadingTwiceEntersThePlayerTwiceWithOneWindowAndOneLibrary) {
  const ComPtr<CWMPProxy> proxy = MakeProxy();
  EXPECT_EQ(proxy->UnloadQuillombMonitor(), S_OK) << "nothing loaded yet";
  ASSERT_EQ(proxy->LoadQuillombMonitor(), S_OK);
  const HWND window = quillomb.window;
  ASSERT_EQ(proxy->LoadQuillombMonitor(), S_OK);
  EXPECT_EQ(quillomb.window, window);
  EXPECT_NE(window, 0u);
  EXPECT_EQ(quillomb.message, WM_WMP_TREE_CHANGE);
  EXPECT_EQ(quillomb.loads, 1);
  EXPECT_EQ(quillomb.entries, 2);

  EXPECT_EQ(proxy->UnloadQuillombMonitor(), S_OK);
  EXPECT_EQ(quillomb.shutdowns, 1);
  EXPECT_EQ(quillomb.loads, 0);
  ASSERT_EQ(proxy->LoadQuillombMonitor(), S_OK);
  EXPECT_EQ(quillomb.loads, 1) << "loaded again";
  EXPECT_EQ(quillomb.window, window) << "the window stays";
}

TEST_F(WMPProxyTest, ALibraryWithoutShutdownStaysLoaded) {
  quillomb.exportsShutdown = false;
  const ComPtr<CWMPProxy> proxy = MakeProxy();
  ASSERT_EQ(proxy->LoadQuillombMonitor(), S_OK);
  EXPECT_EQ(proxy->UnloadQuillombMonitor(), S_OK);
  EXPECT_EQ(quillomb.loads, 1);
}

TEST_F(WMPProxyTest, WithoutTheLibraryLoadingFails) {
  const ComPtr<CWMPProxy> proxy =
      platform::MakeObject<CWMPProxy>(FakeServices(player, nullptr));
  EXPECT_EQ(proxy->LoadQuillombMonitor(), E_FAIL);
}

TEST_F(WMPProxyTest, OnlyALogoffDropsTheSinks) {
  struct Case {
    WPARAM ending;
    LPARAM reason;
    bool dropped;
  };
  for (const Case& c : {Case{1, ENDSESSION_LOGOFF, true}, Case{1, 0, false},
                        Case{0, ENDSESSION_LOGOFF, false}}) {
    SCOPED_TRACE(testing::Message() << c.ending << "," << c.reason);
    const ComPtr<CWMPProxy> proxy = MakeProxy();
    ComPtr<IUnknown> handed;
    ASSERT_EQ(proxy->InitializePlayer(handed.put()), S_OK);
    const ComPtr<NavigationLog> sink = platform::MakeObject<NavigationLog>();
    ASSERT_EQ(sink->DispEventAdvise(proxy->Identity()), S_OK);
    ASSERT_EQ(proxy->LoadQuillombMonitor(), S_OK);
    const HWND logoff = platform::FindWindow(u"CUserLogoffMonitorWindow", nullptr);
    ASSERT_NE(logoff, 0u);
    EXPECT_EQ(platform::SendMessage(logoff, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), 1);
    platform::SendMessage(logoff, WM_ENDSESSION, c.ending, c.reason);
    quillomb.SetSelection({u"Library"});
    proxy->OnWMPTreeChange(0, 0);
    EXPECT_EQ(sink->changes.empty(), c.dropped);
  }
}

}  // namespace
}  // namespace server_test
