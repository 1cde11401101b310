#include "platform/base/Language.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>

#include "platform/base/StringTable.h"

namespace platform {
namespace {

TEST(Language, LocaleNames) {
  struct Case {
    const char* locale;
    std::optional<LanguageId> id;
  };
  const Case cases[] = {
      {"ja_JP.UTF-8", 0x0411}, {"fr_FR", 0x040C}, {"fr_CA.UTF-8", 0x0C0C}, {"de", 0x0407},
      {"de_DE@euro", 0x0407},  {"es_ES", 0x0C0A}, {"pt_BR", 0x0416},       {"it_IT", 0x0410},
      {"en_US", 0x0409},       {"zh_CN", 0x0804}, {"C", std::nullopt},     {"POSIX", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& testCase : cases) {
    EXPECT_EQ(LanguageIdFromLocale(testCase.locale), testCase.id) << testCase.locale;
  }
}

class LanguageEnvironment : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : kNames) {
      unsetenv(name);
    }
  }
  void TearDown() override { SetUp(); }
  static constexpr const char* kNames[] = {"PLATFORM_UI_LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
};

TEST_F(LanguageEnvironment, FirstSetVariableDecides) {
  EXPECT_EQ(UserInterfaceLanguage(), kLanguageEnglishUs);
  setenv("LANG", "de_DE.UTF-8", 1);
  EXPECT_EQ(UserInterfaceLanguage(), 0x0407);
  setenv("LC_MESSAGES", "ja_JP.UTF-8", 1);
  EXPECT_EQ(UserInterfaceLanguage(), 0x0411);
  setenv("LC_ALL", "C.UTF-8", 1);
  EXPECT_EQ(UserInterfaceLanguage(), kLanguageEnglishUs);
  setenv("PLATFORM_UI_LANGUAGE", "0x040C", 1);
  EXPECT_EQ(UserInterfaceLanguage(), 0x040C);
  setenv("PLATFORM_UI_LANGUAGE", "es", 1);
  EXPECT_EQ(UserInterfaceLanguage(), 0x0C0A);
}

TEST(StringTable, FallsBackByPrimaryLanguageThenNeutral) {
  static constexpr StringResource kResources[] = {
      {209, 0, u"Start"},
      {209, 7, u"Starten"},
      {209, 17, u"スタート"},
      {210, 0x0409, u"Stop"},
  };
  const StringTable table(kResources);
  EXPECT_EQ(table.Find(209, 0x0407), u"Starten");
  EXPECT_EQ(table.Find(209, 0x0411), u"スタート");
  EXPECT_EQ(table.Find(209, 0x0410), u"Start");
  EXPECT_EQ(table.Find(210, 0x0411), u"Stop");
  EXPECT_EQ(table.Find(999, 0x0409), u"");
}

}  // namespace
}  // namespace platform
