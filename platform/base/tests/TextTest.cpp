#include "platform/base/Text.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace platform {
namespace {

using namespace std::string_literals;

TEST(AnsiText, WesternCodePage) {
  EXPECT_EQ(ToAnsi(u"Sélections", AnsiCodePage::Western), "S\xE9lections");
  EXPECT_EQ(FromAnsi("S\xE9lections", AnsiCodePage::Western), u"Sélections");
  EXPECT_EQ(ToAnsi(u"€", AnsiCodePage::Western), "\x80");
  // Unmappable characters become the default character, one for a surrogate pair too.
  EXPECT_EQ(ToAnsi(u"a\u30A2b\U0001F600c", AnsiCodePage::Western), "a?b?c");
  // The five undefined bytes map to the C1 controls and back; the other C1 controls have no byte.
  const std::string undefined = "\x81\x8D\x8F\x90\x9D";
  const std::u16string controls = u"\u0081\u008D\u008F\u0090\u009D";
  EXPECT_EQ(FromAnsi(undefined, AnsiCodePage::Western), controls);
  EXPECT_EQ(ToAnsi(controls, AnsiCodePage::Western), undefined);
  EXPECT_EQ(ToAnsi(u"\u0080\u009F", AnsiCodePage::Western), "??");
}

TEST(AnsiText, JapaneseCodePageCountsBytes) {
  const std::string ansi = ToAnsi(u"ミュージック", AnsiCodePage::Japanese);
  EXPECT_EQ(ansi.size(), 12u);
  EXPECT_EQ(ansi.substr(0, 2), "\x83\x7E");
  EXPECT_EQ(FromAnsi(ansi, AnsiCodePage::Japanese), u"ミュージック");
  EXPECT_EQ(ToAnsi(u"\u00E9", AnsiCodePage::Japanese), "?");
  // A lead byte without its trail byte becomes the default character.
  EXPECT_EQ(FromAnsi("a\x83", AnsiCodePage::Japanese), u"a?");
}

TEST(AnsiText, ALoneSurrogateBecomesTheDefaultCharacterAndTakesNothingAfterIt) {
  constexpr char16_t kLead = 0xD800;
  constexpr char16_t kLastLead = 0xDBFF;
  constexpr char16_t kTrail = 0xDC00;
  struct Case {
    std::u16string text;
    std::string western;
    std::string japanese;
  };
  const Case cases[] = {
      {{kLead, u'A'}, "?A", "?A"},
      {{kLastLead, u'\u30A2'}, "??", "?\x83\x41"},
      {{u'a', kTrail, u'b'}, "a?b", "a?b"},
      {{kTrail, kLead, u'c'}, "??c", "??c"},
      {{u'x', kLead}, "x?", "x?"},
      // A lone lead surrogate before a pair: the pair stays one character.
      {{kLead, kLead, kTrail}, "??", "??"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ToAnsi(c.text, AnsiCodePage::Western), c.western) << ToUtf8(c.text);
    EXPECT_EQ(ToAnsi(c.text, AnsiCodePage::Japanese), c.japanese) << ToUtf8(c.text);
  }
}

TEST(AnsiText, ZeroCharacterEndsTheText) {
  EXPECT_EQ(ToAnsi(u"ab\0cd"s, AnsiCodePage::Western), "ab");
  EXPECT_EQ(FromAnsi("ab\0cd"s, AnsiCodePage::Western), u"ab");
}

TEST(AnsiText, ProcessCodePageIsSettable) {
  const AnsiCodePage saved = GetAnsiCodePage();
  SetAnsiCodePage(AnsiCodePage::Japanese);
  EXPECT_EQ(ToAnsi(u"ア").size(), 2u);
  SetAnsiCodePage(AnsiCodePage::Western);
  EXPECT_EQ(ToAnsi(u"ア"), "?");
  SetAnsiCodePage(saved);
}

TEST(AnsiText, ConvertsInManyThreadsAtOnce) {
  std::vector<std::thread> threads;
  for (int thread = 0; thread < 4; ++thread) {
    threads.emplace_back([] {
      for (int round = 0; round < 200; ++round) {
        ASSERT_EQ(
            FromAnsi(ToAnsi(u"Künstler アルバム", AnsiCodePage::Japanese), AnsiCodePage::Japanese),
            u"K?nstler アルバム");
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
}

TEST(Utf8Text, RoundTripsEveryPlane) {
  const std::u16string text = u"a\u00E9\u30A2\U0001F600";
  EXPECT_EQ(ToUtf8(text), "a\xC3\xA9\xE3\x82\xA2\xF0\x9F\x98\x80");
  EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
  EXPECT_EQ(FromUtf8("\xFF"
                     "a"),
            u"\uFFFDa");
}

}  // namespace
}  // namespace platform
