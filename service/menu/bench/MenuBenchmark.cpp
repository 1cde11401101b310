// The cost of the remote's moves and of building a page: on the root's own list and on the
// now-playing node over a playing track, and on a generated library of 100 000 tracks the time to
// build the tree, to enter each category and open one of its entries, and to page through it.

#include <benchmark/benchmark.h>

#include <memory>

#include "platform/com/ComPtr.h"
#include "platform/player/Engine.h"
#include "platform/player/Library.h"
#include "platform/player/LibraryGenerator.h"
#include "platform/player/PlayerInterfaces.h"
#include "service/menu/Albums.h"
#include "service/menu/Artists.h"
#include "service/menu/Genres.h"
#include "service/menu/MusicLibrary.h"
#include "service/menu/NowPlayingList.h"
#include "service/menu/Playlists.h"

namespace {

struct Player {
  explicit Player(platform::player::Library p_Library)
      : engine(platform::player::Engine::Create(std::move(p_Library))), player(engine->Player()) {}
  std::shared_ptr<platform::player::Engine> engine;
  platform::ComPtr<IWMPPlayer4> player;
};

// The sample library with an album playing.
struct SamplePlayer : Player {
  SamplePlayer() : Player(platform::player::Library::FromFile(PLAYER_SAMPLE_LIBRARY)) {
    platform::ComPtr<IWMPMediaCollection> collection;
    platform::ComPtr<IWMPPlaylist> album;
    platform::ComPtr<IWMPControls> controls;
    player->get_mediaCollection(collection.put());
    collection->getByAlbum(_bstr_t(u"Blue Harbour").GetBSTR(), album.put());
    player->put_currentPlaylist(album.get());
    player->get_controls(controls.put());
    controls->play();
  }
};

// The generated library of 100 000 tracks, made once for all benchmarks.
Player& Large() {
  static Player large(
      platform::player::Library::FromJson(platform::player::GenerateLibraryJson({})));
  return large;
}

void RootMove(benchmark::State& state) {
  SamplePlayer player;
  CMusicLibrary root(player.player.get());
  root.InitializeLibrary();
  for (auto _ : state) {
    benchmark::DoNotOptimize(root.OnButtonDown());
  }
}
BENCHMARK(RootMove);

// Draws the node's page again and again.
void DrawPages(benchmark::State& state, CMediaLibraryNode& node) {
  _bstr_t title;
  DisplayLines lines;
  for (auto _ : state) {
    node.GetDisplayLines(title, lines);
    benchmark::DoNotOptimize(lines.data());
  }
}

void RootPage(benchmark::State& state) {
  SamplePlayer player;
  CMusicLibrary root(player.player.get());
  root.InitializeLibrary();
  DrawPages(state, root);
}
BENCHMARK(RootPage);

void NowPlayingPage(benchmark::State& state) {
  SamplePlayer player;
  CNowPlayingList node(player.player.get(), nullptr);
  DrawPages(state, node);
}
BENCHMARK(NowPlayingPage);

// The whole tree over 100 000 tracks, as the session builds it.
void LargeBuildTree(benchmark::State& state) {
  IWMPPlayer4* const player = Large().player.get();
  for (auto _ : state) {
    CMusicLibrary root(player);
    benchmark::DoNotOptimize(root.InitializeLibrary());
  }
}
BENCHMARK(LargeBuildTree)->Unit(benchmark::kMillisecond);

// One category of the large tree, built once.
CMusicLibrary& LargeTree() {
  static CMusicLibrary root(Large().player.get());
  static const bool initialized = root.InitializeLibrary();
  (void)initialized;
  return root;
}

// Shows the root's category `p_nCategory`, entered.
void ShowCategory(CMusicLibrary& p_Root, std::int64_t p_nCategory) {
  p_Root.ResetToRoot();
  while (p_Root.GetCurrentLine() != p_nCategory) {
    p_Root.OnButtonDown();
  }
  p_Root.OnButtonRight(nullptr);
}

// Right from the root's list into the category, and its first page.
void LargeEnterCategory(benchmark::State& state) {
  CMusicLibrary& root = LargeTree();
  _bstr_t title;
  DisplayLines lines;
  for (auto _ : state) {
    ShowCategory(root, state.range(0));
    root.GetDisplayLines(title, lines);
    benchmark::DoNotOptimize(lines.data());
  }
  state.counters["entries"] = root.GetCategoryMaxLines();
}
BENCHMARK(LargeEnterCategory)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

// The nodes that Right on a category's entry makes, each made afresh.
void LargeOpenEntry(benchmark::State& state) {
  IWMPPlayer4* const player = Large().player.get();
  _bstr_t title;
  DisplayLines lines;
  for (auto _ : state) {
    std::unique_ptr<CMediaLibraryNode> node;
    switch (state.range(0)) {
      case 0:
        node = std::make_unique<CPlaylistEntry>(player, nullptr, u"Playlist 2", 0);
        break;
      case 1:
        node = std::make_unique<CAlbumTracks>(player, nullptr, u"Album 1");
        break;
      case 2:
        node = std::make_unique<CArtist>(player, nullptr, u"Artist 1");
        break;
      default:
        node = std::make_unique<CGenreArtistList>(player, nullptr, u"Genre 1");
        break;
    }
    node->GetDisplayLines(title, lines);
    benchmark::DoNotOptimize(lines.data());
    state.counters["entries"] = node->GetItemCount();
  }
}
BENCHMARK(LargeOpenEntry)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

// Moves with PageDown (0) or PagesDown (1) and builds the new page, through the root, on what it
// shows.
void PageThrough(benchmark::State& state, CMusicLibrary& p_Root, std::int64_t p_nMove) {
  const auto move = p_nMove == 0 ? &CMusicLibrary::OnPageDown : &CMusicLibrary::OnPagesDown;
  _bstr_t title;
  DisplayLines lines;
  for (auto _ : state) {
    (p_Root.*move)();
    p_Root.GetDisplayLines(title, lines);
    benchmark::DoNotOptimize(lines.data());
  }
  state.counters["entries"] = p_Root.GetCategoryMaxLines();
}

// Paging through an entered category: a page, or a fiftieth of a long list, at a time.
void LargePaging(benchmark::State& state) {
  CMusicLibrary& root = LargeTree();
  ShowCategory(root, state.range(0));
  PageThrough(state, root, state.range(1));
}
BENCHMARK(LargePaging)->ArgsProduct({{0, 1, 2, 3}, {0, 1}})->Unit(benchmark::kMicrosecond);

// Paging through "All Music", the playlist of every track.
void LargeAllMusicPaging(benchmark::State& state) {
  CMusicLibrary& root = LargeTree();
  ShowCategory(root, 0);
  while (root.GetCurrentCategoryLine() != 0) {
    root.OnButtonUp();
  }
  root.OnButtonRight(nullptr);
  PageThrough(state, root, state.range(0));
}
BENCHMARK(LargeAllMusicPaging)->DenseRange(0, 1)->Unit(benchmark::kMicrosecond);

// Down, Ok and Play on the tracks of a genre's first artist's first album, three levels down.
void LargeDeepButtons(benchmark::State& state) {
  CMusicLibrary& root = LargeTree();
  ShowCategory(root, 3);
  root.OnButtonRight(nullptr);
  root.OnButtonRight(nullptr);
  root.OnButtonRight(nullptr);
  _bstr_t title;
  DisplayLines lines;
  for (auto _ : state) {
    root.OnButtonDown();
    root.OnButtonOk();
    root.OnButtonPlay();
    root.GetDisplayLines(title, lines);
    benchmark::DoNotOptimize(lines.data());
  }
}
BENCHMARK(LargeDeepButtons)->Unit(benchmark::kMicrosecond);

}  // namespace
