#include "platform/sessions/RecordFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/kernel/Posix.h"
#include "platform/kernel/Root.h"

namespace platform {
namespace {

using detail::UniqueFd;

// Holds a lock on a lock file for its scope: exclusive (LOCK_EX) for a change, shared (LOCK_SH)
// for readers that need no change to come meanwhile.
class FileLock {
 public:
  FileLock(const std::filesystem::path& path, int kind)
      : file_(
            open(path.c_str(), (kind == LOCK_EX ? O_RDWR : O_RDONLY) | O_CREAT | O_CLOEXEC, 0666)) {
    if (file_ && flock(file_.Get(), kind) != 0) {
      file_.Reset();
    }
  }
  explicit operator bool() const noexcept { return static_cast<bool>(file_); }

 private:
  UniqueFd file_;  // closing it frees the lock
};

bool WriteAll(int descriptor, const std::string& text) {
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t count = write(descriptor, text.data() + written, text.size() - written);
    if (count <= 0) {
      return false;
    }
    written += static_cast<std::size_t>(count);
  }
  return true;
}

}  // namespace

RecordFile::RecordFile(std::filesystem::path path) : path_(std::move(path)) {}

std::string RecordFile::Read() const {
  std::ifstream file(path_, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

bool RecordFile::Update(const std::function<bool(std::string& text)>& change) const {
  const FileLock lock(path_.string() + ".lock", LOCK_EX);
  if (!lock) {
    return false;
  }
  std::string text = Read();
  if (!change(text)) {
    return true;
  }
  const std::filesystem::path temporary = path_.string() + ".new";
  const UniqueFd file(open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (!file || !WriteAll(file.Get(), text) || fsync(file.Get()) != 0) {
    return false;
  }
  return rename(temporary.c_str(), path_.c_str()) == 0;
}

bool RecordFile::Hold(const std::function<void(const std::string& text)>& look) const {
  const FileLock lock(path_.string() + ".lock", LOCK_SH);
  if (!lock) {
    return false;
  }
  look(Read());
  return true;
}

std::filesystem::path RootFolder(const char* area) {
  std::filesystem::path folder = PlatformRoot() / area;
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  return folder;
}

}  // namespace platform
