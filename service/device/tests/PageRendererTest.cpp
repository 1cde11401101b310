#include "service/device/PageRenderer.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "common/MenuTexts.h"
#include "common/tests/support/LogRecorder.h"
#include "platform/player/PlayerInterfaces.h"
#include "service/device/DisplayState.h"
#include "service/device/tests/PageRendering.h"
#include "service/menu/CurrentTrack.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Expected packets, numbered from the display's first sequence byte as the protocol numbers them.
class Expected {
 public:
  Expected& Packet(std::initializer_list<std::uint8_t> p_Arguments) {
    Bytes l_Packet{Next()};
    l_Packet.insert(l_Packet.end(), p_Arguments);
    l_Packet.push_back(0);
    m_Packets.push_back(l_Packet);
    return *this;
  }
  // A text short enough for one packet.
  Expected& Text(std::string_view p_Text, std::optional<std::uint8_t> p_Command = std::nullopt) {
    Bytes l_Packet{Next()};
    if (p_Command) {
      l_Packet.push_back(*p_Command);
    }
    l_Packet.insert(l_Packet.end(), p_Text.begin(), p_Text.end());
    l_Packet.push_back(13);
    l_Packet.push_back(0);
    EXPECT_LE(l_Packet.size(), 8u) << "a test text must fit one packet";
    m_Packets.push_back(l_Packet);
    return *this;
  }
  const std::vector<Bytes>& Packets() const { return m_Packets; }

 private:
  std::uint8_t Next() { return m_bySequence++; }

  std::uint8_t m_bySequence = 0x20;
  std::vector<Bytes> m_Packets;
};

class PageRendererTest : public ::testing::Test, protected PageRendering {
 protected:
  std::vector<Bytes> RenderAll(std::initializer_list<CDeviceData> p_Pages) {
    for (const CDeviceData& l_Page : p_Pages) {
      m_Passed.push_back(Render(l_Page));
    }
    return TakeBytes();
  }

  std::vector<bool> m_Passed;
  const LogRecorder m_Log;
};

constexpr std::int32_t kHomeScreen = 12;

TEST_F(PageRendererTest, FullRedrawOfAMenuPage) {
  const CDeviceData l_Page = MenuPage(kHomeScreen, 6, {"Pl", "Al", "Ar"}, 1, 1, 20);
  EXPECT_EQ(RenderAll({l_Page}), Expected()
                                     .Packet({1})
                                     .Packet({5, 2})
                                     .Packet({22, 1 * 80 / 19 + 15})
                                     .Text("Music")
                                     .Text("Pl")
                                     .Text("Al")
                                     .Text("Ar")
                                     .Packet({0})
                                     .Packets());
  EXPECT_EQ(g_nLcdCursorRow, 1);
  EXPECT_EQ(m_Passed, std::vector<bool>{true});
  EXPECT_EQ(Screen(), "lcd \"Music\" | \"Pl\" | >\"Al\" | \"Ar\" | scroll 19 | on | screens 1");
}

TEST_F(PageRendererTest, EnteringAndStayingOnThePlayerScreen) {
  const CDeviceData l_Playing = PlayerPage(wmppsPlaying, 1, 3725, 61);
  EXPECT_EQ(RenderAll({l_Playing, l_Playing}), Expected()
                                                   .Packet({1})
                                                   .Packet({19, 1})
                                                   .Packet({23, 1})
                                                   .Text("Song")
                                                   .Packet({12})
                                                   .Packet({13})
                                                   .Text("Artst")
                                                   .Text("Album")
                                                   .Packet({20, 2, 3, 6})
                                                   .Packet({21, 1, 2, 2})
                                                   .Packet({17})
                                                   .Packet({0})
                                                   // The second page: only the icon and the times.
                                                   .Packet({19, 1})
                                                   .Packet({20, 2, 3, 6})
                                                   .Packet({21, 1, 2, 2})
                                                   .Packet({17})
                                                   .Packet({0})
                                                   .Packets());
  EXPECT_TRUE(g_bPlayerScreenShown);
  EXPECT_EQ(g_nDevicePlayState, wmppsPlaying);
  EXPECT_EQ(Screen(),
            "lcd \"Song\" | - | >\"Artst\" | \"Album\" | icon 1 | mode 1 | duration 1:02:05 | "
            "position 0:01:01 | times | on | screens 2");
}

TEST_F(PageRendererTest, PausedOnThePlayerScreenSendsNoTimes) {
  g_bPlayerScreenShown = true;
  g_nDevicePlayState = wmppsPlaying;
  EXPECT_EQ(RenderAll({PlayerPage(wmppsPaused, 1, 100, 10)}),
            Expected().Packet({19, 2}).Packet({0}).Packets());
  EXPECT_EQ(g_nPreviousDevicePlayState, wmppsPlaying);
}

TEST_F(PageRendererTest, PausedEnteringThePlayerScreenSendsTheTimes) {
  EXPECT_EQ(RenderAll({PlayerPage(wmppsPaused, 1, 100, 10)}), Expected()
                                                                  .Packet({1})
                                                                  .Packet({19, 2})
                                                                  .Packet({23, 2})
                                                                  .Text("Song")
                                                                  .Packet({12})
                                                                  .Packet({13})
                                                                  .Text("Artst")
                                                                  .Text("Album")
                                                                  .Packet({20, 1, 2, 41})
                                                                  .Packet({21, 1, 1, 11})
                                                                  .Packet({17})
                                                                  .Packet({0})
                                                                  .Packets());
}

TEST_F(PageRendererTest, StoppingOnThePlayerScreenReturnsHomeAutomatically) {
  g_bPlayerScreenShown = true;
  g_nDevicePlayState = wmppsPlaying;
  EXPECT_EQ(RenderAll({PlayerPage(wmppsStopped, 6, 100, 10)}),
            Expected().Packet({19, 0}).Packets());
  EXPECT_EQ(m_Passed, std::vector<bool>{false});
  EXPECT_EQ(HomeRaised(), 1);
  EXPECT_EQ(g_nAutoHomeState, kAutoHomeRaised);
  // Recorded before the event is set, so that the Home handler that it wakes sees the mark.
  EXPECT_EQ(AutoHomeStateWhenRaised(), kAutoHomeRaised);
  EXPECT_FALSE(g_bPlayerScreenShown);
  EXPECT_TRUE(m_Log.Contains(u"Player state change to 1."));

  // The Home handler marks it; the next title with the player stopped carries the stopped mode.
  g_nAutoHomeState = kAutoHomeSeen;
  EXPECT_EQ(RenderAll({MenuPage(kHomeScreen, 6, {"Pl"}, 0, 0, 1)}), Expected()
                                                                        .Packet({1})
                                                                        .Packet({5, 1})
                                                                        .Packet({23, 0})
                                                                        .Text("Music")
                                                                        .Text("Pl")
                                                                        .Packet({0})
                                                                        .Packets());
  EXPECT_EQ(g_nAutoHomeState, kAutoHomeNone);
}

TEST_F(PageRendererTest, MediaEndedThenReadyReturnsHome) {
  EXPECT_EQ(RenderAll({PlayerPage(wmppsMediaEnded, 1, 0, 0), PlayerPage(wmppsReady, 1, 0, 0)}),
            Expected().Packet({19, 0}).Packet({0}).Packet({19, 0}).Packets());
  EXPECT_EQ(m_Passed, (std::vector<bool>{true, false}));
  EXPECT_EQ(HomeRaised(), 1);
  EXPECT_EQ(g_nDevicePlayState, wmppsStopped);
  EXPECT_EQ(g_nPreviousDevicePlayState, wmppsReady);
}

TEST_F(PageRendererTest, MediaEndedOnThePlayerScreenLeavesItAndIsDropped) {
  g_bPlayerScreenShown = true;
  EXPECT_EQ(RenderAll({PlayerPage(wmppsMediaEnded, 1, 0, 0)}), Expected().Packet({18}).Packets());
  EXPECT_EQ(m_Passed, std::vector<bool>{false});
  EXPECT_EQ(HomeRaised(), 0);
}

TEST_F(PageRendererTest, TransitioningAndReadyPagesEndWithoutEndOfScreen) {
  g_bPlayerScreenShown = true;
  g_nDevicePlayState = wmppsPlaying;
  EXPECT_EQ(RenderAll({PlayerPage(wmppsTransitioning, 1, 0, 0), PlayerPage(wmppsReady, 1, 0, 0)}),
            Expected().Packet({18}).Packet({19, 3}).Packets());
  EXPECT_FALSE(g_bPlayerScreenShown);
  EXPECT_EQ(g_nDevicePlayState, wmppsReady);
  EXPECT_EQ(m_Passed, (std::vector<bool>{true, true}));
}

TEST_F(PageRendererTest, ScrollingByOneLine) {
  const CDeviceData l_Down = MenuPage(3, 2, {"a", "b", "c", "d", "e", "f"}, 0, 19, 20);
  const CDeviceData l_Up = MenuPage(4, 3, {"a", "b", "c", "d", "e", "f"}, 5, 0, 20);
  const CDeviceData l_ShortUp = MenuPage(4, 3, {"a", "b"}, 1, 1, 2);
  EXPECT_EQ(RenderAll({l_Down, l_Up, l_ShortUp}), Expected()
                                                      .Packet({22, 95})
                                                      .Text("a", 11)
                                                      .Packet({0})
                                                      .Packet({22, 15})
                                                      .Text("f", 10)
                                                      .Packet({0})
                                                      .Packet({0})
                                                      .Packets());
  // On a display that showed nothing: the new top line, then the new bottom line below it.
  EXPECT_EQ(Screen(), R"(lcd "" | >"a" | "f" | scroll 15 | on | screens 3)");
}

TEST_F(PageRendererTest, LinesRewrittenInPlace) {
  g_nLcdCursorRow = 0;
  EXPECT_EQ(RenderAll({MenuPage(3, 7, {"a", "b"}, 1, 1, 2)}),
            Expected().Packet({16, '1'}).Packet({5, 2}).Text("a").Text("b").Packet({0}).Packets());
  EXPECT_EQ(g_nLcdCursorRow, 1);
  EXPECT_EQ(Screen(), "lcd \"\" | \"a\" | >\"b\" | on | screens 1");
}

TEST_F(PageRendererTest, CursorMoveOnly) {
  EXPECT_EQ(RenderAll({MenuPage(4, 8, {"a", "b", "c"}, 2, 2, 3)}),
            Expected().Packet({14, 3}).Packet({0}).Packets());
  EXPECT_EQ(g_nLcdCursorRow, 2);
}

TEST_F(PageRendererTest, OptionLines) {
  g_nLcdCursorRow = 0;
  EXPECT_EQ(
      RenderAll({MenuPage(7, 9, {"Rep", "Shf"}, 1, 1, 2), MenuPage(7, 9, {"Rep", "Shf"}, 1, 1, 2)}),
      Expected()
          .Packet({16, '2'})
          .Text("Shf")
          .Packet({14, 2})
          .Packet({0})
          .Packet({16, '2'})
          .Text("Shf")
          .Packet({0})
          .Packets());
  EXPECT_EQ(m_Passed, (std::vector<bool>{false, false}));
  EXPECT_EQ(Screen(), "lcd \"\" | \"\" | >\"Shf\" | on | screens 2");
}

TEST_F(PageRendererTest, OptionLineWithoutItsLineSendsNoText) {
  EXPECT_EQ(RenderAll({MenuPage(7, 9, {"Rep"}, 1, 1, 2), MenuPage(7, 9, {"Rep"}, 4, 4, 2)}),
            Expected().Packet({14, 2}).Packet({0}).Packet({14, 5}).Packet({0}).Packets());
}

TEST_F(PageRendererTest, OptionLineWhileTransitioningStillEndsTheScreen) {
  g_nLcdCursorRow = 1;
  CDeviceData l_Page = MenuPage(2, 9, {"Rep", "Shf"}, 1, 1, 2);
  l_Page.SetPlayState(wmppsTransitioning);
  EXPECT_EQ(RenderAll({l_Page}),
            Expected().Packet({19, 3}).Packet({16, '2'}).Text("Shf").Packet({0}).Packets());
}

TEST_F(PageRendererTest, AsleepOnlyTracksThePlayState) {
  g_bDisplayAwake = false;
  EXPECT_TRUE(RenderAll({PlayerPage(wmppsPlaying, 1, 100, 10)}).empty());
  EXPECT_EQ(m_Passed, std::vector<bool>{true});
  EXPECT_EQ(g_nDevicePlayState, wmppsPlaying);
  EXPECT_FALSE(g_bPlayerScreenShown);
}

TEST_F(PageRendererTest, ScrollBarOnlyForListsLongerThanAPage) {
  const CDeviceData l_SixEntries = MenuPage(3, 8, {"a"}, 0, 5, 6);
  EXPECT_EQ(RenderAll({l_SixEntries}), Expected().Packet({14, 1}).Packet({0}).Packets());
  // Japanese pages hold five lines: the same list now scrolls.
  g_nLanguageIndex = kLanguageJapanese;
  g_nLinesPerPage = 5;
  EXPECT_EQ(RenderAll({l_SixEntries}).at(1), (Bytes{0x21, 22, 95, 0}));
}

TEST_F(PageRendererTest, NowPlayingListGetsTheEmptyLineFirst) {
  g_bCurrentlyPlayingDisplayed = true;
  EXPECT_EQ(RenderAll({MenuPage(6, 5, {"t1"}, 0, 0, 1)}), Expected()
                                                              .Packet({1})
                                                              .Packet({5, 1})
                                                              .Text("Music")
                                                              .Packet({12})
                                                              .Packet({13})
                                                              .Text("t1")
                                                              .Packet({0})
                                                              .Packets());
  EXPECT_EQ(Screen(), R"(lcd "Music" | - | >"t1" | on | screens 1)");
}

// The session listener may apply the language rule while the output thread draws: the
// language words are read and written whole (the thread sanitizer's build sees any race).
TEST_F(PageRendererTest, TheLanguageMayChangeWhilePagesAreDrawn) {
  constexpr int kRounds = 200;
  std::jthread l_Listener([] {
    for (int i = 0; i < kRounds; ++i) {
      ApplyLanguageRule(i % 2 == 0 ? platform::LanguageId{0x0411} : platform::kLanguageEnglishUs);
    }
  });
  for (int i = 0; i < kRounds; ++i) {
    Render(MenuPage(kHomeScreen, 6, {"Pl", "Al"}, 0, 0, 20));
    EXPECT_FALSE(TakeBytes().empty());
  }
  l_Listener.join();
  ApplyLanguageRule(platform::kLanguageEnglishUs);
}

}  // namespace
