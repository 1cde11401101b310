#include "tools/run-system/Terminal.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <map>

namespace {

void Write(std::string_view p_Text) {
  while (!p_Text.empty()) {
    const ssize_t l_nWritten = write(STDOUT_FILENO, p_Text.data(), p_Text.size());
    if (l_nWritten <= 0) {
      return;
    }
    p_Text.remove_prefix(static_cast<std::size_t>(l_nWritten));
  }
}

// The escape sequences of the keys, after the escape character.
const std::map<std::string_view, std::string_view>& EscapeKeys() {
  static const std::map<std::string_view, std::string_view> kKeys = {
      {"[A", "Up"},   {"[B", "Down"}, {"[C", "Right"}, {"[D", "Left"},  {"OA", "Up"},
      {"OB", "Down"}, {"OC", "Right"}, {"OD", "Left"}, {"[5~", "PgUp"}, {"[6~", "PgDn"},
      {"[H", "Home"}, {"OH", "Home"}, {"[1~", "Home"}, {"[7~", "Home"},
  };
  return kKeys;
}

}  // namespace

RawTerminal::RawTerminal() {
  if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &m_Saved) != 0) {
    return;
  }
  termios l_Raw = m_Saved;
  l_Raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
  l_Raw.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL);
  l_Raw.c_cc[VMIN] = 1;
  l_Raw.c_cc[VTIME] = 0;
  m_bActive = tcsetattr(STDIN_FILENO, TCSAFLUSH, &l_Raw) == 0;
  if (m_bActive) {
    Write("\x1b[?1049h\x1b[?25l");
  }
}

RawTerminal::~RawTerminal() {
  if (m_bActive) {
    Write("\x1b[?25h\x1b[?1049l");
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &m_Saved);
  }
}

void RawTerminal::Show(const std::vector<std::string>& p_Lines) const {
  std::string l_Screen = "\x1b[H";
  for (const std::string& l_Line : p_Lines) {
    l_Screen += l_Line;
    l_Screen += "\x1b[K\r\n";
  }
  l_Screen += "\x1b[J";
  Write(l_Screen);
}

std::vector<std::string> DecodeKeys(std::string_view p_Bytes) {
  std::vector<std::string> l_Keys;
  while (!p_Bytes.empty()) {
    const char l_cFirst = p_Bytes.front();
    p_Bytes.remove_prefix(1);
    if (l_cFirst == '\x1b') {
      const auto l_Found = std::find_if(
          EscapeKeys().begin(), EscapeKeys().end(),
          [p_Bytes](const auto& p_Key) { return p_Bytes.starts_with(p_Key.first); });
      if (l_Found != EscapeKeys().end()) {
        l_Keys.emplace_back(l_Found->second);
        p_Bytes.remove_prefix(l_Found->first.size());
      } else if (!p_Bytes.empty() && (p_Bytes.front() == '[' || p_Bytes.front() == 'O')) {
        // An unknown sequence: up to its final letter or '~'.
        std::size_t l_nEnd = 1;
        while (l_nEnd < p_Bytes.size() && !std::isalpha(static_cast<unsigned char>(p_Bytes[l_nEnd])) &&
               p_Bytes[l_nEnd] != '~') {
          ++l_nEnd;
        }
        p_Bytes.remove_prefix(std::min(l_nEnd + 1, p_Bytes.size()));
      }
    } else if (l_cFirst == '\r' || l_cFirst == '\n') {
      l_Keys.emplace_back("Enter");
    } else if (l_cFirst == ' ') {
      l_Keys.emplace_back("Space");
    } else if (l_cFirst == '\x7f' || l_cFirst == '\b') {
      l_Keys.emplace_back("Backspace");
    } else if (l_cFirst == '\x03') {
      l_Keys.emplace_back("Ctrl-C");
    } else {
      l_Keys.emplace_back(1, l_cFirst);
    }
  }
  return l_Keys;
}
