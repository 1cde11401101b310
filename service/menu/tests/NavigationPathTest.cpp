#include "service/menu/NavigationPath.h"

#include <gtest/gtest.h>

#include "common/Edition.h"
#include "common/MenuTexts.h"

namespace {

constexpr bool kSecond = kEdition == Edition::Second;

TEST(NavigationPath, Categories) {
  struct Case {
    NavigationPath path;
    int playlist;
    int attribute;
  };
  const Case cases[] = {
      {{}, kPlaylistCategoryNone, kAttributeCategoryNone},
      {{u"All Music"}, kPlaylistCategoryAllMusic, kAttributeCategoryNone},
      {{u"All Music", u"Album", u"Blue"}, kPlaylistCategoryAllMusic, kAttributeCategoryAlbum},
      {{u"All Music", u"Album Artist"}, kPlaylistCategoryAllMusic, kAttributeCategoryArtist},
      {{u"All Music", u"Contributing Artist", u"X"},
       kPlaylistCategoryAllMusic,
       kAttributeCategoryArtist},
      {{u"All Music", u"Genre"}, kPlaylistCategoryAllMusic, kAttributeCategoryGenre},
      {{u"All Music", u"Year"}, kPlaylistCategoryAllMusic, kAttributeCategoryNone},
      {{u"All Music", u"album"}, kPlaylistCategoryAllMusic, kAttributeCategoryNone},
      {{u"My Playlists", u"Road"}, kPlaylistCategoryMyPlaylists, kAttributeCategoryNone},
      {{u"Auto Playlists"}, kPlaylistCategoryAutoPlaylists, kAttributeCategoryNone},
      {{u"all music", u"Album"}, kPlaylistCategoryNone, kAttributeCategoryAlbum},
      {{u"Library", u"Genre"},
       kSecond ? kPlaylistCategoryAllMusic : kPlaylistCategoryNone,
       kAttributeCategoryGenre},
      {{u"library", u"Artist"},
       kPlaylistCategoryNone,
       kSecond ? kAttributeCategoryArtist : kAttributeCategoryNone},
      {{u"All Music", u"artist"}, kPlaylistCategoryAllMusic, kAttributeCategoryNone},
  };
  for (const Case& testCase : cases) {
    EXPECT_EQ(GetPlaylistCategory(testCase.path), testCase.playlist);
    EXPECT_EQ(GetAttributeCategory(testCase.path), testCase.attribute);
  }
}

TEST(NavigationPath, LocalizeUnknownLinesReplacesOnlyTheExactWord) {
  ApplyLanguageRule(0x0407);
  const NavigationPath localized =
      LocalizeUnknownLines({u"All Music", u"Album", u"Unknown", u"unknown"});
  ApplyLanguageRule(0x0409);
  const NavigationPath expected{u"All Music", u"Album", u"-Unbekannt-", u"unknown"};
  EXPECT_EQ(localized, expected);
}

}  // namespace
