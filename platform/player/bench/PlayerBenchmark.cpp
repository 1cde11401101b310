// Load and query times of the engine on a generated library of 100 000 tracks.

#include <benchmark/benchmark.h>

#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "platform/com/ComPtr.h"
#include "platform/player/Engine.h"
#include "platform/player/Library.h"
#include "platform/player/LibraryGenerator.h"
#include "platform/player/PlayerInterfaces.h"

namespace {

using platform::ComPtr;
using platform::player::Engine;
using platform::player::Library;

// The generated library file, removed when the benchmark ends.
class LibraryFile {
 public:
  LibraryFile()
      : m_path(std::filesystem::temp_directory_path() /
               ("player-benchmark-" + std::to_string(getpid()) + ".json")) {
    std::ofstream(m_path, std::ios::binary) << platform::player::GenerateLibraryJson({});
  }
  ~LibraryFile() { std::filesystem::remove(m_path); }
  const std::filesystem::path& path() const { return m_path; }

 private:
  std::filesystem::path m_path;
};

const LibraryFile& File() {
  static const LibraryFile file;
  return file;
}

struct Loaded {
  std::shared_ptr<Engine> engine = Engine::Create(Library::FromFile(File().path()));
  ComPtr<IWMPPlayer4> player = engine->Player();
  ComPtr<IWMPMediaCollection> media;
  Loaded() { player->get_mediaCollection(media.put()); }
};

Loaded& Player() {
  static Loaded loaded;
  return loaded;
}

UniqueBstr B(const std::string& text) {
  const std::u16string wide(text.begin(), text.end());
  return UniqueBstr(SysAllocStringLen(wide.data(), static_cast<std::uint32_t>(wide.size())));
}

// Reading the file, parsing it and building the indexes; the engine is destroyed untimed.
void LoadLibrary(benchmark::State& state) {
  File();
  for (auto _ : state) {
    auto engine = Engine::Create(Library::FromFile(File().path()));
    benchmark::DoNotOptimize(engine);
    state.PauseTiming();
    engine.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(LoadLibrary)->Unit(benchmark::kMillisecond)->Iterations(3);

using Query = HRESULT (IWMPMediaCollection::*)(BSTR, IWMPPlaylist**);

void QueryBy(benchmark::State& state, Query query, const char* prefix, int range) {
  Loaded& loaded = Player();
  int n = 0;
  std::int32_t count = 0;
  for (auto _ : state) {
    const UniqueBstr value = B(prefix + std::to_string(n++ % range));
    ComPtr<IWMPPlaylist> result;
    ((*loaded.media).*query)(value.get(), result.put());
    result->get_count(&count);
  }
  benchmark::DoNotOptimize(count);
}
BENCHMARK_CAPTURE(QueryBy, getByAlbum, &IWMPMediaCollection::getByAlbum, "Album ", 10000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(QueryBy, getByAuthor, &IWMPMediaCollection::getByAuthor, "Artist ", 2000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(QueryBy, getByGenre, &IWMPMediaCollection::getByGenre, "Genre ", 40)
    ->Unit(benchmark::kMicrosecond);

void QueryByAttribute(benchmark::State& state, const char* attribute, const char* value) {
  Loaded& loaded = Player();
  const UniqueBstr name = B(attribute);
  const UniqueBstr wanted = B(value);
  std::int32_t count = 0;
  for (auto _ : state) {
    ComPtr<IWMPPlaylist> result;
    loaded.media->getByAttribute(name.get(), wanted.get(), result.put());
    result->get_count(&count);
  }
  state.counters["items"] = count;
}
BENCHMARK_CAPTURE(QueryByAttribute, playlists, "MediaType", "playlist")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(QueryByAttribute, allAudio, "MediaType", "audio")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(QueryByAttribute, withoutAlbum, "Album", "")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(QueryByAttribute, trackingId, "TrackingID", "{T54321}")
    ->Unit(benchmark::kMicrosecond);

void StringCollection(benchmark::State& state, const char* attribute) {
  Loaded& loaded = Player();
  const UniqueBstr name = B(attribute);
  const UniqueBstr audio = B("audio");
  std::int32_t count = 0;
  for (auto _ : state) {
    ComPtr<IWMPStringCollection> values;
    loaded.media->getAttributeStringCollection(name.get(), audio.get(), values.put());
    values->get_count(&count);
    UniqueBstr first;
    values->item(0, first.out());
  }
  state.counters["values"] = count;
}
BENCHMARK_CAPTURE(StringCollection, Album, "Album")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(StringCollection, Artist, "Artist")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(StringCollection, Genre, "Genre")->Unit(benchmark::kMicrosecond);

// The first string collection after a library change, which walks the whole library once (the
// album, author and genre collections are walked at the change itself, for its events).
void StringCollectionAfterChange(benchmark::State& state) {
  Loaded& loaded = Player();
  const UniqueBstr album = B("FileType");
  const UniqueBstr audio = B("audio");
  for (auto _ : state) {
    state.PauseTiming();
    loaded.engine->RemoveTrack(
        loaded.engine->AddTrack({{u"Name", u"x"}, {u"MediaType", u"audio"}}));
    state.ResumeTiming();
    ComPtr<IWMPStringCollection> values;
    loaded.media->getAttributeStringCollection(album.get(), audio.get(), values.put());
  }
}
BENCHMARK(StringCollectionAfterChange)->Unit(benchmark::kMillisecond)->Iterations(10);

void ReadTrackInfo(benchmark::State& state) {
  Loaded& loaded = Player();
  ComPtr<IWMPPlaylist> album;
  const UniqueBstr name = B("Album 123");
  loaded.media->getByAlbum(name.get(), album.put());
  const UniqueBstr attribute = B("Genre");
  for (auto _ : state) {
    ComPtr<IWMPMedia> item;
    album->get_item(3, item.put());
    UniqueBstr value;
    item->getItemInfo(attribute.get(), value.out());
  }
}
BENCHMARK(ReadTrackInfo)->Unit(benchmark::kMicrosecond);

}  // namespace
