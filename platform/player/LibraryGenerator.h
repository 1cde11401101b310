#pragma once

// Makes large library files of invented names, for benchmarks and trials.

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform::player {

struct GeneratedLibraryShape {
  std::size_t tracks = 100'000;
  std::size_t tracksPerAlbum = 10;
  std::size_t albumsPerArtist = 5;
  std::size_t genres = 40;
  std::size_t playlists = 200;  // besides "All Music" and the automatic ones
  std::uint32_t seed = 1;
};

// The library file's text: albums of `tracksPerAlbum` tracks, named "Album <n>" (the first
// album of every twentieth artist has the title of the album before it), artists "Artist <n>"
// with `albumsPerArtist` albums each, genres "Genre <n>";
// about one track in fifty has no genre, one in a hundred no album and one in a hundred no
// artist. Playlists "Playlist <n>" (every tenth named like the one before it) of fifty tracks,
// "All Music" of every track, and three automatic playlists.
std::string GenerateLibraryJson(const GeneratedLibraryShape& shape);

}  // namespace platform::player
