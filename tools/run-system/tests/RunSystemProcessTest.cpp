// run-system as a person runs it: it makes its own fresh root in the runtime folder it is given,
// runs a script, and leaves nothing behind, whether the script ends, fails or is interrupted.

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/kernel/tests/ChildProgram.h"

namespace {

using namespace std::chrono_literals;

// The program with its output and errors on one pipe, in its own runtime folder.
class RunSystem : public platform::testing::ChildProgram {
 public:
  RunSystem(const std::filesystem::path& p_Runtime, std::vector<std::string> p_Words)
      : ChildProgram(WithProgram(std::move(p_Words)), {{"XDG_RUNTIME_DIR", p_Runtime.string()}},
                     true) {}

  // The exit code once it has ended, and all it wrote.
  std::pair<std::optional<int>, std::string> Finish() {
    const std::optional<int> l_nCode = Wait(120s);
    return {l_nCode, Output()};
  }

 private:
  static std::vector<std::string> WithProgram(std::vector<std::string> p_Words) {
    p_Words.insert(p_Words.begin(), RUN_SYSTEM);
    return p_Words;
  }
};

// The processes that run with that root.
std::vector<int> ProcessesOfRoot(const std::string& p_Root) {
  const std::string l_Entry = "PLATFORM_ROOT=" + p_Root;
  std::vector<int> l_Found;
  std::error_code l_Error;
  for (const auto& l_Process : std::filesystem::directory_iterator("/proc", l_Error)) {
    std::ifstream l_Environment(l_Process.path() / "environ", std::ios::binary);
    const std::string l_Text((std::istreambuf_iterator<char>(l_Environment)),
                             std::istreambuf_iterator<char>());
    std::size_t l_nAt = 0;
    for (std::size_t l_nEnd; (l_nEnd = l_Text.find('\0', l_nAt)) != std::string::npos;
         l_nAt = l_nEnd + 1) {
      if (l_Text.compare(l_nAt, l_nEnd - l_nAt, l_Entry) == 0) {
        l_Found.push_back(std::stoi(l_Process.path().filename().string()));
      }
    }
  }
  return l_Found;
}

class RunSystemProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string l_Pattern =
        (std::filesystem::temp_directory_path() / "rs-XXXXXX").string();
    ASSERT_NE(mkdtemp(l_Pattern.data()), nullptr);
    m_Runtime = l_Pattern;
  }
  void TearDown() override {
    std::error_code l_Ignored;
    std::filesystem::remove_all(m_Runtime, l_Ignored);
  }

  // The root it says it made.
  static std::string RootOf(const std::string& p_Output) {
    const std::size_t l_nAt = p_Output.find("platform root ");
    if (l_nAt == std::string::npos) return {};
    const std::size_t l_nFrom = l_nAt + 14;
    return p_Output.substr(l_nFrom, p_Output.find('\n', l_nFrom) - l_nFrom);
  }
  // Nothing of the run is left: no process of its root and no root.
  void ExpectNothingLeft(const std::string& p_Output) const {
    const std::string l_Root = RootOf(p_Output);
    ASSERT_FALSE(l_Root.empty()) << p_Output;
    EXPECT_TRUE(l_Root.starts_with(m_Runtime.string())) << l_Root;
    EXPECT_EQ(ProcessesOfRoot(l_Root), std::vector<int>{}) << p_Output;
    EXPECT_FALSE(std::filesystem::exists(l_Root)) << p_Output;
    EXPECT_NE(p_Output.find("stopped"), std::string::npos) << p_Output;
  }

  std::filesystem::path m_Runtime;
};

TEST_F(RunSystemProcess, AScriptEndsOrFailsAndEverythingItStartedIsStopped) {
  struct Case {
    std::vector<std::string> words;
    int code;
    std::string shown;
  };
  const std::vector<Case> kCases = {
      {{"wait 10", "unplug", "plug"}, 0, "> plug\n\u250C"},
      {{"wait 10", "sideways"}, 1, "error: unknown command \"sideways\""},
      {{"unplug", "down"}, 1, "error: down: the remote is not plugged in"},
  };
  for (const Case& l_Case : kCases) {
    RunSystem l_Run(m_Runtime, l_Case.words);
    const auto [l_nCode, l_Output] = l_Run.Finish();
    EXPECT_EQ(l_nCode, l_Case.code);
    EXPECT_NE(l_Output.find(l_Case.shown), std::string::npos) << l_Output;
    EXPECT_NE(l_Output.find("logged on at the console in session"), std::string::npos);
    ExpectNothingLeft(l_Output);
  }
}

// Right after the start the session's player thread may still be starting: the first press wakes
// the display, which then shows the main menu once that thread runs, and the script prints that
// page rather than the display as the waking left it.
TEST_F(RunSystemProcess, TheFirstPressOfAScriptShowsTheMainMenuItWokeTheDisplayTo) {
  RunSystem l_Run(m_Runtime, {"right", "down"});
  const auto [l_nCode, l_Output] = l_Run.Finish();
  EXPECT_EQ(l_nCode, 0);
  const std::size_t l_nRight = l_Output.find("> right\n");
  const std::size_t l_nDown = l_Output.find("> down\n");
  ASSERT_NE(l_nRight, std::string::npos) << l_Output;
  ASSERT_NE(l_nDown, std::string::npos) << l_Output;
  const std::string l_AfterRight = l_Output.substr(l_nRight, l_nDown - l_nRight);
  EXPECT_NE(l_AfterRight.find("Music Library"), std::string::npos) << l_Output;
  EXPECT_NE(l_AfterRight.find("> Playlists"), std::string::npos) << l_Output;
  EXPECT_NE(l_Output.find("> Albums", l_nDown), std::string::npos) << l_Output;
  ExpectNothingLeft(l_Output);
}

TEST_F(RunSystemProcess, TheTrayShowsTheServiceAndItsMenuRestartsAndStopsIt) {
  for (const char* l_pBuild : {"first", "second"}) {
    SCOPED_TRACE(l_pBuild);
    std::vector<std::string> l_Words = {"service-restart", "service-stop"};
    if (std::string(l_pBuild) == "second") l_Words.insert(l_Words.begin(), "--second");
    RunSystem l_Run(m_Runtime, l_Words);
    const auto [l_nCode, l_Output] = l_Run.Finish();
    EXPECT_EQ(l_nCode, 0);
    EXPECT_NE(l_Output.find("tray Peskarin started in session"), std::string::npos) << l_Output;
    const std::size_t l_nRestarted = l_Output.find(
        "> service-restart: service-restart picked in the tray's menu\n"
        "tray: service running; menu: Restart, Stop, Help..., About...\n");
    EXPECT_NE(l_nRestarted, std::string::npos) << l_Output;
    const std::size_t l_nStopped = l_Output.find(
        "> service-stop: service-stop picked in the tray's menu\n"
        "tray: service stopped; menu: Start, Help..., About...\n");
    EXPECT_NE(l_nStopped, std::string::npos) << l_Output;
    EXPECT_LT(l_nRestarted, l_nStopped);
    ExpectNothingLeft(l_Output);
  }
}

TEST_F(RunSystemProcess, CtrlCStopsEverythingItStarted) {
  RunSystem l_Run(m_Runtime, {"wait 600000"});
  ASSERT_TRUE(l_Run.WaitForOutput("logged on at the console", 120s)) << l_Run.Output();
  // Its managers run in their own process groups, so only the program gets the terminal's
  // signal and ends them in turn.
  kill(l_Run.Pid(), SIGINT);
  const auto [l_nCode, l_Output] = l_Run.Finish();
  EXPECT_EQ(l_nCode, 0);
  ExpectNothingLeft(l_Output);
}

}  // namespace
