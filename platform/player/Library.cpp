#include "platform/player/Library.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unordered_set>

#include <nlohmann/json.hpp>

#include "platform/base/Text.h"

namespace platform::player {

namespace {

constexpr std::pair<std::u16string_view, std::u16string_view> kAliases[] = {
    {u"Artist", u"Author"}, {u"WM/AlbumTitle", u"Album"}, {u"WM/Genre", u"Genre"}};

std::u16string_view Canonical(std::u16string_view name) {
  for (const auto& [alias, canonical] : kAliases) {
    if (name == alias) return canonical;
  }
  return name;
}

bool BySequence(const MediaRef& item, std::uint64_t sequence) {
  return item->Sequence() < sequence;
}

// The position of `item` in a list kept in library order, or end.
MediaList::iterator Locate(MediaList& list, const MediaRef& item) {
  const auto found = std::lower_bound(list.begin(), list.end(), item->Sequence(), BySequence);
  return found != list.end() && *found == item ? found : list.end();
}

const SharedMediaList& EmptyList() {
  static const SharedMediaList empty = std::make_shared<MediaList>();
  return empty;
}

std::string Where(std::string_view section, std::size_t index) {
  return std::string(section) + "[" + std::to_string(index) + "]";
}

Attributes ReadAttributes(const nlohmann::json& object, const std::string& where,
                          std::initializer_list<std::string_view> skipped) {
  if (!object.is_object()) throw LibraryError(where + ": expected an object");
  Attributes attributes;
  for (const auto& [key, value] : object.items()) {
    if (std::find(skipped.begin(), skipped.end(), key) != skipped.end()) continue;
    if (!value.is_string()) throw LibraryError(where + "." + key + ": expected a text");
    attributes.emplace_back(FromUtf8(key), FromUtf8(value.get_ref<const std::string&>()));
  }
  return attributes;
}

}  // namespace

MediaItem::MediaItem(std::uint64_t sequence,
                     std::vector<std::pair<AttributeId, std::u16string>> values)
    : m_sequence(sequence), m_values(std::move(values)) {
  std::sort(m_values.begin(), m_values.end(),
            [](const auto& left, const auto& right) { return left.first < right.first; });
}

std::u16string_view MediaItem::Value(AttributeId attribute) const noexcept {
  const auto found =
      std::lower_bound(m_values.begin(), m_values.end(), attribute,
                       [](const auto& entry, AttributeId wanted) { return entry.first < wanted; });
  return found != m_values.end() && found->first == attribute ? std::u16string_view(found->second)
                                                              : std::u16string_view();
}

Library::Library()
    : m_album(Attribute(u"Album")),
      m_author(Attribute(u"Author")),
      m_genre(Attribute(u"Genre")),
      m_name(Attribute(u"Name")),
      m_mediaType(Attribute(u"MediaType")),
      m_duration(Attribute(u"Duration")),
      m_albumArtist(Attribute(u"WM/AlbumArtist")) {}

Library Library::FromJson(std::string_view json) {
  nlohmann::json document;
  try {
    document = nlohmann::json::parse(json);
  } catch (const nlohmann::json::parse_error& error) {
    throw LibraryError(std::string("not a library file: ") + error.what());
  }
  if (!document.is_object()) throw LibraryError("not a library file: expected an object");
  Library library;
  const auto tracks = document.find("tracks");
  const auto playlists = document.find("playlists");
  std::vector<MediaRef> trackItems;
  if (tracks != document.end()) {
    if (!tracks->is_array()) throw LibraryError("tracks: expected a list");
    trackItems.reserve(tracks->size());
    for (std::size_t i = 0; i < tracks->size(); ++i) {
      const std::string where = Where("tracks", i);
      try {
        trackItems.push_back(library.AddItem(ReadAttributes((*tracks)[i], where, {})));
      } catch (const std::invalid_argument& error) {
        throw LibraryError(where + ": " + error.what());
      }
    }
  }
  if (playlists != document.end()) {
    if (!playlists->is_array()) throw LibraryError("playlists: expected a list");
    for (std::size_t i = 0; i < playlists->size(); ++i) {
      const nlohmann::json& playlist = (*playlists)[i];
      const std::string where = Where("playlists", i);
      Attributes attributes = ReadAttributes(playlist, where, {"Name", "entries"});
      const auto name = playlist.find("Name");
      if (name == playlist.end() || !name->is_string()) {
        throw LibraryError(where + ".Name: expected a text");
      }
      MediaList entries;
      if (const auto list = playlist.find("entries"); list != playlist.end()) {
        if (!list->is_array()) throw LibraryError(where + ".entries: expected a list");
        for (const nlohmann::json& entry : *list) {
          if (!entry.is_number_unsigned() || entry.get<std::size_t>() >= trackItems.size()) {
            throw LibraryError(where + ".entries: " + entry.dump() + " is no track's index");
          }
          entries.push_back(trackItems[entry.get<std::size_t>()]);
        }
      }
      try {
        library.AddPlaylist(FromUtf8(name->get_ref<const std::string&>()), attributes,
                            std::move(entries));
      } catch (const std::invalid_argument& error) {
        throw LibraryError(where + ": " + error.what());
      }
    }
  }
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

std::optional<AttributeId> Library::Known(std::u16string_view name) const {
  const auto found = m_attributeIds.find(std::u16string(Canonical(name)));
  if (found == m_attributeIds.end()) return std::nullopt;
  return found->second;
}

AttributeId Library::Attribute(std::u16string_view name) {
  if (const auto known = Known(name)) return *known;
  const auto id = static_cast<AttributeId>(m_attributeIds.size());
  m_attributeIds.emplace(std::u16string(Canonical(name)), id);
  return id;
}

MediaList& Library::Writable(SharedMediaList& entries) {
  if (entries.use_count() != 1) entries = std::make_shared<MediaList>(*entries);
  // Every list is made as a changeable MediaList; the const only keeps sharers from writing.
  return const_cast<MediaList&>(*entries);
}

MediaRef Library::MakeItem(const Attributes& attributes) {
  std::vector<std::pair<AttributeId, std::u16string>> values;
  values.reserve(attributes.size());
  for (const auto& [name, value] : attributes) {
    const AttributeId id = Attribute(name);
    if (std::any_of(values.begin(), values.end(), [id](const auto& v) { return v.first == id; })) {
      throw std::invalid_argument("attribute " + ToUtf8(name) + " given twice");
    }
    values.emplace_back(id, value);
  }
  return std::make_shared<const MediaItem>(m_nextSequence++, std::move(values));
}

void Library::Index(const MediaRef& item) {
  m_items.push_back(item);
  for (const auto& [attribute, value] : item->Values()) {
    if (value.empty()) continue;
    SharedMediaList& list = m_index[attribute][value];
    if (!list) list = std::make_shared<MediaList>();
    Writable(list).push_back(item);
  }
  ++m_generation;
}

void Library::Unindex(const MediaRef& item) {
  if (const auto found = Locate(m_items, item); found != m_items.end()) m_items.erase(found);
  for (const auto& [attribute, value] : item->Values()) {
    if (value.empty()) continue;
    auto& values = m_index[attribute];
    const auto list = values.find(value);
    if (list == values.end()) continue;
    MediaList& items = Writable(list->second);
    if (const auto found = Locate(items, item); found != items.end()) items.erase(found);
    if (items.empty()) values.erase(list);
  }
  ++m_generation;
}

bool Library::Contains(const MediaRef& item) const {
  const auto found = std::lower_bound(m_items.begin(), m_items.end(), item->Sequence(), BySequence);
  return found != m_items.end() && *found == item;
}

MediaRef Library::AddItem(const Attributes& attributes) {
  MediaRef item = MakeItem(attributes);
  Index(item);
  return item;
}

std::vector<PlaylistRef> Library::RemoveItem(const MediaRef& item) {
  std::vector<PlaylistRef> left;
  if (!Contains(item)) return left;
  Unindex(item);
  for (const PlaylistRef& playlist : m_playlists) {
    if (std::find(playlist->entries->begin(), playlist->entries->end(), item) ==
        playlist->entries->end()) {
      continue;
    }
    std::erase(Writable(playlist->entries), item);
    left.push_back(playlist);
  }
  return left;
}

PlaylistRef Library::AddPlaylist(std::u16string_view name, const Attributes& attributes,
                                 MediaList entries) {
  Attributes itemAttributes{{u"Name", std::u16string(name)}, {u"MediaType", u"playlist"}};
  itemAttributes.insert(itemAttributes.end(), attributes.begin(), attributes.end());
  auto playlist =
      std::make_shared<PlaylistData>(PlaylistData{std::u16string(name), MakeItem(itemAttributes),
                                                  std::make_shared<MediaList>(std::move(entries))});
  Index(playlist->item);
  m_playlists.push_back(playlist);
  return playlist;
}

bool Library::RemovePlaylist(const PlaylistRef& playlist) {
  const auto found = std::find(m_playlists.begin(), m_playlists.end(), playlist);
  if (found == m_playlists.end()) return false;
  m_playlists.erase(found);
  Unindex(playlist->item);
  return true;
}

SharedMediaList Library::Query(AttributeId attribute, std::u16string_view value) {
  if (!value.empty()) {
    const auto values = m_index.find(attribute);
    if (values == m_index.end()) return EmptyList();
    const auto list = values->second.find(std::u16string(value));
    return list == values->second.end() ? EmptyList() : list->second;
  }
  QueryCache& cache = m_withoutValue[attribute];
  if (cache.generation != m_generation || !cache.items) {
    auto items = std::make_shared<MediaList>();
    std::copy_if(m_items.begin(), m_items.end(), std::back_inserter(*items),
                 [attribute](const MediaRef& item) { return item->Value(attribute).empty(); });
    cache = {m_generation, std::move(items)};
  }
  return cache.items;
}

std::shared_ptr<const StringList> Library::Strings(AttributeId attribute,
                                                   std::u16string_view mediaType) {
  std::u16string key(mediaType);
  key.push_back(u'\0');
  key.push_back(static_cast<char16_t>(attribute));
  key.push_back(static_cast<char16_t>(attribute >> 16));
  StringsCache& cache = m_strings[key];
  if (cache.generation == m_generation && cache.values) return cache.values;

  // An album is its title with its album artist; other values stand alone. The views point
  // into the items, which outlive this walk.
  using Identity = std::pair<std::u16string_view, std::u16string_view>;
  struct IdentityHash {
    std::size_t operator()(const Identity& identity) const noexcept {
      const std::hash<std::u16string_view> hash;
      return hash(identity.first) * 31u + hash(identity.second);
    }
  };
  auto values = std::make_shared<StringList>();
  std::unordered_set<Identity, IdentityHash> seen;
  for (const MediaRef& item : m_items) {
    if (item->Value(m_mediaType) != mediaType) continue;
    const std::u16string_view value = item->Value(attribute);
    const std::u16string_view group =
        attribute == m_album ? item->Value(m_albumArtist) : std::u16string_view();
    if (seen.emplace(value, group).second) values->emplace_back(value);
  }
  cache = {m_generation, std::move(values)};
  return cache.values;
}

}  // namespace platform::player
