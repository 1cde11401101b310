// The whole tree over the sample library, through the root only: every category and every node
// below it, Play and Ok at each level, and library changes while a deep node is shown.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "service/menu/MusicLibrary.h"
#include "service/menu/tests/MenuFixture.h"

namespace menu_test {
namespace {

using platform::player::Attributes;

class TreeWalkTest : public MenuTest {
 protected:
  TreeWalkTest() { EXPECT_TRUE(root.InitializeLibrary()); }

  Page Shown() {
    _bstr_t title;
    DisplayLines lines;
    root.GetDisplayLines(title, lines);
    return Page{std::u16string(title.view()), Texts(lines)};
  }

  // Visits every entry of the shown node and everything it opens; returns the number of nodes
  // seen. Left must lead back to the same list each time.
  int Walk(int p_nDepth) {
    CMediaLibraryNode* node = root.GetShownNode();
    const std::int32_t count = root.GetCategoryMaxLines();
    int seen = 1;
    EXPECT_LE(Shown().lines.size(), static_cast<std::size_t>(g_nLinesPerPage));
    root.OnButtonPlay();
    for (std::int32_t line = 0; line < count; ++line) {
      EXPECT_EQ(root.GetCurrentCategoryLine(), line);
      EXPECT_LT(root.GetCurrentScreenLine(), g_nLinesPerPage);
      if (root.OnButtonRight(nullptr) && root.GetShownNode() != node) {
        EXPECT_LT(p_nDepth, 4);
        seen += Walk(p_nDepth + 1);
        const std::u16string title = node->GetDerivedDescription().view().data();
        EXPECT_TRUE(root.OnButtonLeft(nullptr));
        // An artist's albums stand for the artist once its album's tracks are left.
        EXPECT_EQ(Shown().title, title);
        node = root.GetShownNode();
      } else {
        // A track: Ok and Play hand it to the player.
        root.OnButtonOk();
        EXPECT_TRUE(root.OnButtonPlay() || node->GetNodeType() == kNodeTypePlaylists);
      }
      root.OnButtonDown();
    }
    return seen;
  }

  void Change(int p_nStep) {
    const std::u16string name = u"New " + std::u16string(1, static_cast<char16_t>(u'A' + p_nStep));
    switch (p_nStep % 6) {
      case 0:
        engine->AddTrack({{u"Name", name},
                          {u"Author", u"Mara Venn"},
                          {u"Album", u"Blue Harbour"},
                          {u"Genre", u"Folk"},
                          {u"MediaType", u"audio"}});
        root.MediaCollectionChanged();
        break;
      case 1:
      case 2:
      case 3: {
        // A value of the attribute added, another removed.
        static constexpr std::pair<const char16_t*, const char16_t*> kValues[] = {
            {u"WM/AlbumTitle", u"Night Ferry"}, {u"Author", u"Zed"}, {u"WM/Genre", u"Jazz"}};
        const auto& [attribute, removed] = kValues[p_nStep % 6 - 1];
        root.MediaCollectionAttributeStringAdded(attribute, name.c_str());
        root.MediaCollectionAttributeStringRemoved(attribute, removed);
        break;
      }
      case 4:
        engine->AddPlaylist(name, {{u"MediaContentTypes", u"1"}}, {});
        root.PlaylistCollectionPlaylistAdded(name.c_str());
        break;
      default: {
        const auto playlists = engine->FindPlaylists(u"Road Trip");
        if (!playlists.empty()) {
          engine->RemovePlaylist(playlists.back());
        }
        root.PlaylistCollectionPlaylistRemoved(u"Road Trip");
        root.PlaylistChanged(u"Quiet Evening", wmplcDelete);
        break;
      }
    }
  }

  CMusicLibrary root{player.get()};
};

TEST_F(TreeWalkTest, EveryNodeOfEveryCategory) {
  const int expected[] = {1 + 6, 1 + 7, 1 + 8 + 11, 1 + 6 + 10 + 13};
  for (std::size_t category = kChildPlaylists; category <= kChildGenres; ++category) {
    SCOPED_TRACE(category);
    root.ResetToRoot();
    while (root.GetCurrentLine() != static_cast<std::int32_t>(category)) {
      root.OnButtonDown();
    }
    ASSERT_TRUE(root.OnButtonRight(nullptr));
    EXPECT_EQ(Walk(0), expected[category]);
  }
  EXPECT_FALSE(log.Contains(u"sees CWMPException"));
  EXPECT_EQ(engine->PlayState(), wmppsPlaying);
}

TEST_F(TreeWalkTest, LibraryChangesWhileADeepNodeIsShown) {
  for (int step = 0; step < 24; ++step) {
    const std::size_t category = static_cast<std::size_t>(step / 6);
    root.ResetToRoot();
    while (root.GetCurrentLine() != static_cast<std::int32_t>(category)) {
      root.OnButtonDown();
    }
    ASSERT_TRUE(root.OnButtonRight(nullptr));
    // As deep as the first entries lead.
    while (root.OnButtonRight(nullptr)) {
    }
    Change(step);
    // Whatever is shown now is alive and consistent, and the buttons still work on it.
    EXPECT_LT(root.GetCurrentScreenLine(), g_nLinesPerPage);
    EXPECT_LE(root.GetCurrentCategoryLine(), std::max(root.GetCategoryMaxLines() - 1, 0));
    Shown();
    root.OnPagesDown();
    root.OnButtonOk();
    root.OnButtonPlay();
    root.OnButtonLeft(nullptr);
    Shown();
    root.OnButtonRight(nullptr);
    Shown();
  }
  root.ResetToRoot();
  EXPECT_EQ(Shown().title, u"Music Library");
}

}  // namespace
}  // namespace menu_test
