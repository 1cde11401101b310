#pragma once

// Files as the system's programs write them: created or opened for writing, appended, flushed.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace platform {

enum class FileCreation {
  CreateAlways,  // create, or empty an existing file
  OpenAlways,    // open an existing file, or create it
};

// Owns one file descriptor open for writing; closes it on destruction.
class File {
 public:
  File() noexcept = default;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File();

  // Opens `path` for writing; on failure the result is not open and `error` holds the system's
  // error code.
  static File OpenForWriting(const std::u16string& path, FileCreation creation,
                             std::uint32_t& error);

  bool IsOpen() const noexcept { return m_descriptor >= 0; }
  // Each returns false with the system's error code in `error` on failure.
  bool SeekToEnd(std::uint32_t& error) noexcept;
  bool Write(std::span<const std::byte> bytes, std::uint32_t& error) noexcept;
  bool Flush(std::uint32_t& error) noexcept;

 private:
  explicit File(int descriptor) noexcept : m_descriptor(descriptor) {}
  int m_descriptor = -1;
};

}  // namespace platform
