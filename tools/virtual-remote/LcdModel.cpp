#include "tools/virtual-remote/LcdModel.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr std::uint8_t kReportId = 8;
constexpr std::size_t kPacketBytes = 7;
constexpr std::uint8_t kFirstDisplaySequence = 0x20;
constexpr std::uint8_t kEndOfText = 13;
constexpr int kFirmwarePacketsPerBlock = 3;

enum Command : std::uint8_t {
  kEndOfScreen = 0,
  kClear = 1,
  kCursorRow = 5,
  kDisplayOn = 6,
  kDisplayOff = 7,
  kInit = 8,
  kBottomLine = 10,
  kTopLine = 11,
  kSeparator = 12,
  kCursorMove = 14,
  kChoice = 16,
  kTimesShown = 17,
  kLeavePlayer = 18,
  kPlayIcon = 19,
  kDuration = 20,
  kPosition = 21,
  kScrollBar = 22,
  kPlayMode = 23,
};

// An argument sent plus one; a missing one reads as 0.
int Argument(std::span<const std::uint8_t> p_Arguments, std::size_t p_nIndex) {
  return p_nIndex < p_Arguments.size() ? p_Arguments[p_nIndex] - 1 : 0;
}

int Seconds(std::span<const std::uint8_t> p_Arguments) {
  return Argument(p_Arguments, 0) * 3600 + Argument(p_Arguments, 1) * 60 + Argument(p_Arguments, 2);
}

std::string Clock(int p_nSeconds) {
  char l_szText[32];
  std::snprintf(l_szText, sizeof l_szText, "%d:%02d:%02d", p_nSeconds / 3600, p_nSeconds / 60 % 60,
                p_nSeconds % 60);
  return l_szText;
}

void AddNumber(std::string& p_Text, const char* p_szName, const std::optional<int>& p_nValue) {
  if (p_nValue) {
    p_Text += std::string(" | ") + p_szName + " " + std::to_string(*p_nValue);
  }
}

}  // namespace

std::string FormatScreen(const LcdScreen& p_Screen) {
  std::string l_Text = "lcd \"" + p_Screen.m_Title + "\"";
  if (p_Screen.m_bSeparator) {
    l_Text += " | -";
  }
  for (std::size_t l_nRow = 0; l_nRow < p_Screen.m_Rows.size(); ++l_nRow) {
    l_Text += std::string(" | ") + (static_cast<int>(l_nRow) == p_Screen.m_nCursorRow ? ">" : "") +
              "\"" + p_Screen.m_Rows[l_nRow] + "\"";
  }
  AddNumber(l_Text, "scroll", p_Screen.m_nScrollBar);
  AddNumber(l_Text, "icon", p_Screen.m_nPlayIcon);
  AddNumber(l_Text, "mode", p_Screen.m_nPlayMode);
  if (p_Screen.m_nDuration) {
    l_Text += " | duration " + Clock(*p_Screen.m_nDuration);
  }
  if (p_Screen.m_nPosition) {
    l_Text += " | position " + Clock(*p_Screen.m_nPosition);
  }
  if (p_Screen.m_bTimesShown) {
    l_Text += " | times";
  }
  l_Text += p_Screen.m_bOn ? " | on" : " | off";
  if (p_Screen.m_bInitialised) {
    l_Text += " | language " + std::to_string(p_Screen.m_nLanguage);
  }
  l_Text += " | screens " + std::to_string(p_Screen.m_nScreensEnded);
  if (p_Screen.m_nFirmwareBlocks > 0) {
    l_Text += " | firmware " + std::to_string(p_Screen.m_nFirmwareBlocks);
  }
  return l_Text;
}

void LcdModel::Reset() { *this = LcdModel(); }

int LcdModel::RowsPerPage() const {
  return m_Screen.m_bInitialised && m_Screen.m_nLanguage == 4 ? kJapaneseRowsPerPage : kRowsPerPage;
}

void LcdModel::Receive(std::span<const std::uint8_t> p_Report) {
  if (p_Report.empty() || p_Report[0] != kReportId) {
    return;
  }
  std::span<const std::uint8_t> l_Packet =
      p_Report.subspan(1, std::min(kPacketBytes, p_Report.size() - 1));
  if (m_nFirmwarePacketsLeft > 0) {
    --m_nFirmwarePacketsLeft;
    return;
  }
  if (m_bInText) {
    // A continuation: every byte is text, but for the sequence byte of every second one.
    if (m_bNextWithSequence && !l_Packet.empty()) {
      l_Packet = l_Packet.subspan(1);
    }
    m_bNextWithSequence = !m_bNextWithSequence;
    AddText(l_Packet);
    return;
  }
  if (l_Packet.empty()) {
    return;
  }
  if (l_Packet[0] < kFirstDisplaySequence) {
    ++m_Screen.m_nFirmwareBlocks;
    m_Screen.m_nLastFirmwareAddress = l_Packet.size() >= 3 ? l_Packet[1] << 8 | l_Packet[2] : 0;
    m_nFirmwarePacketsLeft = kFirmwarePacketsPerBlock - 1;
    return;
  }
  ReceiveDisplayPacket(l_Packet.subspan(1));
}

void LcdModel::ReceiveDisplayPacket(std::span<const std::uint8_t> p_Packet) {
  // A display packet ends at its first zero byte.
  const auto l_End = std::find(p_Packet.begin(), p_Packet.end(), std::uint8_t{0});
  const std::span<const std::uint8_t> l_Bytes(p_Packet.begin(), l_End);
  if (l_Bytes.empty()) {
    ReceiveCommand(kEndOfScreen, {});
    return;
  }
  const std::uint8_t l_byFirst = l_Bytes[0];
  if (l_byFirst >= 0x20 || l_byFirst == kEndOfText) {
    // A plain text: the title after a clear, otherwise the next row.
    m_Target = m_nNextRow < 0 ? TextTarget::Title : TextTarget::Row;
    m_bInText = true;
    m_bNextWithSequence = false;
    AddText(l_Bytes);
    return;
  }
  if (l_byFirst == kBottomLine || l_byFirst == kTopLine) {
    m_Target = l_byFirst == kBottomLine ? TextTarget::BottomLine : TextTarget::TopLine;
    m_bInText = true;
    m_bNextWithSequence = false;
    AddText(l_Bytes.subspan(1));
    return;
  }
  ReceiveCommand(l_byFirst, l_Bytes.subspan(1));
}

void LcdModel::AddText(std::span<const std::uint8_t> p_Bytes) {
  for (const std::uint8_t l_byByte : p_Bytes) {
    if (l_byByte == kEndOfText) {
      EndText();
      return;
    }
    m_Text.push_back(static_cast<char>(l_byByte));
  }
}

void LcdModel::EndText() {
  m_bInText = false;
  std::string l_Text = std::move(m_Text);
  m_Text.clear();
  std::vector<std::string>& l_Rows = m_Screen.m_Rows;
  const auto l_nRows = static_cast<std::size_t>(RowsPerPage());
  switch (m_Target) {
    case TextTarget::Title:
      m_Screen.m_Title = std::move(l_Text);
      m_nNextRow = 0;
      return;
    case TextTarget::Row:
      if (m_bSeparatorNext) {
        m_bSeparatorNext = false;
        m_Screen.m_bSeparator = true;
        return;
      }
      if (static_cast<std::size_t>(m_nNextRow) >= l_Rows.size()) {
        l_Rows.resize(static_cast<std::size_t>(m_nNextRow) + 1);
      }
      l_Rows[static_cast<std::size_t>(m_nNextRow++)] = std::move(l_Text);
      return;
    case TextTarget::TopLine:
      l_Rows.insert(l_Rows.begin(), std::move(l_Text));
      if (l_Rows.size() > l_nRows) {
        l_Rows.resize(l_nRows);
      }
      return;
    case TextTarget::BottomLine:
      if (l_Rows.size() >= l_nRows && !l_Rows.empty()) {
        l_Rows.erase(l_Rows.begin());
      }
      l_Rows.push_back(std::move(l_Text));
      return;
  }
}

void LcdModel::ReceiveCommand(std::uint8_t p_byCommand, std::span<const std::uint8_t> p_Arguments) {
  switch (p_byCommand) {
    case kEndOfScreen:
      ++m_Screen.m_nScreensEnded;
      return;
    case kClear:
      m_Screen.m_Title.clear();
      m_Screen.m_Rows.clear();
      m_Screen.m_bSeparator = false;
      m_Screen.m_nScrollBar.reset();
      m_Screen.m_bTimesShown = false;
      m_nNextRow = -1;
      return;
    case kCursorRow:
    case kCursorMove:
      m_Screen.m_nCursorRow = Argument(p_Arguments, 0);
      return;
    case kDisplayOn:
      m_Screen.m_bOn = true;
      return;
    case kDisplayOff:
      m_Screen.m_bOn = false;
      return;
    case kInit:
      m_Screen.m_bInitialised = true;
      m_Screen.m_nLanguage = p_Arguments.empty() ? 0 : p_Arguments[0] - '0';
      return;
    case kSeparator:
      m_bSeparatorNext = true;
      return;
    case kChoice:
      m_nNextRow = p_Arguments.empty() ? 0 : p_Arguments[0] - '1';
      return;
    case kTimesShown:
      m_Screen.m_bTimesShown = true;
      return;
    case kLeavePlayer:
      m_Screen.m_bTimesShown = false;
      m_Screen.m_nDuration.reset();
      m_Screen.m_nPosition.reset();
      return;
    case kPlayIcon:
      m_Screen.m_nPlayIcon = p_Arguments.empty() ? 0 : p_Arguments[0];
      return;
    case kDuration:
      m_Screen.m_nDuration = Seconds(p_Arguments);
      return;
    case kPosition:
      m_Screen.m_nPosition = Seconds(p_Arguments);
      return;
    case kScrollBar:
      m_Screen.m_nScrollBar = p_Arguments.empty() ? 0 : p_Arguments[0];
      return;
    case kPlayMode:
      m_Screen.m_nPlayMode = p_Arguments.empty() ? 0 : p_Arguments[0];
      return;
    default:
      return;
  }
}
