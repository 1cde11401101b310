#pragma once

// Stands in for the report writer in tests: the ring's consumer, woken by its data-ready signal.
// One thread uses it.

#include <condition_variable>
#include <mutex>
#include <vector>

#include "service/device/LcdPacketRing.h"

class WriterStandIn {
 public:
  explicit WriterStandIn(LcdPacketRing& p_Ring)
      : m_Consumer(p_Ring, [this] {
          const std::lock_guard l_Lock(m_Mutex);
          m_bDataReady = true;
          m_Ready.notify_one();
        }) {}

  // Waits for data ready, then takes every waiting packet.
  std::vector<LcdPacket> WaitAndTake() {
    {
      std::unique_lock l_Lock(m_Mutex);
      m_Ready.wait(l_Lock, [this] { return m_bDataReady; });
      m_bDataReady = false;
    }
    std::vector<LcdPacket> l_Packets;
    while (const auto l_Packet = m_Consumer.Take()) {
      l_Packets.push_back(*l_Packet);
    }
    return l_Packets;
  }

 private:
  std::mutex m_Mutex;
  std::condition_variable m_Ready;
  bool m_bDataReady = false;
  LcdPacketRing::Consumer m_Consumer;
};
