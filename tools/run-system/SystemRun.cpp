#include "tools/run-system/SystemRun.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <charconv>
#include <chrono>

#include "platform/kernel/Root.h"
#include "platform/player/PlayerApplication.h"
#include "platform/services/ServiceControl.h"
#include "platform/sessions/ProcessLaunch.h"
#include "platform/sessions/RootProcesses.h"
#include "platform/sessions/SessionManager.h"

namespace {

using namespace std::chrono_literals;
using platform::detail::UniqueFd;

// Real time for a manager to say it is ready, for a registration to end, and for a manager to
// end once asked to.
constexpr int kReadyMilliseconds = 30000;
constexpr int kRunMilliseconds = 60000;
constexpr int kEndMilliseconds = 60000;
// What a process of the root left running gets to end when asked to, before it is killed.
constexpr auto kGrace = 2000ms;

bool Ended(const UniqueFd& p_Process, int p_nMilliseconds) {
  pollfd l_Watch{p_Process.Get(), POLLIN, 0};
  return poll(&l_Watch, 1, p_nMilliseconds) == 1;
}

// The folder for a new root: the user's runtime folder, or the temporary one.
std::filesystem::path RootParent() {
  const char* l_pRuntime = std::getenv("XDG_RUNTIME_DIR");
  std::error_code l_Error;
  if (l_pRuntime != nullptr && *l_pRuntime == '/' &&
      std::filesystem::is_directory(l_pRuntime, l_Error)) {
    return l_pRuntime;
  }
  return std::filesystem::temp_directory_path();
}

}  // namespace

bool SystemRun::MakeRoot(std::ostream& p_Progress) {
  std::string l_Template = (RootParent() / "calvora-XXXXXX").string();
  if (mkdtemp(l_Template.data()) == nullptr) {
    p_Progress << "cannot make a platform root in " << RootParent().string() << "\n";
    return false;
  }
  m_Root = l_Template;
  // Every program of the system inherits these from here.
  setenv("PLATFORM_ROOT", m_Root.c_str(), 1);
  setenv("PLATFORM_HID", "virtual", 1);
  setenv("XDG_DATA_HOME", (m_Root / "data").c_str(), 1);
  unsetenv("PLATFORM_SESSION");
  unsetenv("PLATFORM_TIME_SCALE");
  p_Progress << "platform root " << m_Root.string() << "\n";

  // The user's library, where the player application looks for it.
  const std::filesystem::path l_Library = m_Root / "data" / "MediaPlayer" / "library.json";
  std::error_code l_Error;
  std::filesystem::create_directories(l_Library.parent_path(), l_Error);
  if (l_Error ||
      !std::filesystem::copy_file(m_Programs.m_Library, l_Library, l_Error) || l_Error) {
    p_Progress << "cannot install the library " << m_Programs.m_Library.string() << "\n";
    return false;
  }
  p_Progress << "library " << m_Programs.m_Library.filename().string() << " installed\n";
  return true;
}

bool SystemRun::StartManager(const char* p_pCommand, std::ostream& p_Progress) {
  int l_Ends[2];
  if (pipe2(l_Ends, O_CLOEXEC) != 0) {
    return false;
  }
  const UniqueFd l_Read(l_Ends[0]);
  UniqueFd l_Write(l_Ends[1]);
  platform::detail::LaunchSpec l_Spec;
  l_Spec.arguments = {m_Programs.m_PlatformControl.string(), p_pCommand, "--ready-fd", "3"};
  l_Spec.inherited = l_Write.Get();
  l_Spec.quiet = true;
  // Out of the terminal's process group: Ctrl-C reaches this program, which stops it in turn.
  l_Spec.ownProcessGroup = true;
  platform::detail::Launched l_Launched = platform::detail::LaunchProgram(l_Spec);
  l_Write.Reset();
  if (l_Launched.error != 0) {
    p_Progress << p_pCommand << ": " << m_Programs.m_PlatformControl.string()
               << " does not start\n";
    return false;
  }
  m_Managers.push_back({platform::detail::IdentityOf(l_Launched.pid).value_or(
                            platform::detail::ProcessIdentity{l_Launched.pid, 0}),
                        std::move(l_Launched.processFd)});
  pollfd l_Ready{l_Read.Get(), POLLIN, 0};
  char l_Line[16] = {};
  if (poll(&l_Ready, 1, kReadyMilliseconds) != 1 ||
      read(l_Read.Get(), l_Line, sizeof l_Line - 1) != 6 || std::string(l_Line) != "ready\n") {
    p_Progress << p_pCommand << " did not get ready\n";
    return false;
  }
  return true;
}

std::optional<int> SystemRun::RunToEnd(std::vector<std::string> p_Words,
                                       std::uint32_t p_nSession) {
  platform::detail::LaunchSpec l_Spec;
  l_Spec.arguments = std::move(p_Words);
  l_Spec.sessionId = p_nSession;
  l_Spec.quiet = true;
  l_Spec.ownProcessGroup = true;
  const platform::detail::Launched l_Launched = platform::detail::LaunchProgram(l_Spec);
  if (l_Launched.error != 0 || !Ended(l_Launched.processFd, kRunMilliseconds)) {
    if (l_Launched.error == 0) {
      kill(l_Launched.pid, SIGKILL);
      waitpid(l_Launched.pid, nullptr, 0);
    }
    return std::nullopt;
  }
  int l_nStatus = 0;
  waitpid(l_Launched.pid, &l_nStatus, 0);
  return WIFEXITED(l_nStatus) ? std::optional(WEXITSTATUS(l_nStatus)) : std::nullopt;
}

std::optional<std::uint32_t> SystemRun::Logon(const std::string& p_User, bool p_bConsole) {
  std::optional<platform::SessionControl> l_Control = platform::SessionControl::Connect();
  if (!l_Control) {
    return std::nullopt;
  }
  const platform::SessionControl::Result l_Result = l_Control->Logon(p_User, p_bConsole);
  std::uint32_t l_nSession = 0;
  const auto [l_pEnd, l_Error] = std::from_chars(
      l_Result.value.data(), l_Result.value.data() + l_Result.value.size(), l_nSession);
  if (l_Result.error != 0 || l_Error != std::errc() ||
      l_pEnd != l_Result.value.data() + l_Result.value.size()) {
    return std::nullopt;
  }
  return l_nSession;
}

bool SystemRun::Start(std::ostream& p_Progress) {
  if (!MakeRoot(p_Progress) || !StartManager("run-session-manager", p_Progress) ||
      !StartManager("run-service-manager", p_Progress)) {
    return false;
  }
  p_Progress << "session manager and service manager running\n";

  const std::string l_Server = (m_Programs.m_Build / "Ruvello").string();
  if (RunToEnd({l_Server, "-RegServer"}) != 0) {
    p_Progress << l_Server << " -RegServer failed\n";
    return false;
  }
  if (!platform::player::RegisterPlayerApplication(m_Programs.m_PlayerApplication)) {
    p_Progress << "the player application cannot be registered\n";
    return false;
  }
  p_Progress << "Ruvello and the player application registered\n";

  const std::optional<std::uint32_t> l_nSession = Logon(m_Programs.m_User, true);
  if (!l_nSession) {
    p_Progress << "the logon of " << m_Programs.m_User << " failed\n";
    return false;
  }
  m_nSession = *l_nSession;
  p_Progress << m_Programs.m_User << " logged on at the console in session " << m_nSession
             << "\n";

  const std::filesystem::path l_Service = m_Programs.m_Build / "Tamsvard";
  std::error_code l_Error;
  if (!std::filesystem::exists(l_Service, l_Error)) {
    p_Progress << "the service " << l_Service.string() << " is not built: nothing answers the remote\n";
    return true;
  }
  if (RunToEnd({l_Service.string(), "-Service", "-Start"}) != 0) {
    p_Progress << l_Service.string() << " -Service -Start failed\n";
    return false;
  }
  p_Progress << "service Tamsvard installed and started\n";
  return StartTray(p_Progress);
}

bool SystemRun::StartTray(std::ostream& p_Progress) {
  platform::detail::LaunchSpec l_Spec;
  l_Spec.arguments = {(m_Programs.m_Build / "Peskarin").string()};
  l_Spec.sessionId = m_nSession;
  l_Spec.quiet = true;
  l_Spec.ownProcessGroup = true;
  // It ends on the tray's own shutdown request (Stop), or with the session.
  l_Spec.detached = true;
  if (platform::detail::LaunchProgram(l_Spec).error != 0) {
    p_Progress << l_Spec.arguments.front() << " does not start\n";
    return false;
  }
  p_Progress << "tray Peskarin started in session " << m_nSession << "\n";
  return true;
}

void SystemRun::StopManagers() {
  // The service manager stops every running service first; the session manager then logs every
  // session off, which ends its processes.
  if (const platform::HandleResult<platform::ScHandle> l_Manager =
          platform::OpenSCManager({}, {}, platform::SC_MANAGER_ALL_ACCESS);
      l_Manager.handle) {
    platform::ShutdownServiceManager(l_Manager.handle);
  }
  if (std::optional<platform::SessionControl> l_Control = platform::SessionControl::Connect()) {
    l_Control->Shutdown();
  }
  for (Manager& l_Manager : m_Managers) {
    if (!Ended(l_Manager.m_Process, kEndMilliseconds)) {
      platform::detail::EndProcesses({l_Manager.m_Identity}, 0ms, kGrace);
    }
    waitpid(l_Manager.m_Identity.pid, nullptr, 0);
  }
  m_Managers.clear();
}

void SystemRun::EndWhatIsLeft() {
  std::vector<platform::detail::ProcessIdentity> l_Left;
  for (const platform::detail::RootProcess& l_Process : platform::detail::ListRootProcesses()) {
    if (l_Process.identity != platform::detail::ThisProcess()) {
      l_Left.push_back(l_Process.identity);
    }
  }
  platform::detail::EndProcesses(l_Left, kGrace, kGrace);
}

void SystemRun::Stop() {
  if (m_Root.empty()) {
    return;
  }
  if (m_nSession != 0) {
    RunToEnd({(m_Programs.m_Build / "Peskarin").string(), "-Stop"}, m_nSession);
  }
  StopManagers();
  EndWhatIsLeft();
  std::error_code l_Error;
  std::filesystem::remove_all(m_Root, l_Error);
  m_Root.clear();
}
