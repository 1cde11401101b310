#pragma once

// The rights that every kind of object shares, whatever its own rights are: the kernel's objects
// and the service manager's use the same words.

#include <cstdint>

namespace platform {

inline constexpr std::uint32_t DELETE = 0x00010000;
inline constexpr std::uint32_t READ_CONTROL = 0x00020000;
inline constexpr std::uint32_t WRITE_DAC = 0x00040000;
inline constexpr std::uint32_t WRITE_OWNER = 0x00080000;
inline constexpr std::uint32_t SYNCHRONIZE = 0x00100000;
inline constexpr std::uint32_t STANDARD_RIGHTS_REQUIRED = DELETE | READ_CONTROL | WRITE_DAC |
                                                          WRITE_OWNER;

}  // namespace platform
