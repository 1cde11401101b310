#pragma once

// The platform root: the one folder under which every object that crosses a process boundary
// lives, so that one root is one machine.

#include <filesystem>

namespace platform {

// PLATFORM_ROOT when it is set when the process first asks; otherwise a folder named after the
// project in $XDG_RUNTIME_DIR, in /run for root, or in the temporary folder. The folder is created
// when missing. Fixed for the life of the process; any thread may call it.
const std::filesystem::path& PlatformRoot();

// Where PlatformRoot() is or would be, without making it; for tools that must tell a missing root.
std::filesystem::path PlatformRootLocation();

}  // namespace platform
