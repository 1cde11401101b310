// The cost of the remote's moves and of building a page, on the root's own list and on the
// now-playing node over a playing track.

#include <benchmark/benchmark.h>

#include "platform/com/ComPtr.h"
#include "platform/player/Engine.h"
#include "platform/player/Library.h"
#include "platform/player/PlayerInterfaces.h"
#include "service/menu/MusicLibrary.h"
#include "service/menu/NowPlayingList.h"
#include "service/menu/OptionsList.h"

namespace {

struct Player {
  Player()
      : engine(platform::player::Engine::Create(
            platform::player::Library::FromFile(PLAYER_SAMPLE_LIBRARY))),
        player(engine->Player()) {
    platform::ComPtr<IWMPMediaCollection> collection;
    platform::ComPtr<IWMPPlaylist> album;
    platform::ComPtr<IWMPControls> controls;
    player->get_mediaCollection(collection.put());
    collection->getByAlbum(_bstr_t(u"Blue Harbour").GetBSTR(), album.put());
    player->put_currentPlaylist(album.get());
    player->get_controls(controls.put());
    controls->play();
  }
  std::shared_ptr<platform::player::Engine> engine;
  platform::ComPtr<IWMPPlayer4> player;
};

// The root's own list only reads its categories' names: plain nodes stand in for them.
CMusicLibrary::Children Categories(IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pRoot) {
  CMusicLibrary::Children children;
  for (int index = 0; index < 4; ++index) {
    children.push_back(std::make_unique<COptionsList>(p_pPlayer, p_pRoot));
  }
  children.push_back(std::make_unique<CNowPlayingList>(p_pPlayer, p_pRoot));
  children.push_back(std::make_unique<COptionsList>(p_pPlayer, p_pRoot));
  return children;
}

void RootMove(benchmark::State& state) {
  Player player;
  CMusicLibrary root(player.player.get(), Categories);
  root.InitializeLibrary();
  for (auto _ : state) {
    benchmark::DoNotOptimize(root.OnButtonDown());
  }
}
BENCHMARK(RootMove);

void RootPage(benchmark::State& state) {
  Player player;
  CMusicLibrary root(player.player.get(), Categories);
  root.InitializeLibrary();
  _bstr_t title;
  DisplayLines lines;
  for (auto _ : state) {
    root.GetDisplayLines(title, lines);
    benchmark::DoNotOptimize(lines.data());
  }
}
BENCHMARK(RootPage);

void NowPlayingPage(benchmark::State& state) {
  Player player;
  CNowPlayingList node(player.player.get(), nullptr);
  _bstr_t title;
  DisplayLines lines;
  for (auto _ : state) {
    node.GetDisplayLines(title, lines);
    benchmark::DoNotOptimize(lines.data());
  }
}
BENCHMARK(NowPlayingPage);

}  // namespace
