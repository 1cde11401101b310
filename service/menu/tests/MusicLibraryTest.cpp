#include "service/menu/MusicLibrary.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/WMPException.h"
#include "service/menu/NowPlayingList.h"
#include "service/menu/OptionsList.h"
#include "service/menu/tests/MenuFixture.h"

namespace menu_test {
namespace {

// A category that lists fixed entries, opens a sub-list per entry, and can be told to throw,
// to answer Ok with a code, or to hand back a node for library events.
class FakeList : public CMediaLibraryNode {
 public:
  FakeList(IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pParent, std::u16string p_Name,
           std::int32_t p_nType, std::vector<std::u16string> p_Entries)
      : CMediaLibraryNode(p_pPlayer, p_pParent),
        name(std::move(p_Name)),
        type(p_nType),
        entries(std::move(p_Entries)) {
    SetItemCount(static_cast<std::int32_t>(entries.size()));
  }

  _bstr_t GetDerivedDescription() override { return _bstr_t(std::u16string_view(name)); }
  bool OnButtonRight(CMediaLibraryNode** p_ppNode) override {
    Maybe("OnButtonRight");
    if (m_pChild == nullptr) {
      m_pChild = this;
      *p_ppNode = this;
      return true;
    }
    if (entries.empty()) {
      return false;
    }
    auto& sub = subNodes[m_Window.m_nCurrentLine];
    if (!sub) {
      sub = std::make_unique<FakeList>(m_pPlayer, this, entries[m_Window.m_nCurrentLine], type,
                                       std::vector<std::u16string>{u"a", u"b"});
    }
    m_pChild = sub.get();
    *p_ppNode = sub.get();
    return true;
  }
  std::int32_t OnButtonOk() override {
    Maybe("OnButtonOk");
    return okCode;
  }
  std::int32_t GetNodeType() override { return type; }
  std::int32_t GetItemCount() override { return static_cast<std::int32_t>(entries.size()); }
  bool OnButtonPlay() override {
    Maybe("OnButtonPlay");
    ++plays;
    return true;
  }
  std::int32_t OnButtonUp() override {
    Maybe("OnButtonUp");
    return CMediaLibraryNode::OnButtonUp();
  }
  bool SetCurrentNavigation(NavigationPath& p_Path, CMediaLibraryNode** p_ppNode) override {
    navigations.push_back(p_Path);
    if (navigationTarget != nullptr) {
      *p_ppNode = navigationTarget;
    }
    return true;
  }
  void ClearCurrentChild() override {
    ++clears;
    m_pChild = nullptr;
  }
  bool OnAlbumAdded(_bstr_t, CMediaLibraryNode*, CMediaLibraryNode** p_ppNode) override {
    *p_ppNode = replacement;
    return accepts;
  }
  bool OnArtistRemoved(_bstr_t, CMediaLibraryNode*, CMediaLibraryNode** p_ppNode) override {
    *p_ppNode = replacement;
    return accepts;
  }

  // The sub-node shown under entry `p_nIndex`, once opened.
  FakeList* Sub(std::uint32_t p_nIndex) { return subNodes[p_nIndex].get(); }

  std::u16string name;
  std::int32_t type;
  std::vector<std::u16string> entries;
  std::map<std::uint32_t, std::unique_ptr<FakeList>> subNodes;
  std::string throwIn;
  std::int32_t okCode = kOkOpenEntry;
  int plays = 0;
  int clears = 0;
  std::vector<NavigationPath> navigations;
  CMediaLibraryNode* navigationTarget = nullptr;
  CMediaLibraryNode* replacement = nullptr;
  bool accepts = false;

 protected:
  void OnGetDisplayLines(_bstr_t& p_bstrTitle, DisplayLines& p_Lines) override {
    ListDisplayLines(
        p_bstrTitle, p_Lines, Localized(g_UnknownEntryText), [&](std::int32_t p_nIndex) {
          return _bstr_t(std::u16string_view(entries[static_cast<std::size_t>(p_nIndex)]));
        });
  }

 private:
  void Maybe(const std::string& p_Operation) {
    if (throwIn == p_Operation) {
      throw CWMPException(u"getByAlbum fails with hr 80004005");
    }
  }
};

class RootTest : public MenuTest {
 protected:
  RootTest()
      : root(player.get(), [this](IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pRoot) {
          CMusicLibrary::Children children;
          const std::pair<const char16_t*, std::int32_t> categories[] = {
              {u"Playlists", kNodeTypePlaylists},
              {u"Albums", kNodeTypeAlbums},
              {u"Artists", kNodeTypeArtists},
              {u"Genre", kNodeTypeGenres}};
          for (const auto& [name, type] : categories) {
            auto list = std::make_unique<FakeList>(
                p_pPlayer, p_pRoot, name, type, std::vector<std::u16string>{u"one", u"", u"three"});
            fakes.push_back(list.get());
            children.push_back(std::move(list));
          }
          children.push_back(std::make_unique<CNowPlayingList>(p_pPlayer, p_pRoot));
          children.push_back(std::make_unique<COptionsList>(p_pPlayer, p_pRoot));
          return children;
        }) {
    EXPECT_TRUE(root.InitializeLibrary());
  }

  std::int32_t Press(std::int32_t (CMusicLibrary::*p_Move)()) { return (root.*p_Move)(); }
  std::pair<std::uint32_t, std::uint32_t> RootWindow() const {
    return {root.GetWindow().m_nTopLine, root.GetWindow().m_nCurrentLine};
  }
  void CursorTo(std::uint32_t p_nCategory) {
    while (root.GetCurrentLine() != static_cast<std::int32_t>(p_nCategory)) {
      root.OnButtonDown();
    }
  }

  std::vector<FakeList*> fakes;
  CMusicLibrary root;
};

TEST_F(RootTest, InitializeSetsAutoStartAndLogsTheVersion) {
  EXPECT_TRUE(engine->AutoStart());
  EXPECT_TRUE(log.Contains(u"CMusicLibrary::InitializeLibrary put_autoStart succeeds"));
  bool versionLogged = false;
  for (const std::u16string& text : log.Texts()) {
    versionLogged =
        versionLogged ||
        text.starts_with(u"CMusicLibrary::InitializeLibrary See Media Player Version = ");
  }
  EXPECT_TRUE(versionLogged);
  EXPECT_EQ(PageOf(root),
            (Page{u"Music Library",
                  {u"Playlists", u"Albums", u"Artists", u"Genre", u"Now Playing", u"Options"}}));
}

TEST_F(RootTest, OwnListMovesWithSixLines) {
  using M = CMusicLibrary;
  CursorTo(5);
  EXPECT_EQ(Press(&M::OnPagesDown), kMoveNothing);
  EXPECT_EQ(RootWindow(), std::make_pair(0u, 5u));
  EXPECT_EQ(Press(&M::OnButtonDown), kMoveCursor);
  EXPECT_EQ(RootWindow(), std::make_pair(0u, 0u));
  EXPECT_EQ(Press(&M::OnPagesUp), kMoveNothing);
  EXPECT_EQ(Press(&M::OnButtonUp), kMoveCursor);
  EXPECT_EQ(RootWindow(), std::make_pair(0u, 5u));
}

TEST_F(RootTest, OwnListScrollsWithFiveLines) {
  using M = CMusicLibrary;
  ApplyLanguageRule(0x0411);
  EXPECT_EQ(Press(&M::OnPagesUp), kMoveWindow);
  EXPECT_EQ(RootWindow(), std::make_pair(1u, 5u));
  EXPECT_EQ(Press(&M::OnPagesDown), kMoveNothing);  // n - 1 = P: no wrap
  EXPECT_EQ(Press(&M::OnButtonUp), kMoveCursor);
  EXPECT_EQ(Press(&M::OnButtonUp), kMoveCursor);
  EXPECT_EQ(Press(&M::OnButtonUp), kMoveCursor);
  EXPECT_EQ(Press(&M::OnButtonUp), kMoveCursor);
  EXPECT_EQ(RootWindow(), std::make_pair(1u, 1u));
  EXPECT_EQ(Press(&M::OnButtonUp), kMoveWindow);  // a list node would answer 16
  EXPECT_EQ(RootWindow(), std::make_pair(0u, 0u));
  EXPECT_EQ(PageOf(root).lines.size(), 5u);
}

TEST_F(RootTest, RightLeftAndHomeRoundTrips) {
  CursorTo(kChildArtists);
  EXPECT_TRUE(root.OnButtonRight(nullptr));
  EXPECT_EQ(root.GetShownNode(), fakes[kChildArtists]);
  EXPECT_EQ(PageOf(root), (Page{u"Artists", {u"one", u"-Unknown-", u"three"}}));
  root.OnButtonDown();
  root.OnButtonDown();
  EXPECT_EQ(root.GetCurrentScreenLine(), 2);
  EXPECT_TRUE(root.OnButtonRight(nullptr));
  FakeList* three = fakes[kChildArtists]->Sub(2);
  ASSERT_NE(three, nullptr);
  EXPECT_EQ(root.GetShownNode(), three);
  EXPECT_TRUE(root.OnButtonRight(nullptr));  // the sub-list enters itself
  EXPECT_TRUE(root.OnButtonRight(nullptr));  // and opens its first entry: three levels deep
  EXPECT_EQ(root.GetShownNode(), three->Sub(0));

  EXPECT_TRUE(root.OnButtonLeft(nullptr));
  EXPECT_EQ(root.GetShownNode(), three);
  EXPECT_TRUE(root.ResetToRoot());
  EXPECT_EQ(root.GetShownNode(), nullptr);
  EXPECT_EQ(three->GetChild(), nullptr);
  EXPECT_EQ(fakes[kChildArtists]->GetChild(), nullptr);
  EXPECT_EQ(root.GetCurrentLine(), static_cast<std::int32_t>(kChildArtists));
  EXPECT_FALSE(root.ResetToRoot());
  EXPECT_FALSE(root.OnButtonLeft(nullptr));

  EXPECT_TRUE(root.OnButtonRight(nullptr));
  EXPECT_TRUE(root.OnButtonLeft(nullptr));
  EXPECT_EQ(root.GetShownNode(), nullptr);
  EXPECT_EQ(root.GetCurrentLine(), static_cast<std::int32_t>(kChildArtists));
}

TEST_F(RootTest, RightShowsACategoryOnlyWhenItAccepts) {
  fakes[kChildAlbums]->throwIn = "OnButtonRight";
  CursorTo(kChildAlbums);
  EXPECT_FALSE(root.OnButtonRight(nullptr));
  EXPECT_EQ(root.GetShownNode(), nullptr);
  EXPECT_TRUE(log.Contains(
      u"CMusicLibrary::OnButtonRight sees CWMPException getByAlbum fails with hr 80004005"));
}

TEST_F(RootTest, OkCodes) {
  EXPECT_EQ(root.OnButtonOk(), 1);  // the root's own list: Ok enters the category
  EXPECT_EQ(root.GetShownNode(), fakes[kChildPlaylists]);

  fakes[kChildPlaylists]->okCode = 3;
  EXPECT_EQ(root.OnButtonOk(), 3);
  EXPECT_EQ(root.GetShownNode(), fakes[kChildPlaylists]);

  fakes[kChildPlaylists]->okCode = kOkOpenEntry;
  EXPECT_EQ(root.OnButtonOk(), kOkOpenEntry);
  EXPECT_EQ(root.GetShownNode(), fakes[kChildPlaylists]->Sub(0));

  root.ResetToRoot();
  fakes[kChildPlaylists]->entries.clear();
  EXPECT_EQ(root.OnButtonOk(), 1);
  EXPECT_EQ(root.OnButtonOk(),
            kOkOpenEntry);  // an empty list cannot open: the category stays shown
  EXPECT_EQ(root.GetShownNode(), fakes[kChildPlaylists]);

  fakes[kChildPlaylists]->throwIn = "OnButtonOk";
  EXPECT_EQ(root.OnButtonOk(), kOkNoNewPage);
  EXPECT_TRUE(log.Contains(u"OnButtonOk sees Exception getByAlbum fails with hr 80004005"));
}

TEST_F(RootTest, PlayOnTheRootListSetsAutoStartAndPlaysNothing) {
  settings->put_autoStart(VARIANT_FALSE);
  EXPECT_FALSE(root.OnButtonPlay());
  EXPECT_TRUE(engine->AutoStart());
  WMPPlayState state = wmppsUndefined;
  player->get_playState(&state);
  EXPECT_EQ(state, wmppsStopped);

  root.OnButtonRight(nullptr);
  EXPECT_TRUE(root.OnButtonPlay());
  EXPECT_EQ(fakes[kChildPlaylists]->plays, 1);

  engine->Monitor().Fail<&IWMPSettings::put_autoStart>(E_FAIL);
  EXPECT_FALSE(root.OnButtonPlay());
  EXPECT_EQ(fakes[kChildPlaylists]->plays, 1);
  EXPECT_TRUE(log.Contains(u"CMusicLibrary::OnButtonPlay put_autoStart fails with 80004005"));
}

TEST_F(RootTest, EveryEntryPointCatchesWhatTheShownNodeThrows) {
  root.OnButtonRight(nullptr);
  FakeList& shown = *fakes[kChildPlaylists];
  shown.throwIn = "OnButtonUp";
  EXPECT_EQ(root.OnButtonUp(), kMoveNothing);
  EXPECT_TRUE(log.Contains(
      u"CMusicLibrary::OnButtonUp sees CWMPException getByAlbum fails with hr 80004005"));
  shown.throwIn = "OnButtonPlay";
  EXPECT_FALSE(root.OnButtonPlay());
  EXPECT_TRUE(log.Contains(
      u"CMusicLibrary::OnButtonPlay sees CWMPException getByAlbum fails with hr 80004005"));
  for (const LogRecorder::Entry& entry : log.Entries()) {
    EXPECT_EQ(entry.flags & LOG_WRITE, 0u) << platform::ToUtf8(entry.text);
  }
}

TEST_F(RootTest, LibraryEventsHandBackTheNodeToShow) {
  FakeList replacement(player.get(), fakes[kChildAlbums], u"rebuilt", kNodeTypeAlbums, {u"x"});
  fakes[kChildAlbums]->replacement = &replacement;
  CursorTo(kChildAlbums);
  root.OnButtonRight(nullptr);
  root.OnButtonRight(nullptr);  // an album's tracks are shown
  EXPECT_TRUE(root.MediaCollectionAttributeStringAdded(u"WM/AlbumTitle", u"New Album"));
  EXPECT_EQ(root.GetShownNode(), &replacement);

  // The same event while another branch is shown leaves the display alone.
  root.ResetToRoot();
  CursorTo(kChildGenres);
  root.OnButtonRight(nullptr);
  EXPECT_FALSE(root.MediaCollectionAttributeStringAdded(u"WM/AlbumTitle", u"New Album"));
  EXPECT_EQ(root.GetShownNode(), fakes[kChildGenres]);

  FakeList artist(player.get(), fakes[kChildArtists], u"artists", kNodeTypeArtists, {});
  fakes[kChildArtists]->replacement = &artist;
  fakes[kChildArtists]->accepts = true;
  EXPECT_TRUE(root.MediaCollectionAttributeStringRemoved(u"Author", u"Zed"));  // taken, not shown
  EXPECT_EQ(root.GetShownNode(), fakes[kChildGenres]);
  EXPECT_FALSE(root.MediaCollectionAttributeStringAdded(u"author", u"Zed"));
  EXPECT_TRUE(
      log.Contains(u"CMusicLibrary::MediaCollectionAttributeStringRemoved for Author, Zed"));
  EXPECT_FALSE(root.MediaCollectionAttributeStringChanged(u"Genre"));
  EXPECT_TRUE(
      log.Contains(u"CMusicLibrary::MediaCollectionAttributeStringChanged Not Implemented"));
  root.ResetToRoot();
}

TEST_F(RootTest, NavigationPaths) {
  struct Case {
    NavigationPath path;
    bool result;
    std::int32_t cursor;  // the root's cursor afterwards
    bool rootListShown;
    int navigatedChild;  // the child handed the path, or -1
  };
  const Case cases[] = {
      {{u"My Playlists"}, false, 0, true, -1},
      {{u"Auto Playlists", u"Fresh Finds"}, true, 0, false, kChildPlaylists},
      {{u"All Music", u"Album"}, false, 1, true, -1},
      {{u"All Music", u"Album Artist", u"Mara Venn"}, true, 2, false, kChildArtists},
      {{u"All Music", u"Contributing Artist", u"Zed"}, true, 2, false, kChildArtists},
      {{u"All Music", u"Genre", u"Folk", u"Mara Venn"}, true, 3, false, kChildGenres},
      {{u"All Music", u"Year", u"1999"}, false, 3, false, -1},
      {{u"Videos", u"Album"}, false, 3, false, -1},
      {{}, false, 3, false, -1},
  };
  // Start from a category shown with the cursor on the genres.
  CursorTo(kChildGenres);
  root.OnButtonRight(nullptr);
  for (const Case& testCase : cases) {
    for (FakeList* fake : fakes) {
      fake->navigations.clear();
      fake->navigationTarget = fake;
    }
    NavigationPath path = testCase.path;
    EXPECT_EQ(root.SetCurrentNavigation(path), testCase.result) << testCase.path.size();
    EXPECT_EQ(root.GetCurrentLine(), testCase.cursor) << testCase.path.size();
    if (testCase.rootListShown) {
      EXPECT_EQ(root.GetShownNode(), nullptr);
    }
    for (std::size_t child = 0; child < fakes.size(); ++child) {
      EXPECT_EQ(fakes[child]->navigations.size(),
                static_cast<int>(child) == testCase.navigatedChild ? 1u : 0u);
    }
    if (testCase.navigatedChild >= 0) {
      EXPECT_EQ(root.GetShownNode(), fakes[static_cast<std::size_t>(testCase.navigatedChild)]);
    }
  }
  EXPECT_EQ(fakes[kChildPlaylists]->clears, 1);
}

TEST_F(RootTest, NavigationKeepsTheSelectedRowOnThePageWithFiveLines) {
  ApplyLanguageRule(0x0411);
  root.OnPagesUp();  // top 1, cursor 5
  NavigationPath path{u"My Playlists"};
  root.SetCurrentNavigation(path);
  EXPECT_EQ(root.GetCurrentLine(), 0);
  EXPECT_EQ(root.GetCurrentScreenLine(), 0);
  EXPECT_EQ(root.GetWindow().m_nTopLine, 0u);
}

}  // namespace
}  // namespace menu_test
