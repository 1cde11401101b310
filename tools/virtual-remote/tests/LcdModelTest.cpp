#include "tools/virtual-remote/LcdModel.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "service/device/DisplayState.h"
#include "service/device/FirmwareImage.h"
#include "service/device/FirmwareUpload.h"
#include "service/device/LcdPacketRing.h"
#include "service/device/LcdProtocol.h"
#include "service/device/OutputReport.h"
#include "service/device/tests/HexText.h"

namespace {

// The service's encoders on one side, the remote's decoding on the other.
class LcdModelTest : public ::testing::Test {
 protected:
  LcdModelTest() { g_bDisplayAwake = true; }

  // Acts as the writer: each packet as its report, the upload topped up after each.
  const LcdScreen& Deliver() {
    while (const auto l_Packet = m_Consumer.Take()) {
      std::array<std::uint8_t, 9> l_Report{};
      BuildOutputReport(*l_Packet, l_Report);
      m_Model.Receive(l_Report);
      m_Upload.TopUp();
    }
    return m_Model.Screen();
  }

  LcdPacketRing m_Ring;
  LcdPacketRing::Consumer m_Consumer{m_Ring, [] {}};
  LcdLanguage m_Language;
  LcdProtocol m_Protocol{m_Ring, [this] { return m_Language; }};
  FirmwareUpload m_Upload{m_Protocol};
  LcdModel m_Model;
};

TEST_F(LcdModelTest, TextsOfEveryLengthArriveWhole) {
  const std::string l_Letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTU";
  for (std::size_t l_nLength = 0; l_nLength <= 47; ++l_nLength) {
    m_Protocol.SendLcdFullRedraw();
    m_Protocol.SendLcdText(_bstr_t(l_Letters.substr(0, l_nLength).c_str()));
    m_Protocol.SendLcdText(_bstr_t("row"));
    const LcdScreen& l_Screen = Deliver();
    EXPECT_EQ(l_Screen.m_Title, l_Letters.substr(0, l_nLength));
    ASSERT_EQ(l_Screen.m_Rows.size(), 1u) << l_nLength;
    EXPECT_EQ(l_Screen.m_Rows[0], "row");
  }
}

TEST_F(LcdModelTest, ScrollingKeepsAPageOfRows) {
  m_Protocol.SendLcdFullRedraw();
  m_Protocol.SendLcdText(_bstr_t("T"));
  for (const char* l_szRow : {"1", "2", "3", "4", "5", "6"}) {
    m_Protocol.SendLcdText(_bstr_t(l_szRow));
  }
  m_Protocol.SendLcdBottomLine(_bstr_t("7"));
  EXPECT_EQ(Deliver().m_Rows, (std::vector<std::string>{"2", "3", "4", "5", "6", "7"}));
  m_Protocol.SendLcdTopLine(_bstr_t("1"));
  EXPECT_EQ(Deliver().m_Rows, (std::vector<std::string>{"1", "2", "3", "4", "5", "6"}));
}

TEST_F(LcdModelTest, JapaneseTextsKeepTheirTwoByteCodes) {
  m_Language = {4, 5};
  m_Protocol.SendLcdInit();
  m_Protocol.SendLcdFullRedraw();
  m_Protocol.SendLcdText(_bstr_t(u"A\u3042\u3042\u3042\u3042"));
  const LcdScreen& l_Screen = Deliver();
  EXPECT_EQ(l_Screen.m_nLanguage, 4);
  EXPECT_EQ(l_Screen.m_Title, "A\x91\x84\x91\x84\x91\x84\x91\x84");
}

TEST_F(LcdModelTest, FirmwareBlocksAreTakenWholeWithTheirZeros) {
  // 40 bytes from 0x1800 on: three blocks, the last one half filled.
  ASSERT_EQ(m_Upload.Start(FirmwareImage::Parse(
                HexRecord(0x17EC, Counting(0, 20)) + HexRecord(0x1800, Counting(0, 20)) +
                HexRecord(0x1814, Counting(0, 20)) + kHexEndOfFile)),
            "");
  const LcdScreen& l_Screen = Deliver();
  EXPECT_EQ(l_Screen.m_nFirmwareBlocks, 3);
  EXPECT_EQ(l_Screen.m_nLastFirmwareAddress, 0x1820);
  EXPECT_EQ(l_Screen.m_nScreensEnded, 0);
  EXPECT_TRUE(l_Screen.m_Rows.empty());
}

TEST_F(LcdModelTest, CommandsAndTheirArguments) {
  m_Protocol.SendLcdCursorRow(3);
  m_Protocol.SendLcdPlayStateIcon(0);
  m_Protocol.SendLcdPlayMode(2);
  m_Protocol.SendLcdDuration(3725);
  m_Protocol.SendLcdPosition(0);
  m_Protocol.SendLcdCommand(17);
  m_Protocol.SendLcdCommand(7);
  m_Protocol.SendLcdEndOfScreen();
  EXPECT_EQ(FormatScreen(Deliver()),
            R"(lcd "" | icon 0 | mode 2 | duration 1:02:05 | position 0:00:00 | times | off | )"
            "screens 1");
  EXPECT_EQ(m_Model.Screen().m_nCursorRow, 3);
}

}  // namespace
