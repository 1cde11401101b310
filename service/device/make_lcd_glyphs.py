#!/usr/bin/env python3
"""Writes LcdGlyphRuns.inc, the display codes of the remote's Japanese font.

The font holds, in this order of its codes (code = font index + 25):
  1. U+0019 to U+007E, so that printable ASCII keeps its own codes;
  2. in character order, the other graphic characters of code page 932 below U+4E00, with the
     graphic characters of code page 1252 that 932 lacks, for Western titles;
  3. the half-width and full-width forms of 932 (U+FF00 to U+FFEF);
  4. the ideographs of 932 (U+4E00 to U+9FFF, U+F900 to U+FAFF). The font's memory ends at code
     0x1DC2, one glyph short: the last of them, U+FA2D, shows its unified twin U+9DB4.
The two spaces U+00A0 and U+3000 show as the space 0x20. A character without a glyph shows the
white square U+25A1 below U+8000 and the em dash U+2014 from U+8000 on.

The repertoires are the system's own iconv conversions (glibc), so that the font covers what the
code page conversions of the platform can produce.

Usage: make_lcd_glyphs.py OUTPUT      writes the table
       make_lcd_glyphs.py --check FILE  exits 1 when FILE differs from what would be written
"""

import ctypes
import ctypes.util
import sys
import unicodedata

FONT_OFFSET = 25
LAST_CODE = 0x1DC2


class Iconv:
    """One iconv conversion from a code page to UTF-16LE."""

    def __init__(self, code_page):
        self.libc = ctypes.CDLL(ctypes.util.find_library("c"), use_errno=True)
        self.libc.iconv_open.restype = ctypes.c_void_p
        self.libc.iconv_open.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
        self.libc.iconv.restype = ctypes.c_size_t
        pointer = ctypes.POINTER(ctypes.c_char_p)
        size = ctypes.POINTER(ctypes.c_size_t)
        self.libc.iconv.argtypes = [ctypes.c_void_p, pointer, size, pointer, size]
        self.libc.iconv_close.argtypes = [ctypes.c_void_p]
        self.handle = self.libc.iconv_open(b"UTF-16LE", code_page.encode())
        if self.handle in (None, ctypes.c_void_p(-1).value):
            raise OSError(f"iconv cannot convert from {code_page}")

    def close(self):
        self.libc.iconv_close(self.handle)

    def character(self, encoded):
        """The one UTF-16 code unit that `encoded` stands for, or None."""
        self.libc.iconv(self.handle, None, None, None, None)
        source = ctypes.create_string_buffer(encoded, len(encoded))
        target = ctypes.create_string_buffer(8)
        source_pointer = ctypes.c_char_p(ctypes.addressof(source))
        target_pointer = ctypes.c_char_p(ctypes.addressof(target))
        source_left = ctypes.c_size_t(len(encoded))
        target_left = ctypes.c_size_t(len(target))
        result = self.libc.iconv(self.handle, ctypes.byref(source_pointer),
                                 ctypes.byref(source_left), ctypes.byref(target_pointer),
                                 ctypes.byref(target_left))
        written = len(target) - target_left.value
        if result == ctypes.c_size_t(-1).value or source_left.value or written != 2:
            return None
        return int.from_bytes(target.raw[:2], "little")


def repertoire(code_page, sequences):
    converter = Iconv(code_page)
    try:
        found = {converter.character(bytes(sequence)) for sequence in sequences}
    finally:
        converter.close()
    found.discard(None)
    return found


def cp932_sequences():
    yield from ([byte] for byte in range(0x100))
    for lead in [*range(0x81, 0xA0), *range(0xE0, 0xFD)]:
        for trail in [*range(0x40, 0x7F), *range(0x80, 0xFD)]:
            yield [lead, trail]


def graphic(character):
    return unicodedata.category(chr(character))[0] not in "CZ"


def is_ideograph(character):
    return 0x4E00 <= character <= 0x9FFF or 0xF900 <= character <= 0xFAFF


def font_order():
    cp932 = repertoire("CP932", cp932_sequences())
    cp1252 = repertoire("CP1252", ([byte] for byte in range(0x80, 0x100)))
    symbols = {c for c in cp932 if 0x7F < c < 0x4E00 and graphic(c)}
    symbols |= {c for c in cp1252 if c not in cp932 and graphic(c)}
    forms = {c for c in cp932 if 0xFF00 <= c <= 0xFFEF}
    ideographs = {c for c in cp932 if is_ideograph(c)}
    order = [*range(0x19, 0x7F), *sorted(symbols), *sorted(forms), *sorted(ideographs)]
    twin_of = {0xFA2D: 0x9DB4}
    if order[-1] not in twin_of:
        raise SystemExit(f"the last ideograph is U+{order[-1]:04X}, not U+FA2D")
    codes = {c: FONT_OFFSET + i for i, c in enumerate(order) if c not in twin_of}
    for variant, twin in twin_of.items():
        codes[variant] = codes[twin]
    codes[0x00A0] = codes[0x3000] = 0x20
    return codes


def check(codes):
    rows = {0x0020: 0x20, 0x0041: 0x41, 0x007E: 0x7E, 0x00A0: 0x20, 0x3000: 0x20,
            0x3042: 0x211, 0x30A2: 0x268, 0x30FC: 0x2BE, 0x4E00: 0x388, 0x65E5: 0xC39,
            0xFF21: 0x305, 0xFF71: 0x353}
    for character, code in rows.items():
        if codes.get(character) != code:
            raise SystemExit(f"U+{character:04X} has code {codes.get(character)}, not {code}")
    if codes[0x25A1] != 488 or codes[0x2014] != 347:
        raise SystemExit("the substitute glyphs moved")
    distinct = set(codes.values())
    if len(distinct) != 7594 or max(distinct) != LAST_CODE:
        raise SystemExit(f"{len(distinct)} codes up to {max(distinct):#x}")


def runs(codes):
    """(first character, count, first code) of characters whose codes follow one another."""
    result = []
    for character in sorted(codes):
        code = codes[character]
        if result:
            first, count, first_code = result[-1]
            if first + count == character and first_code + count == code:
                result[-1] = (first, count + 1, first_code)
                continue
        result.append((character, 1, code))
    return result


def render(codes):
    lines = [
        "// Generated by make_lcd_glyphs.py from the system's code page 932 and 1252",
        "// conversions; edit the generator, not this file.",
        "// {first character, characters, first code}: characters whose codes follow one another.",
        f"inline constexpr std::uint16_t kLcdGlyphLowSubstitute = {codes[0x25A1]};",
        f"inline constexpr std::uint16_t kLcdGlyphHighSubstitute = {codes[0x2014]};",
        "inline constexpr LcdGlyphRun kLcdGlyphRuns[] = {",
    ]
    lines += [f"    {{0x{first:04X}, {count}, 0x{code:04X}}}," for first, count, code in runs(codes)]
    lines.append("};")
    return "\n".join(lines) + "\n"


def main(arguments):
    codes = font_order()
    check(codes)
    text = render(codes)
    if len(arguments) == 2 and arguments[0] == "--check":
        with open(arguments[1], encoding="utf-8") as current:
            return 0 if current.read() == text else 1
    if len(arguments) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    with open(arguments[0], "w", encoding="utf-8") as output:
        output.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
