#include "platform/player/LibraryGenerator.h"

#include <random>

#include <nlohmann/json.hpp>

namespace platform::player {

std::string GenerateLibraryJson(const GeneratedLibraryShape& shape) {
  std::mt19937 random(shape.seed);
  const auto chance = [&](unsigned oneIn) { return random() % oneIn == 0; };
  nlohmann::json tracks = nlohmann::json::array();
  for (std::size_t i = 0; i < shape.tracks; ++i) {
    std::size_t album = i / shape.tracksPerAlbum;
    const std::size_t artist = album / shape.albumsPerArtist;
    const std::string artistName = "Artist " + std::to_string(artist);
    nlohmann::json track = {
        {"Name", "Track " + std::to_string(i)},
        {"Duration", std::to_string(120 + random() % 300) + "." + std::to_string(random() % 10)},
        {"FileType", chance(3) ? "wma" : "mp3"},
        {"MediaType", "audio"},
        {"TrackingID", "{T" + std::to_string(i) + "}"}};
    if (!chance(100)) {
      // The first album of every twentieth artist takes the title of the album before it,
      // which is another artist's.
      if (album % (shape.albumsPerArtist * 20) == shape.albumsPerArtist) --album;
      track["Album"] = "Album " + std::to_string(album);
      track["WM/AlbumArtist"] = artistName;
    }
    if (!chance(100)) track["Author"] = artistName;
    if (!chance(50)) track["Genre"] = "Genre " + std::to_string(artist % shape.genres);
    tracks.push_back(std::move(track));
  }

  nlohmann::json playlists = nlohmann::json::array();
  const auto playlist = [&](const std::string& name, const char* type, nlohmann::json entries) {
    playlists.push_back({{"Name", name},
                         {"PlaylistType", type},
                         {"MediaContentTypes", "1"},
                         {"FileType", "wpl"},
                         {"entries", std::move(entries)}});
  };
  nlohmann::json all = nlohmann::json::array();
  for (std::size_t i = 0; i < shape.tracks; ++i) all.push_back(i);
  playlist("All Music", "Auto", std::move(all));
  for (const char* name :
       {"Music played the most", "Music added in the last month", "Fresh Finds"}) {
    nlohmann::json entries = nlohmann::json::array();
    for (int i = 0; i < 50 && shape.tracks > 0; ++i) entries.push_back(random() % shape.tracks);
    playlist(name, "Auto", std::move(entries));
  }
  for (std::size_t p = 0; p < shape.playlists; ++p) {
    nlohmann::json entries = nlohmann::json::array();
    for (int i = 0; i < 50 && shape.tracks > 0; ++i) entries.push_back(random() % shape.tracks);
    playlist("Playlist " + std::to_string(p % 10 == 1 ? p - 1 : p), "Static", std::move(entries));
  }
  return nlohmann::json{{"tracks", std::move(tracks)}, {"playlists", std::move(playlists)}}.dump();
}

}  // namespace platform::player
