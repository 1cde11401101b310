#include "service/device/LcdPacketRing.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

NoDestructor<LcdPacketRing> g_LcdPacketRing;

LcdPacketRing::Consumer::Consumer(LcdPacketRing& p_Ring, DataReady p_DataReady) : m_Ring(p_Ring) {
  const std::lock_guard l_Lock(m_Ring.m_Mutex);
  if (m_Ring.m_bConsumerAttached) {
    throw std::logic_error("the LCD packet ring has a consumer already");
  }
  m_Ring.m_bConsumerAttached = true;
  m_Ring.m_DataReady = std::move(p_DataReady);
}

LcdPacketRing::Consumer::~Consumer() {
  {
    const std::lock_guard l_Lock(m_Ring.m_Mutex);
    m_Ring.m_bConsumerAttached = false;
    m_Ring.m_DataReady = nullptr;
  }
  m_Ring.m_Room.notify_all();
}

std::optional<LcdPacket> LcdPacketRing::Consumer::Take() {
  std::optional<LcdPacket> l_Packet;
  {
    const std::lock_guard l_Lock(m_Ring.m_Mutex);
    if (m_Ring.m_nLcdRingRead == m_Ring.m_nLcdRingWrite) {
      return l_Packet;
    }
    l_Packet = m_Ring.m_Slots[m_Ring.m_nLcdRingRead];
    m_Ring.m_nLcdRingRead = (m_Ring.m_nLcdRingRead + 1) % kSlotCount;
  }
  m_Ring.m_Room.notify_all();
  return l_Packet;
}

bool LcdPacketRing::Queue(std::span<const std::uint8_t> p_Bytes, LcdPacketMode p_Mode) {
  if (p_Bytes.empty() || p_Bytes.size() > LcdPacket::kMaxLength) {
    throw std::length_error("an LCD packet holds 1 to 8 bytes");
  }
  std::unique_lock l_Lock(m_Mutex);
  m_Room.wait(l_Lock, [this] { return WaitingLocked() < kCapacity || !m_bConsumerAttached; });
  if (WaitingLocked() == kCapacity) {
    return false;
  }
  LcdPacket& l_Slot = m_Slots[m_nLcdRingWrite];
  std::ranges::copy(p_Bytes, l_Slot.m_Bytes.begin());
  l_Slot.m_nLength = static_cast<std::uint8_t>(p_Bytes.size());
  l_Slot.m_Mode = p_Mode;
  m_nLcdRingWrite = (m_nLcdRingWrite + 1) % kSlotCount;
  if (m_DataReady) {
    m_DataReady();
  }
  return true;
}

void LcdPacketRing::SignalDataReady() {
  const std::lock_guard l_Lock(m_Mutex);
  if (m_DataReady) {
    m_DataReady();
  }
}

void LcdPacketRing::Clear() {
  {
    const std::lock_guard l_Lock(m_Mutex);
    m_nLcdRingWrite = 0;
    m_nLcdRingRead = 0;
  }
  m_Room.notify_all();
}

std::size_t LcdPacketRing::Waiting() const {
  const std::lock_guard l_Lock(m_Mutex);
  return WaitingLocked();
}

std::size_t LcdPacketRing::WaitingLocked() const {
  return (m_nLcdRingWrite + kSlotCount - m_nLcdRingRead) % kSlotCount;
}
