#include "platform/com/Registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <system_error>

#include "platform/base/Text.h"
#include "platform/kernel/Posix.h"
#include "platform/kernel/Root.h"

namespace platform {

namespace {

constexpr char kValuesFile[] = ".values";

// The folder of a key; nullopt for an empty part or one that would leave the hive.
std::optional<std::filesystem::path> KeyFolder(RegistryHive hive, std::u16string_view key) {
  std::filesystem::path folder =
      PlatformRoot() / "registry" / (hive == RegistryHive::ClassesRoot ? "classes" : "machine");
  std::size_t start = 0;
  while (start <= key.size()) {
    const std::size_t end = std::min(key.find(u'\\', start), key.size());
    std::string part = ToUtf8(key.substr(start, end - start));
    if (part.empty() || part == "." || part == ".." || part.find('/') != std::string::npos ||
        part.front() == '.') {
      return std::nullopt;
    }
    for (char& c : part) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    folder /= part;
    start = end + 1;
  }
  return folder;
}

std::string Escape(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      out += c;
    }
  }
  return out;
}

std::string Unescape(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      const char next = text[++i];
      out += next == 'n' ? '\n' : next == 't' ? '\t' : next;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string Folded(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The values of a key by folded name, each with its name as written.
using Values = std::map<std::string, std::pair<std::string, std::string>>;

Values ReadValues(const std::filesystem::path& folder) {
  Values values;
  std::ifstream file(folder / kValuesFile);
  std::string line;
  while (std::getline(file, line)) {
    const std::size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    std::string name = Unescape(line.substr(0, tab));
    values.insert_or_assign(Folded(name), std::pair{name, Unescape(line.substr(tab + 1))});
  }
  return values;
}

}  // namespace

bool ReplaceFileAtomically(const std::string& path, std::string_view content) {
  std::ostringstream temporary;
  temporary << path << ".tmp" << getpid() << '-' << std::mt19937_64{std::random_device{}()}();
  const std::string temporaryPath = temporary.str();
  {
    const detail::UniqueFd file(
        open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (!file) return false;
    std::size_t written = 0;
    while (written < content.size()) {
      const ssize_t step = write(file.Get(), content.data() + written, content.size() - written);
      if (step <= 0) {
        unlink(temporaryPath.c_str());
        return false;
      }
      written += static_cast<std::size_t>(step);
    }
    if (fsync(file.Get()) != 0) {
      unlink(temporaryPath.c_str());
      return false;
    }
  }
  if (rename(temporaryPath.c_str(), path.c_str()) != 0) {
    unlink(temporaryPath.c_str());
    return false;
  }
  return true;
}

bool RegistrySetValue(RegistryHive hive, std::u16string_view key, std::u16string_view name,
                      std::u16string_view value) {
  const auto folder = KeyFolder(hive, key);
  if (!folder) return false;
  std::error_code error;
  std::filesystem::create_directories(*folder, error);
  if (error) return false;
  // Writers of one key take turns, so that none loses another's value.
  const detail::UniqueFd lock(
      open((*folder / ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (!lock || flock(lock.Get(), LOCK_EX) != 0) return false;
  Values values = ReadValues(*folder);
  const std::string written = ToUtf8(name);
  values.insert_or_assign(Folded(written), std::pair{written, ToUtf8(value)});
  std::string content;
  for (const auto& [folded, entry] : values) {
    content += Escape(entry.first) + '\t' + Escape(entry.second) + '\n';
  }
  return ReplaceFileAtomically((*folder / kValuesFile).string(), content);
}

std::optional<std::u16string> RegistryGetValue(RegistryHive hive, std::u16string_view key,
                                               std::u16string_view name) {
  const auto folder = KeyFolder(hive, key);
  if (!folder) return std::nullopt;
  const Values values = ReadValues(*folder);
  const auto found = values.find(Folded(ToUtf8(name)));
  if (found == values.end()) return std::nullopt;
  return FromUtf8(found->second.second);
}

bool RegistryDeleteKey(RegistryHive hive, std::u16string_view key) {
  const auto folder = KeyFolder(hive, key);
  if (!folder) return false;
  std::error_code error;
  return std::filesystem::remove_all(*folder, error) > 0;
}

}  // namespace platform
