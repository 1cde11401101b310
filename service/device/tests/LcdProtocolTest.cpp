#include "service/device/LcdProtocol.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "service/device/DisplayState.h"
#include "service/device/tests/WriterStandIn.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using ::testing::ElementsAre;

class LcdProtocolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_bDisplayAwake = true;
    g_bForceLcdWrite = false;
    g_bLcdInitialised = false;
  }

  // The packets queued so far, as queued.
  std::vector<Bytes> Drain() {
    std::vector<Bytes> l_Packets;
    while (const auto l_Packet = m_Consumer.Take()) {
      l_Packets.emplace_back(l_Packet->Bytes().begin(), l_Packet->Bytes().end());
    }
    return l_Packets;
  }

  LcdLanguage m_Language;
  LcdPacketRing m_Ring;
  LcdPacketRing::Consumer m_Consumer{m_Ring, [] {}};
  LcdProtocol m_Protocol{m_Ring, [this] { return m_Language; }};
};

struct EncoderCase {
  std::string m_Name;
  std::function<void(LcdProtocol&)> m_Send;
  Bytes m_Expected;
};

TEST_F(LcdProtocolTest, EveryEncoderBuildsItsPacket) {
  const std::vector<EncoderCase> l_Cases = {
      {"end of screen", [](LcdProtocol& p) { p.SendLcdEndOfScreen(); }, {0x20, 0, 0}},
      {"full redraw", [](LcdProtocol& p) { p.SendLcdFullRedraw(); }, {0x20, 1, 0}},
      {"cursor row", [](LcdProtocol& p) { p.SendLcdCursorRow(2); }, {0x20, 5, 3, 0}},
      {"display on", [](LcdProtocol& p) { p.SendLcdCommand(6); }, {0x20, 6, 0}},
      {"display off", [](LcdProtocol& p) { p.SendLcdCommand(7); }, {0x20, 7, 0}},
      {"init", [](LcdProtocol& p) { p.SendLcdInit(); }, {0x20, 8, '0', 0}},
      {"command 12", [](LcdProtocol& p) { p.SendLcdCommand(12); }, {0x20, 12, 0}},
      {"cursor move", [](LcdProtocol& p) { p.SendLcdCursorMove(0); }, {0x20, 14, 1, 0}},
      {"choice 1", [](LcdProtocol& p) { p.SendLcdChoice(LcdTextLine::First); }, {0x20, 16, '1', 0}},
      {"choice 2",
       [](LcdProtocol& p) { p.SendLcdChoice(LcdTextLine::Second); },
       {0x20, 16, '2', 0}},
      {"command 17", [](LcdProtocol& p) { p.SendLcdCommand(17); }, {0x20, 17, 0}},
      {"leave player", [](LcdProtocol& p) { p.SendLcdCommand(18); }, {0x20, 18, 0}},
      {"icon", [](LcdProtocol& p) { p.SendLcdPlayStateIcon(3); }, {0x20, 19, 3, 0}},
      {"stopped icon", [](LcdProtocol& p) { p.SendLcdPlayStateIcon(0); }, {0x20, 19, 0, 0}},
      {"duration", [](LcdProtocol& p) { p.SendLcdDuration(3725); }, {0x20, 20, 2, 3, 6, 0}},
      {"position", [](LcdProtocol& p) { p.SendLcdPosition(0); }, {0x20, 21, 1, 1, 1, 0}},
      {"negative time", [](LcdProtocol& p) { p.SendLcdPosition(-61); }, {0x20, 21, 1, 1, 1, 0}},
      {"255 hours",
       [](LcdProtocol& p) { p.SendLcdDuration(255 * 3600); },
       {0x20, 20, 255, 60, 60, 0}},
      {"largest time",
       [](LcdProtocol& p) { p.SendLcdDuration(INT32_MAX); },
       {0x20, 20, 255, 60, 60, 0}},
      {"scroll bar top", [](LcdProtocol& p) { p.SendLcdScrollBar(0, 20); }, {0x20, 22, 15, 0}},
      {"scroll bar end", [](LcdProtocol& p) { p.SendLcdScrollBar(19, 20); }, {0x20, 22, 95, 0}},
      {"scroll bar past", [](LcdProtocol& p) { p.SendLcdScrollBar(-5, 20); }, {0x20, 22, 15, 0}},
      {"play mode", [](LcdProtocol& p) { p.SendLcdPlayMode(2); }, {0x20, 23, 2, 0}},
      {"empty text", [](LcdProtocol& p) { p.SendLcdEmptyText(); }, {0x20, 13, 0}},
  };
  for (const EncoderCase& l_Case : l_Cases) {
    m_Protocol.Reset();
    l_Case.m_Send(m_Protocol);
    EXPECT_THAT(Drain(), ElementsAre(l_Case.m_Expected)) << l_Case.m_Name;
  }
  EXPECT_TRUE(g_bLcdInitialised);
}

TEST_F(LcdProtocolTest, TheSequenceRunsFrom0x20To0xFEAndAdvancesForDroppedPackets) {
  for (int i = 0x20; i < 0xFE; ++i) {
    m_Protocol.SendLcdEndOfScreen();
    Drain();
  }
  g_bDisplayAwake = false;
  m_Protocol.SendLcdEndOfScreen();  // 0xFE, dropped
  EXPECT_TRUE(Drain().empty());
  g_bDisplayAwake = true;
  m_Protocol.SendLcdEndOfScreen();
  EXPECT_THAT(Drain(), ElementsAre(Bytes{0x20, 0, 0}));
}

TEST_F(LcdProtocolTest, TheGateDropsDisplayPacketsWhileAsleepUnlessForced) {
  g_bDisplayAwake = false;
  m_Protocol.SendLcdText(u"Asleep");
  EXPECT_TRUE(Drain().empty());
  g_bForceLcdWrite = true;
  m_Protocol.SendLcdCommand(7);
  EXPECT_THAT(Drain(), ElementsAre(Bytes{0x21, 7, 0}));
}

TEST_F(LcdProtocolTest, ResetEmptiesTheRingAndRestartsTheSequence) {
  m_Protocol.SendLcdEndOfScreen();
  m_Protocol.SendLcdEndOfScreen();
  m_Protocol.Reset();
  EXPECT_TRUE(Drain().empty());
  m_Protocol.SendLcdEndOfScreen();
  EXPECT_THAT(Drain(), ElementsAre(Bytes{0x20, 0, 0}));
}

TEST_F(LcdProtocolTest, ADisplayPacketNeverTakesSequenceZero) {
  m_Protocol.BeginTurn().SetSequence(0);
  m_Protocol.SendLcdEndOfScreen();
  m_Protocol.SendLcdEndOfScreen();
  EXPECT_THAT(Drain(), ElementsAre(Bytes{0x20, 0, 0}, Bytes{0x21, 0, 0}));
}

TEST_F(LcdProtocolTest, ScrollBarOnlyForListsLongerThanAPage) {
  m_Protocol.SendLcdScrollBar(3, 6);
  m_Protocol.SendLcdScrollBar(0, 1);
  m_Language.m_nLinesPerPage = 0;
  m_Protocol.SendLcdScrollBar(0, 1);
  EXPECT_TRUE(Drain().empty());
}

TEST_F(LcdProtocolTest, JapaneseScrollBarRunsFrom17To95) {
  m_Language = {kLcdLanguageJapanese, 5};
  m_Protocol.SendLcdScrollBar(0, 20);
  m_Protocol.SendLcdScrollBar(19, 20);
  m_Protocol.SendLcdScrollBar(3, 5);
  m_Protocol.SendLcdInit();
  EXPECT_THAT(Drain(),
              ElementsAre(Bytes{0x20, 22, 17, 0}, Bytes{0x21, 22, 95, 0}, Bytes{0x22, 8, '4', 0}));
}

TEST_F(LcdProtocolTest, A47CharacterTextAlternatesPacketsWithAndWithoutSequence) {
  m_Protocol.SendLcdText(
      u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTU"
      u"VW");
  EXPECT_THAT(
      Drain(),
      ElementsAre(
          Bytes{0x20, 'a', 'b', 'c', 'd', 'e', 'f'}, Bytes{'g', 'h', 'i', 'j', 'k', 'l', 'm'},
          Bytes{0x21, 'n', 'o', 'p', 'q', 'r', 's'}, Bytes{'t', 'u', 'v', 'w', 'x', 'y', 'z'},
          Bytes{0x22, 'A', 'B', 'C', 'D', 'E', 'F'}, Bytes{'G', 'H', 'I', 'J', 'K', 'L', 'M'},
          Bytes{0x23, 'N', 'O', 'P', 'Q', 'R', 'S'}, Bytes{'T', 'U', 13, 0}));
}

TEST_F(LcdProtocolTest, TextEndsAtSixCharactersAtNulAndWithAReturnAsSeventhByte) {
  m_Protocol.SendLcdText(u"Albums");
  m_Protocol.SendLcdText(std::u16string_view(u"Ab\0cd", 5));
  m_Protocol.SendLcdText(u"Playlists");
  EXPECT_THAT(Drain(),
              ElementsAre(Bytes{0x20, 'A', 'l', 'b', 'u', 'm', 's'}, Bytes{13, 0},
                          Bytes{0x21, 'A', 'b', 13, 0}, Bytes{0x22, 'P', 'l', 'a', 'y', 'l', 'i'},
                          Bytes{'s', 't', 's', 13, 0}));
  m_Protocol.SendLcdText(u"abcdefghijklm");
  EXPECT_THAT(Drain(), ElementsAre(Bytes{0x23, 'a', 'b', 'c', 'd', 'e', 'f'},
                                   Bytes{'g', 'h', 'i', 'j', 'k', 'l', 'm'}, Bytes{0x24, 13, 0}));
  m_Protocol.SendLcdText(u"abcdefghijklmnopqrs");
  EXPECT_THAT(Drain(), ElementsAre(Bytes{0x25, 'a', 'b', 'c', 'd', 'e', 'f'},
                                   Bytes{'g', 'h', 'i', 'j', 'k', 'l', 'm'},
                                   Bytes{0x26, 'n', 'o', 'p', 'q', 'r', 's'}, Bytes{13, 0}));
}

TEST_F(LcdProtocolTest, ATextThatWasNeverSetSendsNothing) {
  m_Protocol.SendLcdText(_bstr_t());
  m_Protocol.SendLcdBottomLine(_bstr_t());
  EXPECT_TRUE(Drain().empty());
}

TEST_F(LcdProtocolTest, LinePacketsCarryTheirCommandInTheFirstPacket) {
  m_Protocol.SendLcdBottomLine(u"Genre");
  m_Protocol.SendLcdTopLine(u"Artists");
  EXPECT_THAT(Drain(),
              ElementsAre(Bytes{0x20, 10, 'G', 'e', 'n', 'r', 'e'}, Bytes{13, 0},
                          Bytes{0x21, 11, 'A', 'r', 't', 'i', 's'}, Bytes{'t', 's', 13, 0}));
}

TEST_F(LcdProtocolTest, WesternCharactersAreSentAsTheirLowByte) {
  m_Protocol.SendLcdText(u"\u00E9\u4E00\u00A0\u0152");
  EXPECT_THAT(Drain(), ElementsAre(Bytes{0x20, 0xE9, 0x7F, 0x20, 0x7F, 13, 0}));
}

TEST_F(LcdProtocolTest, JapaneseCharactersTakeOneOrTwoBytes) {
  m_Language = {kLcdLanguageJapanese, 5};
  m_Protocol.SendLcdText(u"A\u3042");
  EXPECT_THAT(Drain(), ElementsAre(Bytes{0x20, 0x41, 0x91, 0x84, 13, 0}));
}

// Code 0xC39 is sent low seven bits first: 0x80 | 0x39, 0x80 | 0x18.
TEST_F(LcdProtocolTest, TheTwoBytesOfAJapaneseCharacterMaySpanTwoPackets) {
  m_Language = {kLcdLanguageJapanese, 5};
  m_Protocol.SendLcdText(u"ABCDE\u65E5\u3042A");
  EXPECT_THAT(Drain(), ElementsAre(Bytes{0x20, 'A', 'B', 'C', 'D', 'E', 0xB9},
                                   Bytes{0x98, 0x91, 0x84, 'A', 13, 0}));
}

TEST_F(LcdProtocolTest, Only47JapaneseCharactersAreSent) {
  m_Language = {kLcdLanguageJapanese, 5};
  m_Protocol.SendLcdText(_bstr_t(std::u16string(48, u'\u30A2')));
  std::size_t l_nTextBytes = 0;
  for (const Bytes& l_Packet : Drain()) {
    l_nTextBytes += static_cast<std::size_t>(std::count(l_Packet.begin(), l_Packet.end(), 0xE8));
  }
  EXPECT_EQ(l_nTextBytes, 47u);  // 0x268: 0xE8, 0x84 for each character
}

// Whole texts from two producers never interleave, and a page larger than the ring waits for
// the writer instead of overrunning it.
TEST(LcdProtocolProducers, TextsOfConcurrentProducersStayWhole) {
  g_bDisplayAwake = true;
  LcdPacketRing l_Ring;
  LcdProtocol l_Protocol(l_Ring, [] { return LcdLanguage{kLcdLanguageJapanese, 5}; });
  WriterStandIn l_Writer(l_Ring);

  constexpr int kTexts = 40;
  const auto l_Produce = [&](char16_t p_chLetter) {
    for (int i = 0; i < kTexts; ++i) {
      l_Protocol.SendLcdText(_bstr_t(std::u16string(47, p_chLetter)));
    }
  };
  std::thread l_First(l_Produce, u'\u3042');   // 0x211: 0x91, 0x84
  std::thread l_Second(l_Produce, u'\u30A2');  // 0x268: 0xE8, 0x84

  std::vector<Bytes> l_Packets;
  int l_nTextsSeen = 0;
  while (l_nTextsSeen < 2 * kTexts) {
    for (const LcdPacket& l_Packet : l_Writer.WaitAndTake()) {
      l_Packets.emplace_back(l_Packet.Bytes().begin(), l_Packet.Bytes().end());
      l_nTextsSeen += std::ranges::count(l_Packets.back(), 13) > 0 ? 1 : 0;
    }
  }
  l_First.join();
  l_Second.join();

  // Read back as whole texts: a first packet with its sequence byte, then continuations without
  // and with one in turn; each text is 47 characters of one letter.
  bool l_bInText = false;
  bool l_bNextWithSequence = false;
  Bytes l_Text;
  for (const Bytes& l_Packet : l_Packets) {
    const bool l_bSkipSequence = !l_bInText || l_bNextWithSequence;
    l_bNextWithSequence = l_bInText && !l_bNextWithSequence;
    l_bInText = true;
    l_Text.insert(l_Text.end(), l_Packet.begin() + (l_bSkipSequence ? 1 : 0), l_Packet.end());
    if (l_Text.size() < 2 || l_Text[l_Text.size() - 2] != 13) {
      continue;
    }
    ASSERT_EQ(l_Text.size(), 96u);
    for (std::size_t i = 0; i < 94; i += 2) {
      ASSERT_EQ(l_Text[i], l_Text[0]);
      ASSERT_EQ(l_Text[i + 1], 0x84);
    }
    l_Text.clear();
    l_bInText = false;
    l_bNextWithSequence = false;
  }
  EXPECT_FALSE(l_bInText);
}

// A writer that found the producers' turn taken looks again when the turn ends.
TEST(LcdProtocolTurns, EndingATurnRaisesDataReadyOnceMore) {
  LcdPacketRing l_Ring;
  int l_nSignals = 0;
  LcdPacketRing::Consumer l_Consumer(l_Ring, [&] { ++l_nSignals; });
  LcdProtocol l_Protocol(l_Ring, [] { return LcdLanguage{}; });
  {
    const LcdProtocol::Turn l_Turn = l_Protocol.BeginTurn();
    std::thread([&] { EXPECT_FALSE(l_Protocol.TryBeginTurn()); }).join();
    EXPECT_EQ(l_nSignals, 0);
  }
  EXPECT_EQ(l_nSignals, 1);
  EXPECT_TRUE(l_Protocol.TryBeginTurn());
}

}  // namespace
