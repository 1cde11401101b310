// The time from a button's per-session event being set to its page on the output list, through
// a session's player-control thread bound to the per-session server and the player application
// (each its own process, as activation starts them), the application holding a generated
// library of 100 000 tracks: a move in a loaded list, a Right into a category, and a Play. This
// program plays the session listener's part: it signals the block and forwards the player's
// events to it. Prints the median, the 99th percentile and the largest sample of each, in
// microseconds.
//
//   session_button_page_benchmark [samples]

#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/MenuTexts.h"
#include "common/ProgramLogger.h"
#include "platform/base/Language.h"
#include "platform/base/Text.h"
#include "platform/com/Activation.h"
#include "platform/kernel/Wait.h"
#include "platform/kernel/tests/BenchmarkRoot.h"
#include "platform/player/LibraryGenerator.h"
#include "platform/player/PlayerApplication.h"
#include "platform/sessions/ProcessLaunch.h"
#include "platform/sessions/RootProcesses.h"
#include "service/device/PageLists.h"
#include "service/device/ServiceEvents.h"
#include "service/session/UserControlBlock.h"

NoDestructor<ProgramLogger> g_Logger(0x152u);

namespace {

using Clock = std::chrono::steady_clock;

// Made before anything looks at the root.
const platform::testing::BenchmarkRoot g_Root;

constexpr std::uint32_t kSession = 1;
constexpr platform::Timeout kPageLimit{60000};

void Report(const char* p_szName, std::vector<double> p_Samples) {
  if (p_Samples.empty()) return;
  std::sort(p_Samples.begin(), p_Samples.end());
  const auto l_At = [&](double p_dShare) {
    return p_Samples[static_cast<std::size_t>(p_dShare * static_cast<double>(p_Samples.size() - 1))];
  };
  std::printf("%-28s n=%zu median %8.1f us  p99 %8.1f us  max %8.1f us\n", p_szName,
              p_Samples.size(), l_At(0.5), l_At(0.99), p_Samples.back());
}

bool RunToEnd(const std::vector<std::string>& p_Words) {
  platform::detail::LaunchSpec l_Spec;
  l_Spec.arguments = p_Words;
  const platform::detail::Launched l_Launched = platform::detail::LaunchProgram(l_Spec);
  int l_nStatus = 0;
  return l_Launched.error == 0 && waitpid(l_Launched.pid, &l_nStatus, 0) == l_Launched.pid &&
         WIFEXITED(l_nStatus) && WEXITSTATUS(l_nStatus) == 0;
}

// The session, its block started as the listener starts it; the session's programs are ended
// by their ids when it goes. On the main thread.
class Session {
 public:
  Session()
      : m_hOutput(CreateAutoResetEvent(u"REMOTE_DEVICE_OUTPUT_DATA")),
        m_hMediaPlayerEvent(CreateAutoResetEvent(u"RemoteMediaPlayerEvent")),
        m_hStarted(CreateAutoResetEvent(u"Global\\WTS_LOGON_INITIALIZATION_COMPLETE" +
                                        platform::FromUtf8(std::to_string(kSession)))),
        m_Block(kSession) {
    m_Block.StartSessionThread();
    // The tray's sign that the start-up succeeded; a failed one never sets it.
    m_bStarted = platform::WaitForObject(m_hStarted.Ref(), kPageLimit).Signalled(0);
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  ~Session() {
    const platform::Event l_hDone = CreateAutoResetEvent();
    m_Block.StopSessionThread(l_hDone);
    std::vector<platform::detail::ProcessIdentity> l_Programs;
    for (const auto& l_Process : platform::detail::ListRootProcesses()) {
      if (l_Process.sessionId == kSession) l_Programs.push_back(l_Process.identity);
    }
    platform::detail::EndProcesses(l_Programs, std::chrono::seconds(5),
                                   std::chrono::milliseconds(2000));
  }

  bool Started() const { return m_bStarted; }

  // Signals the button and waits for a page that `p_Matches` takes, forwarding the player's
  // events meanwhile; the microseconds from the signal to that page, nothing when none came.
  std::optional<double> Press(std::uint32_t p_nButton,
                              const std::function<bool(const CDeviceData&)>& p_Matches) {
    const Clock::time_point l_Start = Clock::now();
    m_Block.SignalButton(p_nButton);
    for (;;) {
      const std::array<platform::ObjectRef, 2> l_Objects{m_hOutput.Ref(),
                                                         m_hMediaPlayerEvent.Ref()};
      const platform::WaitResult l_Wait = platform::WaitForObjects(l_Objects, kPageLimit);
      if (l_Wait.Signalled(1)) {
        m_Block.SignalButton(kButtonMediaPlayerEvent);
        continue;
      }
      if (!l_Wait.Signalled(0)) return std::nullopt;
      const Clock::time_point l_End = Clock::now();
      bool l_bFound = false;
      while (std::optional<CDeviceData> l_Page = TakeFirstDeviceOutput()) {
        l_bFound = l_bFound || p_Matches(*l_Page);
      }
      if (l_bFound) return std::chrono::duration<double, std::micro>(l_End - l_Start).count();
    }
  }
  // Any page will do.
  std::optional<double> Press(std::uint32_t p_nButton) {
    return Press(p_nButton, [](const CDeviceData&) { return true; });
  }
  // Stop draws no page of its own: its play-state event brings the stopped status.
  void Stop() {
    Press(kButtonStop, [](const CDeviceData& p) {
      return p.GetScreenType() == 2 && p.GetPlayState() == 1;
    });
  }

 private:
  const platform::Event m_hOutput;
  const platform::Event m_hMediaPlayerEvent;
  const platform::Event m_hStarted;
  CUserControlBlock m_Block;
  bool m_bStarted = false;
};

// Adds the sample when there is one; false when the page never came.
bool Take(std::vector<double>& p_Samples, std::optional<double> p_Sample, const char* p_szWhat) {
  if (!p_Sample) {
    std::fprintf(stderr, "no page for %s\n", p_szWhat);
    return false;
  }
  p_Samples.push_back(*p_Sample);
  return true;
}

int Run(int p_nSamples) {
  ApplyLanguageRule(platform::kLanguageEnglishUs);
  const std::filesystem::path l_Data = std::filesystem::path(getenv("PLATFORM_ROOT")) / "data";
  std::filesystem::create_directories(l_Data / "MediaPlayer");
  std::ofstream(l_Data / "MediaPlayer" / "library.json")
      << platform::player::GenerateLibraryJson({});
  setenv("XDG_DATA_HOME", l_Data.c_str(), 1);
  if (!RunToEnd({RUVELLO, "-RegServer"}) ||
      !platform::player::RegisterPlayerApplication(WMPLAYER)) {
    std::fprintf(stderr, "cannot register the server and the player application\n");
    return 1;
  }
  Session l_Session;
  if (!l_Session.Started()) {
    std::fprintf(stderr, "the session's start-up failed\n");
    return 1;
  }
  // Right from the root's albums into their list, and Left back.
  if (!l_Session.Press(kButtonDown)) return 1;
  std::vector<double> l_Right;
  for (int l_nIndex = 0; l_nIndex < p_nSamples; ++l_nIndex) {
    if (!Take(l_Right, l_Session.Press(kButtonRight), "Right") ||
        !l_Session.Press(kButtonLeft)) {
      return 1;
    }
  }
  // Moves in the loaded album list.
  if (!l_Session.Press(kButtonRight)) return 1;
  std::vector<double> l_Moves;
  for (int l_nIndex = 0; l_nIndex < p_nSamples; ++l_nIndex) {
    if (!Take(l_Moves, l_Session.Press(kButtonDown), "Down")) return 1;
  }
  // Play of the selected album: its page is the now-playing status of the player's event.
  std::vector<double> l_Plays;
  for (int l_nIndex = 0; l_nIndex < p_nSamples / 4; ++l_nIndex) {
    const auto l_Playing = [](const CDeviceData& p) {
      return p.GetScreenType() == 2 && p.GetPlayState() == 3;
    };
    if (!Take(l_Plays, l_Session.Press(kButtonPlay, l_Playing), "Play")) return 1;
    l_Session.Stop();
    if (!l_Session.Press(kButtonDown)) return 1;
  }
  Report("move in the album list", l_Moves);
  Report("Right into the albums", l_Right);
  Report("Play an album", l_Plays);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int l_nSamples = argc > 1 ? std::max(4, std::atoi(argv[1])) : 200;
  return Run(l_nSamples);
}
