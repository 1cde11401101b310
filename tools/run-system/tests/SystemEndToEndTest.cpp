// The whole system in each build, run as the main command runs it: a fresh root with its session
// manager and service manager, the programs registered, a user logged on at the console and the
// service installed and started; the service starts the server by the session moniker, the
// server the player application by its remote control, and the message hook brings the hook
// library into the application. The test holds the virtual remote and reads the display as the
// remote decodes it, and reads what the player application plays.

#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/Time.h"
#include "platform/com/Apartment.h"
#include "tools/run-system/BuiltPrograms.h"
#include "tools/run-system/LcdPicture.h"
#include "tools/run-system/PlayerLine.h"
#include "tools/run-system/RemoteButtons.h"
#include "tools/run-system/RemoteLink.h"
#include "tools/run-system/SystemRun.h"

namespace {

using namespace std::chrono_literals;
using Shows = std::function<bool(const LcdScreen&)>;

// Real time: the machine is loaded, and the system's programs keep real time.
constexpr auto kPatience = 90s;
constexpr int kWakeMilliseconds = 100;

const std::vector<std::string> kCategories = {"Playlists", "Albums",      "Artists",
                                              "Genre",     "Now Playing", "Options"};

// Asks until the answer holds; false when it never does in time.
bool Eventually(const std::function<bool()>& p_Check, std::chrono::milliseconds p_Limit = kPatience) {
  const auto l_End = std::chrono::steady_clock::now() + p_Limit;
  for (;;) {
    if (p_Check()) return true;
    if (std::chrono::steady_clock::now() > l_End) return false;
    std::this_thread::sleep_for(20ms);
  }
}

std::string Drawn(const LcdScreen& p_Screen) {
  std::string l_Text;
  for (const std::string& l_Line : DrawLcd(p_Screen)) l_Text += l_Line + "\n";
  return l_Text;
}

// A menu page: its title, its first rows (all of them when `p_bAllRows`) and the cursor's row
// (none: any).
Shows MenuPage(std::string p_Title, std::vector<std::string> p_Rows, std::optional<int> p_nCursor,
               bool p_bAllRows = false) {
  return [=](const LcdScreen& p_Screen) {
    if (p_Screen.m_Title != p_Title || (p_nCursor && p_Screen.m_nCursorRow != *p_nCursor) ||
        p_Screen.m_Rows.size() < p_Rows.size() ||
        (p_bAllRows && p_Screen.m_Rows.size() != p_Rows.size())) {
      return false;
    }
    return std::equal(p_Rows.begin(), p_Rows.end(), p_Screen.m_Rows.begin());
  };
}
Shows RootMenu(int p_nCursor) { return MenuPage("Music Library", kCategories, p_nCursor, true); }
// The player page: the times shown and the play state's icon (1 playing, 0 stopped).
Shows PlayerPage(int p_nIcon) {
  return [=](const LcdScreen& p_Screen) {
    return p_Screen.m_bTimesShown && p_Screen.m_nPlayIcon == p_nIcon &&
           p_Screen.m_nDuration.value_or(0) > 0;
  };
}

// This thread's apartment, for the player's line, from construction to destruction.
class Apartment {
 public:
  Apartment() { CoInitialize(nullptr); }
  Apartment(const Apartment&) = delete;
  Apartment& operator=(const Apartment&) = delete;
  ~Apartment() { CoUninitialize(); }
};

// The running system of one build (the parameter: the second build) and the remote plugged into
// it. The programs of a root belong to the process that made it (PlatformRoot is fixed for a
// process's life), so each test runs in a process of its own, as ctest runs them. The test's
// thread.
class SystemEndToEnd : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    static bool s_bRootTaken = false;
    if (s_bRootTaken) {
      GTEST_SKIP() << "one system per process: run each test on its own (ctest, --gtest_filter)";
    }
    s_bRootTaken = true;
    platform::SetTimeScale(1);
    m_pSystem = std::make_unique<SystemRun>(BuiltPrograms(GetParam(), "mara"));
    std::ostringstream l_Progress;
    ASSERT_TRUE(m_pSystem->Start(l_Progress)) << l_Progress.str();
    m_pApartment = std::make_unique<Apartment>();
    ASSERT_TRUE(m_Remote.Plug());
  }
  void TearDown() override {
    m_Remote.Unplug();
    m_Player = PlayerLine();
    m_pApartment.reset();
    if (m_pSystem) m_pSystem->Stop();
  }

  // Waits until a page has ended on the display after the first `p_nScreens` and the display
  // shows what `p_Shows` expects; the display as it then is, or nothing when it does not in time.
  std::optional<LcdScreen> PageAfter(int p_nScreens, const Shows& p_Shows,
                                     std::chrono::milliseconds p_Limit, LcdScreen& p_Last) {
    const bool l_bShown = Eventually([&] {
      pollfd l_Wake{m_Remote.WakeDescriptor(), POLLIN, 0};
      poll(&l_Wake, 1, kWakeMilliseconds);
      m_Remote.TakeWake();
      p_Last = m_Remote.Screen();
      return p_Last.m_nScreensEnded > p_nScreens && p_Shows(p_Last);
    }, p_Limit);
    return l_bShown ? std::optional(p_Last) : std::nullopt;
  }
  // Does `p_Act` and waits for the page after it that shows what `p_Shows` expects; the display
  // as it then is. A failure tells what was done and draws what the display shows.
  LcdScreen Await(const std::string& p_What, const std::function<void()>& p_Act,
                  const Shows& p_Shows) {
    const int l_nScreens = m_Remote.Screen().m_nScreensEnded;
    p_Act();
    LcdScreen l_Screen;
    EXPECT_TRUE(PageAfter(l_nScreens, p_Shows, kPatience, l_Screen))
        << "after " << p_What << " the display shows\n" << Drawn(l_Screen);
    return l_Screen;
  }
  // Presses the button (its script word) and waits for the page that answers it.
  LcdScreen Press(const std::string& p_Word, const Shows& p_Shows) {
    const std::optional<RemoteButton> l_Button = ButtonNamed(p_Word);
    EXPECT_TRUE(l_Button) << p_Word;
    return Await(p_Word, [&] {
      EXPECT_TRUE(l_Button && m_Remote.Press(static_cast<std::uint8_t>(l_Button->m_nCode)));
    }, p_Shows);
  }

  std::string PlayerState(std::uint32_t p_nSession) { return m_Player.Read(p_nSession); }

  std::uint32_t Console() const { return m_pSystem->Session(); }

  std::unique_ptr<SystemRun> m_pSystem;
  std::unique_ptr<Apartment> m_pApartment;
  RemoteLink m_Remote;
  PlayerLine m_Player;
};

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

INSTANTIATE_TEST_SUITE_P(Builds, SystemEndToEnd, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& p_Info) {
                           return p_Info.param ? "Second" : "First";
                         });

}  // namespace
