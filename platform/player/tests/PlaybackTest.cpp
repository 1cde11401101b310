#include <gtest/gtest.h>

#include "platform/player/tests/PlayerFixture.h"

namespace player_test {
namespace {

using Lines = std::vector<std::u16string>;

class PlaybackTest : public PlayerTest {
 protected:
  // Makes the album "Blue Harbour" (215.6 s, 187.2 s, 243.0 s) the current playlist.
  void PlayBlueHarbour() {
    ComPtr<IWMPPlaylist> album;
    ASSERT_EQ(media->getByAlbum(B(u"Blue Harbour").get(), album.put()), S_OK);
    ASSERT_EQ(player->put_currentPlaylist(album.get()), S_OK);
  }
};

TEST_F(PlaybackTest, APlaylistMadeCurrentStartsAndThePositionRunsOnTheClock) {
  PlayBlueHarbour();
  EXPECT_EQ(events->Take(), (Lines{u"CurrentItemChange Salt on the Rail", u"PlayStateChange 9",
                                   u"PlayStateChange 3"}));
  EXPECT_EQ(State(), wmppsPlaying);
  Advance(61.9);
  EXPECT_NEAR(Position(), 61.9, 1e-6);
  ASSERT_EQ(controls->pause(), S_OK);
  Advance(30);
  EXPECT_EQ(State(), wmppsPaused);
  EXPECT_NEAR(Position(), 61.9, 1e-6);
  ASSERT_EQ(controls->play(), S_OK);
  Advance(1);
  EXPECT_NEAR(Position(), 62.9, 1e-6);
  ASSERT_EQ(controls->stop(), S_OK);
  EXPECT_EQ(State(), wmppsStopped);
  EXPECT_EQ(Position(), 0);
  EXPECT_EQ(events->Take(u"PlayStateChange"),
            (Lines{u"PlayStateChange 2", u"PlayStateChange 3", u"PlayStateChange 1"}));
  ASSERT_EQ(controls->play(), S_OK);
  EXPECT_EQ(events->Take(u"PlayStateChange"), (Lines{u"PlayStateChange 9", u"PlayStateChange 3"}));
}

TEST_F(PlaybackTest, TracksEndOnTheClockAndTheListStopsAtItsEnd) {
  PlayBlueHarbour();
  events->Take();
  Advance(215.6 + 10);  // into the second track
  EXPECT_EQ(CurrentName(), u"Lanterns");
  EXPECT_NEAR(Position(), 10, 1e-3);
  EXPECT_EQ(events->Take(), (Lines{u"PlayStateChange 8", u"CurrentItemChange Lanterns",
                                   u"PlayStateChange 9", u"PlayStateChange 3"}));
  Advance(177.2 + 243.0 + 5);  // past the end of the list
  EXPECT_EQ(State(), wmppsStopped);
  EXPECT_EQ(CurrentName(), u"Tidewater");
  EXPECT_EQ(events->Take(u"PlayStateChange"),
            (Lines{u"PlayStateChange 8", u"PlayStateChange 9", u"PlayStateChange 3",
                   u"PlayStateChange 8", u"PlayStateChange 1"}));
}

TEST_F(PlaybackTest, LoopStartsTheListAgain) {
  ASSERT_EQ(settings->setMode(B(u"loop").get(), VARIANT_TRUE), S_OK);
  PlayBlueHarbour();
  Advance(215.6 + 187.2 + 243.0 + 1);
  EXPECT_EQ(State(), wmppsPlaying);
  EXPECT_EQ(CurrentName(), u"Salt on the Rail");
  EXPECT_NEAR(Position(), 1, 1e-3);
  ASSERT_EQ(controls->previous(), S_OK);
  EXPECT_EQ(CurrentName(), u"Tidewater");
  ASSERT_EQ(controls->next(), S_OK);
  EXPECT_EQ(CurrentName(), u"Salt on the Rail");
}

TEST_F(PlaybackTest, NextAndPreviousWalkTheList) {
  PlayBlueHarbour();
  ASSERT_EQ(controls->next(), S_OK);
  ASSERT_EQ(controls->next(), S_OK);
  EXPECT_EQ(CurrentName(), u"Tidewater");
  ASSERT_EQ(controls->next(), S_OK);  // the end, without loop: stays
  EXPECT_EQ(CurrentName(), u"Tidewater");
  ASSERT_EQ(controls->previous(), S_OK);
  EXPECT_EQ(CurrentName(), u"Lanterns");
  EXPECT_EQ(State(), wmppsPlaying);
  ASSERT_EQ(controls->pause(), S_OK);
  ASSERT_EQ(controls->previous(), S_OK);
  EXPECT_EQ(CurrentName(), u"Salt on the Rail");
  EXPECT_EQ(State(), wmppsPaused);
}

TEST_F(PlaybackTest, FastForwardAndReverseScanWhilePlaying) {
  PlayBlueHarbour();
  Advance(10);
  ASSERT_EQ(controls->fastForward(), S_OK);
  Advance(4);
  EXPECT_NEAR(Position(), 30, 1e-3);
  ASSERT_EQ(controls->fastReverse(), S_OK);
  Advance(2);
  EXPECT_NEAR(Position(), 20, 1e-3);
  Advance(10);  // reversed past the start: plays on from there
  EXPECT_NEAR(Position(), 0, 1e-3);
  Advance(3);
  EXPECT_NEAR(Position(), 3, 1e-3);
  EXPECT_EQ(State(), wmppsPlaying);
  ASSERT_EQ(controls->fastForward(), S_OK);
  ASSERT_EQ(controls->play(), S_OK);  // back to normal speed
  Advance(1);
  EXPECT_NEAR(Position(), 4, 1e-3);
}

TEST_F(PlaybackTest, WithoutAutoStartMediaIsOnlyMadeReady) {
  ASSERT_EQ(settings->put_autoStart(VARIANT_FALSE), S_OK);
  PlayBlueHarbour();
  EXPECT_EQ(State(), wmppsReady);
  Advance(500);
  EXPECT_EQ(Position(), 0);
  ASSERT_EQ(settings->put_autoStart(VARIANT_TRUE), S_OK);
  ComPtr<IWMPPlaylist> empty;
  ASSERT_EQ(player->newPlaylist(B(u"").get(), nullptr, empty.put()), S_OK);
  ASSERT_EQ(player->put_currentPlaylist(empty.get()), S_OK);
  EXPECT_EQ(State(), wmppsStopped);
  ASSERT_EQ(controls->play(), S_OK);  // nothing to play
  EXPECT_EQ(State(), wmppsStopped);
}

TEST_F(PlaybackTest, CurrentMediaJumpsWithinTheListOrPlaysAlone) {
  PlayBlueHarbour();
  ComPtr<IWMPPlaylist> album;
  ASSERT_EQ(media->getByAlbum(B(u"Blue Harbour").get(), album.put()), S_OK);
  ComPtr<IWMPMedia> third;
  ASSERT_EQ(album->get_item(2, third.put()), S_OK);
  ASSERT_EQ(player->put_currentMedia(third.get()), S_OK);
  EXPECT_EQ(CurrentName(), u"Tidewater");
  ASSERT_EQ(controls->previous(), S_OK);
  EXPECT_EQ(CurrentName(), u"Lanterns");

  ComPtr<IWMPMedia> other;
  ASSERT_EQ(ByAttribute(u"Name", u"Ember")->get_item(0, other.put()), S_OK);
  ASSERT_EQ(player->put_currentMedia(other.get()), S_OK);
  EXPECT_EQ(CurrentName(), u"Ember");
  ASSERT_EQ(controls->next(), S_OK);
  EXPECT_EQ(CurrentName(), u"Ember");
  UniqueBstr duration;
  ComPtr<IWMPMedia> current;
  ASSERT_EQ(player->get_currentMedia(current.put()), S_OK);
  ASSERT_EQ(current->getItemInfo(B(u"Duration").get(), duration.out()), S_OK);
  EXPECT_EQ(Text(duration.get()), u"199.9");
}

TEST_F(PlaybackTest, APlaylistsMediaItemPlaysThePlaylist) {
  const ComPtr<IWMPPlaylist> playlistItems = ByAttribute(u"MediaType", u"playlist");
  ComPtr<IWMPMedia> roadTrip;
  ASSERT_EQ(playlistItems->get_item(2, roadTrip.put()), S_OK);  // the second "Road Trip"
  UniqueBstr trackingId;
  ASSERT_EQ(roadTrip->getItemInfo(B(u"TrackingID").get(), trackingId.out()), S_OK);
  const ComPtr<IWMPPlaylist> found = ByAttribute(u"TrackingID", Text(trackingId.get()));
  ASSERT_EQ(player->put_currentPlaylist(found.get()), S_OK);
  EXPECT_EQ(CurrentName(), u"Static Bloom");
  ASSERT_EQ(controls->next(), S_OK);
  EXPECT_EQ(CurrentName(), u"Low Orbit");

  ComPtr<IWMPMedia> emptyShelf;
  ASSERT_EQ(playlistItems->get_item(4, emptyShelf.put()), S_OK);
  ASSERT_EQ(player->put_currentMedia(emptyShelf.get()), S_OK);
  EXPECT_EQ(State(), wmppsStopped);
}

TEST_F(PlaybackTest, ModesKeepTheValueAsSetAndReportChanges) {
  VARIANT_BOOL value = VARIANT_TRUE;
  ASSERT_EQ(settings->getMode(B(u"loop").get(), &value), S_OK);
  EXPECT_EQ(value, VARIANT_FALSE);
  ASSERT_EQ(settings->setMode(B(u"shuffle").get(), 1), S_OK);  // a true that is not VARIANT_TRUE
  ASSERT_EQ(settings->getMode(B(u"shuffle").get(), &value), S_OK);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(events->Take(), Lines{u"ModeChange shuffle,1"});
  EXPECT_EQ(settings->getMode(B(u"Loop").get(), &value), E_INVALIDARG);
  EXPECT_EQ(settings->setMode(B(u"autoRewind").get(), VARIANT_TRUE), E_INVALIDARG);
}

TEST_F(PlaybackTest, ShufflePlaysEveryTrackOnce) {
  ASSERT_EQ(settings->setMode(B(u"shuffle").get(), VARIANT_TRUE), S_OK);
  ComPtr<IWMPPlaylist> all;
  ComPtr<IWMPPlaylistCollection> collection;
  ComPtr<IWMPPlaylistArray> named;
  ASSERT_EQ(player->get_playlistCollection(collection.put()), S_OK);
  ASSERT_EQ(collection->getByName(B(u"All Music").get(), named.put()), S_OK);
  ASSERT_EQ(named->item(0, all.put()), S_OK);
  ASSERT_EQ(player->put_currentPlaylist(all.get()), S_OK);
  Lines played{CurrentName()};
  for (int i = 1; i < 18; ++i) {
    ASSERT_EQ(controls->next(), S_OK);
    played.push_back(CurrentName());
  }
  Lines inOrder = Names(all.get());
  EXPECT_NE(played, inOrder);
  std::sort(played.begin(), played.end());
  std::sort(inOrder.begin(), inOrder.end());
  EXPECT_EQ(played, inOrder);
}

}  // namespace
}  // namespace player_test
