#include "platform/base/Format.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "platform/base/Bstr.h"
#include "platform/base/Status.h"
#include "platform/base/Text.h"

namespace platform {
namespace {

TEST(Format, IntegerConversions) {
  struct Case {
    const char16_t* format;
    std::int64_t value;
    const char16_t* expected;
  };
  const Case cases[] = {
      {u"%d", -42, u"-42"},
      {u"%u", 7, u"7"},
      {u"%2.2u", 5, u"05"},
      {u"%2.2u", 123, u"123"},
      {u"%3u", 7, u"  7"},
      {u"%4.4u", 2026, u"2026"},
      {u"%x", 255, u"ff"},
      {u"%X", 255, u"FF"},
      {u"%08x", 0x1234, u"00001234"},
      {u"%-4d|", 12, u"12  |"},
      {u"%+d", 3, u"+3"},
      {u"% d", 3, u" 3"},
      {u"%#x", 255, u"0xff"},
      {u"%o", 8, u"10"},
      {u"%5.3d", 7, u"  007"},
      {u"%05.3d", 7, u"  007"},
      {u"%lld", INT64_MIN, u"-9223372036854775808"},
      {u"%I64x", 0x123456789, u"123456789"},
      {u"%hd", 0x12345, u"9029"},
      {u"%d", 0x100000005, u"5"},
  };
  for (const Case& testCase : cases) {
    EXPECT_EQ(Format(testCase.format, testCase.value), testCase.expected)
        << ToUtf8(testCase.format);
  }
}

TEST(Format, HresultPrintsAsItsThirtyTwoBits) {
  EXPECT_EQ(Format(u"fails with hr %x", E_FAIL), u"fails with hr 80004005");
  EXPECT_EQ(Format("fails with %x", HRESULT_FROM_WIN32(ERROR_PIPE_NOT_CONNECTED)),
            "fails with 800700e9");
  EXPECT_EQ(Format(u"%d", static_cast<std::uint32_t>(0xFFFFFFFF)), u"-1");
}

TEST(Format, TextConversionsFollowTheFormatsWidth) {
  const _bstr_t title(u"Über");
  EXPECT_EQ(Format(u"[%s] [%S]", u"wide", "narrow"), u"[wide] [narrow]");
  EXPECT_EQ(Format(u"%s", title), u"Über");
  EXPECT_EQ(Format("%s/%S", "narrow", u"wide"), "narrow/wide");
  EXPECT_EQ(Format(u"%.3s|%-6s|%6s", u"abcdef", u"ab", u"ab"), u"abc|ab    |    ab");
  EXPECT_EQ(Format(u"%s", static_cast<const char16_t*>(nullptr)), u"(null)");
  EXPECT_EQ(Format(u"%c%C", u'é', 'x'), u"éx");
}

TEST(Format, StarsPercentAndMalformedConversions) {
  EXPECT_EQ(Format(u"%*d|%-*d|%.*s", 4, 1, 3, 2, 2, u"xyz"), u"   1|2  |xy");
  EXPECT_EQ(Format(u"100%%"), u"100%");
  EXPECT_EQ(Format(u"%q and %"), u"%q and %");
  // Missing arguments read as zero and empty, never as stray memory.
  EXPECT_EQ(Format(u"%d %s."), u"0 (null).");
}

}  // namespace
}  // namespace platform
