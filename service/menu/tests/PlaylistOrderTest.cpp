// Which playlists the playlists category lists, in which order, and how it tells playlists of one
// name apart.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/WMPException.h"
#include "service/menu/MusicLibrary.h"
#include "service/menu/Playlists.h"
#include "service/menu/tests/MenuFixture.h"

namespace menu_test {
namespace {

constexpr const char* kPlaylists = R"({"tracks": [
  {"Name": "t0", "MediaType": "audio"}, {"Name": "t1", "MediaType": "audio"}
], "playlists": [
  {"Name": "b", "PlaylistType": "Static", "MediaContentTypes": "1", "entries": [0]},
  {"Name": "a", "PlaylistType": "Auto", "MediaContentTypes": "1", "entries": [1]},
  {"Name": "All Music", "PlaylistType": "Auto", "MediaContentTypes": "1", "entries": [0, 1]},
  {"Name": "B", "MediaContentTypes": "", "entries": []},
  {"Name": "Twin", "PlaylistType": "Static", "MediaContentTypes": "2", "entries": [0]},
  {"Name": "Twin", "PlaylistType": "Static", "MediaContentTypes": "3", "entries": [1]},
  {"Name": "Twin", "PlaylistType": "Static", "MediaContentTypes": "1", "entries": [0, 1]},
  {"Name": "Music rated at 4 or 5 stars", "PlaylistType": "Auto", "MediaContentTypes": "1", "entries": []},
  {"Name": "", "PlaylistType": "Static", "MediaContentTypes": "1", "entries": []},
  {"Name": "Pictures", "PlaylistType": "Static", "MediaContentTypes": "4", "entries": []},
  {"Name": "All music", "PlaylistType": "Static", "MediaContentTypes": "1", "entries": []}
]})";

class PlaylistOrderTest : public ::testing::Test {
 protected:
  PlaylistOrderTest()
      : engine(platform::player::Engine::Create(platform::player::Library::FromJson(kPlaylists))),
        player(engine->Player()) {
    ApplyLanguageRule(platform::kLanguageEnglishUs);
  }

  std::shared_ptr<platform::player::Engine> engine;
  ComPtr<IWMPPlayer4> player;
  LogRecorder log;
};

TEST_F(PlaylistOrderTest, AllMusicFirstThenOrdinaryThenAutomaticEachByCodeUnits) {
  CPlaylist playlists(player.get(), nullptr);
  ApplyLanguageRule(0x0411);  // five lines a page: the order shows over two pages
  std::vector<std::u16string> names;
  for (std::int32_t index = 0; index < playlists.GetItemCount(); ++index) {
    names.emplace_back(playlists.EntryName(index)->view());
  }
  EXPECT_EQ(names, (std::vector<std::u16string>{u"All Music", u"All music", u"B", u"Twin", u"Twin",
                                                u"Twin", u"b", u"a"}));
  // Each of the three playlists named "Twin" is shown by its own entry: first track, count.
  std::vector<std::pair<std::u16string, std::int32_t>> twins;
  ASSERT_TRUE(playlists.OnButtonRight(nullptr));  // enters the list
  for (std::int32_t index = 3; index < 6; ++index) {
    while (playlists.GetCurrentCategoryLine() != index) {
      playlists.OnButtonDown();
    }
    CMediaLibraryNode* entry = nullptr;
    ASSERT_TRUE(playlists.OnButtonRight(&entry));
    twins.emplace_back(PageOf(*entry).lines.at(0), entry->GetItemCount());
  }
  std::sort(twins.begin(), twins.end());
  EXPECT_EQ(twins, (std::vector<std::pair<std::u16string, std::int32_t>>{
                       {u"t0", 1}, {u"t0", 2}, {u"t1", 1}}));
}

TEST_F(PlaylistOrderTest, TheRequiredQueriesThrowAndTheRootCatches) {
  engine->Monitor().Fail<&IWMPMediaCollection::getByAttribute>(E_ACCESSDENIED);
  CMusicLibrary root(player.get());
  EXPECT_FALSE(root.InitializeLibrary());
  EXPECT_TRUE(
      log.Contains(u"CMusicLibrary::InitializeLibrary sees CWMPException "
                   u"CPlaylist::InitializePlaylists l_spMediaCollection->getByAttribute "
                   u"Fails with error 80070005"));
  engine->Monitor().ClearFailures();
  engine->Monitor().Fail<&IWMPPlayer4::get_playlistCollection>(E_FAIL);
  CPlaylist withoutCollection(player.get(), nullptr);  // only logged: nothing listed
  EXPECT_EQ(withoutCollection.GetItemCount(), 0);
  EXPECT_TRUE(log.Contains(
      u"CPlaylist::InitializePlaylists get_playlistCollection Fails with error 80004005"));
}

}  // namespace
}  // namespace menu_test
