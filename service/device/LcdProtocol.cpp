#include "service/device/LcdProtocol.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

#include "service/device/DisplayState.h"
#include "service/device/LcdGlyphs.h"

namespace {

constexpr std::uint8_t kCommandEndOfScreen = 0;
constexpr std::uint8_t kCommandFullRedraw = 1;
constexpr std::uint8_t kCommandCursorRow = 5;
constexpr std::uint8_t kCommandInit = 8;
constexpr std::uint8_t kCommandBottomLine = 10;
constexpr std::uint8_t kCommandTopLine = 11;
constexpr std::uint8_t kCommandCursorMove = 14;
constexpr std::uint8_t kCommandChoice = 16;
constexpr std::uint8_t kCommandPlayStateIcon = 19;
constexpr std::uint8_t kCommandDuration = 20;
constexpr std::uint8_t kCommandPosition = 21;
constexpr std::uint8_t kCommandScrollBar = 22;
constexpr std::uint8_t kCommandPlayMode = 23;
constexpr std::uint8_t kEndOfText = 13;
constexpr std::size_t kPacketBytes = 7;

// A row sent plus one: never 0, whatever row a page carries.
std::uint8_t RowByte(std::int32_t p_nRow) {
  return static_cast<std::uint8_t>(std::clamp<std::int64_t>(std::int64_t{p_nRow} + 1, 1, 255));
}

// Cuts a text's bytes into packets of seven. The first packet starts with a sequence byte (and
// the command, when there is one); the continuations alternate between seven text bytes and a
// fresh sequence byte with six.
class TextPackets {
 public:
  TextPackets(LcdProtocol::Turn& p_Turn, std::optional<std::uint8_t> p_Command) : m_Turn(p_Turn) {
    m_Packet[m_nLength++] = m_Turn.TakeDisplaySequence();
    if (p_Command) {
      m_Packet[m_nLength++] = *p_Command;
    }
  }

  void Add(std::uint8_t p_byByte) {
    m_Packet[m_nLength++] = p_byByte;
    if (m_nLength < kPacketBytes) {
      return;
    }
    m_Turn.QueueLcdPacket({m_Packet.data(), m_nLength});
    m_nLength = 0;
    if (m_bNextWithSequence) {
      m_Packet[m_nLength++] = m_Turn.TakeDisplaySequence();
    }
    m_bNextWithSequence = !m_bNextWithSequence;
  }

  // The carriage return and the zero; when the return is the seventh byte, the zero is the
  // slot's eighth and is not sent.
  void Finish() {
    m_Packet[m_nLength++] = kEndOfText;
    m_Packet[m_nLength++] = 0;
    m_Turn.QueueLcdPacket({m_Packet.data(), m_nLength});
  }

 private:
  LcdProtocol::Turn& m_Turn;
  std::array<std::uint8_t, LcdPacket::kMaxLength> m_Packet{};
  std::size_t m_nLength = 0;
  bool m_bNextWithSequence = false;
};

}  // namespace

LcdProtocol::Turn::Turn(LcdProtocol& p_Protocol, std::unique_lock<std::mutex> p_Lock)
    : m_pProtocol(&p_Protocol), m_Lock(std::move(p_Lock)) {}

LcdProtocol::Turn::~Turn() {
  if (m_Lock.owns_lock()) {
    m_Lock.unlock();
    m_pProtocol->m_Ring.SignalDataReady();
  }
}

std::uint8_t LcdProtocol::Turn::TakeDisplaySequence() {
  std::uint8_t& l_bySequence = m_pProtocol->m_byLcdSequence;
  if (l_bySequence == 0) {
    l_bySequence = kFirstDisplaySequence;
  }
  const std::uint8_t l_byTaken = l_bySequence;
  l_bySequence =
      l_byTaken == 0xFE ? kFirstDisplaySequence : static_cast<std::uint8_t>(l_byTaken + 1);
  return l_byTaken;
}

std::uint8_t LcdProtocol::Turn::TakeFirmwareSequence() {
  std::uint8_t& l_bySequence = m_pProtocol->m_byLcdSequence;
  // Display packets taken during the upload, or the wake rule's reset, may have left a display
  // value: the blocks then start again from 0.
  const std::uint8_t l_byTaken = l_bySequence < kFirmwareSequenceEnd ? l_bySequence : 0;
  const auto l_byNext = static_cast<std::uint8_t>(l_byTaken + 1);
  l_bySequence = l_byNext >= kFirmwareSequenceEnd ? 0 : l_byNext;
  return l_byTaken;
}

void LcdProtocol::Turn::SetSequence(std::uint8_t p_bySequence) {
  m_pProtocol->m_byLcdSequence = p_bySequence;
}

void LcdProtocol::Turn::QueueLcdPacket(std::span<const std::uint8_t> p_Bytes) {
  if (g_bDisplayAwake || g_bForceLcdWrite) {
    m_pProtocol->m_Ring.Queue(p_Bytes, LcdPacketMode::Display);
  }
}

void LcdProtocol::Turn::QueueFirmwarePacket(std::span<const std::uint8_t> p_Bytes) {
  m_pProtocol->m_Ring.Queue(p_Bytes, LcdPacketMode::Firmware);
}

std::size_t LcdProtocol::Turn::Waiting() const { return m_pProtocol->m_Ring.Waiting(); }

LcdProtocol::LcdProtocol(LcdPacketRing& p_Ring, LcdLanguageSource p_Language)
    : m_Ring(p_Ring), m_Language(std::move(p_Language)) {}

LcdProtocol::Turn LcdProtocol::BeginTurn() {
  return Turn(*this, std::unique_lock(m_ProducerMutex));
}

std::optional<LcdProtocol::Turn> LcdProtocol::TryBeginTurn() {
  std::unique_lock l_Lock(m_ProducerMutex, std::try_to_lock);
  if (!l_Lock.owns_lock()) {
    return std::nullopt;
  }
  return Turn(*this, std::move(l_Lock));
}

void LcdProtocol::Reset() {
  Turn l_Turn = BeginTurn();
  m_Ring.Clear();
  l_Turn.SetSequence(kFirstDisplaySequence);
}

void LcdProtocol::SendPacket(std::span<const std::uint8_t> p_Arguments) {
  Turn l_Turn = BeginTurn();
  std::array<std::uint8_t, LcdPacket::kMaxLength> l_Packet{};
  l_Packet[0] = l_Turn.TakeDisplaySequence();
  std::ranges::copy(p_Arguments, l_Packet.begin() + 1);
  l_Turn.QueueLcdPacket({l_Packet.data(), p_Arguments.size() + 2});
}

void LcdProtocol::SendLcdEndOfScreen() { SendLcdCommand(kCommandEndOfScreen); }

void LcdProtocol::SendLcdFullRedraw() { SendLcdCommand(kCommandFullRedraw); }

void LcdProtocol::SendLcdCursorRow(std::int32_t p_nRow) {
  SendPacket(std::array{kCommandCursorRow, RowByte(p_nRow)});
}

void LcdProtocol::SendLcdCursorMove(std::int32_t p_nRow) {
  SendPacket(std::array{kCommandCursorMove, RowByte(p_nRow)});
}

void LcdProtocol::SendLcdCommand(std::uint8_t p_byCommand) { SendPacket(std::array{p_byCommand}); }

void LcdProtocol::SendLcdInit() {
  const auto l_byLanguage = static_cast<std::uint8_t>('0' + m_Language().m_nLanguageIndex);
  g_bLcdInitialised = true;
  SendPacket(std::array{kCommandInit, l_byLanguage});
}

void LcdProtocol::SendLcdBottomLine(const _bstr_t& p_Text) {
  SendTextPackets(p_Text, kCommandBottomLine);
}

void LcdProtocol::SendLcdTopLine(const _bstr_t& p_Text) {
  SendTextPackets(p_Text, kCommandTopLine);
}

void LcdProtocol::SendLcdChoice(LcdTextLine p_Line) {
  SendPacket(std::array{kCommandChoice, static_cast<std::uint8_t>('0' + static_cast<int>(p_Line))});
}

void LcdProtocol::SendLcdPlayStateIcon(std::uint8_t p_byIcon) {
  SendPacket(std::array{kCommandPlayStateIcon, p_byIcon});
}

void LcdProtocol::SendLcdDuration(std::int32_t p_nSeconds) {
  SendTime(kCommandDuration, p_nSeconds);
}

void LcdProtocol::SendLcdPosition(std::int32_t p_nSeconds) {
  SendTime(kCommandPosition, p_nSeconds);
}

void LcdProtocol::SendTime(std::uint8_t p_byCommand, std::int32_t p_nSeconds) {
  const std::int32_t l_nSeconds = std::clamp(p_nSeconds, 0, kMaxSentSeconds);
  SendPacket(std::array{p_byCommand, static_cast<std::uint8_t>(l_nSeconds / 3600 + 1),
                        static_cast<std::uint8_t>(l_nSeconds % 3600 / 60 + 1),
                        static_cast<std::uint8_t>(l_nSeconds % 60 + 1)});
}

void LcdProtocol::SendLcdScrollBar(std::int32_t p_nPosition, std::int32_t p_nTotal) {
  const LcdLanguage l_Language = m_Language();
  if (p_nTotal <= l_Language.m_nLinesPerPage || p_nTotal < 2) {
    return;
  }
  // A position outside the list would leave the bar's range, down to a zero byte.
  const std::int64_t l_nLast = std::int64_t{p_nTotal} - 1;
  const std::int64_t l_nPosition = std::clamp<std::int64_t>(p_nPosition, 0, l_nLast);
  const std::int64_t l_nBar = l_Language.m_nLanguageIndex == kLcdLanguageJapanese
                                  ? l_nPosition * 78 / l_nLast + 17
                                  : l_nPosition * 80 / l_nLast + 15;
  SendPacket(std::array{kCommandScrollBar, static_cast<std::uint8_t>(l_nBar)});
}

void LcdProtocol::SendLcdPlayMode(std::uint8_t p_byMode) {
  SendPacket(std::array{kCommandPlayMode, p_byMode});
}

void LcdProtocol::SendLcdText(const _bstr_t& p_Text) { SendTextPackets(p_Text, std::nullopt); }

void LcdProtocol::SendLcdEmptyText() { SendLcdText(_bstr_t(u"")); }

void LcdProtocol::SendTextPackets(const _bstr_t& p_Text, std::optional<std::uint8_t> p_Command) {
  if (p_Text.GetBSTR() == nullptr) {
    return;
  }
  const bool l_bJapanese = m_Language().m_nLanguageIndex == kLcdLanguageJapanese;
  std::u16string_view l_Characters = p_Text.view();
  l_Characters = l_Characters.substr(0, std::min(l_Characters.find(u'\0'), kMaxTextCharacters));

  Turn l_Turn = BeginTurn();
  TextPackets l_Packets(l_Turn, p_Command);
  for (const char16_t l_chCharacter : l_Characters) {
    if (!l_bJapanese) {
      l_Packets.Add(l_chCharacter > 0xFF    ? 0x7F
                    : l_chCharacter == 0xA0 ? 0x20
                                            : static_cast<std::uint8_t>(l_chCharacter));
      continue;
    }
    const std::uint16_t l_nCode = MapLcdGlyph(l_chCharacter);
    if (l_nCode <= 0x7F) {
      l_Packets.Add(static_cast<std::uint8_t>(l_nCode));
    } else {
      l_Packets.Add(static_cast<std::uint8_t>(0x80 | (l_nCode & 0x7F)));
      l_Packets.Add(static_cast<std::uint8_t>(0x80 | ((l_nCode >> 7) & 0x7F)));
    }
  }
  l_Packets.Finish();
}
