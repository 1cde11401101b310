#pragma once

// The remote's display as the remote itself reads the output reports: each report carries one
// packet behind the report identifier 8; a display packet starts with its sequence byte (0x20 to
// 0xFE), a firmware packet with a block number below 0x20. A text runs over several packets
// until its carriage return; its continuations alternate between seven text bytes and a fresh
// sequence byte with six.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// What the display shows. Texts are kept as the bytes that the display's font receives.
struct LcdScreen {
  bool m_bInitialised = false;
  int m_nLanguage = 0;
  bool m_bOn = true;
  std::string m_Title;
  std::vector<std::string> m_Rows;  // the list rows, top first
  int m_nCursorRow = 0;
  std::optional<int> m_nScrollBar;
  std::optional<int> m_nPlayIcon;  // 0 stopped, 1 playing, 2 paused, 3 transitioning
  std::optional<int> m_nPlayMode;  // 0 stopped, 1 playing, 2 paused
  std::optional<int> m_nDuration;  // seconds
  std::optional<int> m_nPosition;  // seconds
  bool m_bTimesShown = false;
  bool m_bSeparator = false;  // the blank line between the title and the rows
  int m_nScreensEnded = 0;    // end-of-screen packets
  int m_nFirmwareBlocks = 0;
  int m_nLastFirmwareAddress = 0;
};

// One line, e.g.
//   lcd "Music" | "Pl" | >"Al" | scroll 19 | icon 1 | mode 1 | duration 1:02:05 |
//   position 0:01:01 | times | on | screens 3
std::string FormatScreen(const LcdScreen& p_Screen);

// Decodes the reports in the order the remote receives them. One thread uses it.
class LcdModel {
 public:
  // Rows of a page in English and the other languages; Japanese pages hold five.
  static constexpr int kRowsPerPage = 6;
  static constexpr int kJapaneseRowsPerPage = 5;

  // One output report, its identifier first; others than report 8 are ignored.
  void Receive(std::span<const std::uint8_t> p_Report);
  const LcdScreen& Screen() const { return m_Screen; }
  // The display as when it is plugged in.
  void Reset();

 private:
  enum class TextTarget { Title, Row, TopLine, BottomLine };

  void ReceiveDisplayPacket(std::span<const std::uint8_t> p_Packet);
  void ReceiveCommand(std::uint8_t p_byCommand, std::span<const std::uint8_t> p_Arguments);
  // Adds text bytes; the carriage return ends the text.
  void AddText(std::span<const std::uint8_t> p_Bytes);
  void EndText();
  int RowsPerPage() const;

  LcdScreen m_Screen;
  // The text being received, and where it goes.
  bool m_bInText = false;
  bool m_bNextWithSequence = false;
  TextTarget m_Target = TextTarget::Title;
  std::string m_Text;
  // The row that the next plain text fills.
  int m_nNextRow = 0;
  bool m_bSeparatorNext = false;
  // The packets of a firmware block still to come.
  int m_nFirmwarePacketsLeft = 0;
};
