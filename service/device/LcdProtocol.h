#pragma once

// The LCD packet protocol: the sequence byte, the sleep gate, and the packets that the remote's
// display understands. A packet is a sequence byte, a command byte, arguments and a zero byte;
// the writer sends a display packet only up to its first zero byte, so an argument with another
// byte behind it is never 0.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>

#include "platform/base/Bstr.h"
#include "service/device/LcdPacketRing.h"

// What the packets need to know of the user's language. The session listener sets it after the
// service starts, so the protocol asks at each packet or text.
struct LcdLanguage {
  // 0 English, 1 French, 2 German, 3 Spanish, 4 Japanese.
  int m_nLanguageIndex = 0;
  int m_nLinesPerPage = 6;
};
using LcdLanguageSource = std::function<LcdLanguage()>;

inline constexpr int kLcdLanguageJapanese = 4;

// The command that takes the display off the player screen.
inline constexpr std::uint8_t kLcdLeavePlayerScreen = 18;

// The text line that a choice packet selects.
enum class LcdTextLine : std::uint8_t { First = 1, Second = 2 };

// The producers' side of the ring. Any thread may call every member; each packet, text or block
// is one turn, so that the packets of one text never interleave with another producer's and the
// sequence byte advances in the order of the ring.
class LcdProtocol {
 public:
  // Display packets number 0x20 to 0xFE; the firmware upload numbers its blocks 0 to 0x1F.
  static constexpr std::uint8_t kFirstDisplaySequence = 0x20;
  static constexpr std::uint8_t kFirmwareSequenceEnd = 0x20;
  // Characters of a text beyond these are dropped.
  static constexpr std::size_t kMaxTextCharacters = 47;
  // The longest time that three nonzero bytes can carry: 254:59:59.
  static constexpr std::int32_t kMaxSentSeconds = 254 * 3600 + 59 * 60 + 59;

  // One producer's hold on the ring: the producers' lock. Ending the turn raises the writer's
  // data ready once more, so that a writer that could not take a turn meanwhile looks again.
  class Turn {
   public:
    Turn(Turn&& p_Other) noexcept = default;
    Turn& operator=(Turn&&) = delete;
    ~Turn();

    // The sequence byte for a display packet, advancing it: after 0xFE comes 0x20. A value of 0,
    // which an upload can leave, would cut the packet to nothing, so it is skipped for 0x20.
    std::uint8_t TakeDisplaySequence();
    // The sequence byte for a firmware block, advancing it: after 0x1F comes 0, and a display
    // value (0x20 on) left by the display is taken as 0.
    std::uint8_t TakeFirmwareSequence();
    void SetSequence(std::uint8_t p_bySequence);
    // Queues a display packet while the display is awake or a write is forced; drops it
    // otherwise.
    void QueueLcdPacket(std::span<const std::uint8_t> p_Bytes);
    // Queues a firmware packet: the sleep gate is the display's, an upload passes it.
    void QueueFirmwarePacket(std::span<const std::uint8_t> p_Bytes);
    // Packets waiting in the ring.
    std::size_t Waiting() const;

   private:
    friend class LcdProtocol;
    Turn(LcdProtocol& p_Protocol, std::unique_lock<std::mutex> p_Lock);

    LcdProtocol* m_pProtocol;
    std::unique_lock<std::mutex> m_Lock;
  };

  LcdProtocol(LcdPacketRing& p_Ring, LcdLanguageSource p_Language);

  // Waits for the other producers. The encoders take their own turn: a thread that holds one
  // builds its packets through it, not through the encoders.
  Turn BeginTurn();
  // Nothing while another producer holds its turn; for the writer, which must not wait for a
  // producer that may be waiting for it to make room.
  std::optional<Turn> TryBeginTurn();

  // Drops the unsent packets and restarts the display sequence at 0x20.
  void Reset();

  void SendLcdEndOfScreen();
  void SendLcdFullRedraw();
  // Rows are 0-based on the screen and sent plus one; a row outside 0 to 254 is sent as the
  // nearest of them, never as a zero byte.
  void SendLcdCursorRow(std::int32_t p_nRow);
  void SendLcdCursorMove(std::int32_t p_nRow);
  // The commands without arguments: 6 display on, 7 display off, 12, 17, 18 leave the player
  // screen.
  void SendLcdCommand(std::uint8_t p_byCommand);
  // Tells the display the language; sets g_bLcdInitialised.
  void SendLcdInit();
  // A new last line (the list scrolls up) and a new first line (the list scrolls down).
  void SendLcdBottomLine(const _bstr_t& p_Text);
  void SendLcdTopLine(const _bstr_t& p_Text);
  void SendLcdChoice(LcdTextLine p_Line);
  // 0 stopped, 1 playing, 2 paused, 3 transitioning.
  void SendLcdPlayStateIcon(std::uint8_t p_byIcon);
  // The current track's length and elapsed time; times below 0 are sent as 0:00:00, times beyond
  // 254:59:59 as that.
  void SendLcdDuration(std::int32_t p_nSeconds);
  void SendLcdPosition(std::int32_t p_nSeconds);
  // The cursor's index in the whole list and the list's length; sent only when the list is
  // longer than a page.
  void SendLcdScrollBar(std::int32_t p_nPosition, std::int32_t p_nTotal);
  // 1 playing, 2 paused, 0 stopped.
  void SendLcdPlayMode(std::uint8_t p_byMode);
  // A title or a menu line; a text that was never set sends nothing.
  void SendLcdText(const _bstr_t& p_Text);
  void SendLcdEmptyText();

 private:
  // Sequence byte, `p_Arguments` and the closing zero.
  void SendPacket(std::span<const std::uint8_t> p_Arguments);
  void SendTime(std::uint8_t p_byCommand, std::int32_t p_nSeconds);
  void SendTextPackets(const _bstr_t& p_Text, std::optional<std::uint8_t> p_Command);

  LcdPacketRing& m_Ring;
  const LcdLanguageSource m_Language;
  std::mutex m_ProducerMutex;
  // Guarded by m_ProducerMutex.
  std::uint8_t m_byLcdSequence = kFirstDisplaySequence;
};
