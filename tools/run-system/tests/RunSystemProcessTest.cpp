// run-system as a person runs it: it makes its own fresh root in the runtime folder it is given,
// runs a script, and leaves nothing behind, whether the script ends, fails or is interrupted.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace {

using namespace std::chrono_literals;

// The program with its output and errors on one pipe, killed by its id if a test leaves it.
class RunSystem {
 public:
  RunSystem(const std::filesystem::path& p_Runtime, std::vector<std::string> p_Words) {
    std::vector<std::string> l_Variables;
    for (char** l_pEntry = environ; *l_pEntry != nullptr; ++l_pEntry) {
      const std::string l_Variable(*l_pEntry);
      if (!l_Variable.starts_with("XDG_RUNTIME_DIR=") && !l_Variable.starts_with("PLATFORM_")) {
        l_Variables.push_back(l_Variable);
      }
    }
    l_Variables.push_back("XDG_RUNTIME_DIR=" + p_Runtime.string());
    p_Words.insert(p_Words.begin(), RUN_SYSTEM);
    int l_Out[2];
    EXPECT_EQ(pipe2(l_Out, O_CLOEXEC), 0);
    posix_spawn_file_actions_t l_Actions;
    posix_spawn_file_actions_init(&l_Actions);
    posix_spawn_file_actions_addopen(&l_Actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&l_Actions, l_Out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&l_Actions, l_Out[1], STDERR_FILENO);
    std::vector<char*> l_Argv, l_Envp;
    for (std::string& l_Word : p_Words) l_Argv.push_back(l_Word.data());
    for (std::string& l_Variable : l_Variables) l_Envp.push_back(l_Variable.data());
    l_Argv.push_back(nullptr);
    l_Envp.push_back(nullptr);
    EXPECT_EQ(posix_spawn(&m_nPid, l_Argv[0], &l_Actions, nullptr, l_Argv.data(), l_Envp.data()), 0);
    posix_spawn_file_actions_destroy(&l_Actions);
    close(l_Out[1]);
    m_nOutput = l_Out[0];
  }
  RunSystem(const RunSystem&) = delete;
  RunSystem& operator=(const RunSystem&) = delete;
  ~RunSystem() {
    if (!m_nCode) {
      kill(m_nPid, SIGKILL);
      waitpid(m_nPid, nullptr, 0);
    }
    close(m_nOutput);
  }

  // Reads until the output holds the text; false when it has not within the limit.
  bool WaitFor(const std::string& p_Text, std::chrono::milliseconds p_Limit = 120s) {
    const auto l_End = std::chrono::steady_clock::now() + p_Limit;
    while (m_Output.find(p_Text) == std::string::npos) {
      const auto l_Left =
          std::chrono::duration_cast<std::chrono::milliseconds>(l_End - std::chrono::steady_clock::now());
      pollfd l_Watch{m_nOutput, POLLIN, 0};
      if (l_Left.count() <= 0 || poll(&l_Watch, 1, static_cast<int>(l_Left.count())) != 1) {
        return false;
      }
      char l_Buffer[4096];
      const ssize_t l_nRead = read(m_nOutput, l_Buffer, sizeof l_Buffer);
      if (l_nRead <= 0) return false;
      m_Output.append(l_Buffer, static_cast<std::size_t>(l_nRead));
    }
    return true;
  }
  // The exit code once it has ended and its output is read to the end.
  int Finish() {
    WaitFor(std::string(1, '\0'));  // reads until the pipe closes
    int l_nStatus = 0;
    waitpid(m_nPid, &l_nStatus, 0);
    m_nCode = WIFEXITED(l_nStatus) ? WEXITSTATUS(l_nStatus) : 128 + WTERMSIG(l_nStatus);
    return *m_nCode;
  }
  void Signal(int p_nSignal) const { kill(m_nPid, p_nSignal); }
  const std::string& Output() const { return m_Output; }

 private:
  pid_t m_nPid = 0;
  int m_nOutput = -1;
  std::string m_Output;
  std::optional<int> m_nCode;
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
    EXPECT_EQ(l_Run.Finish(), l_Case.code);
    EXPECT_NE(l_Run.Output().find(l_Case.shown), std::string::npos) << l_Run.Output();
    EXPECT_NE(l_Run.Output().find("logged on at the console in session"), std::string::npos);
    ExpectNothingLeft(l_Run.Output());
  }
}

TEST_F(RunSystemProcess, CtrlCStopsEverythingItStarted) {
  RunSystem l_Run(m_Runtime, {"wait 600000"});
  ASSERT_TRUE(l_Run.WaitFor("logged on at the console")) << l_Run.Output();
  // Its managers run in their own process groups, so only the program gets the terminal's
  // signal and ends them in turn.
  l_Run.Signal(SIGINT);
  EXPECT_EQ(l_Run.Finish(), 0);
  ExpectNothingLeft(l_Run.Output());
}

}  // namespace
