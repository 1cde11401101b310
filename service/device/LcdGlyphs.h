#pragma once

// The remote's Japanese font: the display code of each UTF-16 character.

#include <cstdint>

// One of the font's 7594 codes, 25 to 0x1DC2, so that every code fits the two-byte form of a text
// packet. A character without a glyph gets the substitute code of its half of the range: 488
// below U+8000, 347 from U+8000 on.
std::uint16_t MapLcdGlyph(char16_t p_chCharacter);
