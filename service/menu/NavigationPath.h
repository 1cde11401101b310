#pragma once

// The navigation path by which the player's library-tree selection arrives: one name per level of
// the player's tree, from the top-level item down to the selected item.

#include <vector>

#include "platform/base/Bstr.h"

using NavigationPath = std::vector<_bstr_t>;

// Playlist categories, from the path's first entry.
inline constexpr int kPlaylistCategoryNone = 0;
inline constexpr int kPlaylistCategoryAllMusic = 1;
inline constexpr int kPlaylistCategoryMyPlaylists = 2;
inline constexpr int kPlaylistCategoryAutoPlaylists = 3;

// Attribute categories, from the path's second entry; they are also the indexes of the root's
// albums, artists and genres children.
inline constexpr int kAttributeCategoryNone = 0;
inline constexpr int kAttributeCategoryAlbum = 1;
inline constexpr int kAttributeCategoryArtist = 2;
inline constexpr int kAttributeCategoryGenre = 3;

int GetPlaylistCategory(const NavigationPath& p_Path);
int GetAttributeCategory(const NavigationPath& p_Path);

// The path with every entry equal to "Unknown" replaced by the unknown word of the user's language.
NavigationPath LocalizeUnknownLines(NavigationPath p_Path);
