#pragma once

// The media library that the engine serves: media items with their attributes, playlists with
// their entries, and the indexes that keep queries fast on large libraries.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace platform::player {

using AttributeId = std::uint32_t;
using Attributes = std::vector<std::pair<std::u16string, std::u16string>>;

// One media item: a track, or the item by which a playlist appears among the media. Immutable.
class MediaItem {
 public:
  MediaItem(std::uint64_t sequence, std::vector<std::pair<AttributeId, std::u16string>> values);

  // Library order: a later item has a larger sequence.
  std::uint64_t Sequence() const noexcept { return m_sequence; }
  // The attribute's text; empty when the item does not have it.
  std::u16string_view Value(AttributeId attribute) const noexcept;
  const std::vector<std::pair<AttributeId, std::u16string>>& Values() const noexcept {
    return m_values;
  }

 private:
  std::uint64_t m_sequence;
  std::vector<std::pair<AttributeId, std::u16string>> m_values;  // sorted by attribute
};

using MediaRef = std::shared_ptr<const MediaItem>;
using MediaList = std::vector<MediaRef>;
using SharedMediaList = std::shared_ptr<const MediaList>;
using StringList = std::vector<std::u16string>;

// A playlist: of the library (with its media item), or detached (a query's answer, a new
// playlist). Entries are shared until a change copies them.
struct PlaylistData {
  std::u16string name;
  MediaRef item;  // null for a detached playlist
  SharedMediaList entries;
};
using PlaylistRef = std::shared_ptr<PlaylistData>;

// A library file that cannot be read, with what and where.
class LibraryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Attribute names are exact and case-sensitive; "Artist" is another name for "Author",
// "WM/AlbumTitle" for "Album" and "WM/Genre" for "Genre". Albums are told apart by their title
// and their "WM/AlbumArtist", so two albums of one title appear twice in the album strings.
// Used by one thread (the engine's).
class Library {
 public:
  Library();

  // The library file: {"tracks": [{attribute: text, ...}, ...], "playlists": [{"Name": text,
  // attribute: text, ..., "entries": [track index, ...]}, ...]}. Each playlist also appears as a
  // media item with its attributes, "Name" and "MediaType" "playlist".
  static Library FromJson(std::string_view json);
  static Library FromFile(const std::filesystem::path& path);

  // The attribute's id, made on first use; Known only looks it up.
  AttributeId Attribute(std::u16string_view name);
  std::optional<AttributeId> Known(std::u16string_view name) const;
  AttributeId AlbumId() const noexcept { return m_album; }
  AttributeId AuthorId() const noexcept { return m_author; }
  AttributeId GenreId() const noexcept { return m_genre; }
  AttributeId NameId() const noexcept { return m_name; }
  AttributeId MediaTypeId() const noexcept { return m_mediaType; }
  AttributeId DurationId() const noexcept { return m_duration; }

  const MediaList& Items() const noexcept { return m_items; }
  const std::vector<PlaylistRef>& Playlists() const noexcept { return m_playlists; }

  // Items whose attribute equals `value` exactly, in library order; "" finds the items without
  // the attribute too.
  SharedMediaList Query(AttributeId attribute, std::u16string_view value);
  // The attribute's values among the items of `mediaType`, in the order first seen; empty
  // values included.
  std::shared_ptr<const StringList> Strings(AttributeId attribute, std::u16string_view mediaType);
  // Whether an item of `mediaType` other than `item` holds the same string of `attribute` as
  // `item` does, told apart as Strings tells them (an album by its title and album artist).
  bool HoldsString(AttributeId attribute, std::u16string_view mediaType, const MediaRef& item);

  bool Contains(const MediaRef& item) const;
  MediaRef AddItem(const Attributes& attributes);
  // Removes the item from the media and from every playlist; returns the playlists it left.
  std::vector<PlaylistRef> RemoveItem(const MediaRef& item);
  PlaylistRef AddPlaylist(std::u16string_view name, const Attributes& attributes,
                          MediaList entries);
  bool RemovePlaylist(const PlaylistRef& playlist);

  // A changeable copy of shared entries (copied only when someone else holds them).
  static MediaList& Writable(SharedMediaList& entries);

 private:
  struct StringsCache {
    std::uint64_t generation = 0;
    std::shared_ptr<const StringList> values;
  };
  struct QueryCache {
    std::uint64_t generation = 0;
    SharedMediaList items;
  };

  // What makes two items' strings of `attribute` one string of Strings.
  using StringIdentity = std::pair<std::u16string_view, std::u16string_view>;
  StringIdentity Identity(AttributeId attribute, const MediaItem& item) const;
  void Index(const MediaRef& item);
  void Unindex(const MediaRef& item);
  MediaRef MakeItem(const Attributes& attributes);

  std::unordered_map<std::u16string, AttributeId> m_attributeIds;
  AttributeId m_album;
  AttributeId m_author;
  AttributeId m_genre;
  AttributeId m_name;
  AttributeId m_mediaType;
  AttributeId m_duration;
  AttributeId m_albumArtist;

  MediaList m_items;
  std::vector<PlaylistRef> m_playlists;
  std::uint64_t m_nextSequence = 1;
  std::uint64_t m_generation = 1;  // counts changes; caches of an older generation are stale

  // attribute -> non-empty value -> its items in library order
  std::unordered_map<AttributeId, std::unordered_map<std::u16string, SharedMediaList>> m_index;
  std::unordered_map<AttributeId, QueryCache> m_withoutValue;
  std::unordered_map<std::u16string, StringsCache> m_strings;  // by attribute and media type
};

// The user's own library file: "MediaPlayer/library.json" in the local application-data folder;
// none when there is no such folder.
std::optional<std::filesystem::path> UserLibraryPath();

}  // namespace platform::player
