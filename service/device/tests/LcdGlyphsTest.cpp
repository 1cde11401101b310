#include "service/device/LcdGlyphs.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>

namespace {

struct GlyphRow {
  char16_t m_chCharacter;
  std::uint16_t m_nCode;
};

TEST(LcdGlyphs, TellingRowsKeepTheirCodes) {
  const GlyphRow l_Rows[] = {
      {u'\u3042', 0x211}, {u'\u30A2', 0x268}, {u'\u30FC', 0x2BE},
      {u'\u4E00', 0x388}, {u'\u65E5', 0xC39}, {u'\uFF21', 0x305},
      {u'\uFF71', 0x353}, {u'\u00A0', 0x20},  {u'\u3000', 0x20},
  };
  for (const GlyphRow& l_Row : l_Rows) {
    EXPECT_EQ(MapLcdGlyph(l_Row.m_chCharacter), l_Row.m_nCode)
        << "U+" << std::hex << static_cast<int>(l_Row.m_chCharacter);
  }
  for (char16_t l_ch = 0x20; l_ch <= 0x7E; ++l_ch) {
    EXPECT_EQ(MapLcdGlyph(l_ch), l_ch);
  }
}

TEST(LcdGlyphs, CharactersWithoutGlyphShowTheSubstituteOfTheirHalf) {
  for (const char16_t l_ch : {u'\u0000', u'\u007F', u'\u0100', u'\u3094'}) {
    EXPECT_EQ(MapLcdGlyph(l_ch), 488) << static_cast<int>(l_ch);
  }
  for (const char16_t l_ch : {char16_t{0xD800}, u'\uE000', u'\uAC00', u'\uFFFD', u'\uFFFF'}) {
    EXPECT_EQ(MapLcdGlyph(l_ch), 347) << static_cast<int>(l_ch);
  }
}

TEST(LcdGlyphs, TheFontHolds7594CodesUpTo0x1DC2) {
  std::set<std::uint16_t> l_Codes;
  for (std::uint32_t l_n = 0; l_n <= 0xFFFF; ++l_n) {
    l_Codes.insert(MapLcdGlyph(static_cast<char16_t>(l_n)));
  }
  EXPECT_EQ(l_Codes.size(), 7594u);
  EXPECT_EQ(*l_Codes.begin(), 25);
  EXPECT_EQ(*l_Codes.rbegin(), 0x1DC2);
}

}  // namespace
