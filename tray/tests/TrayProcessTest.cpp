// The tray as its own process in a whole system: its icon follows the service's session thread,
// its menu speaks the user's language and starts, stops and restarts the service (directly in
// the first build, through Drennick in the second), one tray runs per session and "-Stop" ends
// them all.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tray/TrayResources.h"
#include "tray/tests/TraySystem.h"

namespace {

using namespace tray_test;

constexpr unsigned kRunning = IDI_SERVICE_RUNNING;
constexpr unsigned kStopped = IDI_SERVICE_STOPPED;

class TrayProcess : public ::testing::Test {
 protected:
  TrayProcess()
      : m_System({PESKARIN, TAMSVARD, RUVELLO, PLATFORMCTL, WMPLAYER, PLAYER_SAMPLE_LIBRARY}) {}
  void SetUp() override { ASSERT_TRUE(m_System.Ready()) << m_System.Problem(); }
  void TearDown() override {
    EXPECT_EQ(m_System.StopTrays(m_System.Session()), 0);
    for (auto& l_pTray : m_Trays) EXPECT_TRUE(l_pTray->Wait(kPatience).has_value());
  }

  platform::testing::ChildProgram& StartTray(
      const std::map<std::string, std::string>& p_Changes = {}) {
    return *m_Trays.emplace_back(m_System.StartTray(m_System.Session(), p_Changes));
  }

  TraySystem m_System;
  std::vector<std::unique_ptr<platform::testing::ChildProgram>> m_Trays;
};

TEST_F(TrayProcess, TheIconTurnsToRunningWhenTheServiceServesTheSessionAndBackWhenItEnds) {
  StartTray();
  ASSERT_FALSE(m_System.WaitForIcon(kStopped).empty()) << "stopped until the service starts";
  m_System.StartService();
  EXPECT_FALSE(m_System.WaitForIcon(kRunning).empty());
  m_System.StopService();
  EXPECT_FALSE(m_System.WaitForIcon(kStopped).empty());
}

TEST_F(TrayProcess, ATrayStartedWhileTheServiceServesShowsRunningAtOnce) {
  m_System.StartService();
  // The server of the session is bound once the service's thread has started for the session.
  ASSERT_TRUE(Eventually([this] { return !m_System.WindowsOfClass("WMPlayerApp").empty(); }));
  StartTray();
  EXPECT_FALSE(m_System.WaitForIcon(kRunning).empty());
}

struct LanguageCase {
  const char* m_Locale;
  const char* m_Tip;
  std::vector<std::string> m_Stopped;  // the stopped service's menu
  std::vector<std::string> m_Running;
};

const std::vector<LanguageCase> kLanguages = {
    {"en_US", "Calvora Remote Control",
     {"Start", "Help...", "About..."},
     {"Restart", "Stop", "Help...", "About..."}},
    {"de_DE", "Calvora Fernsteuerung",
     {"Starten", "Hilfe...", "Info..."},
     {"Neu starten", "Stoppen", "Hilfe...", "Info..."}},
    {"es_ES", "Control remoto Calvora",
     {"Iniciar", "Ayuda...", "Acerca de..."},
     {"Reiniciar", "Detener", "Ayuda...", "Acerca de..."}},
    {"fr_FR", "T\u00e9l\u00e9commande Calvora",
     {"D\u00e9marrer", "Aide...", "\u00c0 propos..."},
     {"Red\u00e9marrer", "Stop", "Aide...", "\u00c0 propos..."}},
    {"ja_JP", "Calvora\u30ea\u30e2\u30fc\u30c8\u30b3\u30f3\u30c8\u30ed\u30fc\u30eb",
     {"\u30b9\u30bf\u30fc\u30c8", "\u30d8\u30eb\u30d7", "\u30d0\u30fc\u30b8\u30e7\u30f3\u60c5\u5831"},
     {"\u518d\u30b9\u30bf\u30fc\u30c8", "\u505c\u6b62", "\u30d8\u30eb\u30d7",
      "\u30d0\u30fc\u30b8\u30e7\u30f3\u60c5\u5831"}},
    // A language of its own that the tray has no texts for: the English ones.
    {"it_IT", "Calvora Remote Control",
     {"Start", "Help...", "About..."},
     {"Restart", "Stop", "Help...", "About..."}},
};

// "<command>:\"<text>\"" for each item, in order.
std::string MenuItems(const std::vector<unsigned>& p_Commands,
                      const std::vector<std::string>& p_Texts) {
  std::string l_Items;
  for (std::size_t l_nItem = 0; l_nItem < p_Commands.size(); ++l_nItem) {
    l_Items.append(" ").append(std::to_string(p_Commands[l_nItem])).append(":\"").append(p_Texts[l_nItem]).append("\"");
  }
  return l_Items;
}

// Runs a tray in the language, checks its tip and its menu for the icon's state, and ends it.
void CheckLanguage(const TraySystem& p_System, const LanguageCase& p_Case, bool p_bRunning) {
  SCOPED_TRACE(p_Case.m_Locale);
  auto l_pTray = p_System.StartTray(p_System.Session(), {{"PLATFORM_UI_LANGUAGE", p_Case.m_Locale}});
  const std::string l_Icon = p_System.WaitForIcon(p_bRunning ? kRunning : kStopped);
  ASSERT_FALSE(l_Icon.empty());
  EXPECT_NE(l_Icon.find(std::string("tip \"") + p_Case.m_Tip + "\""), std::string::npos) << l_Icon;
  const std::string l_Menu = p_System.OpenMenu(l_Icon);
  const std::string l_Expected =
      p_bRunning ? MenuItems({ID_SERVICE_RESTART, ID_SERVICE_STOP, ID_HELP, ID_ABOUT}, p_Case.m_Running)
                 : MenuItems({ID_SERVICE_START, ID_HELP, ID_ABOUT}, p_Case.m_Stopped);
  EXPECT_NE(l_Menu.find(std::string("items").append(l_Expected)), std::string::npos) << l_Menu;
  Control({"pick", HandleOfLineWith(l_Menu, " "), "none"});
  EXPECT_EQ(p_System.StopTrays(p_System.Session()), 0);
  EXPECT_EQ(l_pTray->Wait(kPatience), kExitShutdownRequested);
}

TEST_F(TrayProcess, TheMenuOffersEachStatesCommandsInTheUsersLanguage) {
  for (const LanguageCase& l_Case : kLanguages) CheckLanguage(m_System, l_Case, false);
  m_System.StartService();
  ASSERT_TRUE(Eventually([this] { return !m_System.WindowsOfClass("WMPlayerApp").empty(); }));
  for (const LanguageCase& l_Case : kLanguages) CheckLanguage(m_System, l_Case, true);
}

TEST_F(TrayProcess, StartStopAndRestartFromTheMenuStopClosingThePlayersWindowAndRestartNot) {
  StartTray();
  ASSERT_TRUE(m_System.Pick(m_System.WaitForIcon(kStopped), ID_SERVICE_START));
  ASSERT_FALSE(m_System.WaitForIcon(kRunning).empty());
  EXPECT_EQ(m_System.ServiceState(), "running");
  ASSERT_TRUE(Eventually([this] { return !m_System.WindowsOfClass("WMPlayerApp").empty(); }));
  const std::string l_Player = m_System.WindowsOfClass("WMPlayerApp");

  const std::size_t l_nStarts = m_System.ServiceStarts();
  ASSERT_TRUE(m_System.Pick(m_System.WaitForIcon(kRunning), ID_SERVICE_RESTART));
  EXPECT_TRUE(Eventually([&] { return m_System.ServiceStarts() == l_nStarts + 1; }))
      << "the restart waited for the stop before it started the service again";
  ASSERT_FALSE(m_System.WaitForIcon(kRunning).empty());
  EXPECT_TRUE(Eventually([this] { return m_System.ServiceState() == "running"; }));
  EXPECT_EQ(m_System.WindowsOfClass("WMPlayerApp"), l_Player) << "a restart leaves the player";

  ASSERT_TRUE(m_System.Pick(m_System.WaitForIcon(kRunning), ID_SERVICE_STOP));
  EXPECT_FALSE(m_System.WaitForIcon(kStopped).empty());
  EXPECT_TRUE(Eventually([this] { return m_System.ServiceState() == "stopped"; }));
  EXPECT_TRUE(Eventually([this] { return m_System.WindowsOfClass("WMPlayerApp").empty(); }))
      << "a stop closes the player's window";
}

TEST_F(TrayProcess, OneTrayRunsPerSessionAndStopEndsEveryTray) {
  platform::testing::ChildProgram& l_First = StartTray();
  ASSERT_FALSE(m_System.WaitForIcon(kStopped).empty());
  auto l_pSecond = m_System.StartTray(m_System.Session());
  EXPECT_EQ(l_pSecond->Wait(kPatience), kExitAnotherTrayRuns);

  const std::uint32_t l_nOther = m_System.LogonAnother("other");
  ASSERT_NE(l_nOther, 0u);
  auto l_pOther = m_System.StartTray(l_nOther);
  EXPECT_TRUE(Eventually([] {
    const std::string l_Icons = Control({"icons"});
    return l_Icons.find('\n') != l_Icons.rfind('\n');
  })) << "a tray of another session runs beside the first";
  EXPECT_FALSE(l_pOther->Wait(std::chrono::milliseconds(0)).has_value());

  EXPECT_EQ(m_System.StopTrays(l_nOther), 0);
  EXPECT_EQ(l_First.Wait(kPatience), kExitShutdownRequested);
  EXPECT_EQ(l_pOther->Wait(kPatience), kExitShutdownRequested);
  EXPECT_TRUE(Eventually([] { return Control({"icons"}).empty(); })) << "each took its icon away";
}

TEST_F(TrayProcess, AboutShowsTheVersionAndHelpOpensTheSupportPage) {
  StartTray({{"PLATFORM_UI_LANGUAGE", "es_ES"}});
  const std::string l_Icon = m_System.WaitForIcon(kStopped);
  ASSERT_TRUE(m_System.Pick(l_Icon, ID_ABOUT));
  std::string l_Boxes;
  ASSERT_TRUE(Eventually([&] {
    l_Boxes = Control({"boxes"});
    return !l_Boxes.empty();
  }));
  EXPECT_NE(l_Boxes.find("caption \"Control remoto Calvora\" text \"Control remoto "
                         "Calvora\rVersi\u00f3n 1.48\r"),
            std::string::npos)
      << l_Boxes;
  Control({"answer", HandleOfLineWith(l_Boxes, " "), "ok"});

  ASSERT_TRUE(m_System.Pick(l_Icon, ID_HELP));
  EXPECT_TRUE(Eventually([] {
    return Control({"opened"}).find("\"https://support.calvora.example/remote\"") !=
           std::string::npos;
  }));

  // The hidden dialog's own about button shows the about dialog.
  const std::string l_Dialog = m_System.WindowsOfClass("#32770");
  ASSERT_NE(l_Dialog.find("title \"Peskarin\""), std::string::npos) << l_Dialog;
  Control({"press", HandleOfLineWith(l_Dialog, " "), std::to_string(ID_APP_ABOUT)});
  std::string l_About;
  ASSERT_TRUE(Eventually([&] {
    l_About = m_System.WindowsOfClass("#32770");
    return l_About.find("title \"About\"") != std::string::npos;
  }));
  EXPECT_NE(Control({"windows"}).find("Peskarin Application v1.48"), std::string::npos);
  Control({"press", HandleOfLineWith(l_About, "title \"About\""), "1"});
  EXPECT_TRUE(Eventually([this] {
    return m_System.WindowsOfClass("#32770").find("title \"About\"") == std::string::npos;
  }));
}

}  // namespace
