// Writes a generated library file: player_generate_library TRACKS FILE [SEED]

#include <charconv>
#include <cstdio>
#include <fstream>
#include <string_view>

#include "platform/player/LibraryGenerator.h"

namespace {

template <class T>
bool ParseNumber(std::string_view text, T& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

int main(int argc, char** argv) {
  platform::player::GeneratedLibraryShape shape;
  if ((argc != 3 && argc != 4) || !ParseNumber(argv[1], shape.tracks) ||
      (argc == 4 && !ParseNumber(argv[3], shape.seed))) {
    std::fprintf(stderr, "usage: %s TRACKS FILE [SEED]\n", argv[0]);
    return 2;
  }
  std::ofstream file(argv[2], std::ios::binary | std::ios::trunc);
  file << platform::player::GenerateLibraryJson(shape);
  file.close();
  if (!file) {
    std::fprintf(stderr, "%s: cannot be written\n", argv[2]);
    return 1;
  }
  return 0;
}
