#include "platform/base/KnownFolders.h"

#include <cstdlib>

#include "platform/base/Text.h"

namespace platform {

std::optional<std::u16string> LocalAppDataFolder() {
  if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data == '/') {
    return FromUtf8(data);
  }
  if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/') {
    return FromUtf8(home) + u"/.local/share";
  }
  return std::nullopt;
}

}  // namespace platform
