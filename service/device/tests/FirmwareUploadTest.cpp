#include "service/device/FirmwareUpload.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "service/device/DisplayState.h"
#include "service/device/OutputReport.h"
#include "service/device/tests/HexText.h"
#include "service/device/tests/TempFolder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// One block as it left the ring: its sequence byte, device address and 16 data bytes.
struct Block {
  std::uint8_t m_bySequence;
  std::uint16_t m_nAddress;
  Bytes m_Data;
};

class FirmwareUploadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_bDisplayAwake = true;
    g_bForceLcdWrite = false;
  }

  // Writes the image file and starts the upload from it.
  std::string StartFrom(const std::string& p_Hex) {
    const auto l_Path = m_Folder.Path() / kFirmwareImageName;
    std::ofstream(l_Path) << p_Hex;
    return m_Upload.Start(l_Path);
  }

  // Acts as the writer until the upload has ended and the ring is empty: each packet leaves as
  // its output report, and the upload is topped up after each.
  std::vector<Block> RunToEnd() {
    std::vector<Block> l_Blocks;
    Bytes l_Stream;
    while (const auto l_Packet = m_Consumer.Take()) {
      EXPECT_EQ(l_Packet->m_Mode, LcdPacketMode::Firmware);
      std::array<std::uint8_t, 9> l_Report{};
      EXPECT_TRUE(BuildOutputReport(*l_Packet, l_Report));
      l_Stream.insert(l_Stream.end(), l_Report.begin() + 1, l_Report.begin() + 8);
      if (l_Stream.size() == FirmwareUpload::kBlockBytes) {
        EXPECT_EQ(l_Stream[19], 0);
        EXPECT_EQ(l_Stream[20], 0);
        l_Blocks.push_back({l_Stream[0], static_cast<std::uint16_t>(l_Stream[1] << 8 | l_Stream[2]),
                            Bytes(l_Stream.begin() + 3, l_Stream.begin() + 19)});
        l_Stream.clear();
      }
      m_Upload.TopUp();
    }
    EXPECT_TRUE(l_Stream.empty());
    EXPECT_FALSE(m_Upload.IsRunning());
    return l_Blocks;
  }

  std::vector<Bytes> DisplayPackets() {
    std::vector<Bytes> l_Packets;
    while (const auto l_Packet = m_Consumer.Take()) {
      EXPECT_EQ(l_Packet->m_Mode, LcdPacketMode::Display);
      l_Packets.emplace_back(l_Packet->Bytes().begin(), l_Packet->Bytes().end());
    }
    return l_Packets;
  }

  TempFolder m_Folder;
  LcdPacketRing m_Ring;
  LcdPacketRing::Consumer m_Consumer{m_Ring, [] {}};
  LcdProtocol m_Protocol{m_Ring, [] { return LcdLanguage{}; }};
  FirmwareUpload m_Upload{m_Protocol};
};

Bytes Slice(const Bytes& p_Bytes, std::size_t p_nFirst, std::size_t p_nCount) {
  return {p_Bytes.begin() + static_cast<std::ptrdiff_t>(p_nFirst),
          p_Bytes.begin() + static_cast<std::ptrdiff_t>(p_nFirst + p_nCount)};
}

Bytes Join(const Bytes& p_First, const Bytes& p_Second) {
  Bytes l_Joined = p_First;
  l_Joined.insert(l_Joined.end(), p_Second.begin(), p_Second.end());
  return l_Joined;
}

TEST_F(FirmwareUploadTest, StartsWithTheRecordAt0x1800) {
  const Bytes l_At1800 = Counting(0x40, 20);
  const Bytes l_At1814 = Counting(0x80, 20);
  ASSERT_EQ(StartFrom(HexRecord(0x17D8, Counting(0, 20)) + HexRecord(0x17EC, Counting(0x20, 20)) +
                      HexRecord(0x1800, l_At1800) + HexRecord(0x1814, l_At1814) + kHexEndOfFile),
            "");
  const std::vector<Block> l_Blocks = RunToEnd();
  ASSERT_EQ(l_Blocks.size(), 3u);
  EXPECT_EQ(l_Blocks[0].m_bySequence, 0);
  EXPECT_EQ(l_Blocks[0].m_nAddress, 0x1800);
  EXPECT_EQ(l_Blocks[0].m_Data, Slice(l_At1800, 0, 16));
  EXPECT_EQ(l_Blocks[1].m_bySequence, 1);
  EXPECT_EQ(l_Blocks[1].m_nAddress, 0x1810);
  EXPECT_EQ(l_Blocks[1].m_Data, Join(Slice(l_At1800, 16, 4), Slice(l_At1814, 0, 12)));
  // The image ends inside the third block: the rest reads as erased flash.
  EXPECT_EQ(l_Blocks[2].m_Data, Join(Slice(l_At1814, 12, 8), Bytes(8, 0xFF)));
}

TEST_F(FirmwareUploadTest, ARecordAcross0x1800SendsItsBytesFrom0x1800On) {
  const Bytes l_At17F8 = Counting(1, 20);
  ASSERT_EQ(StartFrom(HexRecord(0x17F8, l_At17F8) + HexRecord(0x180C, Counting(0x30, 4))), "");
  const std::vector<Block> l_Blocks = RunToEnd();
  ASSERT_EQ(l_Blocks.size(), 1u);
  EXPECT_EQ(l_Blocks[0].m_nAddress, 0x1800);
  EXPECT_EQ(l_Blocks[0].m_Data, Join(Slice(l_At17F8, 8, 12), Counting(0x30, 4)));
}

// The image is read whole when the upload starts: a file rewritten, cut short or removed while
// blocks are still to go changes none of them, and the next upload reads the file as it is then.
TEST_F(FirmwareUploadTest, AnImageChangedDuringTheUploadLeavesItWhole) {
  std::string l_Hex;
  for (std::uint16_t l_nAddress = 0x1800; l_nAddress < 0x1800 + 40 * 20; l_nAddress += 20) {
    l_Hex += HexRecord(l_nAddress, Bytes(20, 0x11));
  }
  const auto l_Path = m_Folder.Path() / kFirmwareImageName;
  for (const std::string& l_Change :
       {HexRecord(0x1800, Bytes(20, 0x22)) + kHexEndOfFile, l_Hex.substr(0, 30), std::string()}) {
    SCOPED_TRACE(l_Change);
    ASSERT_EQ(StartFrom(l_Hex + kHexEndOfFile), "");
    ASSERT_TRUE(m_Upload.IsRunning());
    if (l_Change.empty()) {
      std::filesystem::remove(l_Path);
    } else {
      std::ofstream(l_Path, std::ios::trunc) << l_Change;
    }
    const std::vector<Block> l_Blocks = RunToEnd();
    ASSERT_EQ(l_Blocks.size(), 50u);
    for (std::size_t l_nBlock = 0; l_nBlock < l_Blocks.size(); ++l_nBlock) {
      EXPECT_EQ(l_Blocks[l_nBlock].m_nAddress, 0x1800 + 16 * l_nBlock);
      EXPECT_EQ(l_Blocks[l_nBlock].m_Data, Bytes(16, 0x11));
    }
  }
  std::ofstream(l_Path, std::ios::trunc) << HexRecord(0x1800, Bytes(16, 0x22)) << kHexEndOfFile;
  ASSERT_EQ(m_Upload.Start(l_Path), "");
  const std::vector<Block> l_Blocks = RunToEnd();
  ASSERT_EQ(l_Blocks.size(), 1u);
  EXPECT_EQ(l_Blocks[0].m_Data, Bytes(16, 0x22));
}

// A zero in the data does not cut a packet, also for those still waiting when the image ends.
TEST_F(FirmwareUploadTest, FirmwarePacketsLeaveWholeAndNumberedFrom0To0x1F) {
  std::string l_Hex;
  for (std::uint16_t l_nAddress = 0x1800; l_nAddress < 0x1800 + 34 * 16; l_nAddress += 16) {
    l_Hex += HexRecord(l_nAddress, Bytes(16, 0));
  }
  ASSERT_EQ(StartFrom(l_Hex), "");
  const std::vector<Block> l_Blocks = RunToEnd();
  ASSERT_EQ(l_Blocks.size(), 34u);
  for (std::size_t i = 0; i < l_Blocks.size(); ++i) {
    EXPECT_EQ(l_Blocks[i].m_bySequence, i % 32);
    EXPECT_EQ(l_Blocks[i].m_nAddress, 0x1800 + 16 * i);
    EXPECT_EQ(l_Blocks[i].m_Data, Bytes(16, 0));
  }
}

TEST_F(FirmwareUploadTest, GapsSendNoBlockWithoutData) {
  ASSERT_EQ(StartFrom(HexRecord(0x1800, {1, 2}) + HexRecord(0x1808, {3}) +
                      HexRecord(0x1900, Counting(0x10, 16))),
            "");
  const std::vector<Block> l_Blocks = RunToEnd();
  ASSERT_EQ(l_Blocks.size(), 2u);
  EXPECT_EQ(l_Blocks[0].m_Data, Bytes({1, 2, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 3, 0xFF, 0xFF,
                                       0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(l_Blocks[1].m_nAddress, 0x1900);
  EXPECT_EQ(l_Blocks[1].m_bySequence, 1);
}

TEST_F(FirmwareUploadTest, TheWriterKeepsAbout30PacketsWaiting) {
  std::string l_Hex;
  for (std::uint16_t l_nAddress = 0x1800; l_nAddress < 0x1800 + 100 * 16; l_nAddress += 16) {
    l_Hex += HexRecord(l_nAddress, Bytes(16, 7));
  }
  ASSERT_EQ(StartFrom(l_Hex), "");
  EXPECT_EQ(m_Ring.Waiting(), 3u);
  m_Upload.TopUp();
  EXPECT_EQ(m_Ring.Waiting(), 30u);
  m_Consumer.Take();
  m_Upload.TopUp();
  EXPECT_EQ(m_Ring.Waiting(), 32u);
}

TEST_F(FirmwareUploadTest, TheSleepGateLeavesTheUploadAlone) {
  g_bDisplayAwake = false;
  ASSERT_EQ(StartFrom(HexRecord(0x1800, Counting(0, 16))), "");
  EXPECT_EQ(RunToEnd().size(), 1u);
}

TEST_F(FirmwareUploadTest, AMissingFaultyOrEmptyImageAnswersWithEndOfScreen) {
  EXPECT_NE(m_Upload.Start(m_Folder.Path() / kFirmwareImageName), "");
  EXPECT_NE(StartFrom(HexRecord(0x1800, {1}).replace(10, 2, "FF")), "");
  EXPECT_EQ(StartFrom(HexRecord(0x17EC, Counting(0, 20)) + kHexEndOfFile),
            "the image holds no data from address 0x1800 on");
  EXPECT_FALSE(m_Upload.IsRunning());
  EXPECT_THAT(DisplayPackets(),
              ElementsAre(Bytes{0x20, 0, 0}, Bytes{0x21, 0, 0}, Bytes{0x22, 0, 0}));
}

TEST_F(FirmwareUploadTest, StopEndsTheUploadAndStartBeginsAgain) {
  std::string l_Hex;
  for (std::uint16_t l_nAddress = 0x1800; l_nAddress < 0x1800 + 10 * 16; l_nAddress += 16) {
    l_Hex += HexRecord(l_nAddress, Bytes(16, 9));
  }
  ASSERT_EQ(StartFrom(l_Hex), "");
  m_Upload.SendFirmwareBlock();
  ASSERT_EQ(StartFrom(l_Hex), "");
  EXPECT_EQ(m_Ring.Waiting(), 9u);
  m_Upload.Stop();
  m_Upload.TopUp();
  m_Upload.SendFirmwareBlock();
  std::vector<std::uint8_t> l_Sequences;
  while (const auto l_Packet = m_Consumer.Take()) {
    l_Sequences.push_back(l_Packet->m_Bytes[0]);
    m_Consumer.Take();
    const auto l_Last = m_Consumer.Take();
    EXPECT_EQ(l_Last->m_Mode, LcdPacketMode::Firmware);
  }
  EXPECT_THAT(l_Sequences, ElementsAre(0, 1, 0));
}

TEST_F(FirmwareUploadTest, TopUpNeverWaitsForAnotherProducer) {
  ASSERT_EQ(StartFrom(HexRecord(0x1800, Counting(0, 64))), "");
  {
    const LcdProtocol::Turn l_OtherProducer = m_Protocol.BeginTurn();
    std::thread([this] { m_Upload.TopUp(); }).join();
    EXPECT_EQ(m_Ring.Waiting(), 3u);
  }
  m_Upload.TopUp();
  EXPECT_EQ(m_Ring.Waiting(), 12u);
}

// Display packets that take the shared sequence past 0x1F, and the wake rule's reset to 0x20,
// leave the next block within 0 to 0x1F.
TEST_F(FirmwareUploadTest, ABlockTakesASequenceFrom0To0x1FWhateverTheDisplayLeft) {
  const std::vector<std::function<void()>> l_DisplayTurns = {
      [this] { m_Protocol.Reset(); },
      [this] {
        for (int i = 0; i < 0x1F; ++i) {
          m_Protocol.SendLcdEndOfScreen();
        }
      },
  };
  for (const std::function<void()>& l_DisplayTurn : l_DisplayTurns) {
    ASSERT_EQ(StartFrom(HexRecord(0x1800, Counting(0, 64))), "");
    l_DisplayTurn();
    m_Upload.SendFirmwareBlock();
    std::vector<LcdPacket> l_Packets;
    while (const auto l_Packet = m_Consumer.Take()) {
      l_Packets.push_back(*l_Packet);
    }
    ASSERT_GE(l_Packets.size(), 3u);
    const LcdPacket& l_BlockStart = l_Packets[l_Packets.size() - 3];
    EXPECT_EQ(l_BlockStart.m_Mode, LcdPacketMode::Firmware);
    EXPECT_EQ(l_BlockStart.m_Bytes[0], 0);
    m_Upload.Stop();
  }
}

// After the image ends, display packets go on from the sequence the upload left.
TEST_F(FirmwareUploadTest, DisplayPacketsFollowTheUploadsSequence) {
  ASSERT_EQ(StartFrom(HexRecord(0x1800, Counting(0, 32))), "");
  RunToEnd();
  m_Protocol.SendLcdEndOfScreen();
  EXPECT_THAT(DisplayPackets(), ElementsAre(Bytes{2, 0, 0}));
}

}  // namespace
