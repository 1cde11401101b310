// Library changes while nodes are shown: the root is never left showing a node that a reload
// deleted, and cursors and windows stay inside the reloaded lists.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "service/menu/Genres.h"
#include "service/menu/MusicLibrary.h"
#include "service/menu/Playlists.h"
#include "service/menu/tests/MenuFixture.h"

namespace menu_test {
namespace {

using Lines = std::vector<std::u16string>;
using platform::player::Attributes;

class LibraryChangeTest : public MenuTest {
 protected:
  LibraryChangeTest() { EXPECT_TRUE(root.InitializeLibrary()); }

  // Walks from the root's list: Right on the category, then `p_Lines[i]` Downs and a Right for
  // each level below.
  CMediaLibraryNode* Open(std::size_t p_nCategory, const std::vector<int>& p_Lines) {
    root.ResetToRoot();
    while (root.GetCurrentLine() != static_cast<std::int32_t>(p_nCategory)) {
      root.OnButtonDown();
    }
    EXPECT_TRUE(root.OnButtonRight(nullptr));
    for (const int steps : p_Lines) {
      while (root.GetCurrentCategoryLine() != steps) {
        root.OnButtonDown();
      }
      EXPECT_TRUE(root.OnButtonRight(nullptr));
    }
    return root.GetShownNode();
  }
  Page Shown() {
    _bstr_t title;
    DisplayLines lines;
    root.GetDisplayLines(title, lines);
    return Page{std::u16string(title.view()), Texts(lines)};
  }
  platform::player::PlaylistRef AddPlaylist(std::u16string_view p_Name) {
    return engine->AddPlaylist(p_Name, {{u"PlaylistType", u"Static"}, {u"MediaContentTypes", u"1"}},
                               {engine->FindItem(u"Name", u"Ember")});
  }
  static Attributes Track(std::u16string p_Name, std::u16string p_Artist, std::u16string p_Album,
                          std::u16string p_Genre) {
    return {{u"Name", std::move(p_Name)},   {u"Author", std::move(p_Artist)},
            {u"Album", std::move(p_Album)}, {u"Genre", std::move(p_Genre)},
            {u"MediaType", u"audio"},       {u"FileType", u"mp3"}};
  }

  CMusicLibrary root{player.get()};
};

TEST_F(LibraryChangeTest, APlaylistAddedWhileAPlaylistIsShownKeepsItAlive) {
  CMediaLibraryNode* const shown = Open(kChildPlaylists, {2});
  ASSERT_EQ(Shown().title, u"Quiet Evening");
  AddPlaylist(u"Aardvark");
  EXPECT_FALSE(root.PlaylistCollectionPlaylistAdded(u"Aardvark"));
  EXPECT_EQ(root.GetShownNode(), shown);
  EXPECT_EQ(Shown(), (Page{u"Quiet Evening", {u"Lanterns", u"Late Tram", u"Wind in the Reeds"}}));
  EXPECT_TRUE(root.OnButtonLeft(nullptr));
  EXPECT_EQ(Shown().lines[1], u"Aardvark");

  // The shown playlist is no longer listed (its name cannot be read): it lives on aside.
  Open(kChildPlaylists, {3});
  ASSERT_EQ(Shown().title, u"Quiet Evening");
  engine->Monitor().Fail<&IWMPMedia::get_name>(E_FAIL, {.on = u"Quiet Evening"});
  AddPlaylist(u"Zebra");
  EXPECT_FALSE(root.PlaylistCollectionPlaylistAdded(u"Zebra"));
  engine->Monitor().ClearFailures();
  EXPECT_EQ(Shown(), (Page{u"Quiet Evening", {u"Lanterns", u"Late Tram", u"Wind in the Reeds"}}));
  // A failed reload empties the list, and still the shown node lives.
  engine->Monitor().Fail<&IWMPPlayer4::get_mediaCollection>(E_FAIL);
  EXPECT_FALSE(root.PlaylistCollectionPlaylistAdded(u"Zebra"));
  EXPECT_TRUE(
      log.Contains(u"CMusicLibrary::PlaylistCollectionPlaylistAdded sees CWMPException "
                   u"PlayList Media String Collection fails with error 80004005"));
  EXPECT_EQ(Shown().title, u"Quiet Evening");
  engine->Monitor().ClearFailures();
  // A removal hands the root the playlists list.
  ASSERT_TRUE(engine->RemovePlaylist(engine->FindPlaylists(u"Aardvark")[0]));
  EXPECT_TRUE(root.PlaylistCollectionPlaylistRemoved(u"Aardvark"));
  EXPECT_EQ(root.GetShownNode()->GetNodeType(), kNodeTypePlaylists);
  EXPECT_EQ(Shown().title, u"Playlists");
}

TEST_F(LibraryChangeTest, PlaylistAdditionsAndRemovalsOnTheEnteredList) {
  Open(kChildPlaylists, {});
  // Additions in the window, or on the row below it, ask for a page; one further down does not.
  AddPlaylist(u"Beach");
  EXPECT_TRUE(root.PlaylistCollectionPlaylistAdded(u"Beach"));
  AddPlaylist(u"Zulu");
  EXPECT_TRUE(root.PlaylistCollectionPlaylistAdded(u"Zulu"));
  AddPlaylist(u"Zz");
  EXPECT_FALSE(root.PlaylistCollectionPlaylistAdded(u"Zz"));
  // Filtered out: the count stays and nothing is due.
  engine->AddPlaylist(u"Video", {{u"MediaContentTypes", u"4"}}, {});
  EXPECT_FALSE(root.PlaylistCollectionPlaylistAdded(u"Video"));
  EXPECT_EQ(root.GetCategoryMaxLines(), 9);

  // Removing the last playlist while the cursor is on it moves the cursor and the window up.
  root.OnButtonUp();  // wraps to the last entry
  ASSERT_EQ(root.GetCurrentCategoryLine(), 8);
  ASSERT_EQ(Shown().lines.back(), u"Fresh Finds");
  ASSERT_TRUE(engine->RemovePlaylist(engine->FindPlaylists(u"Fresh Finds")[0]));
  EXPECT_TRUE(root.PlaylistCollectionPlaylistRemoved(u"Fresh Finds"));
  EXPECT_EQ(root.GetCurrentCategoryLine(), 7);
  EXPECT_EQ(root.GetCurrentScreenLine(), 5);
  EXPECT_EQ(Shown().lines.back(), u"Zz");

  // Removing every playlist leaves the cursor on the first line of an empty list.
  for (const char16_t* name :
       {u"All Music", u"Beach", u"Empty Shelf", u"Quiet Evening", u"Road Trip", u"Road Trip",
        u"Zulu", u"Zz", u"Music played the most", u"Clips", u"Video"}) {
    ASSERT_TRUE(engine->RemovePlaylist(engine->FindPlaylists(name)[0]));
    root.PlaylistCollectionPlaylistRemoved(name);
  }
  EXPECT_EQ(Shown(), (Page{u"Playlists", {}}));
  EXPECT_EQ(root.GetCurrentCategoryLine(), 0);
  EXPECT_FALSE(root.OnButtonRight(nullptr));
  EXPECT_FALSE(root.OnButtonPlay());
}

TEST_F(LibraryChangeTest, AlbumChanges) {
  CMediaLibraryNode* const albums = Open(kChildAlbums, {});
  root.OnButtonUp();  // the last album, Circuit Garden
  ASSERT_EQ(root.GetCurrentCategoryLine(), 6);
  // Night Ferry goes: the cursor past the new end comes back onto the last line.
  ASSERT_TRUE(engine->RemoveTrack(engine->FindItem(u"Name", u"Harbour Lights (Reprise)")));
  EXPECT_TRUE(root.MediaCollectionAttributeStringRemoved(u"WM/AlbumTitle", u"Night Ferry"));
  EXPECT_EQ(root.GetShownNode(), albums);
  EXPECT_EQ(root.GetCurrentCategoryLine(), 5);
  EXPECT_EQ(root.GetCategoryMaxLines(), 6);

  // An addition sorts the whole list by code units; a name already listed changes nothing.
  engine->AddTrack(Track(u"Dawn", u"Mara Venn", u"aurora", u"Folk"));
  EXPECT_TRUE(root.MediaCollectionAttributeStringAdded(u"WM/AlbumTitle", u"aurora"));
  EXPECT_EQ(Shown().lines, (Lines{u"Blue Harbour", u"Circuit Garden", u"Field Recordings",
                                  u"Greatest Hits", u"Iron Orchard", u"aurora"}));
  EXPECT_FALSE(root.MediaCollectionAttributeStringAdded(u"WM/AlbumTitle", u"aurora"));

  // While an album's tracks are shown, a change hands back the albums list.
  Open(kChildAlbums, {1});
  ASSERT_EQ(Shown().title, u"Blue Harbour");
  engine->AddTrack(Track(u"Spark", u"Kestrel", u"Bright", u"Electronic"));
  EXPECT_TRUE(root.MediaCollectionAttributeStringAdded(u"WM/AlbumTitle", u"Bright"));
  EXPECT_EQ(root.GetShownNode(), albums);
  // ...and while another category is shown, the albums answer false but drop their nodes.
  Open(kChildGenres, {0});
  EXPECT_FALSE(root.MediaCollectionAttributeStringAdded(u"WM/AlbumTitle", u"Cobalt"));
  EXPECT_EQ(Shown().title, u"Folk");
}

TEST_F(LibraryChangeTest, EveryAlbumAddedOrRemovedDropsTheOpenedAlbums) {
  // An album opened, its cursor moved, and the list shown again: Right finds the kept node, where
  // a new one would ask the library for its tracks.
  const auto openAlbumAndLeave = [&] {
    Open(kChildAlbums, {0});
    root.OnButtonDown();
    EXPECT_TRUE(root.OnButtonLeft(nullptr));
  };
  const auto reopened = [&] {
    engine->Monitor().ClearCalls();
    Open(kChildAlbums, {0});
    return std::make_pair(root.GetCurrentCategoryLine(),
                          engine->Monitor().CountCalls<&IWMPPlayer4::get_mediaCollection>());
  };
  openAlbumAndLeave();
  EXPECT_EQ(reopened(), std::make_pair(1, std::size_t{0}));

  // While another category is shown the albums answer false, and still drop their nodes.
  const std::function<bool()> changes[] = {
      [&] {
        engine->AddTrack(Track(u"Spark", u"Kestrel", u"Bright", u"Electronic"));
        return root.MediaCollectionAttributeStringAdded(u"WM/AlbumTitle", u"Bright");
      },
      [&] {
        EXPECT_TRUE(engine->RemoveTrack(engine->FindItem(u"Name", u"Harbour Lights (Reprise)")));
        return root.MediaCollectionAttributeStringRemoved(u"WM/AlbumTitle", u"Night Ferry");
      },
  };
  for (const std::function<bool()>& change : changes) {
    openAlbumAndLeave();
    Open(kChildGenres, {});
    EXPECT_FALSE(change());
    EXPECT_EQ(Shown().title, u"Genre");
    EXPECT_EQ(reopened(), std::make_pair(0, std::size_t{1}));
  }

  // A removal while an album's tracks are shown deletes that node: the artists are not handed
  // it, and the root shows the albums list.
  CMediaLibraryNode* const albums = Open(kChildAlbums, {});
  Open(kChildAlbums, {0});
  ASSERT_EQ(root.GetShownNode()->GetNodeType(), kNodeTypeAlbums);
  ASSERT_TRUE(engine->RemoveTrack(engine->FindItem(u"Name", u"Spark")));
  EXPECT_TRUE(root.MediaCollectionAttributeStringRemoved(u"WM/AlbumTitle", u"Bright"));
  EXPECT_EQ(root.GetShownNode(), albums);
}

TEST_F(LibraryChangeTest, ArtistChanges) {
  CMediaLibraryNode* const artists = Open(kChildArtists, {});
  for (int step = 0; step < 7; ++step) {
    root.OnButtonDown();
  }
  ASSERT_EQ(root.GetCurrentScreenLine(), 5);  // Zed, the window starting at Tolan Brisk
  ASSERT_TRUE(engine->RemoveTrack(engine->FindItem(u"Name", u"Ember")));
  EXPECT_TRUE(root.MediaCollectionAttributeStringRemoved(u"Author", u"Zed"));
  EXPECT_EQ(root.GetShownNode(), artists);
  EXPECT_EQ(root.GetCurrentCategoryLine(), 6);
  EXPECT_EQ(root.GetCurrentScreenLine(), 5);  // the window moved up with the cursor
  // The list stays entered: Right opens the artist under the cursor.
  ASSERT_TRUE(root.OnButtonRight(nullptr));
  EXPECT_EQ(Shown().title, u"kestrel");

  // An album added while an artist's album tracks are shown: the artists list comes back.
  Open(kChildArtists, {0, 0});
  ASSERT_EQ(Shown().title, u"Blue Harbour");
  engine->AddTrack(Track(u"Dawn", u"Mara Venn", u"Aurora", u"Folk"));
  EXPECT_TRUE(root.MediaCollectionAttributeStringAdded(u"WM/AlbumTitle", u"Aurora"));
  EXPECT_EQ(root.GetShownNode(), artists);
  ASSERT_TRUE(root.OnButtonRight(nullptr));
  EXPECT_EQ(Shown(), (Page{u"Mara Venn", {u"Aurora", u"Blue Harbour", u"Night Ferry"}}));

  // An artist added while an artist is shown: the artists list comes back too.
  engine->AddTrack(Track(u"Hum", u"Aria", u"Aurora", u"Folk"));
  EXPECT_TRUE(root.MediaCollectionAttributeStringAdded(u"Author", u"Aria"));
  EXPECT_EQ(root.GetShownNode(), artists);
  EXPECT_EQ(root.GetCategoryMaxLines(), 8);
}

TEST_F(LibraryChangeTest, GenreChanges) {
  // Added while three levels down: every node below goes, the genres list comes back with the
  // cursor on the same line.
  CMediaLibraryNode* const genres = Open(kChildGenres, {});
  Open(kChildGenres, {1, 0, 0});
  ASSERT_EQ(Shown().title, u"Iron Orchard");
  engine->AddTrack(Track(u"Swing", u"Odalys Crane", u"Greatest Hits", u"Blues"));
  EXPECT_TRUE(root.MediaCollectionAttributeStringAdded(u"WM/Genre", u"Blues"));
  EXPECT_EQ(root.GetShownNode(), genres);
  EXPECT_EQ(root.GetCurrentCategoryLine(), 1);
  EXPECT_EQ(root.GetCategoryMaxLines(), 7);

  // Removals with the cursor on the last line move it onto the new last line.
  root.OnButtonUp();
  root.OnButtonUp();  // Blues, the last
  ASSERT_EQ(root.GetCurrentCategoryLine(), 6);
  ASSERT_TRUE(engine->RemoveTrack(engine->FindItem(u"Name", u"Swing")));
  EXPECT_TRUE(root.MediaCollectionAttributeStringRemoved(u"WM/Genre", u"Blues"));
  EXPECT_EQ(root.GetCurrentCategoryLine(), 5);

  // A reload that fails leaves an empty list that nothing reads from.
  engine->Monitor().Fail<&IWMPMediaCollection::getAttributeStringCollection>(
      E_FAIL, {.arguments = {u"Genre"}});
  EXPECT_TRUE(root.MediaCollectionAttributeStringRemoved(u"WM/Genre", u"Jazz"));
  EXPECT_EQ(Shown(), (Page{u"Genre", {}}));
  EXPECT_EQ(root.GetCurrentCategoryLine(), 0);
  EXPECT_FALSE(root.OnButtonRight(nullptr));
  EXPECT_TRUE(root.OnButtonPlay());
  EXPECT_TRUE(log.Contains(
      u"CGenreList::InitializeGenreList getAttributeStringCollection fails with hr 80004005"));
  engine->Monitor().ClearFailures();

  // A removal that empties the collection leaves the cursor on the first line.
  auto single = platform::player::Engine::Create(platform::player::Library::FromJson(
      R"({"tracks": [{"Name": "One", "Genre": "Solo", "MediaType": "audio"}], "playlists": []})"));
  ComPtr<IWMPPlayer4> singlePlayer = single->Player();
  CMusicLibrary singleRoot(singlePlayer.get());
  ASSERT_TRUE(singleRoot.InitializeLibrary());
  for (int step = 0; step < 3; ++step) {
    singleRoot.OnButtonDown();
  }
  ASSERT_TRUE(singleRoot.OnButtonRight(nullptr));
  ASSERT_TRUE(single->RemoveTrack(single->FindItem(u"Name", u"One")));
  EXPECT_TRUE(singleRoot.MediaCollectionAttributeStringRemoved(u"WM/Genre", u"Solo"));
  EXPECT_EQ(singleRoot.GetCurrentCategoryLine(), 0);
  EXPECT_EQ(singleRoot.GetCurrentScreenLine(), 0);
  // The first name of the empty collection cannot be read: the last index stays 0.
  EXPECT_EQ(singleRoot.GetShownNode()->GetWindow().m_nLastIndex, 0);
  singleRoot.GetShownNode()->OnButtonDown();
  EXPECT_EQ(singleRoot.GetCurrentCategoryLine(), 0);
}

TEST_F(LibraryChangeTest, TheGenreLoadKeepsTheLastIndexWhenTheFirstNameCannotBeRead) {
  const auto failFirstName = [&] {
    engine->Monitor().Fail<&IWMPStringCollection::item>(
        E_FAIL, {.arguments = {u"0"}, .on = u"Genre", .times = 1});
  };
  engine->Monitor().ClearCalls();
  failFirstName();
  CGenreList genres(player.get(), nullptr);
  const std::vector<std::string> calls = engine->Monitor().CallLines();
  EXPECT_NE(std::find(calls.begin(), calls.end(), "IWMPStringCollection::item(0) on Genre"),
            calls.end());
  EXPECT_TRUE(log.Contains(u"CGenreList::InitializeGenreList item fails with hr 80004005"));
  EXPECT_EQ(genres.GetItemCount(), 6);
  EXPECT_EQ(genres.GetWindow().m_nLastIndex, 0);

  engine->AddTrack(Track(u"Swing", u"Odalys Crane", u"Greatest Hits", u"Blues"));
  EXPECT_FALSE(genres.OnGenreAdded(u"Blues", nullptr, nullptr));
  EXPECT_EQ(genres.GetWindow().m_nLastIndex, 6);

  failFirstName();
  engine->AddTrack(Track(u"Drift", u"Odalys Crane", u"Greatest Hits", u"Ambient"));
  EXPECT_FALSE(genres.OnGenreAdded(u"Ambient", nullptr, nullptr));
  EXPECT_EQ(genres.GetItemCount(), 8);
  EXPECT_EQ(genres.GetWindow().m_nLastIndex, 6);
}

}  // namespace
}  // namespace menu_test
