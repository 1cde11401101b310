#pragma once

// Folders the system's programs ask the shell for.

#include <optional>
#include <string>

namespace platform {

// The user's local application-data folder: $XDG_DATA_HOME, else $HOME/.local/share; none when
// neither variable is set.
std::optional<std::u16string> LocalAppDataFolder();

}  // namespace platform
