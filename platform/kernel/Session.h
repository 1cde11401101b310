#pragma once

// The session of this process, which owns the names of its objects that are not global.

#include <cstdint>

namespace platform {

// PLATFORM_SESSION (a decimal number, inherited by child processes) when the process starts, 0
// when it is unset or not a number. Any thread may call it.
std::uint32_t ProcessSessionId() noexcept;

}  // namespace platform
