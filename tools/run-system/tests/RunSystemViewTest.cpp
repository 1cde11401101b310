// The pieces of the terminal view: the keys read from the terminal, the buttons scripts name, and
// the display drawn as the device shows it.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/run-system/LcdPicture.h"
#include "tools/run-system/RemoteButtons.h"
#include "tools/run-system/TrayLink.h"
#include "tools/run-system/Terminal.h"

namespace {

TEST(RunSystemView, KeysAreReadFromTheTerminalsBytes) {
  struct Case {
    std::string bytes;
    std::vector<std::string> keys;
  };
  const std::vector<Case> kCases = {
      {"\x1b[A\x1b[B\x1b[C\x1b[D", {"Up", "Down", "Right", "Left"}},
      {"\x1bOA\x1b[H\x1b[1~", {"Up", "Home", "Home"}},
      {"\x1b[5~\x1b[6~", {"PgUp", "PgDn"}},
      {"\r \x7fp\x03", {"Enter", "Space", "Backspace", "p", "Ctrl-C"}},
      // An unknown sequence is skipped whole; a lone escape is nothing.
      {"\x1b[15~q\x1b", {"q"}},
  };
  for (const Case& l_Case : kCases) {
    EXPECT_EQ(DecodeKeys(l_Case.bytes), l_Case.keys) << l_Case.bytes.substr(1);
  }
}

TEST(RunSystemView, EveryButtonHasItsOwnWordKeyAndCode) {
  for (const RemoteButton& l_Button : RemoteButtons()) {
    int l_nSame = 0;
    for (const RemoteButton& l_Other : RemoteButtons()) {
      l_nSame += l_Other.m_Word == l_Button.m_Word || l_Other.m_Key == l_Button.m_Key ||
                 l_Other.m_nCode == l_Button.m_nCode;
    }
    EXPECT_EQ(l_nSame, 1) << l_Button.m_Word;
    ASSERT_TRUE(ButtonNamed(l_Button.m_Word));
    EXPECT_EQ(ButtonNamed(l_Button.m_Word)->m_nCode, l_Button.m_nCode);
    // Keys the view keeps for itself.
    EXPECT_NE(l_Button.m_Key, "u");
    EXPECT_NE(l_Button.m_Key, "q");
  }
  EXPECT_EQ(ButtonNamed("right")->m_nCode, 9);
  EXPECT_FALSE(ButtonNamed("Right"));
}

TEST(RunSystemView, TheTrayCommandsHaveKeysAndWordsOfTheirOwn) {
  for (const TrayCommand& l_Command : TrayCommands()) {
    EXPECT_EQ(DecodeKeys(l_Command.m_Key), std::vector<std::string>{std::string(l_Command.m_Key)});
    EXPECT_FALSE(ButtonNamed(l_Command.m_Word)) << l_Command.m_Word;
    for (const RemoteButton& l_Button : RemoteButtons()) {
      EXPECT_NE(l_Button.m_Key, l_Command.m_Key) << l_Command.m_Word;
    }
    EXPECT_NE(l_Command.m_Key, "u");
    EXPECT_NE(l_Command.m_Key, "q");
    ASSERT_TRUE(TrayCommandNamed(l_Command.m_Word));
    EXPECT_EQ(TrayCommandNamed(l_Command.m_Word)->m_nCommand, l_Command.m_nCommand);
  }
  EXPECT_EQ(TrayCommandNamed("service-stop")->m_nCommand, 0x8007u);
  EXPECT_FALSE(TrayCommandNamed("stop")) << "the remote's stop button";
}

// The frame's line that holds `p_Text`; empty when none does.
std::string LineWith(const std::vector<std::string>& p_Lines, const std::string& p_Text) {
  for (const std::string& l_Line : p_Lines) {
    if (l_Line.find(p_Text) != std::string::npos) return l_Line;
  }
  return {};
}

TEST(RunSystemView, TheDisplayShowsTitleRowsCursorScrollBarTimesAndPlayState) {
  LcdScreen l_Screen;
  l_Screen.m_Title = "Albums";
  l_Screen.m_Rows = {"Blue Harbour", "Iron Orchard", "Caf\xE9 Nights"};
  l_Screen.m_nCursorRow = 1;
  l_Screen.m_nScrollBar = 95;  // the last entry of the list
  l_Screen.m_bTimesShown = true;
  l_Screen.m_nPosition = 61;
  l_Screen.m_nDuration = 3725;
  l_Screen.m_nPlayIcon = 1;
  const std::vector<std::string> l_Lines = DrawLcd(l_Screen);

  EXPECT_NE(LineWith(l_Lines, "Albums"), "");
  EXPECT_NE(LineWith(l_Lines, "> Iron Orchard"), "");
  EXPECT_NE(LineWith(l_Lines, "  Blue Harbour"), "");
  EXPECT_NE(LineWith(l_Lines, "Caf\u00E9 Nights"), "") << "Latin-1 shown in UTF-8";
  EXPECT_NE(LineWith(l_Lines, "0:01:01 / 1:02:05  playing"), "");
  // The bar's mark sits on the page's last row, the bar's track on the others.
  const std::size_t l_nFirstRow = 3;
  const std::size_t l_nLastRow = l_nFirstRow + LcdModel::kRowsPerPage - 1;
  EXPECT_NE(l_Lines[l_nLastRow].find("\u2588"), std::string::npos);
  EXPECT_EQ(l_Lines[l_nFirstRow].find("\u2588"), std::string::npos);
  // Every line of the frame is as wide as the others.
  for (const std::string& l_Line : l_Lines) {
    std::size_t l_nColumns = 0;
    for (const char l_c : l_Line) l_nColumns += (static_cast<unsigned char>(l_c) & 0xC0) != 0x80;
    EXPECT_EQ(l_nColumns, 37u) << l_Line;
  }

  l_Screen.m_bOn = false;
  EXPECT_NE(LineWith(DrawLcd(l_Screen), "(display off)"), "");
  EXPECT_EQ(LineWith(DrawLcd(l_Screen), "Albums"), "");
}

}  // namespace
