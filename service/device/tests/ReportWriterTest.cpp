#include "service/device/ReportWriter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/MenuTexts.h"
#include "common/tests/support/LogRecorder.h"
#include "platform/hid/VirtualHidDevice.h"
#include "platform/kernel/Wait.h"
#include "service/device/DisplayState.h"
#include "service/device/LcdPacketRing.h"
#include "service/device/tests/FullWaiterTable.h"
#include "service/device/tests/HexText.h"
#include "service/device/tests/RemoteDescriptor.h"
#include "service/device/tests/TempFolder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using ::testing::ElementsAre;

constexpr auto kPatience = std::chrono::seconds(20);

// The output side as the device output thread runs it: the remote plugged in, opened for
// writing, with the writer running on its record.
class ReportWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_nLanguageIndex = kLanguageEnglish;
    g_nLinesPerPage = 6;
    g_bDisplayAwake = true;
    g_bForceLcdWrite = false;
    g_LcdProtocol->Reset();
    m_pRemote = platform::VirtualHidDevice::Plug({{0xFFFE, 0x0003, 0}, RemoteDescriptor()});
    ASSERT_TRUE(m_pRemote);
    ASSERT_TRUE(OpenRemoteDevice(m_Record, platform::HidAccess::Write));
    ASSERT_TRUE(m_Writer.Start(m_Record));
  }
  void TearDown() override {
    m_Writer.Stop();
    g_FirmwareUpload->Stop();
  }

  // The next report the remote received; an empty one when none came.
  Bytes NextReport() { return m_pRemote->ReadOutputReport(kPatience).value_or(Bytes{}); }

  bool WriterEnded() {
    return platform::WaitForObject(m_Writer.ExitRef(), platform::Timeout(0)).Signalled(0);
  }

  const LogRecorder m_Log;
  std::unique_ptr<platform::VirtualHidDevice> m_pRemote;
  HidDeviceRecord m_Record;
  CAsynchWriter m_Writer;
};

TEST_F(ReportWriterTest, DisplayPacketsLeaveUpToTheirFirstZeroInReport8) {
  g_LcdProtocol->SendLcdInit();
  g_LcdProtocol->SendLcdDuration(3725);
  g_LcdProtocol->SendLcdText(_bstr_t(u"ABCDEFGHIJKLMNOPQRS"));
  g_LcdProtocol->SendLcdEndOfScreen();
  EXPECT_THAT(NextReport(), ElementsAre(8, 0x20, 8, '0', 0, 0, 0, 0));
  EXPECT_THAT(NextReport(), ElementsAre(8, 0x21, 20, 2, 3, 6, 0, 0));
  EXPECT_THAT(NextReport(), ElementsAre(8, 0x22, 'A', 'B', 'C', 'D', 'E', 'F'));
  EXPECT_THAT(NextReport(), ElementsAre(8, 'G', 'H', 'I', 'J', 'K', 'L', 'M'));
  // 13 is the packet's seventh byte: its zero stays behind in the slot.
  EXPECT_THAT(NextReport(), ElementsAre(8, 0x23, 'N', 'O', 'P', 'Q', 'R', 'S'));
  EXPECT_THAT(NextReport(), ElementsAre(8, 13, 0, 0, 0, 0, 0, 0));
  EXPECT_THAT(NextReport(), ElementsAre(8, 0x24, 0, 0, 0, 0, 0, 0));
}

TEST_F(ReportWriterTest, TheServicesProtocolFollowsTheLanguageIndex) {
  g_nLanguageIndex = kLanguageJapanese;
  g_nLinesPerPage = 5;
  g_LcdProtocol->SendLcdInit();
  g_LcdProtocol->SendLcdScrollBar(0, 6);
  g_LcdProtocol->SendLcdText(_bstr_t(u"\u3042"));
  EXPECT_THAT(NextReport(), ElementsAre(8, 0x20, 8, '4', 0, 0, 0, 0));
  EXPECT_THAT(NextReport(), ElementsAre(8, 0x21, 22, 17, 0, 0, 0, 0));
  EXPECT_THAT(NextReport(), ElementsAre(8, 0x22, 0x91, 0x84, 13, 0, 0, 0));
}

TEST_F(ReportWriterTest, AForcedPacketPassesTheSleepingDisplayOnce) {
  g_bDisplayAwake = false;
  g_bForceLcdWrite = true;
  g_LcdProtocol->SendLcdCommand(7);
  EXPECT_THAT(NextReport(), ElementsAre(8, 0x20, 7, 0, 0, 0, 0, 0));
  m_Writer.Stop();
  EXPECT_FALSE(g_bForceLcdWrite);
}

// Eight texts of 47 characters are 64 packets, more than the ring holds: the producer waits for
// room whenever the writer falls behind, and every packet leaves in order.
TEST_F(ReportWriterTest, MorePacketsThanTheRingHoldsLoseNone) {
  const _bstr_t l_Text(std::u16string(47, u'x').c_str());
  constexpr int kTexts = 8;
  for (int i = 0; i < kTexts; ++i) {
    g_LcdProtocol->SendLcdText(l_Text);
  }
  for (int l_nText = 0; l_nText < kTexts; ++l_nText) {
    for (int l_nPacket = 0; l_nPacket < 8; ++l_nPacket) {
      const Bytes l_Report = NextReport();
      ASSERT_EQ(l_Report.size(), 8u);
      if (l_nPacket % 2 == 0 && l_nPacket < 7) {
        EXPECT_EQ(l_Report[1], 0x20 + 4 * l_nText + l_nPacket / 2) << l_nText << l_nPacket;
      }
      if (l_nPacket == 7) {
        EXPECT_THAT(l_Report, ElementsAre(8, 'x', 'x', 13, 0, 0, 0, 0));
      }
    }
  }
  EXPECT_EQ(g_LcdPacketRing->Waiting(), 0u);
}

TEST_F(ReportWriterTest, AFirmwareUploadSendsWholePacketsWhileTheDisplaySleeps) {
  const TempFolder l_Folder;
  std::string l_Hex = HexRecord(0x17EC, Counting(0xA0, 20));
  constexpr int kBlocks = 40;
  for (int i = 0; i < kBlocks; ++i) {
    l_Hex += HexRecord(static_cast<std::uint16_t>(0x1800 + 16 * i), Bytes(16, 0));
  }
  std::ofstream(l_Folder.Path() / kFirmwareImageName) << l_Hex + kHexEndOfFile;
  g_bDisplayAwake = false;

  ASSERT_EQ(g_FirmwareUpload->Start(l_Folder.Path() / kFirmwareImageName), "");
  for (int i = 0; i < kBlocks; ++i) {
    const Bytes l_First = NextReport();
    const Bytes l_Second = NextReport();
    const Bytes l_Third = NextReport();
    ASSERT_EQ(l_First.size(), 8u) << i;
    const auto l_nAddress = static_cast<std::uint16_t>(0x1800 + 16 * i);
    EXPECT_THAT(l_First, ElementsAre(8, i % 32, l_nAddress >> 8, l_nAddress & 0xFF, 0, 0, 0, 0));
    EXPECT_EQ(l_Second, Bytes({8, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(l_Third, Bytes({8, 0, 0, 0, 0, 0, 0, 0}));
  }
  EXPECT_FALSE(g_FirmwareUpload->IsRunning());
  EXPECT_FALSE(m_pRemote->ReadOutputReport(std::chrono::milliseconds(50)));
}

// Stopping and starting again while the writer tops up: blocks are never cut, and the new upload
// starts from its beginning.
TEST_F(ReportWriterTest, AnUploadStopsAndStartsAgainBetweenWholeBlocks) {
  const TempFolder l_Folder;
  std::string l_Hex;
  for (int i = 0; i < 200; ++i) {
    l_Hex += HexRecord(static_cast<std::uint16_t>(0x1800 + 16 * i), Bytes(16, 0xAA));
  }
  const auto l_Path = l_Folder.Path() / kFirmwareImageName;
  std::ofstream(l_Path) << l_Hex;

  ASSERT_EQ(g_FirmwareUpload->Start(l_Path), "");
  for (int i = 0; i < 10; ++i) {
    ASSERT_EQ(NextReport().size(), 8u);
  }
  g_FirmwareUpload->Stop();
  // The end of screen queued now follows every firmware packet still in the ring.
  g_LcdProtocol->SendLcdEndOfScreen();
  int l_nReports = 10;
  for (Bytes l_Report = NextReport(); l_Report.size() == 8 && l_Report[2] != 0;
       l_Report = NextReport()) {
    ++l_nReports;
  }
  EXPECT_EQ(l_nReports % 3, 0);
  EXPECT_FALSE(g_FirmwareUpload->IsRunning());

  ASSERT_EQ(g_FirmwareUpload->Start(l_Path), "");
  EXPECT_THAT(NextReport(), ElementsAre(8, 0, 0x18, 0x00, 0xAA, 0xAA, 0xAA, 0xAA));
}

// A stop during an upload ends the writer after the report in hand, not after the whole image.
TEST_F(ReportWriterTest, StopDuringAnUploadEndsTheWriterAtOnce) {
  const TempFolder l_Folder;
  constexpr int kBlocks = 3000;
  std::string l_Hex;
  for (int i = 0; i < kBlocks; ++i) {
    l_Hex += HexRecord(static_cast<std::uint16_t>(0x1800 + 16 * i), Bytes(16, 0x55));
  }
  std::ofstream(l_Folder.Path() / kFirmwareImageName) << l_Hex;
  ASSERT_EQ(g_FirmwareUpload->Start(l_Folder.Path() / kFirmwareImageName), "");
  ASSERT_EQ(NextReport().size(), 8u);
  m_Writer.Stop();
  EXPECT_TRUE(g_FirmwareUpload->IsRunning());
  int l_nReports = 1;
  while (m_pRemote->ReadOutputReport(std::chrono::milliseconds(100))) {
    ++l_nReports;
  }
  EXPECT_LT(l_nReports, 3 * kBlocks);
}

// A slow remote keeps the writer waiting as long as it takes, and a stop still ends it.
TEST_F(ReportWriterTest, AWriteWaitsForASlowRemoteAndAStopEndsTheWait) {
  const TempFolder l_Folder;
  std::string l_Hex;
  for (int i = 0; i < 3000; ++i) {
    l_Hex += HexRecord(static_cast<std::uint16_t>(0x1800 + 16 * i), Bytes(16, 0x33));
  }
  std::ofstream(l_Folder.Path() / kFirmwareImageName) << l_Hex;
  m_pRemote->HoldOutputReports(true);
  ASSERT_EQ(g_FirmwareUpload->Start(l_Folder.Path() / kFirmwareImageName), "");
  // Longer than any time-out of a single write.
  std::this_thread::sleep_for(std::chrono::seconds(6));
  EXPECT_FALSE(WriterEnded());
  m_Writer.Stop();
  EXPECT_TRUE(WriterEnded());
  EXPECT_FALSE(m_Log.Contains(u"Device write error"));
  m_pRemote->HoldOutputReports(false);
  EXPECT_TRUE(m_pRemote->ReadOutputReport(kPatience));
}

// The writer's context lives until its thread has ended, also when the join has to wait for a
// waiter record.
TEST_F(ReportWriterTest, StopWithAFullWaiterTableJoinsBeforeFreeing) {
  FullWaiterTable l_Table;
  l_Table.Fill();
  std::jthread l_Room([&l_Table] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    l_Table.Release();
  });
  m_Writer.Stop();
  EXPECT_TRUE(WriterEnded());
}

TEST_F(ReportWriterTest, AFailedWriteEndsTheWriterAndTheRingFillsWithoutIt) {
  m_pRemote->Unplug();
  g_LcdProtocol->SendLcdEndOfScreen();
  ASSERT_TRUE(platform::WaitForObject(m_Writer.ExitRef(), platform::kInfinite).Signalled(0));
  EXPECT_TRUE(m_Log.Contains(u"Device write error"));
  EXPECT_TRUE(m_Log.Contains(u"AsynchWriteThreadProc Ends"));
  // Nobody sends any more: a full ring drops packets instead of waiting.
  for (std::size_t i = 0; i < LcdPacketRing::kSlotCount; ++i) {
    g_LcdProtocol->SendLcdEndOfScreen();
  }
  EXPECT_EQ(g_LcdPacketRing->Waiting(), LcdPacketRing::kCapacity);
}

TEST_F(ReportWriterTest, AStoppedWriterStartsAgainAndSendsWhatWaits) {
  m_Writer.Stop();
  EXPECT_TRUE(m_Log.Contains(u"AsynchWriteThreadProc Ends"));
  g_LcdProtocol->SendLcdFullRedraw();
  ASSERT_TRUE(m_Writer.Start(m_Record));
  EXPECT_THAT(NextReport(), ElementsAre(8, 0x20, 1, 0, 0, 0, 0, 0));
  EXPECT_FALSE(WriterEnded());
}

}  // namespace
