// Any bytes as a library file: either a library or a LibraryError, never a crash.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/player/Library.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    platform::player::Library library = platform::player::Library::FromJson(
        std::string_view(reinterpret_cast<const char*>(data), size));
    for (const auto& playlist : library.Playlists()) {
      static_cast<void>(library.Strings(library.AlbumId(), u"audio"));
      static_cast<void>(playlist->entries->size());
    }
  } catch (const platform::player::LibraryError&) {
  }
  return 0;
}
