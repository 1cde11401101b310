#pragma once

// A small text file of records under the platform root, shared by the root's processes: every
// change rewrites it whole into a new file that replaces the old one at once, under a lock file
// that the system frees when its holder dies. A reader therefore sees the old or the new records,
// never half of a change, and a death at any point leaves the last whole version.

#include <filesystem>
#include <functional>
#include <string>

namespace platform {

// Names one record file; the file and its lock are made at first use. Any thread of any process.
class RecordFile {
 public:
  explicit RecordFile(std::filesystem::path path);

  // The whole text; empty when the file does not exist yet.
  std::string Read() const;
  // Runs `change` on the text under the lock and writes what it leaves when it returns true.
  // False when the lock or the write fails (the old text stays).
  bool Update(const std::function<bool(std::string& text)>& change) const;
  // Runs `look` on the text while no change can be made; false when the lock fails.
  bool Hold(const std::function<void(const std::string& text)>& look) const;

  const std::filesystem::path& Path() const noexcept { return path_; }

 private:
  std::filesystem::path path_;
};

// The folder under the platform root that holds one area's files, made when missing.
std::filesystem::path RootFolder(const char* area);

}  // namespace platform
