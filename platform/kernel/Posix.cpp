#include "platform/kernel/Posix.h"

#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace platform::detail {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    Reset();
    descriptor_ = std::exchange(other.descriptor_, -1);
  }
  return *this;
}

void UniqueFd::Reset() noexcept {
  if (descriptor_ >= 0) {
    close(descriptor_);
    descriptor_ = -1;
  }
}

Mapping Mapping::Shared(int descriptor, std::size_t size) noexcept {
  void* address = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, descriptor, 0);
  return address == MAP_FAILED ? Mapping() : Mapping(address, size);
}

Mapping& Mapping::operator=(Mapping&& other) noexcept {
  if (this != &other) {
    Reset();
    address_ = std::exchange(other.address_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

void Mapping::Reset() noexcept {
  if (address_ != nullptr) {
    munmap(address_, size_);
    address_ = nullptr;
    size_ = 0;
  }
}

std::optional<sockaddr_un> LocalSocketAddress(const std::filesystem::path& path) noexcept {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string& text = path.native();
  if (text.size() >= sizeof address.sun_path) {
    return std::nullopt;
  }
  std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
  return address;
}

}  // namespace platform::detail
