#include "platform/base/File.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/base/Text.h"

namespace platform {

File::File(File&& other) noexcept : m_descriptor(std::exchange(other.m_descriptor, -1)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (IsOpen()) {
      close(m_descriptor);
    }
    m_descriptor = std::exchange(other.m_descriptor, -1);
  }
  return *this;
}

File::~File() {
  if (IsOpen()) {
    close(m_descriptor);
  }
}

File File::OpenForWriting(const std::u16string& path, FileCreation creation, std::uint32_t& error) {
  const int flags =
      O_WRONLY | O_CREAT | O_CLOEXEC | (creation == FileCreation::CreateAlways ? O_TRUNC : 0);
  const int descriptor = open(ToUtf8(path).c_str(), flags, 0644);
  error = descriptor < 0 ? static_cast<std::uint32_t>(errno) : 0;
  return File(descriptor);
}

bool File::SeekToEnd(std::uint32_t& error) noexcept {
  if (lseek(m_descriptor, 0, SEEK_END) < 0) {
    error = static_cast<std::uint32_t>(errno);
    return false;
  }
  return true;
}

bool File::Write(std::span<const std::byte> bytes, std::uint32_t& error) noexcept {
  while (!bytes.empty()) {
    const ssize_t written = write(m_descriptor, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      error = written < 0 ? static_cast<std::uint32_t>(errno) : static_cast<std::uint32_t>(EIO);
      return false;
    }
    bytes = bytes.subspan(static_cast<std::size_t>(written));
  }
  return true;
}

bool File::Flush(std::uint32_t& error) noexcept {
  if (fdatasync(m_descriptor) != 0) {
    error = static_cast<std::uint32_t>(errno);
    return false;
  }
  return true;
}

}  // namespace platform
