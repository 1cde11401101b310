#pragma once

// The remote's buttons as a person names them: the word a script uses, the terminal key that
// presses it, and the button code that the remote sends in its input report.

#include <optional>
#include <span>
#include <string_view>

struct RemoteButton {
  std::string_view m_Word;  // in scripts
  std::string_view m_Key;   // the terminal's key, as its help line names it
  int m_nCode;              // byte 1 of the input report
};

// Every button, in the order the help line lists them.
std::span<const RemoteButton> RemoteButtons();
// The button a script word names; nothing for any other word.
std::optional<RemoteButton> ButtonNamed(std::string_view p_Word);
