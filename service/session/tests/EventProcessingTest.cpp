#include "service/session/EventProcessing.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "common/Edition.h"
#include "platform/base/Text.h"
#include "platform/kernel/Wait.h"
#include "service/device/ServiceEvents.h"
#include "service/menu/CurrentTrack.h"
#include "service/session/tests/SessionFixture.h"

namespace session_test {
namespace {

constexpr std::uint32_t kSession = 1;
constexpr std::uint32_t kOtherSession = 2;

// Answers every call of the player that the handlers make, with a current media that is missing
// although the call succeeds, and no application object.
class CPlayerWithoutMedia final : public platform::ComObject<IWMPPlayer4> {
 public:
  HRESULT get_controls(IWMPControls**) override { return E_NOTIMPL; }
  HRESULT get_settings(IWMPSettings**) override { return E_NOTIMPL; }
  HRESULT get_currentMedia(IWMPMedia** p_ppMedia) override {
    *p_ppMedia = nullptr;
    return S_OK;
  }
  HRESULT put_currentMedia(IWMPMedia*) override { return E_NOTIMPL; }
  HRESULT get_mediaCollection(IWMPMediaCollection**) override { return E_NOTIMPL; }
  HRESULT get_playlistCollection(IWMPPlaylistCollection**) override { return E_NOTIMPL; }
  HRESULT get_versionInfo(BSTR*) override { return E_NOTIMPL; }
  HRESULT get_playState(WMPPlayState* p_pState) override {
    *p_pState = wmppsPlaying;
    return S_OK;
  }
  HRESULT put_currentPlaylist(IWMPPlaylist*) override { return E_NOTIMPL; }
  HRESULT newPlaylist(BSTR, BSTR, IWMPPlaylist**) override { return E_NOTIMPL; }
  HRESULT get_playerApplication(IWMPPlayerApplication** p_ppApplication) override {
    *p_ppApplication = nullptr;
    return S_OK;
  }
};

class EventProcessing : public SessionTest {
 protected:
  void Queue(std::unique_ptr<CMediaPlayerEventData> p_pRecord,
             std::uint32_t p_dwSessionId = kSession) {
    AppendMediaPlayerEvent(std::move(p_pRecord), p_dwSessionId);
  }
  std::vector<CDeviceData> Process(CMusicLibrary* p_pLibrary,
                                   const ComPtr<IWMPPlayer4>& p_spPlayer) {
    EXPECT_TRUE(ProcessMediaPlayerEvent(p_spPlayer, p_pLibrary, ComPtr<IWMPProxy>(proxy.get()),
                                        kSession));
    return TakePages();
  }
  std::vector<CDeviceData> Process(CMusicLibrary* p_pLibrary) {
    return Process(p_pLibrary, player);
  }
};

TEST_F(EventProcessing, PlayStateChangesMakePlayerStatusPages) {
  struct Case {
    std::int32_t state;
    std::size_t pages;
    std::int32_t sessionStateAfter;  // 99: unchanged
  };
  const Case l_Cases[] = {
      {wmppsStopped, 1, wmppsStopped}, {wmppsPaused, 1, wmppsPaused},
      {wmppsPlaying, 1, wmppsPlaying}, {6, 0, 99},
      {wmppsMediaEnded, 1, 99},        {wmppsTransitioning, 1, 99},
      {wmppsReady, 1, wmppsReady},
  };
  PlayAlbum(u"Blue Harbour");
  now += 12500;
  for (const Case& l_Case : l_Cases) {
    g_nSessionPlayState = 99;
    Queue(std::make_unique<CMediaPlayerPlayStateChange>(5101, l_Case.state));
    const std::vector<CDeviceData> l_Pages = Process(nullptr);
    ASSERT_EQ(l_Pages.size(), l_Case.pages) << l_Case.state;
    EXPECT_EQ(g_nSessionPlayState.load(), l_Case.sessionStateAfter) << l_Case.state;
    if (l_Case.pages == 0) continue;
    EXPECT_EQ(l_Pages[0].GetScreenType(), 2) << l_Case.state;
    EXPECT_EQ(l_Pages[0].GetPlayState(), l_Case.state);
    const bool l_bNowPlaying = l_Case.state == wmppsPlaying || l_Case.state == wmppsPaused;
    EXPECT_EQ(l_Pages[0].GetLineCount(), l_bNowPlaying ? 3 : 0) << l_Case.state;
  }
}

TEST_F(EventProcessing, NowPlayingPageCarriesTheTrackAndItsTimes) {
  PlayAlbum(u"Blue Harbour");
  now += 12500;
  Queue(std::make_unique<CMediaPlayerPlayStateChange>(5101, wmppsPlaying));
  const std::vector<CDeviceData> l_Pages = Process(nullptr);
  ASSERT_EQ(l_Pages.size(), 1u);
  EXPECT_EQ(std::u16string(l_Pages[0].GetTitle().view()), u"Now Playing");
  EXPECT_EQ(LineTexts(l_Pages[0]),
            (std::vector<std::u16string>{u"Salt on the Rail", u"Mara Venn", u"Blue Harbour"}));
  EXPECT_EQ(l_Pages[0].GetDuration(), 215);
  EXPECT_EQ(l_Pages[0].GetElapsedTime(), 12);
  EXPECT_EQ(l_Pages[0].GetTotal(), 3);
  EXPECT_EQ(g_nElapsedSeconds.load(), 12);
  EXPECT_EQ(std::u16string(g_bstrCurrentDuration.Get().view()), u"215.6");
}

// A missing author shows the unknown word on a play-state page and an empty line on the idle
// timeout's page.
TEST_F(EventProcessing, MissingAuthorReadsAsUnknownOnlyAfterAStateChange) {
  PlayAlbum(u"Blue Harbour");
  engine->Monitor().Fail<&IWMPMedia::getItemInfo>(E_FAIL, {.arguments = {u"Author"}});
  Queue(std::make_unique<CMediaPlayerPlayStateChange>(5101, wmppsPlaying));
  Queue(std::make_unique<CPlayerIdleTimeout>(kPlayerIdleTimeoutEventId), kNoSession);
  const std::vector<CDeviceData> l_Pages = Process(nullptr);
  ASSERT_EQ(l_Pages.size(), 2u);
  EXPECT_EQ(std::u16string(l_Pages[0].GetLines()[1].view()), u"-Unknown-");
  EXPECT_EQ(std::u16string(l_Pages[1].GetLines()[1].view()), u"");
  EXPECT_EQ(l_Pages[1].GetPlayState(), wmppsPlaying);
}

// No current media, whether the call fails or hands out nothing, gives no page and leaves the
// session's play state alone.
TEST_F(EventProcessing, NoCurrentMediaGivesNoPage) {
  const ComPtr<IWMPPlayer4> l_spWithoutMedia = platform::MakeObject<CPlayerWithoutMedia>();
  for (const ComPtr<IWMPPlayer4>& l_spPlayer : {player, l_spWithoutMedia}) {
    g_nSessionPlayState = 99;
    Queue(std::make_unique<CMediaPlayerPlayStateChange>(5101, wmppsPlaying));
    Queue(std::make_unique<CPlayerIdleTimeout>(kPlayerIdleTimeoutEventId));
    Queue(std::make_unique<CPlayerDockedStateChanged>(6503));
    EXPECT_TRUE(Process(nullptr, l_spPlayer).empty());
    EXPECT_EQ(g_nSessionPlayState.load(), 99);
  }
}

TEST_F(EventProcessing, DockingLoadsOrUnloadsTheMonitor) {
  struct Case {
    bool docked;
    HRESULT unload;
    int loads;
    int unloads;
    bool stopForwarded;
    bool errorLogged;
  };
  const Case l_Cases[] = {
      {false, S_OK, 1, 0, false, false},
      {true, S_OK, 0, 1, true, false},
      {true, E_FAIL, 0, 1, false, true},
  };
  const platform::Event l_hStop = CreateAutoResetEvent(u"RemoteButtonStop");
  for (const Case& l_Case : l_Cases) {
    proxy->m_nLoadCalls = proxy->m_nUnloadCalls = 0;
    proxy->m_hrUnload = l_Case.unload;
    engine->SetDocked(l_Case.docked);
    log.Clear();
    Queue(std::make_unique<CPlayerDockedStateChanged>(6503));
    EXPECT_TRUE(Process(nullptr).empty());
    EXPECT_EQ(proxy->m_nLoadCalls, l_Case.loads) << l_Case.docked;
    EXPECT_EQ(proxy->m_nUnloadCalls, l_Case.unloads) << l_Case.docked;
    EXPECT_EQ(platform::WaitForObject(l_hStop.Ref(), platform::Timeout(0)).Signalled(0),
              l_Case.stopForwarded);
    EXPECT_EQ(log.Contains(u"ProcessMediaPlayerDockedStateChanged sees error 80004005"),
              l_Case.errorLogged);
  }
}

TEST_F(EventProcessing, LibraryChangesRedrawTheListTheTreeTook) {
  struct Case {
    std::function<std::unique_ptr<CMediaPlayerEventData>()> record;
    std::u16string call;
    std::int32_t screenType;
    std::int32_t updateMode;
    bool total;
    bool position;
  };
  const Case l_Cases[] = {
      {[] {
         return std::make_unique<CMediaCollectionAttributeStringAdded>(5808, u"Author", u"Ona");
       },
       u"Artists artist added Ona", 1, 6, false, false},
      {[] {
         return std::make_unique<CMediaCollectionAttributeStringRemoved>(5809, u"Author", u"Ona");
       },
       u"Artists artist removed Ona", 1, 6, false, false},
      {[] { return std::make_unique<CPlaylistCollectionAdd>(5811, u"Road"); },
       u"Playlists playlist added Road", 1, 6, false, false},
      {[] { return std::make_unique<CPlaylistCollectionDelete>(5812, u"Road"); },
       u"Playlists playlist removed Road", 1, 6, false, false},
      {[] { return std::make_unique<CMediaPlayerModeChange>(5819, u"loop", VARIANT_TRUE); },
       u"Options mode loop on", 13, 9, true, false},
      {[] { return std::make_unique<CPlaylistChanged>(5801, u"Road", 5); },
       u"Playlists playlist changed Road 5", 1, 6, true, true},
      {[] {
         auto l_pRecord = std::make_unique<CWMPNavagationChanged>(kNavigationChangedEventId);
         for (const char16_t* l_szLine : {u"All Music", u"Genre", u"Unknown"}) {
           l_pRecord->AddLine(l_szLine);
         }
         return l_pRecord;
       },
       u"Genres navigation All Music Genre -Unknown-", 1,
       kEdition == Edition::Second ? 6 : 0, false, false},
  };
  const std::unique_ptr<CMusicLibrary> l_pLibrary = AnsweringLibrary();
  // The root's cursor away from the top, so that position and row are not 0.
  l_pLibrary->OnButtonDown();
  l_pLibrary->OnButtonDown();
  for (const bool l_bTaken : {true, false}) {
    answer = l_bTaken;
    for (const Case& l_Case : l_Cases) {
      calls.clear();
      Queue(l_Case.record());
      const std::vector<CDeviceData> l_Pages = Process(l_pLibrary.get());
      EXPECT_EQ(calls, std::vector<std::u16string>{l_Case.call});
      if (!l_bTaken) {
        EXPECT_TRUE(l_Pages.empty()) << platform::ToUtf8(l_Case.call);
        continue;
      }
      ASSERT_EQ(l_Pages.size(), 1u) << platform::ToUtf8(l_Case.call);
      const CDeviceData& l_Page = l_Pages[0];
      EXPECT_EQ(std::u16string(l_Page.GetTitle().view()), u"Music Library");
      EXPECT_EQ(l_Page.GetLineCount(), 6);
      EXPECT_EQ(l_Page.GetScreenType(), l_Case.screenType);
      EXPECT_EQ(l_Page.GetUpdateMode(), l_Case.updateMode);
      EXPECT_EQ(l_Page.GetSelectedLine(), l_pLibrary->GetCurrentScreenLine());
      EXPECT_EQ(l_Page.GetTotal(), l_Case.total ? l_pLibrary->GetCategoryMaxLines() : 0);
      EXPECT_EQ(l_Page.GetPosition(), l_Case.position ? l_pLibrary->GetCurrentCategoryLine() : 0)
          << platform::ToUtf8(l_Case.call);
    }
  }
}

// The second build follows a selection in the player's tree without redrawing while the player
// plays or is paused, and not at all when it cannot read the play state.
TEST_F(EventProcessing, NavigationWhilePlayingMovesTheTreeOnly) {
  if constexpr (kEdition != Edition::Second) {
    GTEST_SKIP() << "the first build redraws every navigation";
  }
  const std::unique_ptr<CMusicLibrary> l_pLibrary = AnsweringLibrary();
  const auto l_Navigation = [] {
    auto l_pRecord = std::make_unique<CWMPNavagationChanged>(kNavigationChangedEventId);
    for (const char16_t* l_szLine : {u"Library", u"Artist", u"Mara Venn"}) {
      l_pRecord->AddLine(l_szLine);
    }
    return l_pRecord;
  };
  PlayAlbum(u"Blue Harbour");
  Queue(l_Navigation());
  EXPECT_TRUE(Process(l_pLibrary.get()).empty());
  EXPECT_EQ(calls.size(), 1u);
  EXPECT_TRUE(log.Contains(u"ProcessWMPNavagationChanged device data ignored"));

  engine->Monitor().Fail<&IWMPPlayer4::get_playState>(E_FAIL);
  calls.clear();
  Queue(l_Navigation());
  EXPECT_TRUE(Process(l_pLibrary.get()).empty());
  EXPECT_TRUE(calls.empty());
}

// Without a tree every handler that needs it does nothing, and the drain goes on.
TEST_F(EventProcessing, RecordsWithoutATreeAreDropped) {
  Queue(std::make_unique<CMediaCollectionAttributeStringAdded>(5808, u"Author", u"Ona"));
  Queue(std::make_unique<CMediaCollectionAttributeStringRemoved>(5809, u"Author", u"Ona"));
  Queue(std::make_unique<CMediaCollectionAttributeStringChanged>(5820, u"Genre", u"A", u"B"));
  Queue(std::make_unique<CPlaylistCollectionAdd>(5811, u"Road"));
  Queue(std::make_unique<CPlaylistCollectionDelete>(5812, u"Road"));
  Queue(std::make_unique<CMediaPlayerModeChange>(5819, u"loop", VARIANT_TRUE));
  Queue(std::make_unique<CPlaylistChanged>(5801, u"Road", 5));
  Queue(std::make_unique<CWMPNavagationChanged>(kNavigationChangedEventId));
  Queue(std::make_unique<CMediaPlayerEventData>(4711));
  EXPECT_TRUE(Process(nullptr).empty());
  EXPECT_EQ(TakeFirstMediaPlayerEvent(), nullptr);
  EXPECT_TRUE(log.Contains(u"ProcessMediaPlayerEvent id = 4711 Not Processed!"));
  EXPECT_TRUE(log.Contains(u"MediaCollectionAttributeStringChanged Not Implemented"));
}

// One session's records never reach another session's tree or display; an ended session's
// records are purged.
TEST_F(EventProcessing, EachSessionAppliesOnlyItsOwnRecords) {
  const std::unique_ptr<CMusicLibrary> l_pLibrary = AnsweringLibrary();
  Queue(std::make_unique<CPlaylistCollectionAdd>(5811, u"Theirs"), kOtherSession);
  Queue(std::make_unique<CPlaylistCollectionAdd>(5811, u"Mine"), kSession);
  Queue(std::make_unique<CPlayerDockedStateChanged>(6503), kOtherSession);
  EXPECT_EQ(Process(l_pLibrary.get()).size(), 1u);
  EXPECT_EQ(calls, std::vector<std::u16string>{u"Playlists playlist added Mine"});
  EXPECT_EQ(proxy->m_nLoadCalls, 0);
  EXPECT_EQ(PurgeMediaPlayerEvents(kOtherSession), 2u);
  EXPECT_EQ(TakeFirstMediaPlayerEvent(), nullptr);
}

}  // namespace
}  // namespace session_test
