#include "platform/com/Registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <system_error>
#include <variant>

#include "platform/base/Text.h"
#include "platform/kernel/Posix.h"
#include "platform/kernel/Root.h"

namespace platform {

namespace {

constexpr char kValuesFile[] = ".values";
constexpr char kLockFile[] = ".lock";

std::string Folded(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A key's path as folders; nullopt for an empty part or one that would leave the hive.
std::optional<std::filesystem::path> RelativeFolder(std::u16string_view key) {
  std::filesystem::path folder;
  std::size_t start = 0;
  while (start <= key.size()) {
    const std::size_t end = std::min(key.find(u'\\', start), key.size());
    const std::string part = Folded(ToUtf8(key.substr(start, end - start)));
    if (part.empty() || part.find('/') != std::string::npos || part.front() == '.') {
      return std::nullopt;
    }
    folder /= part;
    start = end + 1;
  }
  return folder;
}

// The folder of a key. The classes root is a folder of the machine's hive, so that both paths
// reach its keys.
std::optional<std::filesystem::path> KeyFolder(RegistryHive hive, std::u16string_view key) {
  const auto relative = RelativeFolder(key);
  if (!relative) return std::nullopt;
  std::filesystem::path folder = PlatformRoot() / "registry" / "machine";
  if (hive == RegistryHive::ClassesRoot) folder = folder / "software" / "classes";
  return folder / *relative;
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

using Data = std::variant<std::string, DWORD>;

struct Value {
  std::string name;  // as written
  Data data;
};

// The values of a key by folded name. A line is "name\ts\ttext" or "name\td\tnumber".
using Values = std::map<std::string, Value>;

Values ReadValues(const std::string& folder) {
  Values values;
  std::ifstream file(folder + "/" + kValuesFile);
  std::string line;
  while (std::getline(file, line)) {
    const std::size_t first = line.find('\t');
    if (first == std::string::npos || first + 3 > line.size() || line[first + 2] != '\t') continue;
    std::string name = Unescape(line.substr(0, first));
    const std::string_view rest = std::string_view(line).substr(first + 3);
    Data data;
    if (line[first + 1] == 'd') {
      DWORD number = 0;
      if (std::from_chars(rest.data(), rest.data() + rest.size(), number).ec != std::errc{}) {
        continue;
      }
      data = number;
    } else {
      data = Unescape(rest);
    }
    std::string folded = Folded(name);
    values.insert_or_assign(std::move(folded), Value{std::move(name), std::move(data)});
  }
  return values;
}

std::string Serialised(const Values& values) {
  std::string content;
  for (const auto& [folded, value] : values) {
    content += Escape(value.name);
    if (const auto* number = std::get_if<DWORD>(&value.data)) {
      content += "\td\t" + std::to_string(*number);
    } else {
      content += "\ts\t" + Escape(std::get<std::string>(value.data));
    }
    content += '\n';
  }
  return content;
}

LONG ErrorOf(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
      return ERROR_ACCESS_DENIED;
    case ENOENT:
      return ERROR_KEY_DELETED;
    case ENOSPC:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return ERROR_WRITE_FAULT;
  }
}

// Changes the values of the key in `folder` under its lock, so that writers of one key never
// lose each other's values; `change` answers whether there is anything to write.
template <class Change>
LONG ChangeValues(const std::string& folder, Change change) {
  const detail::UniqueFd lock(
      open((folder + "/" + kLockFile).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (!lock) return ErrorOf(errno);
  if (flock(lock.Get(), LOCK_EX) != 0) return ErrorOf(errno);
  Values values = ReadValues(folder);
  const LONG outcome = change(values);
  if (outcome != ERROR_SUCCESS) return outcome;
  if (!ReplaceFileAtomically(folder + "/" + kValuesFile, Serialised(values))) {
    return ErrorOf(errno);
  }
  return ERROR_SUCCESS;
}

LONG SetValue(const std::string& folder, std::u16string_view name, Data data) {
  return ChangeValues(folder, [&](Values& values) {
    std::string written = ToUtf8(name);
    std::string folded = Folded(written);
    values.insert_or_assign(std::move(folded), Value{std::move(written), std::move(data)});
    return static_cast<LONG>(ERROR_SUCCESS);
  });
}

}  // namespace

LONG RegistryKey::Open(RegistryHive hive, std::u16string_view path, REGSAM access) {
  Close();
  const auto folder = KeyFolder(hive, path);
  if (!folder) return ERROR_INVALID_NAME;
  std::error_code error;
  if (!std::filesystem::is_directory(*folder, error)) return ERROR_FILE_NOT_FOUND;
  // The key's files are its creator's: another user may read them only.
  if ((access & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY)) != 0 &&
      ::access(folder->c_str(), W_OK) != 0) {
    return ERROR_ACCESS_DENIED;
  }
  m_folder = folder->string();
  m_access = access;
  return ERROR_SUCCESS;
}

LONG RegistryKey::Create(RegistryHive hive, std::u16string_view path, REGSAM access) {
  Close();
  const auto folder = KeyFolder(hive, path);
  if (!folder) return ERROR_INVALID_NAME;
  std::error_code error;
  std::filesystem::create_directories(*folder, error);
  if (error) return ErrorOf(error.value());
  return Open(hive, path, access);
}

void RegistryKey::Close() noexcept {
  m_folder.reset();
  m_access = 0;
}

LONG RegistryKey::Writable() const {
  if (!m_folder) return ERROR_INVALID_HANDLE;
  if ((m_access & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
  return ERROR_SUCCESS;
}

LONG RegistryKey::SetStringValue(std::u16string_view name, std::u16string_view value) const {
  if (const LONG error = Writable(); error != ERROR_SUCCESS) return error;
  return SetValue(*m_folder, name, ToUtf8(value));
}

LONG RegistryKey::SetDWORDValue(std::u16string_view name, DWORD value) const {
  if (const LONG error = Writable(); error != ERROR_SUCCESS) return error;
  return SetValue(*m_folder, name, value);
}

LONG RegistryKey::QueryStringValue(std::u16string_view name, std::u16string& value) const {
  std::string text;
  const LONG error = Query(name, text);
  if (error == ERROR_SUCCESS) value = FromUtf8(text);
  return error;
}

LONG RegistryKey::QueryDWORDValue(std::u16string_view name, DWORD& value) const {
  return Query(name, value);
}

template <class T>
LONG RegistryKey::Query(std::u16string_view name, T& value) const {
  if (!m_folder) return ERROR_INVALID_HANDLE;
  if ((m_access & KEY_QUERY_VALUE) == 0) return ERROR_ACCESS_DENIED;
  std::error_code error;
  if (!std::filesystem::is_directory(*m_folder, error)) return ERROR_KEY_DELETED;
  const Values values = ReadValues(*m_folder);
  const auto found = values.find(Folded(ToUtf8(name)));
  if (found == values.end()) return ERROR_FILE_NOT_FOUND;
  const auto* data = std::get_if<T>(&found->second.data);
  if (data == nullptr) return ERROR_INVALID_DATA;
  value = *data;
  return ERROR_SUCCESS;
}

LONG RegistryKey::DeleteValue(std::u16string_view name) const {
  if (const LONG error = Writable(); error != ERROR_SUCCESS) return error;
  return ChangeValues(*m_folder, [&](Values& values) {
    return values.erase(Folded(ToUtf8(name))) > 0 ? static_cast<LONG>(ERROR_SUCCESS)
                                                  : static_cast<LONG>(ERROR_FILE_NOT_FOUND);
  });
}

LONG RegistryKey::RecurseDeleteKey(std::u16string_view path) const {
  if (!m_folder) return ERROR_INVALID_HANDLE;
  const auto relative = RelativeFolder(path);
  if (!relative) return ERROR_INVALID_NAME;
  const std::filesystem::path folder = std::filesystem::path(*m_folder) / *relative;
  std::error_code error;
  if (!std::filesystem::is_directory(folder, error)) return ERROR_FILE_NOT_FOUND;
  if (::access(folder.parent_path().c_str(), W_OK) != 0) return ERROR_ACCESS_DENIED;
  std::filesystem::remove_all(folder, error);
  return error ? ErrorOf(error.value()) : static_cast<LONG>(ERROR_SUCCESS);
}

bool RegistrySetValue(RegistryHive hive, std::u16string_view key, std::u16string_view name,
                      std::u16string_view value) {
  RegistryKey opened;
  return opened.Create(hive, key, KEY_WRITE) == ERROR_SUCCESS &&
         opened.SetStringValue(name, value) == ERROR_SUCCESS;
}

std::optional<std::u16string> RegistryGetValue(RegistryHive hive, std::u16string_view key,
                                               std::u16string_view name) {
  RegistryKey opened;
  std::u16string value;
  if (opened.Open(hive, key, KEY_READ) != ERROR_SUCCESS ||
      opened.QueryStringValue(name, value) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return value;
}

bool RegistryDeleteKey(RegistryHive hive, std::u16string_view key) {
  const auto folder = KeyFolder(hive, key);
  if (!folder) return false;
  std::error_code error;
  return std::filesystem::remove_all(*folder, error) > 0;
}

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
    const int error = errno;
    unlink(temporaryPath.c_str());
    errno = error;
    return false;
  }
  return true;
}

}  // namespace platform
