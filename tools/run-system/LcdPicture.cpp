#include "tools/run-system/LcdPicture.h"

#include <algorithm>
#include <cstdio>
#include <optional>

namespace {

// The display's columns as the frame shows them; longer texts are cut.
constexpr std::size_t kColumns = 32;
// The scroll bar's range as the remote receives it (15, or 17 in Japanese, up to 95).
constexpr int kScrollBarEnd = 95;
constexpr int kJapaneseLanguage = 4;

// A text of the display's font as the terminal shows it: the 8-bit font is Latin-1; a glyph of
// the Japanese font, and any control byte, is shown as a middle dot.
// Padded or cut to `p_nWidth` columns.
std::string Printable(const std::string& p_Font, int p_nLanguage, std::size_t p_nWidth = kColumns) {
  std::string l_Text;
  std::size_t l_nColumns = 0;
  for (std::size_t l_nAt = 0; l_nAt < p_Font.size() && l_nColumns < p_nWidth; ++l_nAt) {
    const auto l_byChar = static_cast<unsigned char>(p_Font[l_nAt]);
    if (p_nLanguage == kJapaneseLanguage && l_byChar >= 0x80) {
      ++l_nAt;  // the glyph's second byte
      l_Text += "\u00B7";
    } else if (l_byChar < 0x20 || l_byChar == 0x7F || (l_byChar >= 0x80 && l_byChar < 0xA0)) {
      l_Text += "\u00B7";
    } else if (l_byChar < 0x80) {
      l_Text += static_cast<char>(l_byChar);
    } else {
      l_Text += static_cast<char>(0xC0 | (l_byChar >> 6));
      l_Text += static_cast<char>(0x80 | (l_byChar & 0x3F));
    }
    ++l_nColumns;
  }
  l_Text.append(p_nWidth - l_nColumns, ' ');
  return l_Text;
}

std::string Time(int p_nSeconds) {
  char l_Text[32];
  std::snprintf(l_Text, sizeof l_Text, "%d:%02d:%02d", p_nSeconds / 3600, p_nSeconds % 3600 / 60,
                p_nSeconds % 60);
  return l_Text;
}

std::string PlayIcon(const std::optional<int>& p_nIcon) {
  static const char* const kIcons[] = {"stopped", "playing", "paused", "changing"};
  return p_nIcon && *p_nIcon >= 0 && *p_nIcon < 4 ? kIcons[*p_nIcon] : "";
}

// The row that the bar's position falls on; nothing when the page has no scroll bar.
std::optional<std::size_t> ScrollBarRow(const LcdScreen& p_Screen, std::size_t p_nRows) {
  if (!p_Screen.m_nScrollBar || p_nRows == 0) {
    return std::nullopt;
  }
  const int l_nStart = p_Screen.m_nLanguage == kJapaneseLanguage ? 17 : 15;
  const int l_nAt = std::clamp(*p_Screen.m_nScrollBar, l_nStart, kScrollBarEnd) - l_nStart;
  return static_cast<std::size_t>(l_nAt) * (p_nRows - 1) /
         static_cast<std::size_t>(kScrollBarEnd - l_nStart);
}

std::string Framed(const std::string& p_Inside, const std::string& p_Edge) {
  return "\u2502 " + p_Inside + " " + p_Edge + "\u2502";
}

std::string Border(const char* p_pLeft, const char* p_pRight) {
  std::string l_Line = p_pLeft;
  for (std::size_t l_nColumn = 0; l_nColumn < kColumns + 3; ++l_nColumn) {
    l_Line += "\u2500";
  }
  return l_Line + p_pRight;
}

}  // namespace

std::vector<std::string> DrawLcd(const LcdScreen& p_Screen) {
  const int l_nPageRows = p_Screen.m_nLanguage == kJapaneseLanguage
                              ? LcdModel::kJapaneseRowsPerPage
                              : LcdModel::kRowsPerPage;
  const auto l_nRows = static_cast<std::size_t>(l_nPageRows);
  std::vector<std::string> l_Lines{Border("\u250C", "\u2510")};
  if (!p_Screen.m_bOn) {
    l_Lines.push_back(Framed(Printable("(display off)", 0), " "));
  } else {
    l_Lines.push_back(Framed(Printable(p_Screen.m_Title, p_Screen.m_nLanguage), " "));
    l_Lines.push_back(Framed(std::string(kColumns, ' '), " "));
    const std::optional<std::size_t> l_nBarRow = ScrollBarRow(p_Screen, l_nRows);
    for (std::size_t l_nRow = 0; l_nRow < l_nRows; ++l_nRow) {
      const std::string l_Row =
          l_nRow < p_Screen.m_Rows.size() ? p_Screen.m_Rows[l_nRow] : std::string();
      const bool l_bCursor = static_cast<int>(l_nRow) == p_Screen.m_nCursorRow &&
                             l_nRow < p_Screen.m_Rows.size();
      const std::string l_Edge =
          !l_nBarRow ? " " : (l_nRow == *l_nBarRow ? "\u2588" : "\u2502");
      l_Lines.push_back(Framed(
          (l_bCursor ? "> " : "  ") + Printable(l_Row, p_Screen.m_nLanguage, kColumns - 2), l_Edge));
    }
  }
  std::string l_Status = PlayIcon(p_Screen.m_nPlayIcon);
  if (p_Screen.m_bTimesShown) {
    l_Status = Time(p_Screen.m_nPosition.value_or(0)) + " / " +
               Time(p_Screen.m_nDuration.value_or(0)) + "  " + l_Status;
  }
  l_Lines.push_back(Border("\u251C", "\u2524"));
  l_Lines.push_back(Framed(Printable(l_Status, 0), " "));
  l_Lines.push_back(Border("\u2514", "\u2518"));
  return l_Lines;
}
