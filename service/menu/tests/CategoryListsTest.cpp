// The four categories below the root side by side: their pages, Right, Left and the kept
// sub-nodes, Play's player calls, following the player's selection, and the library changes.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/Edition.h"
#include "common/WMPException.h"
#include "service/menu/Albums.h"
#include "service/menu/Artists.h"
#include "service/menu/Genres.h"
#include "service/menu/MusicLibrary.h"
#include "service/menu/Playlists.h"
#include "service/menu/tests/MenuFixture.h"

namespace menu_test {
namespace {

using Lines = std::vector<std::u16string>;

class CategoryTest : public MenuTest {
 protected:
  CategoryTest() { EXPECT_TRUE(root.InitializeLibrary()); }

  // Shows the category of the root's list at `p_nIndex`, entered, with the cursor on its first
  // entry.
  CMediaLibraryNode& Enter(std::size_t p_nIndex) {
    root.ResetToRoot();
    while (root.GetCurrentLine() != static_cast<std::int32_t>(p_nIndex)) {
      root.OnButtonDown();
    }
    EXPECT_TRUE(root.OnButtonRight(nullptr));
    while (root.GetCurrentCategoryLine() > 0) {
      root.OnButtonUp();
    }
    return *root.GetShownNode();
  }
  void Down(std::size_t p_nTimes) {
    for (std::size_t step = 0; step < p_nTimes; ++step) {
      root.OnButtonDown();
    }
  }
  Page Shown() {
    _bstr_t title;
    DisplayLines lines;
    root.GetDisplayLines(title, lines);
    return Page{std::u16string(title.view()), Texts(lines)};
  }

  CMusicLibrary root{player.get()};
};

TEST_F(CategoryTest, PagesAndTheNodesTheyOpen) {
  struct Case {
    std::size_t category;
    Page page;
    std::size_t line;  // the entry opened
    Page opened;
  };
  const Case cases[] = {
      {kChildPlaylists,
       {u"Playlists",
        {u"All Music", u"Empty Shelf", u"Quiet Evening", u"Road Trip", u"Road Trip",
         u"Fresh Finds"}},
       2,
       {u"Quiet Evening", {u"Lanterns", u"Late Tram", u"Wind in the Reeds"}}},
      {kChildAlbums,
       {u"Albums",
        {u"Blue Harbour", u"Night Ferry", u"Iron Orchard", u"Greatest Hits", u"-Untitled Album-",
         u"Field Recordings"}},
       4,
       {u"-Untitled Album-",
        {u"Demo One", u"Demo Two", u"-Unknown-", u"Ember", u"All Music", u"Road Trip"}}},
      {kChildArtists,
       {u"Artists",
        {u"Mara Venn", u"The Quiet Engines", u"Tolan Brisk", u"Odalys Crane", u"-Unknown Artist-",
         u"Kestrel"}},
       2,
       {u"Tolan Brisk", {u"-Untitled Album-", u"Greatest Hits"}}},
      {kChildGenres,
       {u"Genre", {u"Folk", u"Rock", u"-No Genre-", u"Pop", u"Jazz", u"Electronic"}},
       2,
       {u"-No Genre-", {u"-Unknown Artist-", u"The Quiet Engines", u"Tolan Brisk"}}},
  };
  for (const Case& testCase : cases) {
    SCOPED_TRACE(platform::ToUtf8(testCase.page.title));
    CMediaLibraryNode& category = Enter(testCase.category);
    EXPECT_EQ(Shown(), testCase.page);
    EXPECT_EQ(category.OnButtonOk(), kOkOpenEntry);
    Down(testCase.line);
    ASSERT_TRUE(root.OnButtonRight(nullptr));
    CMediaLibraryNode* const opened = root.GetShownNode();
    EXPECT_EQ(Shown(), testCase.opened);
    opened->OnButtonDown();
    EXPECT_TRUE(root.OnButtonLeft(nullptr));
    EXPECT_EQ(root.GetShownNode(), &category);
    EXPECT_EQ(root.GetCurrentCategoryLine(), static_cast<std::int32_t>(testCase.line));
    // The same entry shows the same node again, where the user left it.
    ASSERT_TRUE(root.OnButtonRight(nullptr));
    EXPECT_EQ(root.GetShownNode(), opened);
    EXPECT_EQ(root.GetCurrentCategoryLine(), 1);
    // Left on the category's list leaves it: the root's list is shown.
    EXPECT_TRUE(root.OnButtonLeft(nullptr));
    EXPECT_TRUE(root.OnButtonLeft(nullptr));
    EXPECT_EQ(root.GetShownNode(), nullptr);
    EXPECT_EQ(root.GetCurrentLine(), static_cast<std::int32_t>(testCase.category));
  }
}

TEST_F(CategoryTest, PlayHandsThePlayerTheEntryUnderTheCursor) {
  const std::vector<std::string> quietEvening =
      kEdition == Edition::First
          ? std::vector<std::string>{"IWMPPlayer4::put_currentPlaylist(Quiet Evening)"}
          : std::vector<std::string>{
                "IWMPMediaCollection::getByAttribute(TrackingID, "
                "{C7A2EA20-B2F1-4C94-2E05-319ACB5C7427})",
                "IWMPPlayer4::put_currentPlaylist({C7A2EA20-B2F1-4C94-2E05-319ACB5C7427})"};
  struct Case {
    std::size_t category;
    std::size_t line;
    bool result;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {kChildPlaylists, 2, true, quietEvening},
      {kChildPlaylists, 1, kEdition == Edition::Second,  // no tracks: the first build refuses
       kEdition == Edition::First
           ? std::vector<std::string>{}
           : std::vector<std::string>{"IWMPMediaCollection::getByAttribute(TrackingID, "
                                      "{4CDD2055-930D-6EAF-14F4-733F3E7D1BFB})",
                                      "IWMPPlayer4::put_currentPlaylist({4CDD2055-930D-6EAF-14F4-"
                                      "733F3E7D1BFB})"}},
      {kChildAlbums,
       1,
       true,
       {"IWMPMediaCollection::getByAlbum(Night Ferry)",
        "IWMPPlayer4::put_currentPlaylist(Night Ferry)"}},
      {kChildAlbums,
       4,
       true,
       {"IWMPMediaCollection::getByAttribute(Album, )", "IWMPPlayer4::put_currentPlaylist()"}},
      {kChildArtists,
       6,
       true,
       {"IWMPMediaCollection::getByAuthor(kestrel)", "IWMPPlayer4::put_currentPlaylist(kestrel)"}},
      // The unknown artist: a new unnamed playlist of the audio items without an artist.
      {kChildArtists,
       4,
       true,
       {"IWMPMediaCollection::getByAttribute(Artist, )", "IWMPPlayer4::newPlaylist(, )",
        "IWMPPlaylist::appendItem(Wind in the Reeds)", "IWMPPlaylist::appendItem()",
        "IWMPPlayer4::put_currentPlaylist()"}},
      {kChildGenres,
       1,
       true,
       {"IWMPMediaCollection::getByGenre(Rock)", "IWMPPlayer4::put_currentPlaylist(Rock)"}},
      // No genre: the audio items without a genre, leaving out the playlists' own items.
      {kChildGenres,
       2,
       true,
       {"IWMPMediaCollection::getByAttribute(Genre, )", "IWMPPlayer4::newPlaylist(, )",
        "IWMPPlaylist::appendItem(Pressure Valve)", "IWMPPlaylist::appendItem(Demo Two)",
        "IWMPPlaylist::appendItem(Wind in the Reeds)", "IWMPPlaylist::appendItem()",
        "IWMPPlayer4::put_currentPlaylist()"}},
  };
  for (const Case& testCase : cases) {
    SCOPED_TRACE(testCase.calls.empty() ? "none" : testCase.calls.back());
    Enter(testCase.category);
    Down(testCase.line);
    engine->Monitor().ClearCalls();
    EXPECT_EQ(root.OnButtonPlay(), testCase.result);
    EXPECT_EQ(PlayCalls(*engine), testCase.calls);
  }
}

TEST_F(CategoryTest, PlayFailuresAreThrownByThePlaylistsOnlyAndCaughtAtTheRoot) {
  engine->Monitor().Fail<&IWMPPlayer4::put_currentPlaylist>(E_FAIL);
  Enter(kChildPlaylists);
  EXPECT_FALSE(root.OnButtonPlay());
  EXPECT_TRUE(log.Contains(kEdition == Edition::First
                               ? u"CMusicLibrary::OnButtonPlay sees CWMPException "
                                 u"CPlaylist::OnButtonPlay put_currentPlaylist fails with error "
                                 u"80004005"
                               : u"CMusicLibrary::OnButtonPlay sees CWMPException "
                                 u"CPlaylist::OnButtonOk put_currentPlaylist fails with error "
                                 u"80004005"));
  for (std::size_t category : {kChildAlbums, kChildArtists, kChildGenres}) {
    Enter(category);
    log.Clear();
    EXPECT_TRUE(root.OnButtonPlay());
    EXPECT_FALSE(log.Contains(u"sees CWMPException"));
  }
  EXPECT_TRUE(log.Contains(u"CGenreList::OnButtonPlay put_currentPlaylist fails with hr 80004005"));
}

TEST_F(CategoryTest, FollowingThePlayersSelection) {
  ApplyLanguageRule(0x0411);  // five lines a page
  struct Case {
    NavigationPath path;
    bool result;
    std::size_t category;
    std::int32_t line;
    std::int32_t screenLine;
    std::u16string shownTitle;
  };
  const Case cases[] = {
      {{u"My Playlists", u"Fresh Finds"}, true, kChildPlaylists, 5, 4, u""},
      {{u"My Playlists", u"Nothing"}, false, kChildPlaylists, 0, 0, u""},
      {{u"All Music", u"Album", u"Circuit Garden"}, true, kChildAlbums, 6, 4, u""},
      {{u"All Music", u"Album", Localized(g_UntitledAlbumText)}, true, kChildAlbums, 4, 4, u""},
      {{u"All Music", u"Album", u"Circuit Garden", u"Static Bloom"},
       false,
       kChildAlbums,
       0,
       0,
       u""},
      {{u"All Music", u"Album Artist", u"Zed"}, true, kChildArtists, 7, 4, u""},
      {{u"All Music", u"Contributing Artist", u"Zed", u"Ember"}, true, kChildArtists, 0, 0, u"Zed"},
      {{u"All Music", u"Genre", u"Electronic"}, true, kChildGenres, 5, 4, u""},
      {{u"All Music", u"Genre", u"Electronic", u"Kestrel"}, false, kChildGenres, 0, 0, u""},
  };
  for (const Case& testCase : cases) {
    SCOPED_TRACE(platform::ToUtf8(testCase.path.back().view()));
    CMusicLibrary fresh(player.get());
    ASSERT_TRUE(fresh.InitializeLibrary());
    NavigationPath path = testCase.path;
    EXPECT_EQ(fresh.SetCurrentNavigation(path), testCase.result);
    if (!testCase.result) {
      continue;
    }
    CMediaLibraryNode* const shown = fresh.GetShownNode();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(fresh.GetCurrentLine(), static_cast<std::int32_t>(testCase.category));
    EXPECT_EQ(fresh.GetCurrentCategoryLine(), testCase.line);
    EXPECT_EQ(fresh.GetCurrentScreenLine(), testCase.screenLine);
    if (!testCase.shownTitle.empty()) {
      EXPECT_EQ(shown->GetDerivedDescription().view(), testCase.shownTitle);
    }
  }
}

TEST_F(CategoryTest, AfterHomeRightOnACategoryShowsItsList) {
  // A navigation marks a category, a second one shows another: Home, then Right on the first.
  struct Case {
    NavigationPath marking;
    NavigationPath other;
    std::size_t category;
    std::u16string listTitle;
  };
  const NavigationPath folk{u"All Music", u"Genre", u"Folk"};
  const Case cases[] = {
      {{u"My Playlists", u"Quiet Evening"}, folk, kChildPlaylists, u"Playlists"},
      {{u"All Music", u"Album", u"Night Ferry"}, folk, kChildAlbums, u"Albums"},
      {{u"All Music", u"Album Artist", u"Zed"}, folk, kChildArtists, u"Artists"},
      {folk, {u"All Music", u"Album", u"Night Ferry"}, kChildGenres, u"Genre"},
  };
  for (const Case& testCase : cases) {
    SCOPED_TRACE(platform::ToUtf8(testCase.listTitle));
    CMusicLibrary fresh(player.get());
    ASSERT_TRUE(fresh.InitializeLibrary());
    NavigationPath path = testCase.marking;
    ASSERT_TRUE(fresh.SetCurrentNavigation(path));
    path = testCase.other;
    ASSERT_TRUE(fresh.SetCurrentNavigation(path));
    EXPECT_TRUE(fresh.ResetToRoot());
    while (fresh.GetCurrentLine() != static_cast<std::int32_t>(testCase.category)) {
      fresh.OnButtonDown();
    }
    ASSERT_TRUE(fresh.OnButtonRight(nullptr));
    EXPECT_EQ(PageOf(fresh).title, testCase.listTitle);
  }

  // Until Home, the mark a navigation left holds: Right on the category opens the marked entry.
  NavigationPath path{u"All Music", u"Album", u"Night Ferry"};
  ASSERT_TRUE(root.SetCurrentNavigation(path));
  path = {u"All Music", u"Album"};
  EXPECT_FALSE(root.SetCurrentNavigation(path));
  ASSERT_EQ(root.GetShownNode(), nullptr);
  ASSERT_TRUE(root.OnButtonRight(nullptr));
  EXPECT_EQ(Shown().title, u"Night Ferry");

  // An artist removed while the artists are shown keeps the list entered, until Home.
  Enter(kChildArtists);
  ASSERT_TRUE(engine->RemoveTrack(engine->FindItem(u"Name", u"Ember")));
  EXPECT_TRUE(root.MediaCollectionAttributeStringRemoved(u"Author", u"Zed"));
  EXPECT_TRUE(root.ResetToRoot());
  ASSERT_TRUE(root.OnButtonRight(nullptr));
  EXPECT_EQ(Shown().title, u"Artists");
}

TEST_F(CategoryTest, APlayThatCannotMakeItsPlaylistLogsOnlyThat) {
  // The unknown artist and the genre without a name play a new playlist of their own.
  const std::pair<std::size_t, std::size_t> unnamed[] = {{kChildArtists, 4}, {kChildGenres, 2}};
  engine->Monitor().Fail<&IWMPPlayer4::newPlaylist>(E_FAIL);
  for (const auto& [category, line] : unnamed) {
    Enter(category);
    Down(line);
    log.Clear();
    EXPECT_TRUE(root.OnButtonPlay());
    const std::u16string caller =
        category == kChildArtists ? u"CArtistList::OnButtonPlay" : u"CGenreList::OnButtonPlay";
    EXPECT_EQ(log.Texts(),
              std::vector<std::u16string>{caller + u" newPlaylist fails with hr 80004005"});
  }
  EXPECT_EQ(engine->Monitor().CountCalls<&IWMPPlayer4::put_currentPlaylist>(), 0u);
}

TEST_F(CategoryTest, OnlyTheSecondBuildReadsThePlaylistsTrackingIdentifiers) {
  engine->Monitor().ClearCalls();
  CPlaylist playlists(player.get(), nullptr);
  std::size_t reads = 0;
  for (const platform::player::RecordedCall& call : engine->Monitor().Calls()) {
    reads += call.Name() == "IWMPMedia::getItemInfo" && !call.arguments.empty() &&
             call.arguments[0] == u"TrackingID";
  }
  if constexpr (kEdition == Edition::First) {
    EXPECT_EQ(reads, 0u);
  } else {
    EXPECT_EQ(reads, static_cast<std::size_t>(playlists.GetItemCount()));
  }
}

TEST_F(CategoryTest, AnEmptyLibraryListsNothingAndOpensNothing) {
  auto empty = platform::player::Engine::Create(
      platform::player::Library::FromJson(R"({"tracks": [], "playlists": []})"));
  ComPtr<IWMPPlayer4> emptyPlayer = empty->Player();
  CMusicLibrary emptyRoot(emptyPlayer.get());
  ASSERT_TRUE(emptyRoot.InitializeLibrary());
  for (std::size_t category : {kChildPlaylists, kChildAlbums, kChildArtists, kChildGenres}) {
    emptyRoot.ResetToRoot();
    while (emptyRoot.GetCurrentLine() != static_cast<std::int32_t>(category)) {
      emptyRoot.OnButtonDown();
    }
    ASSERT_TRUE(emptyRoot.OnButtonRight(nullptr));  // enters the list
    CMediaLibraryNode* const shown = emptyRoot.GetShownNode();
    EXPECT_EQ(shown->GetItemCount(), 0);
    EXPECT_EQ(PageOf(*shown).lines, Lines{});
    EXPECT_FALSE(emptyRoot.OnButtonRight(nullptr));
    EXPECT_EQ(emptyRoot.OnButtonOk(), kOkOpenEntry);  // asks to open, nothing opens
    EXPECT_EQ(emptyRoot.GetShownNode(), shown);
    // The genres' first name cannot be read, so their last index stays 0: Down moves over one
    // line, and the cursor stays on it.
    EXPECT_EQ(shown->OnButtonDown(), category == kChildGenres ? kMoveCursor : kMoveNothing);
    EXPECT_EQ(shown->GetCurrentCategoryLine(), 0);
    EXPECT_EQ(emptyRoot.OnButtonPlay(), category != kChildPlaylists);
  }
}

}  // namespace
}  // namespace menu_test
