#include <gtest/gtest.h>

#include "platform/player/tests/PlayerFixture.h"

namespace player_test {
namespace {

using Lines = std::vector<std::u16string>;

TEST_F(PlayerTest, QueriesMatchExactlyAndKeepLibraryOrder) {
  ComPtr<IWMPPlaylist> album;
  ASSERT_EQ(media->getByAlbum(B(u"Blue Harbour").get(), album.put()), S_OK);
  EXPECT_EQ(Names(album.get()), (Lines{u"Salt on the Rail", u"Lanterns", u"Tidewater"}));
  ASSERT_EQ(media->getByAlbum(B(u"blue harbour").get(), album.put()), S_OK);
  EXPECT_EQ(Names(album.get()), Lines{});
  ASSERT_EQ(media->getByAlbum(B(u"Blue").get(), album.put()), S_OK);
  EXPECT_EQ(Names(album.get()), Lines{});

  ComPtr<IWMPPlaylist> author;
  ASSERT_EQ(media->getByAuthor(B(u"kestrel").get(), author.put()), S_OK);
  EXPECT_EQ(Names(author.get()), Lines{u"Low Orbit"});
  ComPtr<IWMPPlaylist> genre;
  ASSERT_EQ(media->getByGenre(B(u"Jazz").get(), genre.put()), S_OK);
  EXPECT_EQ(Names(genre.get()), (Lines{u"Blue Vapour", u"Late Tram"}));
  // "Artist" is the author under another name.
  EXPECT_EQ(Names(ByAttribute(u"Artist", u"Zed").get()), Lines{u"Ember"});
}

TEST_F(PlayerTest, AnEmptyValueFindsTheItemsWithoutTheAttribute) {
  EXPECT_EQ(Names(ByAttribute(u"Album", u"").get()),
            (Lines{u"Demo One", u"Demo Two", u"", u"Ember", u"All Music", u"Road Trip",
                   u"Road Trip", u"Quiet Evening", u"Empty Shelf", u"Music played the most",
                   u"Fresh Finds", u"Clips"}));
  EXPECT_EQ(
      Names(ByAttribute(u"Artist", u"").get()),
      (Lines{u"Wind in the Reeds", u"", u"All Music", u"Road Trip", u"Road Trip", u"Quiet Evening",
             u"Empty Shelf", u"Music played the most", u"Fresh Finds", u"Clips"}));
  // Playlists are media of their own type, with their file type.
  const ComPtr<IWMPPlaylist> playlists = ByAttribute(u"MediaType", u"playlist");
  ComPtr<IWMPMedia> first;
  ASSERT_EQ(playlists->get_item(0, first.put()), S_OK);
  UniqueBstr fileType;
  ASSERT_EQ(first->getItemInfo(B(u"FileType").get(), fileType.out()), S_OK);
  EXPECT_EQ(Text(fileType.get()), u"wpl");
}

TEST_F(PlayerTest, AMissingAttributeReadsAsEmptyAndAFailureStaysAFailure) {
  const ComPtr<IWMPPlaylist> demos = ByAttribute(u"Name", u"Demo Two");
  ComPtr<IWMPMedia> demo;
  ASSERT_EQ(demos->get_item(0, demo.put()), S_OK);
  for (const char16_t* attribute : {u"Genre", u"Album", u"NoSuchAttribute"}) {
    UniqueBstr value(SysAllocString(u"stale"));
    ASSERT_EQ(demo->getItemInfo(B(attribute).get(), value.out()), S_OK);
    EXPECT_EQ(SysStringLen(value.get()), 0u);
  }
  engine->Monitor().Fail<&IWMPMedia::getItemInfo>(E_FAIL, {.arguments = {u"Genre"}});
  UniqueBstr genre;
  EXPECT_EQ(demo->getItemInfo(B(u"Genre").get(), genre.out()), E_FAIL);
  EXPECT_EQ(genre.get(), nullptr);
  UniqueBstr author;
  EXPECT_EQ(demo->getItemInfo(B(u"Author").get(), author.out()), S_OK);
  EXPECT_EQ(Text(author.get()), u"Tolan Brisk");
}

TEST_F(PlayerTest, AnIndexOutOfRangeFailsCleanly) {
  ComPtr<IWMPPlaylist> album;
  ASSERT_EQ(media->getByAlbum(B(u"Night Ferry").get(), album.put()), S_OK);
  ComPtr<IWMPStringCollection> genres;
  ASSERT_EQ(media->getAttributeStringCollection(B(u"Genre").get(), B(u"audio").get(), genres.put()),
            S_OK);
  ComPtr<IWMPPlaylistCollection> collection;
  ASSERT_EQ(player->get_playlistCollection(collection.put()), S_OK);
  ComPtr<IWMPPlaylistArray> roadTrips;
  ASSERT_EQ(collection->getByName(B(u"Road Trip").get(), roadTrips.put()), S_OK);
  for (const std::int32_t index : {-1, 2, 1000}) {
    ComPtr<IWMPMedia> item;
    EXPECT_EQ(album->get_item(index == 2 ? 1 : index, item.put()), E_INVALIDARG);
    EXPECT_EQ(item, nullptr);
    UniqueBstr text;
    EXPECT_EQ(genres->item(index == 2 ? 6 : index, text.out()), E_INVALIDARG);
    EXPECT_EQ(text.get(), nullptr);
    ComPtr<IWMPPlaylist> playlist;
    EXPECT_EQ(roadTrips->item(index, playlist.put()), E_INVALIDARG);
    EXPECT_EQ(playlist, nullptr);
  }
}

TEST_F(PlayerTest, StringCollectionsComeInFirstSeenOrderWithRepeatsAndEmptyValues) {
  const auto strings = [&](const char16_t* attribute, const char16_t* mediaType) {
    ComPtr<IWMPStringCollection> values;
    EXPECT_EQ(
        media->getAttributeStringCollection(B(attribute).get(), B(mediaType).get(), values.put()),
        S_OK);
    return Strings(values.get());
  };
  // Two albums share a title, by two album artists; the untitled tracks are one album per
  // album artist too.
  EXPECT_EQ(strings(u"Album", u"audio"),
            (Lines{u"Blue Harbour", u"Night Ferry", u"Iron Orchard", u"Greatest Hits",
                   u"Greatest Hits", u"", u"Field Recordings", u"Circuit Garden"}));
  EXPECT_EQ(strings(u"Artist", u"audio"),
            (Lines{u"Mara Venn", u"The Quiet Engines", u"Tolan Brisk", u"Odalys Crane", u"",
                   u"Kestrel", u"kestrel", u"Zed"}));
  EXPECT_EQ(strings(u"Genre", u"audio"),
            (Lines{u"Folk", u"Rock", u"", u"Pop", u"Jazz", u"Electronic"}));
  EXPECT_EQ(strings(u"Genre", u"Audio"), Lines{});
}

TEST_F(PlayerTest, PlaylistsOfOneNameComeInLibraryOrder) {
  ComPtr<IWMPPlaylistCollection> collection;
  ASSERT_EQ(player->get_playlistCollection(collection.put()), S_OK);
  ComPtr<IWMPPlaylistArray> roadTrips;
  ASSERT_EQ(collection->getByName(B(u"Road Trip").get(), roadTrips.put()), S_OK);
  std::int32_t count = 0;
  ASSERT_EQ(roadTrips->get_count(&count), S_OK);
  ASSERT_EQ(count, 2);
  ComPtr<IWMPPlaylist> second;
  ASSERT_EQ(roadTrips->item(1, second.put()), S_OK);
  EXPECT_EQ(Names(second.get()), (Lines{u"Static Bloom", u"Low Orbit"}));
  UniqueBstr type;
  ASSERT_EQ(second->getItemInfo(B(u"PlaylistType").get(), type.out()), S_OK);
  EXPECT_EQ(Text(type.get()), u"Static");
  ASSERT_EQ(collection->getByName(B(u"road trip").get(), roadTrips.put()), S_OK);
  ASSERT_EQ(roadTrips->get_count(&count), S_OK);
  EXPECT_EQ(count, 0);
}

TEST_F(PlayerTest, ANewPlaylistIsDetached) {
  ComPtr<IWMPPlaylist> fresh;
  ASSERT_EQ(player->newPlaylist(B(u"Road Trip").get(), nullptr, fresh.put()), S_OK);
  ComPtr<IWMPMedia> track;
  ASSERT_EQ(ByAttribute(u"Name", u"Ember")->get_item(0, track.put()), S_OK);
  ASSERT_EQ(fresh->appendItem(track.get()), S_OK);
  ASSERT_EQ(fresh->appendItem(track.get()), S_OK);
  EXPECT_EQ(Names(fresh.get()), (Lines{u"Ember", u"Ember"}));
  EXPECT_EQ(events->Take(), Lines{});  // no playlist of the library changed

  ComPtr<IWMPPlaylistCollection> collection;
  ASSERT_EQ(player->get_playlistCollection(collection.put()), S_OK);
  ComPtr<IWMPPlaylistArray> named;
  ASSERT_EQ(collection->getByName(B(u"Road Trip").get(), named.put()), S_OK);
  std::int32_t count = 0;
  ASSERT_EQ(named->get_count(&count), S_OK);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(ByAttribute(u"Name", u"Road Trip")->get_count(&count), S_OK);
  EXPECT_EQ(count, 2);

  // A query's answer is detached too: appending to it changes neither the library nor later
  // answers.
  const ComPtr<IWMPPlaylist> jazz = ByAttribute(u"Genre", u"Jazz");
  ASSERT_EQ(jazz->appendItem(track.get()), S_OK);
  EXPECT_EQ(Names(ByAttribute(u"Genre", u"Jazz").get()), (Lines{u"Blue Vapour", u"Late Tram"}));
  EXPECT_EQ(player->newPlaylist(B(u"x").get(), B(u"file.wpl").get(), fresh.put()), E_NOTIMPL);
}

TEST_F(PlayerTest, ObjectsOfOtherMakesAreRefused) {
  const auto stranger = platform::MakeObject<EventLog>();
  ComPtr<IWMPPlaylist> fresh;
  ASSERT_EQ(player->newPlaylist(B(u"").get(), nullptr, fresh.put()), S_OK);
  EXPECT_EQ(fresh->appendItem(nullptr), E_INVALIDARG);
  EXPECT_EQ(player->put_currentPlaylist(nullptr), E_INVALIDARG);
  EXPECT_EQ(player->put_currentMedia(nullptr), E_INVALIDARG);
  ComPtr<IWMPMedia> none;
  EXPECT_EQ(player->get_currentMedia(none.put()), E_FAIL);  // nothing was made current
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(player->get_controls(nullptr), E_POINTER);
}

TEST_F(PlayerTest, ApplicationAndVersion) {
  ComPtr<IWMPPlayerApplication> application;
  ASSERT_EQ(player->get_playerApplication(application.put()), S_OK);
  VARIANT_BOOL docked = VARIANT_TRUE;
  ASSERT_EQ(application->get_playerDocked(&docked), S_OK);
  EXPECT_EQ(docked, VARIANT_FALSE);
  engine->SetDocked(true);
  engine->SetDocked(true);
  ASSERT_EQ(application->get_playerDocked(&docked), S_OK);
  EXPECT_EQ(docked, VARIANT_TRUE);
  EXPECT_EQ(events->Take(), Lines{u"PlayerDockedStateChange"});
  UniqueBstr version;
  ASSERT_EQ(player->get_versionInfo(version.out()), S_OK);
  EXPECT_GT(SysStringLen(version.get()), 0u);
}

}  // namespace
}  // namespace player_test
