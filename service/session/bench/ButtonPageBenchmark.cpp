// The time from a button's event being set to its page on the output list, through the session's
// wait loop over a player holding a generated library of 100 000 tracks: a move in a loaded
// list, a Right into a category, and a Play. The player runs in this process, in the loop's
// thread. Prints the median, the 99th percentile and the largest sample of each, in microseconds.

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/MenuTexts.h"
#include "common/ProgramLogger.h"
#include "platform/player/Engine.h"
#include "platform/player/Library.h"
#include "platform/player/LibraryGenerator.h"
#include "service/device/PageLists.h"
#include "service/device/ServiceEvents.h"
#include "service/menu/MusicLibrary.h"
#include "service/session/EventSinks.h"
#include "service/session/SessionWaitLoop.h"

NoDestructor<ProgramLogger> g_Logger(0x152u);

namespace {

using Clock = std::chrono::steady_clock;

void Report(const char* p_szName, std::vector<double> p_Samples) {
  std::sort(p_Samples.begin(), p_Samples.end());
  const auto l_At = [&](double p_dShare) {
    return p_Samples[static_cast<std::size_t>(p_dShare * static_cast<double>(p_Samples.size() - 1))];
  };
  std::printf("%-28s n=%zu median %8.1f us  p99 %8.1f us  max %8.1f us\n", p_szName,
              p_Samples.size(), l_At(0.5), l_At(0.99), p_Samples.back());
}

class Session {
 public:
  Session()
      : m_pEngine(platform::player::Engine::Create(platform::player::Library::FromJson(
            platform::player::GenerateLibraryJson({})))),
        m_spPlayer(m_pEngine->Player()),
        m_Root(m_spPlayer.get()),
        m_hOutput(CreateAutoResetEvent()),
        m_hAlbumPoll(CreateAutoResetEvent()) {
    m_Events.m_dwSessionId = 1;
    for (platform::Event& l_hEvent : m_Events.m_hWaitEvents) l_hEvent = CreateAutoResetEvent();
    m_Root.InitializeLibrary();
    EstablishEventsConnectionPoint(m_spPlayer, m_Events.m_dwSessionId, m_spSink);
    m_pLoop = std::make_unique<CSessionWaitLoop>(m_Events, m_spPlayer, &m_Root, nullptr,
                                                 m_hOutput, m_hAlbumPoll);
  }

  // Sets the event and runs its pass; the microseconds until its page is on the output list.
  double Press(std::size_t p_nWaitIndex) {
    const Clock::time_point l_Start = Clock::now();
    m_Events.m_hWaitEvents[p_nWaitIndex].Set();
    m_pLoop->RunPass();
    const bool l_bPage = TakeFirstDeviceOutput().has_value();
    const Clock::time_point l_End = Clock::now();
    if (!l_bPage) std::fprintf(stderr, "no page for wait index %zu\n", p_nWaitIndex);
    return std::chrono::duration<double, std::micro>(l_End - l_Start).count();
  }

  // Play draws no page of its own: the player's play-state event, queued by the sink while Play
  // runs, brings the now-playing page in the pass that the listener's wake-up runs.
  double PressPlay() {
    const Clock::time_point l_Start = Clock::now();
    m_Events.m_hWaitEvents[kWaitPlay].Set();
    m_pLoop->RunPass();
    m_Events.m_hWaitEvents[kWaitMediaPlayerEvent].Set();
    m_pLoop->RunPass();
    bool l_bNowPlaying = false;
    while (std::optional<CDeviceData> l_Page = TakeFirstDeviceOutput()) {
      l_bNowPlaying = l_bNowPlaying || l_Page->GetLineCount() == 3;
    }
    const Clock::time_point l_End = Clock::now();
    if (!l_bNowPlaying) std::fprintf(stderr, "no now-playing page after Play\n");
    return std::chrono::duration<double, std::micro>(l_End - l_Start).count();
  }

  CMusicLibrary& Root() { return m_Root; }

 private:
  std::shared_ptr<platform::player::Engine> m_pEngine;
  platform::ComPtr<IWMPPlayer4> m_spPlayer;
  platform::ComPtr<CWMPEventsSink> m_spSink;
  CMusicLibrary m_Root;
  CSessionEvents m_Events;
  platform::Event m_hOutput;
  platform::Event m_hAlbumPoll;
  std::unique_ptr<CSessionWaitLoop> m_pLoop;
};

int Run() {
  ApplyLanguageRule(platform::kLanguageEnglishUs);
  Session l_Session;
  constexpr int kSamples = 200;
  // Onto the albums and into their list.
  l_Session.Press(kWaitDown);
  std::vector<double> l_Right;
  for (int l_nIndex = 0; l_nIndex < kSamples; ++l_nIndex) {
    l_Right.push_back(l_Session.Press(kWaitRight));
    l_Session.Press(kWaitLeft);
  }
  l_Session.Press(kWaitRight);
  std::vector<double> l_Moves;
  for (int l_nIndex = 0; l_nIndex < kSamples; ++l_nIndex) {
    l_Moves.push_back(l_Session.Press(kWaitDown));
  }
  std::vector<double> l_Plays;
  for (int l_nIndex = 0; l_nIndex < kSamples / 4; ++l_nIndex) {
    l_Plays.push_back(l_Session.PressPlay());
    l_Session.Press(kWaitHome);
    l_Session.Press(kWaitDown);
    l_Session.Press(kWaitRight);
  }
  Report("move in the album list", l_Moves);
  Report("Right into the albums", l_Right);
  Report("Play an album", l_Plays);
  return 0;
}

}  // namespace

int main() {
  std::string l_Root = (std::filesystem::temp_directory_path() / "session-bench-XXXXXX").string();
  if (mkdtemp(l_Root.data()) == nullptr) return 1;
  setenv("PLATFORM_ROOT", l_Root.c_str(), 1);
  const int l_nResult = Run();
  std::error_code l_Ignored;
  std::filesystem::remove_all(l_Root, l_Ignored);
  return l_nResult;
}
