// The four kinds of track list, side by side: what they list, what Play and Ok hand the player,
// how their failures come out, and how they follow library changes.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/WMPException.h"
#include "service/menu/Albums.h"
#include "service/menu/Artists.h"
#include "service/menu/Genres.h"
#include "service/menu/MusicLibrary.h"
#include "service/menu/Playlists.h"
#include "service/menu/tests/MenuFixture.h"

namespace menu_test {
namespace {

using platform::player::Attributes;

using MakeNode = std::function<std::unique_ptr<CTrackList>(IWMPPlayer4* p_pPlayer)>;

struct Leaf {
  const char* kind;
  const char16_t* logName;
  MakeNode make;
  std::int32_t type;
  Page page;
  // A library change that adds a track to this list.
  std::function<void(platform::player::Engine& p_Engine)> grow;
};

Attributes Track(std::u16string p_Name, std::u16string p_Artist, std::u16string p_Album,
                 std::u16string p_Genre) {
  return {{u"Name", std::move(p_Name)},   {u"Author", std::move(p_Artist)},
          {u"Album", std::move(p_Album)}, {u"Genre", std::move(p_Genre)},
          {u"MediaType", u"audio"},       {u"FileType", u"mp3"}};
}

std::vector<Leaf> Leaves() {
  return {
      {"playlist entry",
       u"CPlaylistEntry",
       [](IWMPPlayer4* p) {
         return std::make_unique<CPlaylistEntry>(p, nullptr, u"Quiet Evening", 0);
       },
       kNodeTypePlaylists,
       {u"Quiet Evening", {u"Lanterns", u"Late Tram", u"Wind in the Reeds"}},
       [](platform::player::Engine& e) {
         e.InsertEntry(e.FindPlaylists(u"Quiet Evening")[0], 3, e.FindItem(u"Name", u"Ember"));
       }},
      {"album tracks",
       u"CAlbumTracks",
       [](IWMPPlayer4* p) { return std::make_unique<CAlbumTracks>(p, nullptr, u"Blue Harbour"); },
       kNodeTypeAlbums,
       {u"Blue Harbour", {u"Salt on the Rail", u"Lanterns", u"Tidewater"}},
       [](platform::player::Engine& e) {
         e.AddTrack(Track(u"Fog", u"Mara Venn", u"Blue Harbour", u"Folk"));
       }},
      {"artist album tracks",
       u"CArtistAlbumTracks",
       [](IWMPPlayer4* p) {
         return std::make_unique<CArtistAlbumTracks>(p, nullptr, u"Tolan Brisk", u"Greatest Hits");
       },
       kNodeTypeArtists,
       {u"Greatest Hits", {u"Paper Moons", u"Run the Ribbon"}},
       [](platform::player::Engine& e) {
         e.AddTrack(Track(u"Encore", u"Tolan Brisk", u"Greatest Hits", u"Pop"));
       }},
      {"genre artist album tracks",
       u"CGenreArtistAlbumTracks",
       [](IWMPPlayer4* p) {
         return std::make_unique<CGenreArtistAlbumTracks>(p, nullptr, u"Rock", u"The Quiet Engines",
                                                          u"Iron Orchard");
       },
       kNodeTypeGenres,
       {u"Iron Orchard", {u"Copper Sky", u"Orchard Gate"}},
       [](platform::player::Engine& e) {
         e.AddTrack(Track(u"Rust", u"The Quiet Engines", u"Iron Orchard", u"Rock"));
       }},
  };
}

std::u16string CurrentName(platform::player::Engine& p_Engine) {
  const platform::player::MediaRef current = p_Engine.CurrentMedia();
  return current ? std::u16string(current->Value(p_Engine.MediaLibrary().NameId())) : u"";
}

class TrackListTest : public MenuTest {};

TEST_F(TrackListTest, ListsThePlaylistsTracksAndStartsTheOneUnderTheCursor) {
  for (const Leaf& leaf : Leaves()) {
    SCOPED_TRACE(leaf.kind);
    const std::unique_ptr<CTrackList> node = leaf.make(player.get());
    EXPECT_EQ(PageOf(*node), leaf.page);
    EXPECT_EQ(node->GetNodeType(), leaf.type);
    EXPECT_EQ(node->GetItemCount(), static_cast<std::int32_t>(leaf.page.lines.size()));
    CMediaLibraryNode* out = nullptr;
    EXPECT_FALSE(node->OnButtonRight(&out));
    EXPECT_EQ(out, nullptr);

    node->OnButtonDown();
    EXPECT_EQ(node->OnButtonOk(), kOkNoNewPage);
    EXPECT_EQ(CurrentName(*engine), leaf.page.lines[1]);
    node->OnButtonDown();
    EXPECT_TRUE(node->OnButtonPlay());
    EXPECT_EQ(CurrentName(*engine), leaf.page.lines[2 % leaf.page.lines.size()]);
  }
}

TEST_F(TrackListTest, AnUnreadableTitleLeavesNoGapAndAnUnnamedTrackShowsTheUnknownWord) {
  for (const Leaf& leaf : Leaves()) {
    SCOPED_TRACE(leaf.kind);
    const std::unique_ptr<CTrackList> node = leaf.make(player.get());
    const std::u16string second = leaf.page.lines[1];
    engine->Monitor().Fail<&IWMPMedia::get_name>(E_FAIL, {.on = second});
    std::vector<std::u16string> expected = leaf.page.lines;
    expected.erase(expected.begin() + 1);
    EXPECT_EQ(PageOf(*node).lines, expected);
    EXPECT_TRUE(log.Contains(std::u16string(leaf.logName) +
                             u" OnGetDisplayLines get_name fails with hr 80004005"));
    engine->Monitor().ClearFailures();
  }
  CArtistAlbumTracks unnamed(player.get(), nullptr, u"", u"-Untitled Album-");
  EXPECT_EQ(PageOf(unnamed).lines[0], u"-Unknown-");
}

// Which failure of a track start throws and which is only logged, with the texts.
TEST_F(TrackListTest, AFailedStartIsThrownByThePlaylistEntryAndLoggedByTheOthers) {
  struct Case {
    std::size_t leaf;
    bool play;
    const char16_t* text;
    bool throws;
    bool result;
  };
  const Case cases[] = {
      {0, true,
       u"CPlaylistEntry OnButtonPlay put_currentMedia for Quiet Evening fails with error 80004005",
       true, false},
      {0, false,
       u"CPlaylistEntry OnButtonOk put_currentMedia for Quiet Evening fails with error 80004005",
       true, false},
      {1, true, u"CAlbumTracks::OnButtonPlay put_currentMedia fails with hr 80004005", false, true},
      {1, false, u"CAlbumTracks::OnButtonOk put_currentMedia fails with hr 80004005", false, false},
      {2, true, u"CArtistAlbumTracks OnButtonPlay put_currentMedia fails with hr 80004005", false,
       true},
      {2, false, u"CArtistAlbumTracks OnButtonPlay put_currentMedia fails with hr 80004005", false,
       false},
      {3, true, u"CGenreArtistAlbumTracks OnButtonPlay put_currentMedia fails with hr 80004005",
       false, true},
      {3, false, u"CGenreArtistAlbumTracks OnButtonOk put_currentMedia fails with hr 80004005",
       false, false},
  };
  const std::vector<Leaf> leaves = Leaves();
  for (const Case& testCase : cases) {
    SCOPED_TRACE(platform::ToUtf8(testCase.text));
    const std::unique_ptr<CTrackList> node = leaves[testCase.leaf].make(player.get());
    engine->Monitor().Fail<&IWMPPlayer4::put_currentMedia>(E_FAIL);
    try {
      const bool result = testCase.play ? node->OnButtonPlay() : node->OnButtonOk() != 0;
      EXPECT_FALSE(testCase.throws);
      EXPECT_EQ(result, testCase.result);
      EXPECT_TRUE(log.Contains(testCase.text));
    } catch (const CWMPException& exception) {
      EXPECT_TRUE(testCase.throws);
      EXPECT_EQ(std::u16string(exception.GetText()), testCase.text);
    }
    engine->Monitor().ClearFailures();
  }
}

TEST_F(TrackListTest, ALibraryChangeReloadsOnlyWhenTheCountChanged) {
  for (const Leaf& leaf : Leaves()) {
    SCOPED_TRACE(leaf.kind);
    const std::unique_ptr<CTrackList> node = leaf.make(player.get());
    node->OnButtonDown();
    EXPECT_FALSE(node->OnMediaCollectionChanged(node.get()));  // nothing changed
    leaf.grow(*engine);
    EXPECT_FALSE(node->OnMediaCollectionChanged(nullptr));  // reloaded, but not shown
    EXPECT_EQ(node->GetItemCount(), static_cast<std::int32_t>(leaf.page.lines.size() + 1));
    EXPECT_EQ(node->GetCurrentCategoryLine(), 1);  // the cursor stays
    leaf.grow(*engine);
    EXPECT_TRUE(node->OnMediaCollectionChanged(node.get()));
    EXPECT_EQ(PageOf(*node).lines.size(), leaf.page.lines.size() + 2);
  }
}

TEST_F(TrackListTest, ALibraryChangeWhoseTracksCannotBeAskedForChangesNothing) {
  using Failure = std::function<void(platform::player::CallMonitor & p_Monitor)>;
  const std::pair<const char*, Failure> failures[] = {
      {"media collection",
       [](platform::player::CallMonitor& p_Monitor) {
         p_Monitor.Fail<&IWMPPlayer4::get_mediaCollection>(E_FAIL);
       }},
      {"album query",
       [](platform::player::CallMonitor& p_Monitor) {
         p_Monitor.Fail<&IWMPMediaCollection::getByAlbum>(E_FAIL);
       }},
  };
  for (const Leaf& leaf : Leaves()) {
    if (leaf.type == kNodeTypePlaylists) {
      continue;  // a playlist entry does not ask the media collection
    }
    for (const auto& [name, fail] : failures) {
      SCOPED_TRACE(std::string(leaf.kind) + ", " + name);
      const std::unique_ptr<CTrackList> node = leaf.make(player.get());
      node->OnButtonDown();
      const Page before = PageOf(*node);
      const std::int32_t count = node->GetItemCount();
      leaf.grow(*engine);
      fail(engine->Monitor());
      EXPECT_FALSE(node->OnMediaCollectionChanged(node.get()));
      engine->Monitor().ClearFailures();
      EXPECT_EQ(PageOf(*node), before);
      EXPECT_EQ(node->GetItemCount(), count);
      EXPECT_EQ(node->GetCurrentCategoryLine(), 1);
      // Once the library answers again, the change comes through.
      EXPECT_TRUE(node->OnMediaCollectionChanged(node.get()));
      EXPECT_EQ(node->GetItemCount(), count + 1);
    }
  }
}

TEST_F(TrackListTest, WithoutAPlaylistTheListIsEmpty) {
  engine->Monitor().Fail<&IWMPPlayer4::newPlaylist>(E_OUTOFMEMORY);
  CArtistAlbumTracks artist(player.get(), nullptr, u"Tolan Brisk", u"Greatest Hits");
  CGenreArtistAlbumTracks genre(player.get(), nullptr, u"Rock", u"The Quiet Engines",
                                u"Iron Orchard");
  EXPECT_TRUE(log.Contains(u"CArtistAlbumTracks newPlaylist fails with hr 8007000e"));
  EXPECT_TRUE(log.Contains(u"CGenreArtistAlbumTracks newPlaylist fails with hr 8007000e"));
  CPlaylistEntry missing(player.get(), nullptr, u"Road Trip", 2);  // there are only two
  for (CTrackList* node : std::vector<CTrackList*>{&artist, &genre, &missing}) {
    EXPECT_EQ(PageOf(*node).lines, std::vector<std::u16string>{});
    EXPECT_TRUE(node->GetTrackCount() == 0);
    node->OnButtonDown();
    EXPECT_EQ(node->OnButtonOk(), kOkNoNewPage);
    EXPECT_EQ(engine->Monitor().CountCalls<&IWMPPlayer4::put_currentMedia>(), 0u);
    EXPECT_FALSE(node->OnMediaCollectionChanged(node));
  }
  EXPECT_EQ(PageOf(missing).title, u"");
  EXPECT_TRUE(artist.OnButtonPlay());
  EXPECT_FALSE(missing.OnButtonPlay());

  // Once the player makes playlists again, a library change brings the tracks.
  engine->Monitor().ClearFailures();
  EXPECT_TRUE(artist.OnMediaCollectionChanged(&artist));
  EXPECT_EQ(PageOf(artist).lines.size(), 2u);
}

TEST_F(TrackListTest, PlaylistEntriesOfOneNameAndEmptyPlaylists) {
  CPlaylistEntry second(player.get(), nullptr, u"Road Trip", 1);
  EXPECT_EQ(PageOf(second), (Page{u"Road Trip", {u"Static Bloom", u"Low Orbit"}}));
  EXPECT_EQ(second.GetPlaylistType().view(), u"Static");

  CPlaylistEntry empty(player.get(), nullptr, u"Empty Shelf", 0);
  EXPECT_EQ(empty.GetItemCount(), 1);  // an empty playlist counts one entry
  EXPECT_EQ(PageOf(empty), (Page{u"Empty Shelf", {}}));
  engine->Monitor().ClearCalls();
  EXPECT_FALSE(empty.OnButtonPlay());
  EXPECT_EQ(empty.OnButtonOk(), kOkNoNewPage);
  EXPECT_EQ(engine->Monitor().CountCalls<&IWMPPlaylist::get_item>(), 0u);
}

TEST_F(TrackListTest, ChangesOfOnePlaylistReloadItAndKeepTheCursorInside) {
  CPlaylistEntry entry(player.get(), nullptr, u"Road Trip", 0);
  entry.OnPagesDown();
  ASSERT_EQ(entry.GetCurrentCategoryLine(), 3);
  const platform::player::PlaylistRef playlist = engine->FindPlaylists(u"Road Trip")[0];
  EXPECT_FALSE(entry.OnPlaylistChanged(u"Quiet Evening", wmplcDelete, &entry, nullptr));
  ASSERT_TRUE(engine->RemoveEntry(playlist, 3));
  ASSERT_TRUE(engine->RemoveEntry(playlist, 2));
  EXPECT_TRUE(entry.OnPlaylistChanged(u"Road Trip", wmplcDelete, &entry, nullptr));
  EXPECT_EQ(entry.GetCurrentCategoryLine(), 1);
  ASSERT_TRUE(engine->RemoveEntry(playlist, 1));
  ASSERT_TRUE(engine->RemoveEntry(playlist, 0));
  EXPECT_FALSE(entry.OnPlaylistChanged(u"Road Trip", wmplcDelete, nullptr, nullptr));
  EXPECT_EQ(entry.GetCurrentCategoryLine(), 0);
  EXPECT_EQ(PageOf(entry).lines, std::vector<std::u16string>{});
}

TEST_F(TrackListTest, UntitledAlbumsAskForTheTracksWithoutAnAlbum) {
  CAlbumTracks untitled(player.get(), nullptr, u"-Untitled Album- (2)");
  EXPECT_EQ(PageOf(untitled).lines[0], u"Demo One");
  EXPECT_EQ(engine->Monitor().CountCalls<&IWMPMediaCollection::getByAlbum>(), 0u);
  // Library changes compare with the same query, so nothing changed means no reload.
  EXPECT_FALSE(untitled.OnMediaCollectionChanged(&untitled));
}

TEST_F(TrackListTest, ThrowSitesReachTheRootAsItsLogLines) {
  // The album node cannot be made: the albums list's Right fails at the root.
  CMusicLibrary root(player.get());
  ASSERT_TRUE(root.InitializeLibrary());
  root.OnButtonDown();
  ASSERT_TRUE(root.OnButtonRight(nullptr));
  engine->Monitor().Fail<&IWMPMediaCollection::getByAlbum>(E_FAIL,
                                                           {.arguments = {u"Blue Harbour"}});
  EXPECT_FALSE(root.OnButtonRight(nullptr));
  EXPECT_TRUE(
      log.Contains(u"CMusicLibrary::OnButtonRight sees CWMPException getByAlbum for Blue "
                   u"Harbour fails with error 80004005"));
  EXPECT_EQ(root.GetShownNode()->GetNodeType(), kNodeTypeAlbums);
  engine->Monitor().ClearFailures();

  // The genre branch's track list cannot count its fresh list on a library change.
  CGenreArtistAlbumTracks untitled(player.get(), nullptr, u"Pop", u"Tolan Brisk",
                                   u"-Untitled Album-");
  ASSERT_EQ(PageOf(untitled).lines, std::vector<std::u16string>{u"Demo One"});
  engine->Monitor().Fail<&IWMPPlaylist::get_count>(E_FAIL, {.on = u"-Untitled Album-"});
  try {
    untitled.OnMediaCollectionChanged(&untitled);
    ADD_FAILURE() << "no exception";
  } catch (const CWMPException& exception) {
    EXPECT_EQ(std::u16string(exception.GetText()),
              u"CGenreArtistAlbumTracks::OnMediaCollectionChanged "
              u"m_spAlbumTracksPlaylist->get_count fails with hr 80004005");
  }
}

}  // namespace
}  // namespace menu_test
