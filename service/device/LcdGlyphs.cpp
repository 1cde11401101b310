#include "service/device/LcdGlyphs.h"

#include <array>
#include <cstddef>

namespace {

struct LcdGlyphRun {
  char16_t m_chFirst;
  std::uint16_t m_nCount;
  std::uint16_t m_nFirstCode;
};

#include "service/device/LcdGlyphRuns.inc"

// The font's indexes start at code 25.
constexpr std::uint16_t kFontOffset = 25;
constexpr std::size_t kTableSize = 0x8000;
using GlyphTable = std::array<std::uint16_t, kTableSize>;

// The font indexes of the characters from `p_chBase` on.
constexpr GlyphTable BuildTable(char16_t p_chBase, std::uint16_t p_nSubstituteCode) {
  GlyphTable l_Table{};
  l_Table.fill(static_cast<std::uint16_t>(p_nSubstituteCode - kFontOffset));
  for (const LcdGlyphRun& l_Run : kLcdGlyphRuns) {
    for (std::size_t i = 0; i < l_Run.m_nCount; ++i) {
      const std::size_t l_nCharacter = l_Run.m_chFirst + i;
      if (l_nCharacter >= p_chBase && l_nCharacter < p_chBase + kTableSize) {
        l_Table[l_nCharacter - p_chBase] =
            static_cast<std::uint16_t>(l_Run.m_nFirstCode + i - kFontOffset);
      }
    }
  }
  return l_Table;
}

constexpr GlyphTable kLowGlyphs = BuildTable(0x0000, kLcdGlyphLowSubstitute);
constexpr GlyphTable kHighGlyphs = BuildTable(0x8000, kLcdGlyphHighSubstitute);

}  // namespace

std::uint16_t MapLcdGlyph(char16_t p_chCharacter) {
  const std::uint16_t l_nIndex = p_chCharacter < kTableSize
                                     ? kLowGlyphs[p_chCharacter]
                                     : kHighGlyphs[p_chCharacter - kTableSize];
  return static_cast<std::uint16_t>(l_nIndex + kFontOffset);
}
