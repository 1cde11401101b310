#pragma once

// The running process: its executable, its ids and its thread ids.

#include <cstdint>
#include <string>

namespace platform {

// Full path of the process's executable, as a native path.
std::u16string ModulePath();

// The process's whole command line: the program and its arguments as it was started, separated
// by single spaces.
std::u16string GetCommandLineW();

std::uint32_t CurrentProcessId() noexcept;
std::uint32_t CurrentThreadId() noexcept;

// The last system error of this thread (errno), as the system's failure texts report it.
std::uint32_t LastSystemError() noexcept;

}  // namespace platform
