#pragma once

// The ring of LCD packets between the producers (the device input and output threads and the
// firmware upload) and the report writer, which sends one packet a report.

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>

#include "platform/base/NoDestructor.h"

// How the writer copies a packet into its report: a display packet up to its first zero byte, a
// firmware packet whole, since its data may hold zeros. The mode travels with the packet, so that
// packets still waiting when an upload ends are sent as they were queued.
enum class LcdPacketMode : std::uint8_t { Display, Firmware };

// One slot's packet: up to 7 bytes on the wire, and the zero behind a 7-byte text packet.
struct LcdPacket {
  static constexpr std::size_t kMaxLength = 8;
  std::array<std::uint8_t, kMaxLength> m_Bytes{};
  std::uint8_t m_nLength = 0;
  LcdPacketMode m_Mode = LcdPacketMode::Display;

  std::span<const std::uint8_t> Bytes() const { return {m_Bytes.data(), m_nLength}; }
};

// 60 slots; the ring is empty when the write and read indexes are equal, so at most 59 packets
// wait. Every member may be called from any thread, except that only the attached consumer
// takes packets (through its Consumer).
class LcdPacketRing {
 public:
  static constexpr std::size_t kSlotCount = 60;
  static constexpr std::size_t kCapacity = kSlotCount - 1;

  // The consumer's wake-up, raised after every queued packet.
  using DataReady = std::function<void()>;

  // The writer's attachment to the ring, for as long as it lives; one at a time. While a consumer
  // is attached, a producer that finds the ring full waits until it takes a packet. Detaching
  // releases a waiting producer, and the data-ready signal is never raised after it.
  class Consumer {
   public:
    Consumer(LcdPacketRing& p_Ring, DataReady p_DataReady);
    ~Consumer();
    Consumer(const Consumer&) = delete;
    Consumer& operator=(const Consumer&) = delete;

    // The packet at the read index, advancing it; nothing when the ring is empty.
    std::optional<LcdPacket> Take();

   private:
    LcdPacketRing& m_Ring;
  };

  LcdPacketRing() = default;
  LcdPacketRing(const LcdPacketRing&) = delete;
  LcdPacketRing& operator=(const LcdPacketRing&) = delete;

  // Copies `p_Bytes` (1 to 8 bytes) into the slot at the write index, advances it and raises data
  // ready. A full ring makes the call wait while a consumer is attached; without one nothing
  // would send the packet, and it is dropped (returns false).
  bool Queue(std::span<const std::uint8_t> p_Bytes, LcdPacketMode p_Mode);
  // Raises data ready once more, as a producer does when it ends a text or a block.
  void SignalDataReady();
  // Drops every unsent packet: both indexes to 0.
  void Clear();
  // Packets queued and not yet taken.
  std::size_t Waiting() const;

 private:
  std::size_t WaitingLocked() const;

  mutable std::mutex m_Mutex;
  std::condition_variable m_Room;
  std::array<LcdPacket, kSlotCount> m_Slots{};
  std::size_t m_nLcdRingWrite = 0;
  std::size_t m_nLcdRingRead = 0;
  DataReady m_DataReady;
  bool m_bConsumerAttached = false;
};

// The service's one ring, never destroyed: the writer and the producers may still run while the
// program exits.
extern NoDestructor<LcdPacketRing> g_LcdPacketRing;
