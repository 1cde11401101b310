#pragma once

// The terminal while the view runs: raw keys (no echo, no line editing, Ctrl-C read as a key),
// the view on the terminal's alternate screen with the cursor hidden; all restored on destruction.

#include <termios.h>

#include <string>
#include <string_view>
#include <vector>

// Owns the terminal's settings as they were before. One thread uses it.
class RawTerminal {
 public:
  RawTerminal();
  RawTerminal(const RawTerminal&) = delete;
  RawTerminal& operator=(const RawTerminal&) = delete;
  ~RawTerminal();

  // False when standard input is not a terminal.
  bool Active() const { return m_bActive; }
  // Replaces what the screen shows with these lines.
  void Show(const std::vector<std::string>& p_Lines) const;

 private:
  termios m_Saved{};
  bool m_bActive = false;
};

// The keys in bytes read from the terminal, by the names the help line uses: "Up", "Down",
// "Left", "Right", "PgUp", "PgDn", "Home", "Enter", "Space", "Backspace", "Ctrl-C", or the
// character itself; a sequence it does not know is skipped.
std::vector<std::string> DecodeKeys(std::string_view p_Bytes);
