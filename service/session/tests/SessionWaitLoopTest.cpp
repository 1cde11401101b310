#include "service/session/SessionWaitLoop.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/kernel/Wait.h"
#include "service/device/DisplayState.h"
#include "service/device/ServiceEvents.h"
#include "service/menu/CurrentTrack.h"
#include "service/session/EventProcessing.h"
#include "service/session/tests/SessionFixture.h"

namespace session_test {
namespace {

constexpr std::uint32_t kSession = 3;

// A tree whose moves answer the result the test sets.
class CScriptedLibrary final : public CMusicLibrary {
 public:
  using CMusicLibrary::CMusicLibrary;
  std::int32_t OnButtonUp() override { return m_nResult; }
  std::int32_t OnButtonDown() override { return m_nResult; }
  std::int32_t OnPageDown() override { return m_nResult; }
  std::int32_t OnPageUp() override { return m_nResult; }
  std::int32_t OnPagesDown() override { return m_nResult; }
  std::int32_t OnPagesUp() override { return m_nResult; }
  std::int32_t m_nResult = 0;
};

class SessionWaitLoop : public SessionTest {
 protected:
  SessionWaitLoop()
      : m_hOutput(CreateAutoResetEvent()), m_hAlbumPoll(CreateAutoResetEvent()) {
    m_Events.m_dwSessionId = kSession;
    for (platform::Event& l_hEvent : m_Events.m_hWaitEvents) l_hEvent = CreateAutoResetEvent();
    g_bCurrentlyPlayingDisplayed = false;
    g_bPlayerScreenShown = false;
    g_nAutoHomeState = kAutoHomeNone;
  }
  ~SessionWaitLoop() override { g_bCurrentlyPlayingDisplayed = false; }

  void Start(CMusicLibrary* p_pRoot) {
    m_pLoop = std::make_unique<CSessionWaitLoop>(m_Events, player, p_pRoot,
                                                 ComPtr<IWMPProxy>(proxy.get()), m_hOutput,
                                                 m_hAlbumPoll);
  }
  // Sets one wait event and runs the pass it wakes; the pages it queued.
  std::vector<CDeviceData> Press(std::size_t p_nWaitIndex) {
    m_Events.m_hWaitEvents[p_nWaitIndex].Set();
    EXPECT_TRUE(m_pLoop->RunPass()) << p_nWaitIndex;
    return TakePages();
  }
  std::unique_ptr<CMusicLibrary> RealLibrary() {
    auto l_pLibrary = std::make_unique<CMusicLibrary>(player.get());
    l_pLibrary->InitializeLibrary();
    return l_pLibrary;
  }
  std::vector<std::string> ControlCalls() {
    std::vector<std::string> l_Calls;
    for (const std::string& l_Line : engine->Monitor().CallLines()) {
      if (l_Line.starts_with("IWMPControls::") &&
          !l_Line.starts_with("IWMPControls::get_currentPosition")) {
        l_Calls.push_back(l_Line.substr(0, l_Line.find('(')));
      }
    }
    engine->Monitor().ClearCalls();
    return l_Calls;
  }
  static bool IsSet(const platform::Event& p_hEvent) {
    return platform::WaitForObject(p_hEvent.Ref(), platform::Timeout(0)).Signalled(0);
  }

  CSessionEvents m_Events;
  platform::Event m_hOutput;
  platform::Event m_hAlbumPoll;
  std::unique_ptr<CSessionWaitLoop> m_pLoop;
};

TEST_F(SessionWaitLoop, MoveResultsPickTheScreenTypeAndUpdateMode) {
  struct Case {
    std::size_t index;
    std::int32_t result;
    std::int32_t screenType;
    std::int32_t updateMode;
    bool leavesNowPlaying;
  };
  const Case l_Cases[] = {
      {kWaitUp, 2, 4, 2, true},          {kWaitUp, 4, 4, 8, true},
      {kWaitUp, 16, 4, 7, true},         {kWaitUp, 0, 4, 1, false},
      {kWaitDown, 2, 3, 3, true},        {kWaitDown, 4, 3, 8, true},
      {kWaitDown, 16, 3, 7, true},       {kWaitDown, 0, 3, 1, false},
      {kWaitPageDown, 0, 0, 1, false},   {kWaitPageDown, 2, 10, 7, true},
      {kWaitPageDown, 4, 10, 8, true},   {kWaitPageUp, 2, 11, 7, true},
      {kWaitPageUp, 16, 11, 8, true},    {kWaitPagesDown, 2, 10, 7, true},
      {kWaitPagesDown, 0, 0, 1, false},  {kWaitPagesUp, 0, 0, 1, false},
      {kWaitPagesUp, 4, 11, 8, true},
  };
  CScriptedLibrary l_Library(player.get());
  l_Library.InitializeLibrary();
  Start(&l_Library);
  for (const Case& l_Case : l_Cases) {
    l_Library.m_nResult = l_Case.result;
    g_bCurrentlyPlayingDisplayed = true;
    const std::vector<CDeviceData> l_Pages = Press(l_Case.index);
    ASSERT_EQ(l_Pages.size(), 1u) << l_Case.index << " " << l_Case.result;
    EXPECT_EQ(l_Pages[0].GetScreenType(), l_Case.screenType) << l_Case.index << " " << l_Case.result;
    EXPECT_EQ(l_Pages[0].GetUpdateMode(), l_Case.updateMode) << l_Case.index << " " << l_Case.result;
    EXPECT_EQ(g_bCurrentlyPlayingDisplayed.load(), !l_Case.leavesNowPlaying)
        << l_Case.index << " " << l_Case.result;
    if (l_Case.screenType != 0) {
      EXPECT_EQ(std::u16string(l_Pages[0].GetTitle().view()), u"Music Library");
      EXPECT_EQ(l_Pages[0].GetTotal(), l_Library.GetCategoryMaxLines());
    }
    EXPECT_TRUE(IsSet(m_hOutput));
  }
}

// Right enters a category as a list page, or the now-playing category as the player-status
// page; Left goes back, and Left at the root changes nothing.
TEST_F(SessionWaitLoop, RightAndLeftThroughTheTree) {
  const std::unique_ptr<CMusicLibrary> l_pLibrary = RealLibrary();
  Start(l_pLibrary.get());
  std::vector<CDeviceData> l_Pages = Press(kWaitRight);
  ASSERT_EQ(l_Pages.size(), 1u);
  EXPECT_EQ(l_Pages[0].GetScreenType(), 6);
  EXPECT_EQ(l_Pages[0].GetUpdateMode(), 5);
  EXPECT_EQ(std::u16string(l_Pages[0].GetTitle().view()), u"Playlists");
  l_Pages = Press(kWaitLeft);
  ASSERT_EQ(l_Pages.size(), 1u);
  EXPECT_EQ(l_Pages[0].GetScreenType(), 5);
  EXPECT_EQ(l_Pages[0].GetUpdateMode(), 4);
  l_Pages = Press(kWaitLeft);
  ASSERT_EQ(l_Pages.size(), 1u);
  EXPECT_EQ(l_Pages[0].GetUpdateMode(), 1);

  while (l_pLibrary->GetCurrentLine() != 4) Press(kWaitDown);
  g_nSessionPlayState = wmppsStopped;
  l_Pages = Press(kWaitRight);
  ASSERT_EQ(l_Pages.size(), 1u);
  EXPECT_EQ(l_Pages[0].GetScreenType(), 2);
  EXPECT_TRUE(g_bCurrentlyPlayingDisplayed.load());
  // Not playing: the now-playing page redraws whole with its cursor off the list.
  EXPECT_EQ(l_Pages[0].GetUpdateMode(), 6);
  EXPECT_EQ(l_Pages[0].GetSelectedLine(), 7);
  EXPECT_EQ(l_Pages[0].GetTotal(), 3);
}

TEST_F(SessionWaitLoop, TransportButtonsActOnlyWhilePlaying) {
  struct Case {
    std::size_t index;
    bool playing;
    HRESULT failure;
    std::vector<std::string> calls;
    bool filler;
  };
  const Case l_Cases[] = {
      {kWaitNext, true, S_OK, {"IWMPControls::next"}, false},
      {kWaitPrev, true, S_OK, {"IWMPControls::previous"}, false},
      {kWaitRewind, true, S_OK, {"IWMPControls::fastReverse"}, false},
      {kWaitFastForward, true, S_OK, {"IWMPControls::fastForward"}, false},
      {kWaitNext, false, S_OK, {}, true},
      {kWaitFastForward, false, S_OK, {}, true},
      {kWaitNext, true, E_FAIL, {"IWMPControls::next"}, true},
  };
  const std::unique_ptr<CMusicLibrary> l_pLibrary = RealLibrary();
  Start(l_pLibrary.get());
  for (const Case& l_Case : l_Cases) {
    PlayAlbum(u"Blue Harbour");
    if (!l_Case.playing) {
      ASSERT_EQ(controls->stop(), S_OK);
    }
    engine->Monitor().ClearFailures();
    if (FAILED(l_Case.failure)) engine->Monitor().Fail<&IWMPControls::next>(l_Case.failure);
    engine->Monitor().ClearCalls();
    const std::vector<CDeviceData> l_Pages = Press(l_Case.index);
    EXPECT_EQ(ControlCalls(), l_Case.calls) << l_Case.index;
    ASSERT_EQ(l_Pages.size(), l_Case.filler ? 1u : 0u) << l_Case.index;
    if (l_Case.filler) {
      EXPECT_EQ(l_Pages[0].GetUpdateMode(), 1);
      EXPECT_EQ(l_Pages[0].GetScreenType(), 0);
    }
  }
}

TEST_F(SessionWaitLoop, PauseStopAndPlayCallThePlayer) {
  const std::unique_ptr<CMusicLibrary> l_pLibrary = RealLibrary();
  Start(l_pLibrary.get());
  PlayAlbum(u"Blue Harbour");
  engine->Monitor().ClearCalls();
  EXPECT_TRUE(Press(kWaitPause).empty());
  EXPECT_EQ(ControlCalls(), std::vector<std::string>{"IWMPControls::pause"});
  EXPECT_EQ(engine->PlayState(), wmppsPaused);
  // Paused with the menu given up: Play resumes.
  EXPECT_TRUE(Press(kWaitPlay).empty());
  EXPECT_EQ(ControlCalls(), std::vector<std::string>{"IWMPControls::play"});
  EXPECT_EQ(engine->PlayState(), wmppsPlaying);
  // Stop stops, and a second Stop stops again.
  EXPECT_TRUE(Press(kWaitStop).empty());
  EXPECT_TRUE(Press(kWaitStop).empty());
  EXPECT_EQ(ControlCalls(), (std::vector<std::string>{"IWMPControls::stop", "IWMPControls::stop"}));
  // Pause while stopped pauses nothing.
  EXPECT_TRUE(Press(kWaitPause).empty());
  EXPECT_TRUE(ControlCalls().empty());
  // A play state that cannot be read leaves a filler page.
  engine->Monitor().Fail<&IWMPPlayer4::get_playState>(E_FAIL);
  const std::vector<CDeviceData> l_Pages = Press(kWaitPlay);
  ASSERT_EQ(l_Pages.size(), 1u);
  EXPECT_EQ(l_Pages[0].GetUpdateMode(), 1);
}

// Play on the now-playing category while the player plays and the menu is shown shows what
// plays, instead of a filler page.
TEST_F(SessionWaitLoop, PlayOnTheNowPlayingCategoryWhilePlayingShowsTheTrack) {
  const std::unique_ptr<CMusicLibrary> l_pLibrary = RealLibrary();
  Start(l_pLibrary.get());
  while (l_pLibrary->GetCurrentLine() != 4) Press(kWaitDown);
  PlayAlbum(u"Blue Harbour");
  g_nSessionPlayState = wmppsPlaying;
  engine->Monitor().ClearCalls();
  const std::vector<CDeviceData> l_Pages = Press(kWaitPlay);
  ASSERT_EQ(l_Pages.size(), 1u);
  EXPECT_EQ(l_Pages[0].GetScreenType(), 2);
  EXPECT_EQ(l_Pages[0].GetUpdateMode(), 1);
  EXPECT_EQ(l_Pages[0].GetPlayState(), wmppsPlaying);
  EXPECT_EQ(l_Pages[0].GetTotal(), 3);
  EXPECT_TRUE(ControlCalls().empty());
}

TEST_F(SessionWaitLoop, HomePowerAndRefreshRedrawTheList) {
  const std::unique_ptr<CMusicLibrary> l_pLibrary = RealLibrary();
  Start(l_pLibrary.get());
  Press(kWaitDown);
  Press(kWaitDown);
  // The power page puts the cursor where Ok acts.
  std::vector<CDeviceData> l_Pages = Press(kWaitPower);
  ASSERT_EQ(l_Pages.size(), 1u);
  EXPECT_EQ(l_Pages[0].GetSelectedLine(), 2);
  EXPECT_EQ(l_Pages[0].GetPosition(), 2);
  EXPECT_EQ(l_Pages[0].GetUpdateMode(), 6);
  EXPECT_EQ(l_Pages[0].GetScreenType(), 0);

  l_Pages = Press(kWaitRefreshScreen);
  ASSERT_EQ(l_Pages.size(), 1u);
  EXPECT_EQ(l_Pages[0].GetScreenType(), 8);
  EXPECT_EQ(l_Pages[0].GetUpdateMode(), 6);

  for (const std::int32_t l_nAutoHome : {kAutoHomeNone, kAutoHomeRaised}) {
    g_nAutoHomeState = l_nAutoHome;
    Press(kWaitRight);
    l_Pages = Press(kWaitHome);
    ASSERT_EQ(l_Pages.size(), 1u);
    EXPECT_EQ(l_Pages[0].GetScreenType(), 12);
    EXPECT_EQ(l_Pages[0].GetUpdateMode(), 6);
    EXPECT_EQ(std::u16string(l_Pages[0].GetTitle().view()), u"Music Library");
    EXPECT_EQ(g_nAutoHomeState.load(), l_nAutoHome == kAutoHomeNone ? kAutoHomeNone : kAutoHomeSeen);
  }
}

// The album-deleted event queues its record behind the session's earlier ones and processes them
// all; a media collection change asks the server to count the albums again.
TEST_F(SessionWaitLoop, AlbumAndCollectionChanges) {
  const std::unique_ptr<CMusicLibrary> l_pLibrary = RealLibrary();
  Start(l_pLibrary.get());
  AppendMediaPlayerEvent(std::make_unique<CMediaPlayerPlayStateChange>(5101, wmppsStopped),
                         kSession);
  AppendMediaPlayerEvent(std::make_unique<CMediaPlayerPlayStateChange>(5101, wmppsReady),
                         kSession + 1);
  const std::vector<CDeviceData> l_Pages = Press(kWaitAlbumDeleted);
  ASSERT_FALSE(l_Pages.empty());
  EXPECT_EQ(l_Pages[0].GetPlayState(), wmppsStopped);
  EXPECT_EQ(TakeFirstMediaPlayerEvent(kSession), nullptr);
  EXPECT_NE(TakeFirstMediaPlayerEvent(kSession + 1), nullptr);

  Press(kWaitMediaCollectionChange);
  EXPECT_TRUE(IsSet(m_hAlbumPoll));
}

// Without a tree the menu buttons do nothing and the player buttons still reach the player.
TEST_F(SessionWaitLoop, WithoutATreeOnlyThePlayerButtonsAct) {
  Start(nullptr);
  for (const std::size_t l_nIndex :
       {kWaitUp, kWaitDown, kWaitLeft, kWaitRight, kWaitOk, kWaitPower, kWaitRefreshScreen,
        kWaitPageDown, kWaitHome, kWaitMediaCollectionChange, kWaitUserLogoff}) {
    EXPECT_TRUE(Press(l_nIndex).empty()) << l_nIndex;
  }
  PlayAlbum(u"Blue Harbour");
  engine->Monitor().ClearCalls();
  Press(kWaitPause);
  Press(kWaitStop);
  EXPECT_EQ(ControlCalls(), (std::vector<std::string>{"IWMPControls::pause", "IWMPControls::stop"}));
}

// The terminate event ends the loop; so does a wait that fails, at once and with a log line.
TEST_F(SessionWaitLoop, TerminateOrAFailedWaitEndsTheLoop) {
  Start(nullptr);
  m_Events.m_hWaitEvents[kWaitTerminate].Set();
  EXPECT_FALSE(m_pLoop->RunPass());

  m_Events.m_hWaitEvents[kWaitStop].Close();
  Start(nullptr);
  EXPECT_FALSE(m_pLoop->RunPass());
  bool l_bLogged = false;
  for (const std::u16string& l_Text : log.Texts()) {
    l_bLogged = l_bLogged || l_Text.ends_with(u" wait fails with error 6");
  }
  EXPECT_TRUE(l_bLogged);
}

}  // namespace
}  // namespace session_test
