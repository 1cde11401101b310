#include "platform/user/ShellProcess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <vector>

#include "platform/base/Text.h"
#include "platform/user/Shell.h"

extern char** environ;

namespace platform {
namespace {

constexpr char kInputIdleVariable[] = "PLATFORM_INPUT_IDLE";
constexpr char kShowCommandVariable[] = "PLATFORM_SHOW_COMMAND";

thread_local std::uint32_t t_lastError = ERROR_SUCCESS;
std::atomic<std::uint32_t> g_nextIdleEvent{0};

bool Fail(std::uint32_t error) {
  t_lastError = error;
  return false;
}

bool IsProgram(const std::filesystem::path& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
         access(path.c_str(), X_OK) == 0;
}

// The program that the address names, or an empty path for an address that is none.
std::filesystem::path ProgramOf(std::u16string_view file) {
  std::string path = ToUtf8(file);
  if (path.find('/') == std::string::npos) return {};
  if (IsProgram(path)) return path;
  constexpr std::string_view kExtension = ".exe";
  if (path.size() > kExtension.size()) {
    std::string ending = path.substr(path.size() - kExtension.size());
    for (char& character : ending) character = static_cast<char>(std::tolower(character));
    path.resize(path.size() - kExtension.size());
    if (ending == kExtension && IsProgram(path)) return path;
  }
  return {};
}

bool ManifestAsksForAdministrator(const std::filesystem::path& program) {
  std::ifstream manifest(program.string() + ".manifest");
  if (!manifest) return false;
  std::ostringstream text;
  text << manifest.rdbuf();
  return ManifestRequiresAdministrator(text.str());
}

// Runs the words to their end; whether they ended with 0.
bool RunsToSuccess(std::vector<std::string> words) {
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    const int nothing = open("/dev/null", O_RDWR);
    if (nothing >= 0) {
      dup2(nothing, 0);
      dup2(nothing, 1);
      dup2(nothing, 2);
    }
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Starts the words as a grandchild that nobody here has to reap; its process id, or 0.
pid_t StartDetached(std::vector<std::string> words, std::vector<std::string> environment) {
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return 0;
  const pid_t child = fork();
  if (child < 0) {
    close(ends[0]);
    close(ends[1]);
    return 0;
  }
  if (child == 0) {
    const pid_t grandchild = fork();
    if (grandchild == 0) {
      setsid();
      execvpe(argv[0], argv.data(), envp.data());
      _exit(127);
    }
    const ssize_t written = write(ends[1], &grandchild, sizeof grandchild);
    _exit(written == sizeof grandchild ? 0 : 1);
  }
  close(ends[1]);
  pid_t grandchild = 0;
  const ssize_t got = read(ends[0], &grandchild, sizeof grandchild);
  close(ends[0]);
  while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
  return got == sizeof grandchild && grandchild > 0 ? grandchild : 0;
}

std::vector<std::string> SplitWords(std::u16string_view parameters) {
  std::vector<std::string> words;
  std::istringstream text(ToUtf8(parameters));
  for (std::string word; text >> word;) words.push_back(word);
  return words;
}

}  // namespace

void ProcessHandle::Close() noexcept {
  process_.Reset();
  inputIdle_.Close();
  processId_ = 0;
}

std::uint32_t LastShellError() noexcept { return t_lastError; }

bool ManifestRequiresAdministrator(std::string_view manifest) noexcept {
  return manifest.find("level=\"requireAdministrator\"") != std::string_view::npos ||
         manifest.find("level='requireAdministrator'") != std::string_view::npos;
}

bool ShellExecuteEx(SHELLEXECUTEINFO& info) {
  info.hProcess = {};
  const std::filesystem::path program = ProgramOf(info.lpFile);
  if (program.empty()) {
    info.hInstApp = ShellExecute(info.hwnd, info.lpVerb, info.lpFile, info.lpParameters,
                                 info.lpDirectory, info.nShow);
    return info.hInstApp > 32 || Fail(ERROR_FILE_NOT_FOUND);
  }

  const std::string idleName = std::string("Global\\platform.input-idle.") + std::to_string(getpid()) + "." +
                               std::to_string(g_nextIdleEvent++);
  HandleResult<Event> idle = Event::Create(EventReset::Manual, false, FromUtf8(idleName));
  if (!idle.handle) return Fail(idle.error);

  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    if (!text.starts_with(kInputIdleVariable) && !text.starts_with(kShowCommandVariable)) {
      environment.emplace_back(text);
    }
  }
  environment.push_back(std::string(kInputIdleVariable) + "=" + idleName);
  environment.push_back(std::string(kShowCommandVariable) + "=" + std::to_string(info.nShow));

  std::vector<std::string> words;
  if (ManifestAsksForAdministrator(program) && geteuid() != 0) {
    // The elevation tool may not prompt: nobody may be there to answer.
    if (!RunsToSuccess({"sudo", "-n", "true"})) return Fail(ERROR_CANCELLED);
    words = {"sudo", "-n", "env"};
    for (const std::string& entry : environment) {
      if (entry.starts_with("PLATFORM_") || entry.starts_with("XDG_")) words.push_back(entry);
    }
  }
  words.push_back(program.string());
  for (std::string& word : SplitWords(info.lpParameters)) words.push_back(std::move(word));

  const pid_t started = StartDetached(std::move(words), std::move(environment));
  if (started == 0) return Fail(ERROR_FILE_NOT_FOUND);
  info.hInstApp = 42;
  if ((info.fMask & SEE_MASK_NOCLOSEPROCESS) != 0) {
    // A program that has ended already leaves no descriptor; its idle event still tells.
    const int process = static_cast<int>(syscall(SYS_pidfd_open, started, 0));
    info.hProcess = ProcessHandle(detail::UniqueFd(process), std::move(idle.handle),
                                  static_cast<std::uint32_t>(started));
  }
  t_lastError = ERROR_SUCCESS;
  return true;
}

std::uint32_t WaitForInputIdle(const ProcessHandle& process, Timeout timeout) {
  if (process.InputIdleRef().IsNull()) return WAIT_FAILED;
  const WaitResult result = WaitForObject(process.InputIdleRef(), timeout);
  if (result.Signalled(0)) return WAIT_OBJECT_0;
  return result.status == WaitStatus::TimedOut ? WAIT_TIMEOUT : WAIT_FAILED;
}

int StartupShowCommand() noexcept {
  const char* text = std::getenv(kShowCommandVariable);
  if (text == nullptr || *text == '\0') return SW_SHOWNORMAL;
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  return *end == '\0' ? static_cast<int>(value) : SW_SHOWNORMAL;
}

namespace detail {

void NoteInputIdle() {
  static std::once_flag noted;
  std::call_once(noted, [] {
    if (const char* name = std::getenv(kInputIdleVariable); name != nullptr && *name != '\0') {
      Event::Open(FromUtf8(name)).handle.Set();
    }
  });
}

}  // namespace detail
}  // namespace platform
