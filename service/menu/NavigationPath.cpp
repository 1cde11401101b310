#include "service/menu/NavigationPath.h"

#include <string_view>

#include "common/Edition.h"
#include "common/MenuTexts.h"

int GetPlaylistCategory(const NavigationPath& p_Path) {
  if (p_Path.empty()) {
    return kPlaylistCategoryNone;
  }
  const std::u16string_view first = p_Path.front().view();
  // The second build also knows the newer player's name of the library's root.
  if (first == u"All Music" || (kEdition == Edition::Second && first == u"Library")) {
    return kPlaylistCategoryAllMusic;
  }
  if (first == u"My Playlists") {
    return kPlaylistCategoryMyPlaylists;
  }
  if (first == u"Auto Playlists") {
    return kPlaylistCategoryAutoPlaylists;
  }
  return kPlaylistCategoryNone;
}

int GetAttributeCategory(const NavigationPath& p_Path) {
  if (p_Path.size() < 2) {
    return kAttributeCategoryNone;
  }
  const std::u16string_view second = p_Path[1].view();
  if (second == u"Album") {
    return kAttributeCategoryAlbum;
  }
  // The second build also knows the newer player's "Artist" view.
  if (second == u"Album Artist" || second == u"Contributing Artist" ||
      (kEdition == Edition::Second && second == u"Artist")) {
    return kAttributeCategoryArtist;
  }
  if (second == u"Genre") {
    return kAttributeCategoryGenre;
  }
  return kAttributeCategoryNone;
}

NavigationPath LocalizeUnknownLines(NavigationPath p_Path) {
  for (_bstr_t& entry : p_Path) {
    if (entry.view() == u"Unknown") {
      entry = Localized(g_UnknownEntryText);
    }
  }
  return p_Path;
}
