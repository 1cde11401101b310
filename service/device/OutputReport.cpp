#include "service/device/OutputReport.h"

#include <algorithm>

bool BuildOutputReport(const LcdPacket& p_Packet, std::span<std::uint8_t> p_Report) {
  if (p_Report.size() < kLcdOutputReportMinLength) {
    return false;
  }
  std::ranges::fill(p_Report, std::uint8_t{0});
  p_Report[0] = kLcdOutputReportId;
  std::span<const std::uint8_t> l_Bytes =
      p_Packet.Bytes().first(std::min(p_Packet.Bytes().size(), kLcdOutputReportMinLength - 1));
  if (p_Packet.m_Mode == LcdPacketMode::Display) {
    l_Bytes =
        l_Bytes.first(static_cast<std::size_t>(std::ranges::find(l_Bytes, 0) - l_Bytes.begin()));
  }
  std::ranges::copy(l_Bytes, p_Report.begin() + 1);
  return true;
}
