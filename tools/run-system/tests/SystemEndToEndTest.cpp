// The whole system in each build, run as the main command runs it: a fresh root with its session
// manager and service manager, the programs registered, a user logged on at the console and the
// service installed and started; the service starts the server by the session moniker, the
// server the player application by its remote control, and the message hook brings the hook
// library into the application. The test holds the virtual remote and reads the display as the
// remote decodes it, and reads what the player application plays.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tools/run-system/tests/SystemTestSupport.h"

namespace {

class SystemEndToEnd : public SystemFixture {};

TEST_P(SystemEndToEnd, TheRemoteBrowsesEveryCategoryAndPlaysATrack) {
  Press("home", RootMenu(0));
  // Each category's page, and Left back to the root's list with the cursor where it was; Down
  // from the last category comes round to the first.
  struct Category {
    std::vector<std::string> rows;  // the first ones, or all of them
    bool allRows;
    std::optional<int> cursor;  // none: the page has no cursor
  };
  const std::vector<Category> kPages = {
      {{"All Music", "Empty Shelf", "Quiet Evening", "Road Trip", "Road Trip", "Fresh Finds"}, false, 0},
      {{"Blue Harbour", "Night Ferry", "Iron Orchard", "Greatest Hits", "-Untitled Album-"}, false, 0},
      {{"Mara Venn", "The Quiet Engines", "Tolan Brisk", "Odalys Crane", "-Unknown Artist-"}, false, 0},
      {{"Folk", "Rock", "-No Genre-", "Pop", "Jazz", "Electronic"}, true, 0},
      {{"No song", "currently", "playing"}, true, std::nullopt},
      {{"Shuffle - Off", "Repeat - Off"}, true, 0},
  };
  for (std::size_t l_nAt = 0; l_nAt < kCategories.size(); ++l_nAt) {
    SCOPED_TRACE(kCategories[l_nAt]);
    const int l_nRow = static_cast<int>(l_nAt);
    Press("right", MenuPage(kCategories[l_nAt], kPages[l_nAt].rows, kPages[l_nAt].cursor,
                            kPages[l_nAt].allRows));
    Press("left", RootMenu(l_nRow));
    Press("down", RootMenu((l_nRow + 1) % static_cast<int>(kCategories.size())));
  }

  // Into the albums and the first album's tracks; back on the album, Play plays it.
  Press("down", RootMenu(1));
  Press("right", MenuPage("Albums", {"Blue Harbour"}, 0));
  Press("right", MenuPage("Blue Harbour", {"Salt on the Rail", "Lanterns", "Tidewater"}, 0, true));
  Press("left", MenuPage("Albums", {"Blue Harbour"}, 0));
  const LcdScreen l_Playing = Press("play", PlayerPage(1));
  EXPECT_EQ(l_Playing.m_nDuration, 215) << Drawn(l_Playing);
  EXPECT_TRUE(Eventually([&] {
    return PlayerState(Console()).starts_with("player: playing \"Salt on the Rail\" (Mara Venn)");
  })) << PlayerState(Console());

  // Next plays the album's next track; Stop stops it, and the display returns to the menu.
  Press("next", [](const LcdScreen& p_Screen) {
    return PlayerPage(1)(p_Screen) && p_Screen.m_nDuration == 187;
  });
  EXPECT_TRUE(Eventually([&] {
    return PlayerState(Console()).starts_with("player: playing \"Lanterns\"");
  })) << PlayerState(Console());
  Press("stop", RootMenu(1));
  EXPECT_TRUE(Eventually([&] { return PlayerState(Console()).starts_with("player: stopped"); }))
      << PlayerState(Console());
}

INSTANTIATE_TEST_SUITE_P(Builds, SystemEndToEnd, ::testing::Values(false, true), BuildName);

}  // namespace
