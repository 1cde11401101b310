#pragma once

// A player application that a test or the benchmark starts, and its windows as another process
// finds them. The process ends with the object: asked with WM_CLOSE, killed by its id when it
// does not end.

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/player/app/PlayerWindow.h"
#include "platform/user/Window.h"

namespace player_app_test {

using namespace std::chrono_literals;

inline constexpr auto kPatience = 30s;  // real time a start or an end may take at most
inline constexpr auto kRetry = 10ms;

// Waits, looking again every little while, until `ready` answers a non-empty value.
template <class Ready>
auto Await(Ready ready, std::chrono::steady_clock::duration limit = kPatience) {
  const auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    auto value = ready();
    if (value || std::chrono::steady_clock::now() > end) return value;
    std::this_thread::sleep_for(kRetry);
  }
}

// The main window of the process, or 0.
inline HWND MainWindowOf(pid_t pid) {
  struct Search {
    std::uint32_t process;
    HWND found = 0;
  } search{static_cast<std::uint32_t>(pid)};
  platform::EnumWindows(
      [](HWND window, LPARAM into) {
        auto& wanted = *reinterpret_cast<Search*>(into);
        std::uint32_t process = 0;
        platform::GetWindowThreadProcessId(window, &process);
        if (process != wanted.process ||
            platform::GetClassName(window) != platform::player::kPlayerWindowClass) {
          return true;
        }
        wanted.found = window;
        return false;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

class AppProcess {
 public:
  AppProcess(std::uint32_t session, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), WMPLAYER);
    std::vector<char*> argv;
    for (std::string& word : arguments) argv.push_back(word.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment{"PLATFORM_SESSION=" + std::to_string(session)};
    for (char** entry = environ; *entry != nullptr; ++entry) {
      // The application keeps real time: its tracks play as long as they last.
      const std::string_view variable(*entry);
      if (!variable.starts_with("PLATFORM_SESSION=") && !variable.starts_with("PLATFORM_TIME_SCALE=")) {
        environment.push_back(*entry);
      }
    }
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    m_pid = fork();
    if (m_pid == 0) {
      // A test that dies takes its application with it.
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      execve(argv[0], argv.data(), envp.data());
      _exit(127);
    }
  }
  AppProcess(const AppProcess&) = delete;
  AppProcess& operator=(const AppProcess&) = delete;
  ~AppProcess() {
    if (m_pid <= 0 || Exited()) return;
    if (const HWND window = MainWindowOf(m_pid); window != 0) {
      platform::PostMessage(window, WM_CLOSE, 0, 0);
    }
    if (!WaitExit()) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, nullptr, 0);
    }
  }

  pid_t Pid() const noexcept { return m_pid; }

  // The main window once the application shows it; 0 when it never does.
  HWND MainWindow() const {
    return Await([this] { return MainWindowOf(m_pid); });
  }

  // The exit status once the process has ended within the limit.
  std::optional<int> WaitExit(std::chrono::steady_clock::duration limit = kPatience) {
    const auto status = Await([this] { return Exited() ? m_status : std::nullopt; }, limit);
    return status;
  }

 private:
  bool Exited() {
    if (m_status) return true;
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) != m_pid) return false;
    m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
  }

  pid_t m_pid = -1;
  std::optional<int> m_status;
};

}  // namespace player_app_test
