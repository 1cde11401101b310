#include "platform/sessions/ProcessLaunch.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string_view>

#include "platform/base/Status.h"
#include "platform/kernel/Root.h"

extern char** environ;

namespace platform::detail {
namespace {

std::optional<std::string> FindProgram(const std::string& program) {
  if (program.find('/') != std::string::npos) {
    return access(program.c_str(), X_OK) == 0 ? std::optional(program) : std::nullopt;
  }
  const char* path = std::getenv("PATH");
  std::string_view folders(path != nullptr ? path : "/usr/bin:/bin");
  while (!folders.empty()) {
    const std::size_t end = folders.find(':');
    const std::filesystem::path candidate = std::filesystem::path(folders.substr(0, end)) / program;
    if (access(candidate.c_str(), X_OK) == 0) {
      return candidate.string();
    }
    folders.remove_prefix(end == std::string_view::npos ? folders.size() : end + 1);
  }
  return std::nullopt;
}

std::vector<std::string> EnvironmentFor(const LaunchSpec& spec) {
  std::map<std::string, std::string> added = spec.environment;
  added["PLATFORM_ROOT"] = PlatformRoot().string();
  added["PLATFORM_SESSION"] = std::to_string(spec.sessionId);
  std::vector<std::string> variables;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view variable(*entry);
    if (!added.contains(std::string(variable.substr(0, variable.find('='))))) {
      variables.emplace_back(variable);
    }
  }
  for (const auto& [name, value] : added) {
    variables.push_back(name + "=" + value);
  }
  return variables;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) {
    pointers.push_back(text.data());
  }
  pointers.push_back(nullptr);
  return pointers;
}

std::uint32_t ErrorOf(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
      return ERROR_ACCESS_DENIED;
    default:
      return static_cast<std::uint32_t>(error);
  }
}

// What the child reports through the pipe that closes on exec.
struct ChildReport {
  pid_t pid;
  int error;
};

void WriteReport(int descriptor, ChildReport report) noexcept {
  ssize_t ignored = write(descriptor, &report, sizeof report);
  static_cast<void>(ignored);
}

// Only calls that are safe after fork in a threaded process, up to exec.
[[noreturn]] void RunChild(const LaunchSpec& spec, const char* program, char* const* arguments,
                           char* const* environment, const std::optional<Account>& account,
                           int nothing, int report) noexcept {
  if (spec.detached) {
    const pid_t grandchild = fork();
    if (grandchild != 0) {
      WriteReport(report, {grandchild, grandchild < 0 ? errno : 0});
      _exit(0);
    }
  }
  if (spec.ownProcessGroup) {
    setpgid(0, 0);
  }
  if (nothing >= 0 && (dup2(nothing, STDIN_FILENO) < 0 || dup2(nothing, STDOUT_FILENO) < 0 ||
                       dup2(nothing, STDERR_FILENO) < 0)) {
    WriteReport(report, {getpid(), errno});
    _exit(127);
  }
  // dup2 onto itself would leave the descriptor closing at exec.
  if (spec.inherited >= 0 &&
      (spec.inherited == 3 ? fcntl(3, F_SETFD, 0) : dup2(spec.inherited, 3)) < 0) {
    WriteReport(report, {getpid(), errno});
    _exit(127);
  }
  // Whatever another thread had open at the fork (a device file it was reading, say) is not the
  // program's: only the standard descriptors and the inherited one pass the exec.
  close_range(spec.inherited >= 0 ? 4 : 3, ~0U, CLOSE_RANGE_CLOEXEC);
  if (account && (setgroups(account->groups.size(), account->groups.data()) != 0 ||
                  setgid(account->gid) != 0 || setuid(account->uid) != 0)) {
    WriteReport(report, {getpid(), errno});
    _exit(127);
  }
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  execve(program, arguments, environment);
  WriteReport(report, {getpid(), errno});
  _exit(127);
}

}  // namespace

std::optional<Account> AccountOf(const std::string& user) {
  passwd entry{};
  passwd* found = nullptr;
  std::vector<char> buffer(16384);
  if (getpwnam_r(user.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
      found == nullptr) {
    return std::nullopt;
  }
  Account account{entry.pw_uid, entry.pw_gid, std::vector<gid_t>(64)};
  int count = static_cast<int>(account.groups.size());
  if (getgrouplist(user.c_str(), entry.pw_gid, account.groups.data(), &count) < 0) {
    count = 0;
  }
  account.groups.resize(static_cast<std::size_t>(count));
  return account;
}

Launched LaunchProgram(const LaunchSpec& spec) {
  Launched launched;
  const std::optional<std::string> program =
      spec.arguments.empty() ? std::nullopt : FindProgram(spec.arguments.front());
  if (!program) {
    launched.error = ERROR_FILE_NOT_FOUND;
    return launched;
  }
  std::optional<Account> account;
  if (spec.user && !spec.user->empty() && geteuid() == 0) {
    account = AccountOf(*spec.user);
    if (!account) {
      launched.error = ERROR_ACCESS_DENIED;
      return launched;
    }
  }
  std::vector<std::string> arguments = spec.arguments;
  std::vector<std::string> environment = EnvironmentFor(spec);
  const std::vector<char*> argumentPointers = Pointers(arguments);
  const std::vector<char*> environmentPointers = Pointers(environment);
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) {
    launched.error = ErrorOf(errno);
    return launched;
  }
  const UniqueFd reportRead(report[0]);
  UniqueFd reportWrite(report[1]);
  const UniqueFd nothing(spec.quiet ? open("/dev/null", O_RDWR | O_CLOEXEC) : -1);
  const pid_t child = fork();
  if (child == 0) {
    RunChild(spec, program->c_str(), argumentPointers.data(), environmentPointers.data(), account,
             nothing.Get(), reportWrite.Get());
  }
  reportWrite.Reset();
  if (child < 0) {
    launched.error = ErrorOf(errno);
    return launched;
  }
  launched.pid = child;
  // A child that runs the program closes the pipe without a word; one that failed says why. A
  // detached start says first which process it made.
  ChildReport first{};
  const ssize_t firstLength = read(reportRead.Get(), &first, sizeof first);
  if (spec.detached) {
    waitpid(child, nullptr, 0);
    launched.pid = firstLength == sizeof first ? first.pid : 0;
    if (firstLength != sizeof first || first.error != 0) {
      launched.error = ErrorOf(firstLength == sizeof first ? first.error : ECHILD);
      return launched;
    }
    ChildReport failure{};
    if (read(reportRead.Get(), &failure, sizeof failure) == sizeof failure) {
      launched.error = ErrorOf(failure.error);
    }
    return launched;
  }
  if (firstLength == sizeof first) {
    waitpid(child, nullptr, 0);
    launched.error = ErrorOf(first.error);
    return launched;
  }
  launched.processFd = UniqueFd(static_cast<int>(syscall(SYS_pidfd_open, child, 0)));
  return launched;
}

void EndProcesses(const std::vector<ProcessIdentity>& processes, std::chrono::nanoseconds ownEnd,
                  std::chrono::milliseconds grace) {
  std::vector<UniqueFd> handles;
  for (const ProcessIdentity& process : processes) {
    UniqueFd handle(static_cast<int>(syscall(SYS_pidfd_open, process.pid, 0)));
    // The id is checked again once the handle holds the process, so a process that took a dead
    // one's id is never signalled.
    if (handle && IsAlive(process)) {
      handles.push_back(std::move(handle));
    }
  }
  // Waits until every process has ended or the time is up; true when all have ended.
  const auto waitAll = [&handles](std::chrono::nanoseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::vector<pollfd> waiting;
    for (const UniqueFd& handle : handles) {
      waiting.push_back({handle.Get(), POLLIN, 0});
    }
    while (!waiting.empty()) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0 ||
          poll(waiting.data(), waiting.size(), static_cast<int>(left.count())) == 0) {
        return false;
      }
      std::erase_if(waiting, [](const pollfd& entry) { return entry.revents != 0; });
    }
    return true;
  };
  if (waitAll(ownEnd)) {
    return;
  }
  for (const UniqueFd& handle : handles) {
    syscall(SYS_pidfd_send_signal, handle.Get(), SIGTERM, nullptr, 0);
  }
  if (waitAll(grace)) {
    return;
  }
  for (const UniqueFd& handle : handles) {
    syscall(SYS_pidfd_send_signal, handle.Get(), SIGKILL, nullptr, 0);
  }
  waitAll(std::chrono::seconds(10));
}

}  // namespace platform::detail
