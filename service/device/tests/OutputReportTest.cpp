#include "service/device/OutputReport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace {

using ::testing::ElementsAre;

LcdPacket Packet(std::vector<std::uint8_t> p_Bytes, LcdPacketMode p_Mode) {
  LcdPacket l_Packet;
  std::ranges::copy(p_Bytes, l_Packet.m_Bytes.begin());
  l_Packet.m_nLength = static_cast<std::uint8_t>(p_Bytes.size());
  l_Packet.m_Mode = p_Mode;
  return l_Packet;
}

TEST(OutputReport, CopiesADisplayPacketUpToItsFirstZero) {
  std::array<std::uint8_t, 10> l_Report;
  l_Report.fill(0xAA);
  ASSERT_TRUE(BuildOutputReport(Packet({0x21, 20, 2, 3, 6, 0}, LcdPacketMode::Display), l_Report));
  EXPECT_THAT(l_Report, ElementsAre(8, 0x21, 20, 2, 3, 6, 0, 0, 0, 0));
  ASSERT_TRUE(BuildOutputReport(Packet({0x22, 19, 0, 0}, LcdPacketMode::Display), l_Report));
  EXPECT_THAT(l_Report, ElementsAre(8, 0x22, 19, 0, 0, 0, 0, 0, 0, 0));
  ASSERT_TRUE(BuildOutputReport(
      Packet({'a', 'b', 'c', 'd', 'e', 'f', 13, 0}, LcdPacketMode::Display), l_Report));
  EXPECT_THAT(l_Report, ElementsAre(8, 'a', 'b', 'c', 'd', 'e', 'f', 13, 0, 0));
}

TEST(OutputReport, CopiesAFirmwarePacketWhole) {
  std::array<std::uint8_t, 8> l_Report{};
  ASSERT_TRUE(
      BuildOutputReport(Packet({5, 0x18, 0, 0, 7, 0, 9}, LcdPacketMode::Firmware), l_Report));
  EXPECT_THAT(l_Report, ElementsAre(8, 5, 0x18, 0, 0, 7, 0, 9));
}

TEST(OutputReport, RefusesAReportShorterThanAPacket) {
  std::array<std::uint8_t, 7> l_Report{};
  EXPECT_FALSE(BuildOutputReport(Packet({1, 2, 0}, LcdPacketMode::Display), l_Report));
  EXPECT_THAT(l_Report, ElementsAre(0, 0, 0, 0, 0, 0, 0));
}

}  // namespace
