#include "service/device/LcdPacketRing.h"
#include "service/device/tests/WriterStandIn.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

std::array<std::uint8_t, 2> Numbered(std::size_t p_n) {
  return {static_cast<std::uint8_t>(p_n), static_cast<std::uint8_t>(p_n >> 8)};
}

std::size_t NumberOf(const LcdPacket& p_Packet) {
  return p_Packet.m_Bytes[0] + (std::size_t{p_Packet.m_Bytes[1]} << 8);
}

TEST(LcdPacketRing, KeepsOrderLengthAndModeAcrossTheWrap) {
  LcdPacketRing l_Ring;
  LcdPacketRing::Consumer l_Consumer(l_Ring, [] {});
  for (std::size_t l_nRound = 0; l_nRound < 3; ++l_nRound) {
    for (std::size_t i = 0; i < 50; ++i) {
      const std::array<std::uint8_t, 7> l_Bytes{static_cast<std::uint8_t>(i), 0, 2, 0, 4, 5, 6};
      ASSERT_TRUE(l_Ring.Queue({l_Bytes.data(), 1 + i % 7},
                               i % 2 ? LcdPacketMode::Firmware : LcdPacketMode::Display));
    }
    EXPECT_EQ(l_Ring.Waiting(), 50u);
    for (std::size_t i = 0; i < 50; ++i) {
      const auto l_Packet = l_Consumer.Take();
      ASSERT_TRUE(l_Packet);
      EXPECT_EQ(l_Packet->m_Bytes[0], i);
      EXPECT_EQ(l_Packet->m_nLength, 1 + i % 7);
      EXPECT_EQ(l_Packet->m_Mode, i % 2 ? LcdPacketMode::Firmware : LcdPacketMode::Display);
    }
    EXPECT_FALSE(l_Consumer.Take());
  }
}

TEST(LcdPacketRing, WithoutConsumerAFullRingDropsTheNewPacket) {
  LcdPacketRing l_Ring;
  for (std::size_t i = 0; i < LcdPacketRing::kCapacity; ++i) {
    ASSERT_TRUE(l_Ring.Queue(Numbered(i), LcdPacketMode::Display));
  }
  EXPECT_FALSE(l_Ring.Queue(Numbered(99), LcdPacketMode::Display));
  EXPECT_EQ(l_Ring.Waiting(), 59u);

  LcdPacketRing::Consumer l_Consumer(l_Ring, [] {});
  for (std::size_t i = 0; i < LcdPacketRing::kCapacity; ++i) {
    EXPECT_EQ(NumberOf(*l_Consumer.Take()), i);
  }
}

TEST(LcdPacketRing, ClearDropsTheUnsentPackets) {
  LcdPacketRing l_Ring;
  LcdPacketRing::Consumer l_Consumer(l_Ring, [] {});
  l_Ring.Queue(Numbered(1), LcdPacketMode::Display);
  l_Ring.Queue(Numbered(2), LcdPacketMode::Display);
  l_Ring.Clear();
  EXPECT_EQ(l_Ring.Waiting(), 0u);
  EXPECT_FALSE(l_Consumer.Take());
  l_Ring.Queue(Numbered(3), LcdPacketMode::Display);
  EXPECT_EQ(NumberOf(*l_Consumer.Take()), 3u);
}

TEST(LcdPacketRing, DataReadyIsRaisedOnlyWhileTheConsumerIsAttached) {
  LcdPacketRing l_Ring;
  int l_nSignals = 0;
  {
    LcdPacketRing::Consumer l_Consumer(l_Ring, [&] { ++l_nSignals; });
    EXPECT_THROW(LcdPacketRing::Consumer(l_Ring, [] {}), std::logic_error);
    l_Ring.Queue(Numbered(1), LcdPacketMode::Display);
    l_Ring.SignalDataReady();
  }
  l_Ring.Queue(Numbered(2), LcdPacketMode::Display);
  l_Ring.SignalDataReady();
  EXPECT_EQ(l_nSignals, 2);
}

// A producer with more packets than the ring holds waits for the consumer and loses none.
TEST(LcdPacketRing, AProducerWaitsForRoomInsteadOfOverrunning) {
  LcdPacketRing l_Ring;
  WriterStandIn l_Writer(l_Ring);

  constexpr std::size_t kPackets = 1000;
  std::thread l_Producer([&] {
    for (std::size_t i = 0; i < kPackets; ++i) {
      ASSERT_TRUE(l_Ring.Queue(Numbered(i), LcdPacketMode::Display));
      ASSERT_LE(l_Ring.Waiting(), LcdPacketRing::kCapacity);
    }
  });
  std::size_t l_nNext = 0;
  while (l_nNext < kPackets) {
    for (const LcdPacket& l_Packet : l_Writer.WaitAndTake()) {
      ASSERT_EQ(NumberOf(l_Packet), l_nNext);
      ++l_nNext;
    }
  }
  l_Producer.join();
}

TEST(LcdPacketRing, DetachingTheConsumerReleasesAWaitingProducer) {
  LcdPacketRing l_Ring;
  auto l_pConsumer = std::make_unique<LcdPacketRing::Consumer>(l_Ring, [] {});
  for (std::size_t i = 0; i < LcdPacketRing::kCapacity; ++i) {
    l_Ring.Queue(Numbered(i), LcdPacketMode::Display);
  }
  std::atomic<bool> l_bQueued{true};
  std::thread l_Producer([&] { l_bQueued = l_Ring.Queue(Numbered(99), LcdPacketMode::Display); });
  l_pConsumer.reset();
  l_Producer.join();
  EXPECT_FALSE(l_bQueued);
  EXPECT_EQ(l_Ring.Waiting(), LcdPacketRing::kCapacity);
}

}  // namespace
