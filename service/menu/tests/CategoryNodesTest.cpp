#include <gtest/gtest.h>

#include "service/menu/CurrentTrack.h"
#include "service/menu/NowPlayingList.h"
#include "service/menu/OptionsList.h"
#include "service/menu/PlaylistBuilder.h"
#include "service/menu/tests/MenuFixture.h"

namespace menu_test {
namespace {

class NowPlayingTest : public MenuTest {};

TEST_F(NowPlayingTest, StoppedShowsTheNothingPlayingLines) {
  CNowPlayingList node(player.get(), nullptr);
  EXPECT_EQ(PageOf(node), (Page{u"Now Playing", {u"No song", u"currently", u"playing"}}));
  EXPECT_EQ(g_bstrCurrentDuration.Get().view(), u"1.0");
  EXPECT_EQ(g_nElapsedSeconds.load(), 0);
  EXPECT_TRUE(g_bCurrentlyPlayingDisplayed.load());
  EXPECT_TRUE(
      log.Contains(u"CNowPlayingList::OnGetDisplayLines Sets g_bCurrentlyPlayingDisplayed = TRUE"));
}

TEST_F(NowPlayingTest, PlayingAndPausedTracks) {
  PlayAlbum(u"Blue Harbour");
  Advance(61.9);
  CNowPlayingList node(player.get(), nullptr);
  EXPECT_EQ(PageOf(node),
            (Page{u"Now Playing", {u"Salt on the Rail", u"Mara Venn", u"Blue Harbour"}}));
  EXPECT_EQ(g_nElapsedSeconds.load(), 61);
  EXPECT_EQ(g_bstrCurrentTitle.Get().view(), u"Salt on the Rail");
  EXPECT_EQ(g_bstrCurrentDuration.Get().view(), u"215.6");

  // A paused track without an album, artist or name shows the unknown words.
  ComPtr<IWMPPlaylist> nameless;
  ASSERT_EQ(collection->getByAttribute(_bstr_t(u"Name").GetBSTR(), _bstr_t(u"").GetBSTR(),
                                       nameless.put()),
            S_OK);
  ASSERT_EQ(player->put_currentPlaylist(nameless.get()), S_OK);
  ASSERT_EQ(controls->play(), S_OK);
  ASSERT_EQ(controls->pause(), S_OK);
  ApplyLanguageRule(0x0407);
  EXPECT_EQ(
      PageOf(node),
      (Page{u"Wiedergabe", {u"-Unbekannt-", u"-Künstler unbekannt-", u"-Unbetiteltes Album-"}}));
}

TEST_F(NowPlayingTest, AFailedReadNeverKeepsThePreviousTracksText) {
  PlayAlbum(u"Blue Harbour");
  CNowPlayingList node(player.get(), nullptr);
  EXPECT_EQ(PageOf(node).lines[2], u"Blue Harbour");
  ASSERT_EQ(controls->next(), S_OK);
  engine->Monitor().Fail<&IWMPMedia::getItemInfo>(E_FAIL, {.arguments = {u"Album"}});
  EXPECT_EQ(PageOf(node), (Page{u"Now Playing", {u"Lanterns", u"Mara Venn", u"-Untitled Album-"}}));

  // A failed play-state read changes nothing.
  engine->Monitor().Fail<&IWMPPlayer4::get_playState>(E_FAIL);
  ASSERT_EQ(controls->stop(), S_OK);
  EXPECT_EQ(PageOf(node).lines[0], u"Lanterns");
}

TEST_F(NowPlayingTest, AFailedDurationReadKeepsTheLastDuration) {
  PlayAlbum(u"Blue Harbour");
  CNowPlayingList node(player.get(), nullptr);
  PageOf(node);
  ASSERT_EQ(g_bstrCurrentDuration.Get().view(), u"215.6");
  ASSERT_EQ(controls->next(), S_OK);  // Lanterns, 187.2 seconds
  engine->Monitor().Fail<&IWMPMedia::getItemInfo>(E_FAIL, {.arguments = {u"Duration"}});
  EXPECT_EQ(PageOf(node).lines[0], u"Lanterns");
  EXPECT_EQ(g_bstrCurrentDuration.Get().view(), u"215.6");
  engine->Monitor().ClearFailures();
  PageOf(node);
  EXPECT_EQ(g_bstrCurrentDuration.Get().view(), u"187.2");
}

TEST_F(NowPlayingTest, OkRedrawsAndPlayOnlyWhenNotEntered) {
  ComPtr<IWMPPlaylist> album;
  ASSERT_EQ(collection->getByAlbum(_bstr_t(u"Night Ferry").GetBSTR(), album.put()), S_OK);
  ASSERT_EQ(player->put_currentPlaylist(album.get()), S_OK);
  ASSERT_EQ(controls->stop(), S_OK);
  CNowPlayingList node(player.get(), nullptr);
  g_bCurrentlyPlayingDisplayed = false;
  EXPECT_TRUE(node.OnButtonPlay());
  EXPECT_TRUE(g_bCurrentlyPlayingDisplayed.load());
  EXPECT_EQ(engine->PlayState(), wmppsPlaying);
  ASSERT_EQ(controls->stop(), S_OK);
  EXPECT_FALSE(node.OnButtonPlay());  // entered now: Play does nothing
  EXPECT_EQ(engine->PlayState(), wmppsStopped);
  EXPECT_EQ(node.OnButtonOk(), 1);
  EXPECT_TRUE(node.OnTrackChanged());
  EXPECT_TRUE(log.Contains(u"CNowPlayingList::OnTrackChanged Exits"));
}

class OptionsTest : public MenuTest {};

TEST_F(OptionsTest, ReadsTheModesAndTogglesTheLineUnderTheCursor) {
  ASSERT_EQ(settings->setMode(_bstr_t(u"loop").GetBSTR(), VARIANT_TRUE), S_OK);
  COptionsList node(player.get(), nullptr);
  EXPECT_EQ(PageOf(node), (Page{u"Options", {u"Shuffle - Off", u"Repeat - On"}}));

  EXPECT_EQ(node.OnButtonOk(), kOkNoNewPage);  // line 0: shuffle
  VARIANT_BOOL shuffle = VARIANT_FALSE;
  settings->getMode(_bstr_t(u"shuffle").GetBSTR(), &shuffle);
  EXPECT_EQ(shuffle, VARIANT_TRUE);
  node.OnButtonDown();
  engine->Monitor().Fail<&IWMPSettings::setMode>(E_FAIL);
  EXPECT_EQ(node.OnButtonOk(), kOkNoNewPage);  // line 1: repeat, refused by the player
  EXPECT_EQ(PageOf(node), (Page{u"Options", {u"Shuffle - On", u"Repeat - On"}}));
  EXPECT_TRUE(log.Contains(
      u"COptionsList::OnButtonOk l_spMediaPlayerSettings->setMode fails with 80004005"));
  ApplyLanguageRule(0x040C);
  EXPECT_EQ(PageOf(node),
            (Page{u"Options", {u"Lecture al éatoire - Marche", u"Répéter - Marche"}}));
}

TEST_F(OptionsTest, OnlyVariantTrueReadsAsOnAndAFailedLoopReadLeavesBothOff) {
  ASSERT_EQ(settings->setMode(_bstr_t(u"shuffle").GetBSTR(), 1),
            S_OK);  // true, but not VARIANT_TRUE
  EXPECT_EQ(PageOf(*std::make_unique<COptionsList>(player.get(), nullptr)).lines[0],
            u"Shuffle - Off");
  ASSERT_EQ(settings->setMode(_bstr_t(u"shuffle").GetBSTR(), VARIANT_TRUE), S_OK);
  engine->Monitor().Fail<&IWMPSettings::getMode>(E_FAIL, {.arguments = {u"loop"}});
  EXPECT_EQ(PageOf(*std::make_unique<COptionsList>(player.get(), nullptr)).lines[0],
            u"Shuffle - Off");
}

TEST_F(OptionsTest, ModeChangesFollowThePlayer) {
  CMediaLibraryNode* out = nullptr;
  COptionsList node(player.get(), nullptr);
  EXPECT_FALSE(node.OnModeChange(u"loop", true, nullptr));  // not shown: only the flag
  EXPECT_EQ(PageOf(node).lines[1], u"Repeat - On");
  EXPECT_EQ(node.GetCurrentCategoryLine(), 0);
  ASSERT_TRUE(node.OnButtonRight(&out));
  EXPECT_EQ(out, &node);
  EXPECT_TRUE(node.OnModeChange(u"loop", false, &node));
  EXPECT_EQ(node.GetCurrentCategoryLine(), 1);
  EXPECT_TRUE(node.OnModeChange(u"shuffle", true, &node));
  EXPECT_EQ(node.GetCurrentCategoryLine(), 0);
  EXPECT_FALSE(node.OnModeChange(u"Shuffle", false, &node));
  EXPECT_EQ(PageOf(node), (Page{u"Options", {u"Shuffle - On", u"Repeat - Off"}}));
  EXPECT_FALSE(node.OnButtonRight(&out));  // entered already
  EXPECT_FALSE(node.OnButtonPlay());
}

class BuilderTest : public MenuTest {
 protected:
  ComPtr<IWMPPlaylist> NewTarget() {
    ComPtr<IWMPPlaylist> target;
    EXPECT_EQ(
        player->newPlaylist(_bstr_t(u"target").GetBSTR(), _bstr_t(u"").GetBSTR(), target.put()),
        S_OK);
    return target;
  }
};

// The library's playlists are media items too, without album, artist or genre: the queries for
// empty names find them, as they find the nameless track.
const std::vector<std::u16string> kPlaylistItems{u"All Music",   u"Road Trip",
                                                 u"Road Trip",   u"Quiet Evening",
                                                 u"Empty Shelf", u"Music played the most",
                                                 u"Fresh Finds", u"Clips"};

std::vector<std::u16string> Then(std::vector<std::u16string> p_First,
                                 const std::vector<std::u16string>& p_Rest) {
  p_First.insert(p_First.end(), p_Rest.begin(), p_Rest.end());
  return p_First;
}

TEST_F(BuilderTest, AlbumPlaylistFiltersByArtist) {
  struct Case {
    const char16_t* album;
    const char16_t* artist;
    std::vector<std::u16string> tracks;
  };
  const Case cases[] = {
      {u"Greatest Hits", u"Tolan Brisk", {u"Paper Moons", u"Run the Ribbon"}},
      {u"Greatest Hits", u"Odalys Crane", {u"Blue Vapour", u"Late Tram"}},
      {u"Circuit Garden", u"Kestrel", {u"Static Bloom"}},  // names match case-sensitively
      {u"-Untitled Album-", u"Tolan Brisk", {u"Demo One", u"Demo Two"}},
      {u"-Untitled Album-", u"-Unknown Artist-", Then({u""}, kPlaylistItems)},
      {u"Field Recordings", u"-Unknown Artist-", {u"Wind in the Reeds"}},
      {u"No Such Album", u"Zed", {}},
  };
  for (const Case& testCase : cases) {
    const ComPtr<IWMPPlaylist> target = NewTarget();
    EXPECT_EQ(BuildAlbumPlaylist(testCase.album, testCase.artist, player.get(), target.get(),
                                 u"CTest::Build"),
              S_OK);
    EXPECT_EQ(TrackNames(target.get()), testCase.tracks) << platform::ToUtf8(testCase.album);
  }
}

TEST_F(BuilderTest, GenreArtistPlaylistFiltersByGenre) {
  struct Case {
    const char16_t* genre;
    const char16_t* artist;
    std::vector<std::u16string> tracks;
  };
  const Case cases[] = {
      {u"Rock", u"The Quiet Engines", {u"Copper Sky", u"Orchard Gate"}},
      {u"-No Genre-", u"The Quiet Engines", {u"Pressure Valve"}},
      {u"-No Genre-", u"-Unknown Artist-", Then({u"Wind in the Reeds", u""}, kPlaylistItems)},
      {u"Pop", u"Tolan Brisk", {u"Paper Moons", u"Run the Ribbon", u"Demo One"}},
  };
  for (const Case& testCase : cases) {
    const ComPtr<IWMPPlaylist> target = NewTarget();
    EXPECT_EQ(BuildGenreArtistPlayList(testCase.genre, testCase.artist, player.get(), target.get(),
                                       u"CTest::Build"),
              S_OK);
    EXPECT_EQ(TrackNames(target.get()), testCase.tracks) << platform::ToUtf8(testCase.genre);
  }
}

TEST_F(BuilderTest, AnUnreadableTrackIsLeftOutAndTheListStillPlays) {
  engine->Monitor().Fail<&IWMPMedia::getItemInfo>(E_FAIL,
                                                  {.arguments = {u"Artist"}, .on = u"Tidewater"});
  const ComPtr<IWMPPlaylist> target = NewTarget();
  EXPECT_EQ(BuildAlbumPlaylist(u"Blue Harbour", u"Mara Venn", player.get(), target.get(),
                               u"CAlbums::OnButtonPlay"),
            S_OK);
  EXPECT_EQ(TrackNames(target.get()),
            (std::vector<std::u16string>{u"Salt on the Rail", u"Lanterns"}));
  EXPECT_TRUE(log.Contains(u"CAlbums::OnButtonPlay getItemInfo fails with hr 80004005"));

  engine->Monitor().Fail<&IWMPMediaCollection::getByAuthor>(E_ACCESSDENIED);
  EXPECT_EQ(BuildGenreArtistPlayList(u"Folk", u"Mara Venn", player.get(), NewTarget().get(),
                                     u"CGenre::Play"),
            E_ACCESSDENIED);
  EXPECT_TRUE(log.Contains(u"CGenre::Play getByAuthor fails with hr 80070005"));
}

}  // namespace
}  // namespace menu_test
