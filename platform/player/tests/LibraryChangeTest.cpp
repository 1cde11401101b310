#include <gtest/gtest.h>

#include "platform/player/tests/PlayerFixture.h"

namespace player_test {
namespace {

using Lines = std::vector<std::u16string>;
using platform::player::Attributes;

TEST_F(PlayerTest, AddingATrackReportsTheValuesItBringsNew) {
  engine->AddTrack({{u"Name", u"Gull"},
                    {u"Author", u"Mara Venn"},
                    {u"Album", u"Blue Harbour"},
                    {u"WM/AlbumArtist", u"Mara Venn"},
                    {u"Genre", u"Folk"},
                    {u"MediaType", u"audio"}});
  EXPECT_EQ(events->Take(), Lines{u"MediaCollectionChange"});

  engine->AddTrack({{u"Name", u"Crane Song"},
                    {u"Artist", u"Ilse Ravel"},
                    {u"Album", u"Blue Harbour"},
                    {u"WM/AlbumArtist", u"Ilse Ravel"},
                    {u"Genre", u"Ambient"},
                    {u"MediaType", u"audio"}});
  EXPECT_EQ(
      events->Take(),
      (Lines{u"MediaCollectionAttributeStringAdded WM/AlbumTitle,Blue Harbour",
             u"MediaCollectionAttributeStringAdded Author,Ilse Ravel",
             u"MediaCollectionAttributeStringAdded WM/Genre,Ambient", u"MediaCollectionChange"}));
  // Not audio: no album, author or genre of the audio library is touched.
  engine->AddTrack({{u"Name", u"Trailer"}, {u"Author", u"Nobody Yet"}, {u"MediaType", u"video"}});
  EXPECT_EQ(events->Take(), Lines{u"MediaCollectionChange"});
  EXPECT_EQ(Names(ByAttribute(u"Author", u"Ilse Ravel").get()), Lines{u"Crane Song"});
}

TEST_F(PlayerTest, RemovingATrackReportsWhatIsGoneAndThePlaylistsItLeft) {
  const auto ember = engine->FindItem(u"Name", u"Ember");
  ASSERT_TRUE(ember);
  ASSERT_TRUE(engine->RemoveTrack(ember));
  EXPECT_EQ(events->Take(), (Lines{u"MediaCollectionAttributeStringRemoved Author,Zed",
                                   u"PlaylistChange All Music,4", u"PlaylistChange Fresh Finds,4",
                                   u"MediaCollectionChange"}));
  EXPECT_FALSE(engine->RemoveTrack(ember));
  EXPECT_EQ(Names(ByAttribute(u"Name", u"Ember").get()), Lines{});
  ComPtr<IWMPPlaylistCollection> collection;
  ASSERT_EQ(player->get_playlistCollection(collection.put()), S_OK);
  ComPtr<IWMPPlaylistArray> fresh;
  ComPtr<IWMPPlaylist> finds;
  ASSERT_EQ(collection->getByName(B(u"Fresh Finds").get(), fresh.put()), S_OK);
  ASSERT_EQ(fresh->item(0, finds.put()), S_OK);
  EXPECT_EQ(Names(finds.get()), (Lines{u"Static Bloom", u"Low Orbit"}));

  // The last untitled album goes with its last track; tracks without a genre remain.
  ASSERT_TRUE(engine->RemoveTrack(engine->FindItem(u"Name", u"Demo One")));
  ASSERT_TRUE(engine->RemoveTrack(engine->FindItem(u"Name", u"Demo Two")));
  events->Take();
  ASSERT_TRUE(engine->RemoveTrack(engine->FindItem(u"Name", u"")));
  EXPECT_EQ(events->Take(u"MediaCollectionAttributeStringRemoved"),
            Lines{u"MediaCollectionAttributeStringRemoved WM/AlbumTitle,"});
  // A playlist's own item goes only with its playlist.
  EXPECT_FALSE(engine->RemoveTrack(engine->FindItem(u"Name", u"Clips")));
}

TEST_F(PlayerTest, PlaylistsJoinAndLeaveTheCollectionWithTheirEvents) {
  const auto playlist = engine->AddPlaylist(u"Road Trip", {{u"PlaylistType", u"Static"}},
                                            {engine->FindItem(u"Name", u"Ember")});
  EXPECT_EQ(events->Take(),
            (Lines{u"PlaylistCollectionPlaylistAdded Road Trip", u"PlaylistCollectionChange"}));
  EXPECT_EQ(engine->FindPlaylists(u"Road Trip").size(), 3u);
  EXPECT_EQ(Names(ByAttribute(u"MediaType", u"playlist").get()).back(), u"Road Trip");

  ASSERT_TRUE(engine->InsertEntry(playlist, 0, engine->FindItem(u"Name", u"Lanterns")));
  ASSERT_TRUE(engine->RemoveEntry(playlist, 1));
  EXPECT_FALSE(engine->RemoveEntry(playlist, 1));
  EXPECT_FALSE(engine->InsertEntry(playlist, 5, engine->FindItem(u"Name", u"Lanterns")));
  ComPtr<IWMPPlaylistCollection> collection;
  ASSERT_EQ(player->get_playlistCollection(collection.put()), S_OK);
  ComPtr<IWMPPlaylistArray> named;
  ComPtr<IWMPPlaylist> third;
  ASSERT_EQ(collection->getByName(B(u"Road Trip").get(), named.put()), S_OK);
  ASSERT_EQ(named->item(2, third.put()), S_OK);
  ComPtr<IWMPMedia> track;
  ASSERT_EQ(ByAttribute(u"Name", u"Tidewater")->get_item(0, track.put()), S_OK);
  ASSERT_EQ(third->appendItem(track.get()), S_OK);
  EXPECT_EQ(Names(third.get()), (Lines{u"Lanterns", u"Tidewater"}));
  EXPECT_EQ(events->Take(), (Lines{u"PlaylistChange Road Trip,5", u"PlaylistChange Road Trip,4",
                                   u"PlaylistChange Road Trip,6"}));

  ASSERT_TRUE(engine->RemovePlaylist(playlist));
  EXPECT_FALSE(engine->RemovePlaylist(playlist));
  EXPECT_EQ(events->Take(),
            (Lines{u"PlaylistCollectionPlaylistRemoved Road Trip", u"PlaylistCollectionChange"}));
  EXPECT_EQ(engine->FindPlaylists(u"Road Trip").size(), 2u);
  // The object a client still holds goes on answering, detached.
  ASSERT_EQ(third->appendItem(track.get()), S_OK);
  EXPECT_EQ(events->Take(), Lines{});
}

}  // namespace
}  // namespace player_test
