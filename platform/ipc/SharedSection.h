#pragma once

// Named sections of memory shared by the processes of the root.

#include <cstddef>
#include <span>
#include <string_view>

#include "platform/kernel/KernelHandle.h"
#include "platform/kernel/Posix.h"

namespace platform {

// Owns one handle to a section and this process's mapping of it. The section is zero-filled when
// first created and lives while any process has it mapped; names follow the rules of events
// ("Global\" or the session). Move-only, closed by one thread; any thread may use the bytes,
// which are shared, so their users agree on an order of access (for instance through events).
class SharedSection {
 public:
  SharedSection() = default;

  // Creates the section of `size` bytes, or opens the existing one of that name, which keeps its
  // size (asking for more than it has fails with ERROR_INVALID_PARAMETER, as does size 0).
  static HandleResult<SharedSection> Create(std::u16string_view name, std::size_t size);
  // Opens the existing section of that name; ERROR_FILE_NOT_FOUND when there is none.
  static HandleResult<SharedSection> Open(std::u16string_view name);

  std::span<std::byte> Bytes() const noexcept {
    return {static_cast<std::byte*>(mapping_.Address()), mapping_.Size()};
  }
  explicit operator bool() const noexcept { return static_cast<bool>(mapping_); }
  void Close() noexcept;

 private:
  static HandleResult<SharedSection> Map(HandleResult<KernelHandle> opened, std::size_t atLeast);

  KernelHandle handle_;
  detail::Mapping mapping_;  // unmapped before the handle closes
};

}  // namespace platform
