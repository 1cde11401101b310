#include "platform/player/app/LibraryTree.h"

#include <array>
#include <unordered_map>
#include <unordered_set>

#include "platform/base/Text.h"
#include "platform/user/Window.h"

namespace platform::player {

namespace {

constexpr std::u16string_view kUnknown = u"Unknown";
// Longer texts come cut, as they come to anyone who reads the control.
constexpr int kTextLimit = 512;

std::u16string_view Shown(std::u16string_view value) { return value.empty() ? kUnknown : value; }

// The albums of each artist (by `artist`), each album once, in library order.
std::unordered_map<std::u16string, std::vector<std::u16string>> AlbumsByArtist(
    const Library& library, AttributeId artist) {
  std::unordered_map<std::u16string, std::vector<std::u16string>> albums;
  std::unordered_map<std::u16string, std::unordered_set<std::u16string>> seen;
  for (const MediaRef& item : library.Items()) {
    if (item->Value(library.MediaTypeId()) != u"audio") continue;
    std::u16string name(item->Value(artist));
    std::u16string album(item->Value(library.AlbumId()));
    if (seen[name].insert(album).second) albums[std::move(name)].push_back(std::move(album));
  }
  return albums;
}

}  // namespace

LibraryTree::LibraryTree(HWND tree, Engine& engine, TreeNames names)
    : m_tree(tree), m_engine(engine), m_names(std::move(names)) {}

HTREEITEM LibraryTree::Insert(HTREEITEM parent, std::u16string_view text) {
  const std::u16string owned(Shown(text));
  TVINSERTSTRUCTW insert;
  insert.hParent = parent;
  insert.hInsertAfter = TVI_LAST;
  insert.pszText = owned.c_str();
  return static_cast<HTREEITEM>(
      SendMessage(m_tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

void LibraryTree::Fill() {
  SendMessage(m_tree, TVM_DELETEITEM, 0, static_cast<LPARAM>(TVI_ROOT));
  m_music = Insert(TVI_ROOT, m_names.library);
  m_myPlaylists = Insert(TVI_ROOT, u"My Playlists");
  m_autoPlaylists = Insert(TVI_ROOT, u"Auto Playlists");
  FillMusic();
  FillPlaylists();
}

void LibraryTree::FillMusic() {
  Library& library = m_engine.MediaLibrary();
  const HTREEITEM albums = Insert(m_music, u"Album");
  for (const std::u16string& album : *library.Strings(library.AlbumId(), u"audio")) {
    Insert(albums, album);
  }
  const std::array<std::pair<std::u16string_view, AttributeId>, 2> artistViews{
      std::pair{std::u16string_view(m_names.albumArtist), library.Attribute(u"WM/AlbumArtist")},
      std::pair{std::u16string_view(u"Contributing Artist"), library.AuthorId()}};
  for (const auto& [view, attribute] : artistViews) {
    const HTREEITEM artists = Insert(m_music, view);
    const auto albumsOf = AlbumsByArtist(library, attribute);
    for (const std::u16string& artist : *library.Strings(attribute, u"audio")) {
      const HTREEITEM artistItem = Insert(artists, artist);
      if (const auto found = albumsOf.find(artist); found != albumsOf.end()) {
        for (const std::u16string& album : found->second) Insert(artistItem, album);
      }
    }
  }
  const HTREEITEM genres = Insert(m_music, u"Genre");
  for (const std::u16string& genre : *library.Strings(library.GenreId(), u"audio")) {
    Insert(genres, genre);
  }
}

void LibraryTree::FillPlaylists() {
  Library& library = m_engine.MediaLibrary();
  const std::optional<AttributeId> type = library.Known(u"PlaylistType");
  for (const PlaylistRef& playlist : library.Playlists()) {
    const bool automatic = type && playlist->item && playlist->item->Value(*type) == u"Auto";
    Insert(automatic ? m_autoPlaylists : m_myPlaylists, playlist->name);
  }
}

std::string LibraryTree::TextOf(HTREEITEM item) const {
  std::array<char, kTextLimit> text{};
  TVITEMA request;
  request.mask = TVIF_TEXT;
  request.hItem = item;
  request.pszText = text.data();
  request.cchTextMax = kTextLimit;
  if (SendMessage(m_tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&request)) == 0) return {};
  return text.data();
}

std::vector<std::string> LibraryTree::PathOf(HTREEITEM item) const {
  std::vector<std::string> path;
  for (; item != 0;
       item = static_cast<HTREEITEM>(SendMessage(m_tree, TVM_GETNEXTITEM, TVGN_PARENT,
                                                 static_cast<LPARAM>(item)))) {
    path.insert(path.begin(), TextOf(item));
  }
  return path;
}

HTREEITEM LibraryTree::Find(const std::vector<std::string>& path) const {
  HTREEITEM found = 0;
  for (const std::string& text : path) {
    HTREEITEM child = static_cast<HTREEITEM>(SendMessage(
        m_tree, TVM_GETNEXTITEM, TVGN_CHILD, static_cast<LPARAM>(found == 0 ? TVI_ROOT : found)));
    while (child != 0 && TextOf(child) != text) {
      child = static_cast<HTREEITEM>(
          SendMessage(m_tree, TVM_GETNEXTITEM, TVGN_NEXT, static_cast<LPARAM>(child)));
    }
    if (child == 0) break;
    found = child;
  }
  return found;
}

template <class Refill>
void LibraryTree::Refresh(Refill refill) {
  const std::vector<std::string> selected =
      PathOf(static_cast<HTREEITEM>(SendMessage(m_tree, TVM_GETNEXTITEM, TVGN_CARET, 0)));
  refill();
  if (selected.empty()) return;
  SendMessage(m_tree, TVM_SELECTITEM, TVGN_CARET, static_cast<LPARAM>(Find(selected)));
}

void LibraryTree::Empty(HTREEITEM branch) {
  for (HTREEITEM child; (child = static_cast<HTREEITEM>(SendMessage(
                             m_tree, TVM_GETNEXTITEM, TVGN_CHILD, static_cast<LPARAM>(branch)))) !=
                        0;) {
    SendMessage(m_tree, TVM_DELETEITEM, 0, static_cast<LPARAM>(child));
  }
}

void LibraryTree::RefreshMusic() {
  Refresh([this] {
    Empty(m_music);
    FillMusic();
  });
}

void LibraryTree::RefreshPlaylists() {
  Refresh([this] {
    Empty(m_myPlaylists);
    Empty(m_autoPlaylists);
    FillPlaylists();
  });
}

}  // namespace platform::player
