// Reading the library file, streamed: no document tree is built, so that a library of 100 000
// tracks loads in a fraction of a second.

#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/base/KnownFolders.h"
#include "platform/base/Text.h"
#include "platform/player/Library.h"

namespace platform::player {

namespace {

using Json = nlohmann::json;

// A playlist as read; its entries are track indexes, resolved when every track is known.
struct PendingPlaylist {
  std::string where;
  std::optional<std::u16string> name;
  Attributes attributes;
  std::vector<std::size_t> entries;
};

// The reader's position in the file's fixed shape:
//   {"tracks": [{key: text, ...}, ...], "playlists": [{key: text | "entries": [index, ...]}, ...]}
// Values under other top-level keys are skipped.
class LibraryReader final : public nlohmann::json_sax<Json> {
 public:
  explicit LibraryReader(Library& library) : m_library(library) {}

  // After a successful parse: the playlists, with their entries resolved.
  void Finish() {
    for (PendingPlaylist& playlist : m_playlists) {
      if (!playlist.name) throw LibraryError(playlist.where + ".Name: expected a text");
      MediaList entries;
      entries.reserve(playlist.entries.size());
      for (const std::size_t index : playlist.entries) {
        if (index >= m_tracks.size()) {
          throw LibraryError(playlist.where + ".entries: " + std::to_string(index) +
                             " is no track's index");
        }
        entries.push_back(m_tracks[index]);
      }
      Guarded(playlist.where, [&] {
        m_library.AddPlaylist(*playlist.name, playlist.attributes, std::move(entries));
      });
    }
  }

  bool null() override { return Scalar("null"); }
  bool boolean(bool) override { return Scalar("a truth value"); }
  bool number_integer(number_integer_t value) override {
    if (m_state == State::Entries)
      throw Error(".entries: " + std::to_string(value) + " is no track's index");
    return Scalar("a number");
  }
  bool number_unsigned(number_unsigned_t value) override {
    if (m_state == State::Entries) {
      m_playlists.back().entries.push_back(static_cast<std::size_t>(value));
      return true;
    }
    return Scalar("a number");
  }
  bool number_float(number_float_t, const string_t& text) override {
    if (m_state == State::Entries) throw Error(".entries: " + text + " is no track's index");
    return Scalar("a number");
  }
  bool binary(binary_t&) override { return Scalar("binary data"); }
  bool string(string_t& value) override {
    if (m_skipping > 0 || m_state == State::SkipValue) return Skipped();
    if (m_state == State::TrackValue || m_state == State::PlaylistValue) {
      std::u16string text = FromUtf8(value);
      if (m_state == State::PlaylistValue && m_key == "Name") {
        m_playlists.back().name = std::move(text);
      } else {
        CurrentAttributes().emplace_back(FromUtf8(m_key), std::move(text));
      }
      m_state = m_state == State::TrackValue ? State::Track : State::Playlist;
      return true;
    }
    return Scalar("a text");
  }

  bool start_object(std::size_t) override {
    if (m_skipping > 0 || m_state == State::SkipValue) return Nest();
    switch (m_state) {
      case State::Start:
        m_state = State::Top;
        return true;
      case State::Tracks:
        m_state = State::Track;
        m_trackAttributes.clear();
        return true;
      case State::Playlists:
        m_state = State::Playlist;
        m_playlists.push_back({Where("playlists", m_playlistIndex), std::nullopt, {}, {}});
        return true;
      default:
        return Scalar("an object");
    }
  }
  bool end_object() override {
    if (m_skipping > 0) return Unnest();
    switch (m_state) {
      case State::Track: {
        const std::string where = Where("tracks", m_tracks.size());
        Guarded(where, [&] { m_tracks.push_back(m_library.AddItem(m_trackAttributes)); });
        m_state = State::Tracks;
        return true;
      }
      case State::Playlist:
        ++m_playlistIndex;
        m_state = State::Playlists;
        return true;
      default:
        m_state = State::Done;
        return true;
    }
  }
  bool start_array(std::size_t) override {
    if (m_skipping > 0 || m_state == State::SkipValue) return Nest();
    switch (m_state) {
      case State::TracksValue:
        m_state = State::Tracks;
        return true;
      case State::PlaylistsValue:
        m_state = State::Playlists;
        return true;
      case State::EntriesValue:
        m_state = State::Entries;
        return true;
      default:
        return Scalar("a list");
    }
  }
  bool end_array() override {
    if (m_skipping > 0) return Unnest();
    m_state = m_state == State::Entries ? State::Playlist : State::Top;
    return true;
  }
  bool key(string_t& name) override {
    if (m_skipping > 0) return true;
    m_key = name;
    switch (m_state) {
      case State::Top:
        m_state = name == "tracks"      ? State::TracksValue
                  : name == "playlists" ? State::PlaylistsValue
                                        : State::SkipValue;
        return true;
      case State::Track:
        m_state = State::TrackValue;
        return true;
      case State::Playlist:
        m_state = name == "entries" ? State::EntriesValue : State::PlaylistValue;
        return true;
      default:
        return true;
    }
  }
  bool parse_error(std::size_t, const std::string&,
                   const nlohmann::detail::exception& error) override {
    throw LibraryError(std::string("not a library file: ") + error.what());
  }

 private:
  enum class State {
    Start,
    Top,
    SkipValue,
    TracksValue,
    Tracks,
    Track,
    TrackValue,
    PlaylistsValue,
    Playlists,
    Playlist,
    PlaylistValue,
    EntriesValue,
    Entries,
    Done
  };

  static std::string Where(std::string_view section, std::size_t index) {
    return std::string(section) + "[" + std::to_string(index) + "]";
  }

  // Where the reader stands, for a message.
  std::string Here() const {
    switch (m_state) {
      case State::TracksValue:
        return "tracks";
      case State::PlaylistsValue:
        return "playlists";
      case State::Tracks:
        return Where("tracks", m_tracks.size());
      case State::Playlists:
        return Where("playlists", m_playlistIndex);
      case State::TrackValue:
        return Where("tracks", m_tracks.size()) + "." + m_key;
      case State::PlaylistValue:
      case State::EntriesValue:
      case State::Entries:
        return Where("playlists", m_playlistIndex) + "." + m_key;
      default:
        return "not a library file";
    }
  }

  LibraryError Error(const std::string& what) const {
    return LibraryError(Where("playlists", m_playlistIndex) + what);
  }

  // A value where the shape has no place for it.
  bool Scalar(const char* what) {
    if (m_skipping > 0 || m_state == State::SkipValue) return Skipped();
    const char* expected = m_state == State::Start ? "an object"
                           : m_state == State::TrackValue || m_state == State::PlaylistValue
                               ? "a text"
                           : m_state == State::Tracks || m_state == State::Playlists ? "an object"
                           : m_state == State::Entries ? "a track's index"
                                                       : "a list";
    throw LibraryError(Here() + ": expected " + expected + ", not " + what);
  }
  bool Skipped() {
    if (m_skipping == 0) m_state = State::Top;
    return true;
  }
  bool Nest() {
    ++m_skipping;
    return true;
  }
  bool Unnest() {
    if (--m_skipping == 0) m_state = State::Top;
    return true;
  }

  Attributes& CurrentAttributes() {
    return m_state == State::TrackValue ? m_trackAttributes : m_playlists.back().attributes;
  }

  template <class Action>
  static void Guarded(const std::string& where, Action action) {
    try {
      action();
    } catch (const std::invalid_argument& error) {
      throw LibraryError(where + ": " + error.what());
    }
  }

  Library& m_library;
  State m_state = State::Start;
  int m_skipping = 0;  // depth inside a skipped value
  std::string m_key;
  Attributes m_trackAttributes;
  std::vector<MediaRef> m_tracks;
  std::vector<PendingPlaylist> m_playlists;
  std::size_t m_playlistIndex = 0;
};

}  // namespace

Library Library::FromJson(std::string_view json) {
  Library library;
  LibraryReader reader(library);
  Json::sax_parse(json, &reader);
  reader.Finish();
  return library;
}

Library Library::FromFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw LibraryError(path.string() + ": cannot be opened");
  const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  try {
    return FromJson(text);
  } catch (const LibraryError& error) {
    throw LibraryError(path.string() + ": " + error.what());
  }
}

std::optional<std::filesystem::path> UserLibraryPath() {
  const std::optional<std::u16string> folder = LocalAppDataFolder();
  if (!folder) return std::nullopt;
  return std::filesystem::path(ToUtf8(*folder)) / "MediaPlayer" / "library.json";
}

}  // namespace platform::player
