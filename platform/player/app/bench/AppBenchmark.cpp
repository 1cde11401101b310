// The player application over a generated library of 100 000 tracks: how long it takes to start
// until its player answers another process, how much memory it then holds, and the round trip of
// typical player calls from this process. Prints its figures.

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "platform/base/Text.h"
#include "platform/com/Activation.h"
#include "platform/kernel/Root.h"
#include "platform/kernel/tests/BenchmarkRoot.h"
#include "platform/player/LibraryGenerator.h"
#include "platform/player/PlayerApplication.h"
#include "platform/player/PlayerInterfaces.h"
#include "platform/player/app/tests/AppProcess.h"

namespace {

using Clock = std::chrono::steady_clock;
using platform::ComPtr;
using platform::IidOf;

const platform::testing::BenchmarkRoot g_root;

constexpr int kRoundTrips = 500;

// The resident memory of the process in kilobytes, as the kernel reports it.
long ResidentKilobytes(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("VmRSS:")) return std::stol(line.substr(6));
  }
  return -1;
}

// The application's player once it answers; null when it never does.
ComPtr<IWMPPlayer4> PlayerOf(std::uint32_t session) {
  ComPtr<IWMPPlayer4> player;
  player_app_test::Await([&] {
    ComPtr<IClassFactory> factory;
    if (FAILED(platform::BindClassObject(session, CLSID_PlayerApplication, IidOf<IClassFactory>,
                                         factory.put_void())) ||
        FAILED(factory->CreateInstance(nullptr, IidOf<IWMPPlayer4>, player.put_void()))) {
      player = nullptr;
    }
    return player != nullptr;
  }, std::chrono::minutes(2));
  return player;
}

double Microseconds(Clock::duration total, int count) {
  return std::chrono::duration<double, std::micro>(total).count() / count;
}

}  // namespace

int main() {
  static_cast<void>(platform::player::kPlayerCallsRegistered);
  const std::string file = (platform::PlatformRoot() / "library.json").string();
  std::ofstream(file) << platform::player::GenerateLibraryJson({});

  const auto started = Clock::now();
  player_app_test::AppProcess app(1, {"--library", file});
  const ComPtr<IWMPPlayer4> player = PlayerOf(1);
  const auto answered = Clock::now();
  if (!player) {
    std::fprintf(stderr, "the application's player never answered\n");
    return 1;
  }
  std::printf("start-up until the player answers: %.0f ms (100000 tracks)\n",
              std::chrono::duration<double, std::milli>(answered - started).count());
  std::printf("resident memory: %ld kB\n", ResidentKilobytes(app.Pid()));

  ComPtr<IWMPMediaCollection> media;
  if (FAILED(player->get_mediaCollection(media.put()))) return 1;
  Clock::duration byAlbum{};
  Clock::duration byName{};
  for (int i = 0; i < kRoundTrips; ++i) {
    // Every album whose number is a multiple of 20 has its tracks (see GenerateLibraryJson).
    const std::u16string title = u"Album " + platform::FromUtf8(std::to_string(i * 20 % 10000));
    const UniqueBstr album(SysAllocString(title.c_str()));
    ComPtr<IWMPPlaylist> tracks;
    ComPtr<IWMPMedia> first;
    UniqueBstr name;
    const auto before = Clock::now();
    const HRESULT query = media->getByAlbum(album.get(), tracks.put());
    const auto queried = Clock::now();
    const HRESULT got = SUCCEEDED(query) ? tracks->get_item(0, first.put()) : query;
    const auto item = Clock::now();
    if (FAILED(got) || FAILED(first->get_name(name.out()))) {
      std::fprintf(stderr, "a call failed (hr 0x%08X)\n", static_cast<unsigned>(got));
      return 1;
    }
    byAlbum += queried - before;
    byName += Clock::now() - item;
  }
  std::printf("getByAlbum round trip: %.1f us (mean of %d)\n", Microseconds(byAlbum, kRoundTrips),
              kRoundTrips);
  std::printf("get_name round trip: %.1f us (mean of %d)\n", Microseconds(byName, kRoundTrips),
              kRoundTrips);
  return 0;
}
