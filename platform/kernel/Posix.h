#pragma once

// Owning wrappers of the POSIX resources under the layer's objects. Internal to the layer.

#include <sys/un.h>

#include <cstddef>
#include <filesystem>
#include <optional>
#include <utility>

namespace platform::detail {

// Owns one file descriptor; -1 is none. Move-only; one thread at a time.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int descriptor) noexcept : descriptor_(descriptor) {}
  UniqueFd(UniqueFd&& other) noexcept : descriptor_(std::exchange(other.descriptor_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { Reset(); }

  int Get() const noexcept { return descriptor_; }
  explicit operator bool() const noexcept { return descriptor_ >= 0; }
  void Reset() noexcept;

 private:
  int descriptor_ = -1;
};

// Owns one shared mapping of a file. Move-only; the bytes it maps follow their own rules.
class Mapping {
 public:
  Mapping() = default;
  // Maps `size` bytes of the file for reading and writing, shared with every process that maps it;
  // empty when that fails.
  static Mapping Shared(int descriptor, std::size_t size) noexcept;
  Mapping(Mapping&& other) noexcept
      : address_(std::exchange(other.address_, nullptr)), size_(std::exchange(other.size_, 0)) {}
  Mapping& operator=(Mapping&& other) noexcept;
  Mapping(const Mapping&) = delete;
  Mapping& operator=(const Mapping&) = delete;
  ~Mapping() { Reset(); }

  void* Address() const noexcept { return address_; }
  std::size_t Size() const noexcept { return size_; }
  explicit operator bool() const noexcept { return address_ != nullptr; }
  void Reset() noexcept;

 private:
  Mapping(void* address, std::size_t size) noexcept : address_(address), size_(size) {}

  void* address_ = nullptr;
  std::size_t size_ = 0;
};

// The address of a local socket at `path`; none when the path does not fit an address.
std::optional<sockaddr_un> LocalSocketAddress(const std::filesystem::path& path) noexcept;

}  // namespace platform::detail
