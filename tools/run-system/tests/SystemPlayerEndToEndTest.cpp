// The player's side of the whole system in each build, with every program a process of its own as
// the main command starts them: a selection in the player application's library tree moves the
// remote's menu, the player docking and undocking takes the hook library out of the application
// and brings it back, and the service's stop ends what it started and leaves no named object
// behind.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/Text.h"
#include "platform/sessions/RootProcesses.h"
#include "tools/churn/ResourceCensus.h"
#include "tools/churn/ServiceStop.h"
#include "tools/run-system/tests/SystemTestSupport.h"

namespace {

// The programs that the service starts and that end with it.
const std::set<std::string> kServicePrograms = {"Tamsvard.exe", "Ruvello.exe"};

// The hook library's file name as the system builds it.
constexpr std::string_view kHookLibrary = "/libQuillomb.so";

// Whether the process maps the hook library now.
bool MapsHookLibrary(const platform::detail::ProcessIdentity& p_Process) {
  std::ifstream l_Maps(std::filesystem::path("/proc") / std::to_string(p_Process.pid) / "maps");
  for (std::string l_Line; std::getline(l_Maps, l_Line);) {
    if (l_Line.ends_with(kHookLibrary)) return true;
  }
  return false;
}

// "Name (session 1) held by Program.exe ...".
std::string Describe(const NamedObject& p_Object) {
  std::string l_Text = p_Object.m_Name;
  if (p_Object.m_nSession) {
    l_Text += " (session ";
    l_Text += std::to_string(*p_Object.m_nSession);
    l_Text += ")";
  }
  l_Text += " held by";
  for (const std::string& l_Holder : p_Object.m_Holders) {
    l_Text += " ";
    l_Text += l_Holder;
  }
  return l_Text;
}

std::vector<std::string> Described(const std::vector<NamedObject>& p_Objects) {
  std::vector<std::string> l_Lines;
  for (const NamedObject& l_Object : p_Objects) l_Lines.push_back(Describe(l_Object));
  return l_Lines;
}

class SystemPlayerEndToEnd : public SystemFixture {
 protected:
  // Selects the item of the path (root first) in the console's player application's library
  // tree, as a person clicks it.
  void ClickTree(const std::vector<std::string>& p_Path) {
    const std::optional<platform::detail::ProcessIdentity> l_Player = PlayerApplication();
    ASSERT_TRUE(l_Player);
    std::vector<std::string> l_Words = {"tree-click", std::to_string(l_Player->pid),
                                        "WMPlayerApp", "1007"};
    l_Words.insert(l_Words.end(), p_Path.begin(), p_Path.end());
    EXPECT_EQ(Control(l_Words), 0);
  }
  bool SecondBuild() const { return GetParam(); }
};

// The same menu page as `p_Screen` shows.
Shows SamePage(const LcdScreen& p_Screen) {
  return MenuPage(p_Screen.m_Title, p_Screen.m_Rows, p_Screen.m_nCursorRow, true);
}

// A selection of an entry moves the menu into its category's list with the cursor on it: the
// second build draws that list while the player is stopped; the first build only ends a screen
// and leaves the display as it was, and the next button's page shows where the menu went: Right
// opens the selected entry.
TEST_P(SystemPlayerEndToEnd, ASelectionInThePlayersLibraryTreeMovesTheMenu) {
  struct Selection {
    std::vector<std::string> path;
    Shows list;   // the category's list, as the second build draws it
    Shows entry;  // Right's page
  };
  const std::vector<Selection> kSelections = {
      {{"All Music", "Album", "Night Ferry"},
       MenuPage("Albums", {"Blue Harbour", "Night Ferry"}, 1),
       MenuPage("Night Ferry", {"Harbour Lights (Reprise)"}, 0, true)},
      {{"All Music", "Genre", "Rock"}, MenuPage("Genre", {"Folk", "Rock"}, 1),
       MenuPage("Rock", {}, 0)},
      {{"My Playlists", "Quiet Evening"},
       MenuPage("Playlists", {"All Music", "Empty Shelf", "Quiet Evening"}, 2),
       MenuPage("Quiet Evening", {}, 0)},
      {{"All Music", "Album Artist", "Tolan Brisk"},
       MenuPage("Artists", {"Mara Venn", "The Quiet Engines", "Tolan Brisk"}, 2),
       MenuPage("Tolan Brisk", {}, 0)},
  };
  LcdScreen l_Shown = Press("home", RootMenu(0));
  for (const Selection& l_Selection : kSelections) {
    SCOPED_TRACE(::testing::PrintToString(l_Selection.path));
    Await("a click in the player's tree", [&] { ClickTree(l_Selection.path); },
          SecondBuild() ? l_Selection.list : SamePage(l_Shown));
    l_Shown = Press("right", l_Selection.entry);
  }
}

TEST_P(SystemPlayerEndToEnd, DockingTakesTheHookLibraryOutOfThePlayerAndUndockingBringsItBack) {
  Press("home", RootMenu(0));
  const std::optional<platform::detail::ProcessIdentity> l_Player = PlayerApplication();
  const std::optional<platform::detail::ProcessIdentity> l_Server =
      RunningProgram("Ruvello.exe", Console());
  ASSERT_TRUE(l_Player && l_Server);
  // Undocked at the start: the service had the server bring the library into the player.
  EXPECT_TRUE(Eventually([&] { return MapsHookLibrary(*l_Player); }));

  EXPECT_EQ(Control({"player", "dock"}), 0);
  EXPECT_TRUE(Eventually([&] { return !MapsHookLibrary(*l_Player); }))
      << "the docked player still maps the hook library";
  EXPECT_TRUE(Eventually([&] { return !MapsHookLibrary(*l_Server); }))
      << "the server still maps the hook library with the player docked";

  EXPECT_EQ(Control({"player", "undock"}), 0);
  EXPECT_TRUE(Eventually([&] { return MapsHookLibrary(*l_Player); }))
      << "the undocked player does not map the hook library";
  // The worker runs again in the player: its selections reach the menu.
  Await("a click on Night Ferry in the player's tree",
        [&] { ClickTree({"All Music", "Album", "Night Ferry"}); },
        SecondBuild() ? MenuPage("Albums", {"Blue Harbour", "Night Ferry"}, 1) : RootMenu(0));
  Press("right", MenuPage("Night Ferry", {"Harbour Lights (Reprise)"}, 0, true));
}

// The service's stop ends the programs that it started for the session: the server, and with it
// the hook library in the player application, which is the user's and stays open. What stays of
// the named objects belongs to the programs that stay: the tray, the player application and the
// session manager.
TEST_P(SystemPlayerEndToEnd, TheServicesStopEndsItsProgramsAndLeavesNoNamedObjectBehind) {
  Press("home", RootMenu(0));
  const std::optional<platform::detail::ProcessIdentity> l_Player = PlayerApplication();
  ASSERT_TRUE(l_Player);
  ASSERT_TRUE(Eventually([&] { return MapsHookLibrary(*l_Player); }));
  const ResourceCensus l_Running = TakeResourceCensus();
  std::ostringstream l_Log;
  ASSERT_TRUE(StopService(u"Tamsvard", l_Log)) << l_Log.str();

  const auto ServiceProgramsLeft = [] {
    std::vector<std::string> l_Left;
    for (const platform::detail::RootProcess& l_Process : platform::detail::ListRootProcesses()) {
      if (kServicePrograms.contains(platform::ToUtf8(l_Process.imageName))) {
        l_Left.push_back(platform::ToUtf8(l_Process.imageName));
      }
    }
    return l_Left;
  };
  EXPECT_TRUE(Eventually([&] { return ServiceProgramsLeft().empty(); }))
      << ::testing::PrintToString(ServiceProgramsLeft());
  EXPECT_TRUE(Eventually([&] { return !MapsHookLibrary(*l_Player); }))
      << "the player application still maps the hook library";
  EXPECT_EQ(PlayerApplication(), l_Player);

  const std::set<std::string> kLeft = {
      "Global\\TermSrvReadyEvent held by platformctl.exe",
      "Global\\WMP_SERVICE_SHUTDOWN_COMPLETE1 held by Peskarin.exe",
      "Global\\WMP_TRAY_SHUTDOWN_REQUESTED held by Peskarin.exe",
      "Global\\WTS_LOGON_INITIALIZATION_COMPLETE1 held by Peskarin.exe",
      "LOCAL_WMP_TRAY_IN_USE1 (session 1) held by Peskarin.exe",
      "WMPlayerAppInstance (session 1) held by wmplayer.exe",
  };
  std::set<std::string> l_Left;
  ResourceCensus l_Stopped;
  EXPECT_TRUE(Eventually([&] {
    l_Stopped = TakeResourceCensus();
    l_Left.clear();
    for (const NamedObject& l_Object : l_Stopped.m_NamedObjects) l_Left.insert(Describe(l_Object));
    return l_Left == kLeft;
  })) << "left:\n" << ::testing::PrintToString(l_Left) << "\nwhile it ran:\n"
      << ::testing::PrintToString(Described(l_Running.m_NamedObjects));
  EXPECT_TRUE(l_Stopped.m_TableFaults.empty())
      << ::testing::PrintToString(l_Stopped.m_TableFaults);
}

INSTANTIATE_TEST_SUITE_P(Builds, SystemPlayerEndToEnd, ::testing::Values(false, true), BuildName);

}  // namespace
