#include "platform/sessions/RootProcesses.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>
#include <system_error>

#include "platform/base/Text.h"
#include "platform/kernel/Root.h"

namespace platform::detail {
namespace {

std::optional<std::int32_t> NumberOf(std::string_view text) {
  std::int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value <= 0) {
    return std::nullopt;
  }
  return value;
}

std::string ReadWhole(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The value of one variable in a process's starting environment; nothing when it was unset.
std::optional<std::string> VariableOf(const std::string& environment, std::string_view name) {
  std::string_view rest(environment);
  while (!rest.empty()) {
    const std::size_t end = rest.find('\0');
    const std::string_view entry = rest.substr(0, end);
    if (entry.size() > name.size() && entry.starts_with(name) && entry[name.size()] == '=') {
      return std::string(entry.substr(name.size() + 1));
    }
    if (end == std::string_view::npos) {
      break;
    }
    rest.remove_prefix(end + 1);
  }
  return std::nullopt;
}

bool SameRoot(const std::optional<std::string>& theirs) {
  static const char* const ours = std::getenv("PLATFORM_ROOT");
  if (!theirs || theirs->empty()) {
    return ours == nullptr || *ours == '\0';
  }
  return std::filesystem::path(*theirs).lexically_normal() ==
         PlatformRoot().lexically_normal();
}

std::u16string ImageNameOf(std::int32_t pid) {
  const std::filesystem::path folder = "/proc/" + std::to_string(pid);
  std::error_code error;
  std::string name = std::filesystem::read_symlink(folder / "exe", error).filename().string();
  if (constexpr std::string_view kDeleted = " (deleted)"; name.ends_with(kDeleted)) {
    name.resize(name.size() - kDeleted.size());
  }
  if (error || name.empty()) {
    name = ReadWhole(folder / "comm");
    if (!name.empty() && name.back() == '\n') {
      name.pop_back();
    }
  }
  std::string lower = name;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (!lower.ends_with(".exe")) {
    name += ".exe";
  }
  return FromUtf8(name);
}

}  // namespace

std::optional<RootProcess> FindRootProcess(std::int32_t pid) {
  const std::string environment = ReadWhole("/proc/" + std::to_string(pid) + "/environ");
  if (environment.empty() || !SameRoot(VariableOf(environment, "PLATFORM_ROOT"))) {
    return std::nullopt;
  }
  const std::optional<ProcessIdentity> identity = IdentityOf(pid);
  if (!identity) {
    return std::nullopt;
  }
  RootProcess process;
  process.identity = *identity;
  if (const std::optional<std::string> session = VariableOf(environment, "PLATFORM_SESSION")) {
    std::uint32_t value = 0;
    const auto [end, error] =
        std::from_chars(session->data(), session->data() + session->size(), value);
    process.sessionId = error == std::errc() && end == session->data() + session->size() ? value : 0;
  }
  process.imageName = ImageNameOf(pid);
  return process;
}

std::vector<RootProcess> ListRootProcesses() {
  std::vector<std::int32_t> pids;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    if (const std::optional<std::int32_t> pid = NumberOf(entry.path().filename().string())) {
      pids.push_back(*pid);
    }
  }
  std::sort(pids.begin(), pids.end());
  std::vector<RootProcess> processes;
  for (const std::int32_t pid : pids) {
    if (std::optional<RootProcess> process = FindRootProcess(pid)) {
      processes.push_back(std::move(*process));
    }
  }
  return processes;
}

std::vector<std::uint32_t> ThreadsOf(std::int32_t pid) {
  std::vector<std::uint32_t> threads;
  std::error_code error;
  for (const auto& entry :
       std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
    if (const std::optional<std::int32_t> thread = NumberOf(entry.path().filename().string())) {
      threads.push_back(static_cast<std::uint32_t>(*thread));
    }
  }
  std::sort(threads.begin(), threads.end());
  return threads;
}

}  // namespace platform::detail
