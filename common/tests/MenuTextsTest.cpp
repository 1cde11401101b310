#include "common/MenuTexts.h"

#include <gtest/gtest.h>

#include "common/WMPException.h"

namespace {

class LanguageRule : public ::testing::Test {
 protected:
  void TearDown() override { ApplyLanguageRule(platform::kLanguageEnglishUs); }
};

TEST_F(LanguageRule, PrimaryLanguagePicksIndexAndLinesPerPage) {
  struct Case {
    platform::LanguageId language;
    int index;
    int lines;
  };
  const Case cases[] = {
      {0x0409, 0, 6}, {0x040C, 1, 6}, {0x0C0C, 1, 6}, {0x0407, 2, 6}, {0x0C0A, 3, 6},
      {0x080A, 3, 6}, {0x0411, 4, 5}, {0x0416, 0, 6}, {0x0410, 0, 6}, {0x0804, 0, 6},
  };
  for (const Case& testCase : cases) {
    ApplyLanguageRule(testCase.language);
    EXPECT_EQ(g_nLanguageIndex, testCase.index) << std::hex << testCase.language;
    EXPECT_EQ(g_nLinesPerPage, testCase.lines) << std::hex << testCase.language;
  }
}

TEST_F(LanguageRule, TextsFollowTheIndex) {
  ApplyLanguageRule(0x040C);
  EXPECT_EQ(Localized(g_ShuffleOnText).view(), u"Lecture al éatoire - Marche");
  EXPECT_EQ(Localized(g_CategoryTexts[kCategoryPlaylists]).view(), u"Sélections");
  ApplyLanguageRule(0x0411);
  EXPECT_EQ(Localized(g_CategoryTexts[kCategoryNowPlaying]).view(), u"再生中");
  EXPECT_EQ(Localized(g_NothingPlayingTexts[2]).view(), u"いません");
  ApplyLanguageRule(0x0407);
  EXPECT_EQ(Localized(g_UnknownArtistText).view(), u"-Künstler unbekannt-");
  ApplyLanguageRule(0x0416);
  EXPECT_EQ(Localized(g_CategoryTexts[kCategoryMusicLibrary]).view(), u"Music Library");
}

TEST(WMPException, CarriesItsTextThroughACatch) {
  try {
    throw CWMPException(u"getByAlbum fails");
  } catch (const CWMPException& exception) {
    EXPECT_EQ(std::u16string(exception.GetText()), u"getByAlbum fails");
  }
  const CWMPException empty(nullptr);
  EXPECT_EQ(std::u16string(empty.GetText()), u"");
}

}  // namespace
