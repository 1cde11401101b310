#pragma once

// The library tree of the player's main window: the tree-view control's items made from the
// engine's library. "All Music" holds the views "Album", "Album Artist", "Contributing Artist"
// and "Genre" with their entries (an artist's albums below the artist), then "My Playlists" and
// "Auto Playlists" hold the playlists. A value the library leaves empty shows as "Unknown".
// Used by the user-interface thread only, which owns the control and the engine.

#include <string>
#include <vector>

#include "platform/player/Engine.h"
#include "platform/user/TreeView.h"

namespace platform::player {

// The names the tree gives its library root and its album-artist view.
struct TreeNames {
  std::u16string library = u"All Music";
  std::u16string albumArtist = u"Album Artist";

  // The newer player's names: "Library" and "Artist".
  static TreeNames Newer() { return {u"Library", u"Artist"}; }
};

class LibraryTree {
 public:
  LibraryTree(HWND tree, Engine& engine, TreeNames names);
  LibraryTree(const LibraryTree&) = delete;
  LibraryTree& operator=(const LibraryTree&) = delete;

  // Makes every item.
  void Fill();
  // Makes the items again after a change of the media or of the playlists; the selected item
  // stays selected when an item of its path is there again.
  void RefreshMusic();
  void RefreshPlaylists();

 private:
  HTREEITEM Insert(HTREEITEM parent, std::u16string_view text);
  void FillMusic();
  void FillPlaylists();
  // Deletes the branch's children.
  void Empty(HTREEITEM branch);
  // The texts from the top to `item`, as the control hands them out.
  std::vector<std::string> PathOf(HTREEITEM item) const;
  HTREEITEM Find(const std::vector<std::string>& path) const;
  std::string TextOf(HTREEITEM item) const;
  // Runs `refill` on the branches it empties, keeping the selection where it can.
  template <class Refill>
  void Refresh(Refill refill);

  const HWND m_tree;
  Engine& m_engine;
  const TreeNames m_names;
  HTREEITEM m_music = 0;
  HTREEITEM m_myPlaylists = 0;
  HTREEITEM m_autoPlaylists = 0;
};

}  // namespace platform::player
