// The whole system's figures, with a generated library of 100 000 tracks: the time from the
// virtual remote's button report to the last LCD packet of the page that answers it (median and
// 99th percentile) for menu moves, Right into a category and Play; the idle CPU of all the
// system's processes together over a minute; the resident memory of the service and of the
// player application.
//
//   system_benchmark [--second] [--tracks N] [--presses N] [--idle-seconds N]

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/base/Text.h"
#include "platform/player/LibraryGenerator.h"
#include "platform/sessions/RootProcesses.h"
#include "tools/run-system/BuiltPrograms.h"
#include "tools/run-system/RemoteButtons.h"
#include "tools/run-system/RemoteLink.h"
#include "tools/run-system/SystemRun.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
  bool m_bSecond = false;
  std::size_t m_nTracks = 100'000;
  int m_nPresses = 200;
  int m_nIdleSeconds = 60;
};

// A page answers within this much real time.
constexpr int kAnswerMilliseconds = 10000;

int Code(const char* p_pWord) { return ButtonNamed(p_pWord)->m_nCode; }

// Presses the button and waits for its page; the time from the report to the page's last packet.
std::optional<double> Answer(RemoteLink& p_Remote, int p_nCode) {
  const std::uint64_t l_nReports = p_Remote.Reports();
  const int l_nScreens = p_Remote.Screen().m_nScreensEnded;
  const auto l_Pressed = Clock::now();
  p_Remote.Press(static_cast<std::uint8_t>(p_nCode));
  p_Remote.Settle(l_nReports, kAnswerMilliseconds, -1);
  const std::optional<Clock::time_point> l_Ended = p_Remote.ScreenEndedAt(l_nScreens + 1);
  if (!l_Ended) {
    return std::nullopt;
  }
  return std::chrono::duration<double, std::milli>(*l_Ended - l_Pressed).count();
}

void Report(const char* p_pWhat, std::vector<double> p_Times, int p_nAsked) {
  if (p_Times.empty()) {
    std::printf("%-24s no answers\n", p_pWhat);
    return;
  }
  std::sort(p_Times.begin(), p_Times.end());
  const auto At = [&p_Times](double p_dShare) {
    return p_Times[std::min(p_Times.size() - 1,
                            static_cast<std::size_t>(p_dShare * static_cast<double>(p_Times.size())))];
  };
  std::printf("%-24s median %.3f ms  p99 %.3f ms  max %.3f ms  (%zu of %d answered)\n", p_pWhat,
              At(0.5), At(0.99), p_Times.back(), p_Times.size(), p_nAsked);
}

// One process of the root: its name, the CPU time it has used so far in clock ticks, and its
// resident memory.
struct ProcessFigures {
  pid_t m_nPid = 0;
  std::string m_Name;
  std::uint64_t m_nTicks = 0;
  std::uint64_t m_nResidentKilobytes = 0;
};

std::vector<ProcessFigures> MeasureProcesses() {
  std::vector<ProcessFigures> l_Figures;
  for (const platform::detail::RootProcess& l_Process : platform::detail::ListRootProcesses()) {
    ProcessFigures l_Figure;
    l_Figure.m_nPid = l_Process.identity.pid;
    l_Figure.m_Name = platform::ToUtf8(l_Process.imageName);
    const std::string l_Folder = "/proc/" + std::to_string(l_Process.identity.pid);
    std::ifstream l_Stat(l_Folder + "/stat");
    std::string l_Text((std::istreambuf_iterator<char>(l_Stat)), std::istreambuf_iterator<char>());
    // The fields after the command's closing parenthesis; utime and stime are the 12th and 13th.
    std::istringstream l_Fields(l_Text.substr(l_Text.rfind(')') + 2));
    std::string l_Field;
    for (int l_nIndex = 0; l_nIndex < 13 && l_Fields >> l_Field; ++l_nIndex) {
      if (l_nIndex == 11 || l_nIndex == 12) l_Figure.m_nTicks += std::stoull(l_Field);
    }
    std::ifstream l_Status(l_Folder + "/status");
    for (std::string l_Line; std::getline(l_Status, l_Line);) {
      if (l_Line.starts_with("VmRSS:")) l_Figure.m_nResidentKilobytes = std::stoull(l_Line.substr(6));
    }
    l_Figures.push_back(std::move(l_Figure));
  }
  return l_Figures;
}

// The share of one core that `p_nTicks` clock ticks are over `p_nSeconds`, in percent.
double CoreShare(std::uint64_t p_nTicks, int p_nSeconds) {
  return 100.0 * static_cast<double>(p_nTicks) /
         (static_cast<double>(sysconf(_SC_CLK_TCK)) * p_nSeconds);
}

// Prints the CPU each process used between the two measurements, all of them together, and
// their resident memory. A process that started after the first counts from its start.
void ReportIdle(const std::vector<ProcessFigures>& p_Before,
                const std::vector<ProcessFigures>& p_After, int p_nSeconds) {
  std::uint64_t l_nTotal = 0;
  for (const ProcessFigures& l_After : p_After) {
    std::uint64_t l_nUsed = l_After.m_nTicks;
    for (const ProcessFigures& l_Before : p_Before) {
      if (l_Before.m_nPid == l_After.m_nPid) l_nUsed -= std::min(l_nUsed, l_Before.m_nTicks);
    }
    l_nTotal += l_nUsed;
    std::printf("idle CPU %-16s %.3f %% of one core; resident memory %.1f MB\n",
                l_After.m_Name.c_str(), CoreShare(l_nUsed, p_nSeconds),
                static_cast<double>(l_After.m_nResidentKilobytes) / 1024.0);
  }
  std::printf("idle CPU of the system   %.3f %% of one core over %d s (%zu processes)\n",
              CoreShare(l_nTotal, p_nSeconds), p_nSeconds, p_After.size());
}

std::optional<Options> Parse(int p_nArguments, char** p_pArguments) {
  Options l_Options;
  for (int l_nAt = 1; l_nAt < p_nArguments; ++l_nAt) {
    const std::string l_Word = p_pArguments[l_nAt];
    const bool l_bValue = l_nAt + 1 < p_nArguments;
    if (l_Word == "--second") {
      l_Options.m_bSecond = true;
    } else if (l_Word == "--tracks" && l_bValue) {
      l_Options.m_nTracks = std::stoul(p_pArguments[++l_nAt]);
    } else if (l_Word == "--presses" && l_bValue) {
      l_Options.m_nPresses = std::stoi(p_pArguments[++l_nAt]);
    } else if (l_Word == "--idle-seconds" && l_bValue) {
      l_Options.m_nIdleSeconds = std::stoi(p_pArguments[++l_nAt]);
    } else {
      std::cerr << "usage: system_benchmark [--second] [--tracks N] [--presses N] "
                   "[--idle-seconds N]\n";
      return std::nullopt;
    }
  }
  return l_Options;
}

}  // namespace

int main(int p_nArguments, char** p_pArguments) {
  const std::optional<Options> l_Options = Parse(p_nArguments, p_pArguments);
  if (!l_Options) {
    return 2;
  }
  // Each figure shows as it is measured, also when the output is a file.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const std::filesystem::path l_Library =
      std::filesystem::temp_directory_path() / ("system-benchmark-" + std::to_string(getpid()) + ".json");
  {
    platform::player::GeneratedLibraryShape l_Shape;
    l_Shape.tracks = l_Options->m_nTracks;
    std::ofstream(l_Library) << platform::player::GenerateLibraryJson(l_Shape);
  }
  const passwd* l_pUser = getpwuid(getuid());
  SystemPrograms l_Programs = BuiltPrograms(l_Options->m_bSecond, l_pUser ? l_pUser->pw_name : "user");
  l_Programs.m_Library = l_Library;
  SystemRun l_System(l_Programs);
  const bool l_bStarted = l_System.Start(std::cerr);
  std::filesystem::remove(l_Library);
  if (!l_bStarted) {
    return 1;
  }
  RemoteLink l_Remote;
  if (!l_Remote.Plug()) {
    std::cerr << "the virtual remote cannot be plugged in\n";
    return 1;
  }
  std::printf("library of %zu tracks, %s build\n", l_Options->m_nTracks,
              l_Options->m_bSecond ? "second" : "first");
  // The first press wakes the display and brings the root menu.
  Answer(l_Remote, Code("home"));
  Answer(l_Remote, Code("home"));
  // The session thread builds its menu over the whole library as it starts, which the first
  // move waits for: a round of moves, untimed, before any is timed.
  for (const char* l_pWord : {"down", "up"}) {
    Answer(l_Remote, Code(l_pWord));
  }

  std::vector<double> l_Moves;
  std::vector<double> l_Rights;
  std::vector<double> l_Plays;
  for (int l_nPress = 0; l_nPress < l_Options->m_nPresses; ++l_nPress) {
    // Down to Albums and back up, then into Albums, a move there, and back out.
    for (const char* l_pWord : {"down", "up", "down"}) {
      if (const std::optional<double> l_dTime = Answer(l_Remote, Code(l_pWord))) l_Moves.push_back(*l_dTime);
    }
    if (const std::optional<double> l_dTime = Answer(l_Remote, Code("right"))) l_Rights.push_back(*l_dTime);
    if (const std::optional<double> l_dTime = Answer(l_Remote, Code("down"))) l_Moves.push_back(*l_dTime);
    Answer(l_Remote, Code("left"));
    Answer(l_Remote, Code("up"));
  }
  Report("menu move", l_Moves, l_Options->m_nPresses * 4);
  Report("Right into Albums", l_Rights, l_Options->m_nPresses);

  // Play on an album of the Albums list, then stop, and back to the list.
  Answer(l_Remote, Code("down"));
  Answer(l_Remote, Code("right"));
  const int l_nPlays = std::max(1, l_Options->m_nPresses / 4);
  for (int l_nPress = 0; l_nPress < l_nPlays; ++l_nPress) {
    if (const std::optional<double> l_dTime = Answer(l_Remote, Code("play"))) l_Plays.push_back(*l_dTime);
    Answer(l_Remote, Code("stop"));
    Answer(l_Remote, Code("home"));
    Answer(l_Remote, Code("down"));
    Answer(l_Remote, Code("right"));
  }
  Report("Play", l_Plays, l_nPlays);

  // Idle: nothing plays and no key is pressed.
  Answer(l_Remote, Code("home"));
  std::this_thread::sleep_for(std::chrono::seconds(2));
  const std::vector<ProcessFigures> l_Before = MeasureProcesses();
  std::this_thread::sleep_for(std::chrono::seconds(l_Options->m_nIdleSeconds));
  ReportIdle(l_Before, MeasureProcesses(), l_Options->m_nIdleSeconds);
  l_Remote.Unplug();
  l_System.Stop();
  return 0;
}
