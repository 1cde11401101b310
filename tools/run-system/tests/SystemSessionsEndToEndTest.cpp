// The whole system in each build with more than one user: a second user logs on in a session of
// its own, the console switches between the two, a session logs off while the other goes on, and
// the remote is plugged out and in again. Everything runs as the main command runs it; the test
// acts as the session manager's users do and as a person with the remote does, and looks at the
// system only from outside: the display, the player applications, the processes of each session
// and the per-session events that the system's programs share.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/Text.h"
#include "platform/kernel/Event.h"
#include "platform/kernel/Wait.h"
#include "platform/sessions/RootProcesses.h"
#include "platform/sessions/SessionManager.h"
#include "tools/run-system/RemoteButtons.h"
#include "tools/run-system/tests/SystemTestSupport.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* kSecondUser = "tove";

const std::vector<std::string> kArtists = {"Mara Venn", "The Quiet Engines", "Tolan Brisk"};
const std::vector<std::string> kAlbums = {"Blue Harbour", "Night Ferry", "Iron Orchard"};
const std::vector<std::string> kBlueHarbour = {"Salt on the Rail", "Lanterns", "Tidewater"};

// A per-session event of the system, created or opened by its name and the session's number.
platform::Event SessionEvent(const char* p_pName, std::uint32_t p_nSession,
                             platform::EventReset p_Reset) {
  std::string l_Name = p_pName;
  l_Name += std::to_string(p_nSession);
  return platform::Event::Create(p_Reset, false, platform::FromUtf8(l_Name)).handle;
}

std::vector<platform::detail::RootProcess> ProcessesOf(std::uint32_t p_nSession) {
  std::vector<platform::detail::RootProcess> l_Processes = platform::detail::ListRootProcesses();
  std::erase_if(l_Processes, [p_nSession](const platform::detail::RootProcess& p_Process) {
    return p_Process.sessionId != p_nSession;
  });
  return l_Processes;
}

bool Runs(std::uint32_t p_nSession, std::u16string_view p_Image) {
  const std::vector<platform::detail::RootProcess> l_Processes = ProcessesOf(p_nSession);
  return std::any_of(l_Processes.begin(), l_Processes.end(),
                     [p_Image](const platform::detail::RootProcess& p_Process) {
                       return p_Process.imageName == p_Image;
                     });
}

std::string Named(const std::vector<platform::detail::RootProcess>& p_Processes) {
  std::string l_Names;
  for (const platform::detail::RootProcess& l_Process : p_Processes) {
    l_Names += platform::ToUtf8(l_Process.imageName) + " " +
               std::to_string(l_Process.identity.pid) + "\n";
  }
  return l_Names;
}

bool Plays(const std::string& p_Line, const std::string& p_Track) {
  std::string l_Start = "player: playing \"";
  l_Start.append(p_Track).append("\"");
  return p_Line.starts_with(l_Start);
}

class SystemSessions : public SystemFixture {
 protected:
  // Logs the second user on away from the console; its session once the service's thread for it
  // has told that its start-up is over (the server and the player application run there then).
  std::uint32_t LogonSecond() {
    std::optional<platform::SessionControl> l_Control = platform::SessionControl::Connect();
    EXPECT_TRUE(l_Control);
    if (!l_Control) return 0;
    const platform::SessionControl::Result l_Logon = l_Control->Logon(kSecondUser, false);
    EXPECT_EQ(l_Logon.error, 0u);
    if (l_Logon.error != 0) return 0;
    const auto l_nSession = static_cast<std::uint32_t>(std::stoul(l_Logon.value));
    // Made with the kind the session thread makes it, in case it is not there yet.
    const platform::Event l_Started = SessionEvent("Global\\WTS_LOGON_INITIALIZATION_COMPLETE",
                                                   l_nSession, platform::EventReset::Manual);
    EXPECT_TRUE(platform::WaitForObject(l_Started.Ref(), kPatience).Signalled(0))
        << "the service's thread for session " << l_nSession << " did not start";
    EXPECT_TRUE(Eventually([&] { return Runs(l_nSession, u"wmplayer.exe"); }))
        << Named(ProcessesOf(l_nSession));
    return l_nSession;
  }
  void SwitchConsole(std::uint32_t p_nSession) {
    std::optional<platform::SessionControl> l_Control = platform::SessionControl::Connect();
    ASSERT_TRUE(l_Control);
    ASSERT_EQ(l_Control->SwitchConsole(p_nSession).error, 0u);
  }
  void Logoff(std::uint32_t p_nSession) {
    std::optional<platform::SessionControl> l_Control = platform::SessionControl::Connect();
    ASSERT_TRUE(l_Control);
    ASSERT_EQ(l_Control->Logoff(p_nSession).error, 0u);
  }
};

// The remote drives the session at the console and only that one: the second user's menu and
// player while the console is theirs, the first user's again once it is switched back, each
// menu where its user left it. A switch has the session now at the console draw its page whole,
// so that the display never shows the other session's rows under this one's cursor.
TEST_P(SystemSessions, TheRemoteDrivesTheSessionAtTheConsole) {
  Press("home", RootMenu(0));
  Press("down", RootMenu(1));
  Press("down", RootMenu(2));
  Press("right", MenuPage("Artists", kArtists, 0));

  const std::uint32_t l_nSecond = LogonSecond();
  ASSERT_NE(l_nSecond, 0u);
  // The second session's start-up draws nothing: the display still shows the first one's page.
  EXPECT_TRUE(MenuPage("Artists", kArtists, 0)(m_Remote.Screen())) << Drawn(m_Remote.Screen());

  // The second user's menu is a new one, and what it opens and plays is theirs.
  Await("the switch to the second session", [&] { SwitchConsole(l_nSecond); }, RootMenu(0));
  Press("down", RootMenu(1));
  Press("right", MenuPage("Albums", kAlbums, 0));
  Press("right", MenuPage("Blue Harbour", kBlueHarbour, 0, true));
  Press("left", MenuPage("Albums", kAlbums, 0));
  const LcdScreen l_Playing = Press("play", PlayerPage(1));
  EXPECT_EQ(l_Playing.m_nDuration, 215) << Drawn(l_Playing);
  EXPECT_TRUE(Eventually([&] { return Plays(PlayerState(l_nSecond), "Salt on the Rail"); }))
      << PlayerState(l_nSecond);
  EXPECT_FALSE(PlayerState(Console()).starts_with("player: playing")) << PlayerState(Console());

  // Back at the first session, which still has its artists open, off the second one's player
  // screen: its list moves as a list again while the second session plays on.
  const LcdScreen l_Back = Await("the switch back", [&] { SwitchConsole(Console()); },
                                 MenuPage("Artists", kArtists, 0));
  EXPECT_FALSE(l_Back.m_bTimesShown) << Drawn(l_Back);
  Press("down", MenuPage("Artists", kArtists, 1));
  Press("left", RootMenu(2));
  Press("up", RootMenu(1));
  EXPECT_TRUE(Plays(PlayerState(l_nSecond), "Salt on the Rail")) << PlayerState(l_nSecond);
  EXPECT_FALSE(PlayerState(Console()).starts_with("player: playing")) << PlayerState(Console());

  // And to the second one again, at its albums: its Stop stops its own player.
  Await("the switch to the second session again", [&] { SwitchConsole(l_nSecond); },
        MenuPage("Albums", kAlbums, 0));
  ASSERT_TRUE(m_Remote.Press(static_cast<std::uint8_t>(ButtonNamed("stop")->m_nCode)));
  EXPECT_TRUE(Eventually([&] { return PlayerState(l_nSecond).starts_with("player: stopped"); }))
      << PlayerState(l_nSecond);
  Press("left", RootMenu(1));
}

// A logoff ends the session's thread in the service, its server and its player application,
// and leaves nothing of it running; the session at the console browses and plays on.
TEST_P(SystemSessions, ALogoffEndsItsSessionWhileTheOtherGoesOn) {
  Press("home", RootMenu(0));
  const std::uint32_t l_nSecond = LogonSecond();
  ASSERT_NE(l_nSecond, 0u);
  Await("the switch to the second session", [&] { SwitchConsole(l_nSecond); }, RootMenu(0));
  Press("down", RootMenu(1));
  Press("right", MenuPage("Albums", kAlbums, 0));
  Press("play", PlayerPage(1));
  EXPECT_TRUE(Eventually([&] { return Plays(PlayerState(l_nSecond), "Salt on the Rail"); }))
      << PlayerState(l_nSecond);
  Await("the switch back", [&] { SwitchConsole(Console()); }, RootMenu(0));

  ASSERT_TRUE(Runs(l_nSecond, u"Ruvello.exe")) << Named(ProcessesOf(l_nSecond));
  // The session's thread sets this as its last step.
  const platform::Event l_ThreadEnded = SessionEvent("Global\\WMP_SERVICE_SHUTDOWN_COMPLETE",
                                                     l_nSecond, platform::EventReset::Auto);
  Logoff(l_nSecond);
  EXPECT_TRUE(platform::WaitForObject(l_ThreadEnded.Ref(), kPatience).Signalled(0))
      << "the service's thread for session " << l_nSecond << " did not end";
  EXPECT_TRUE(Eventually([&] { return ProcessesOf(l_nSecond).empty(); }))
      << Named(ProcessesOf(l_nSecond));

  Press("down", RootMenu(1));
  Press("right", MenuPage("Albums", kAlbums, 0));
  Press("right", MenuPage("Blue Harbour", kBlueHarbour, 0, true));
  Press("left", MenuPage("Albums", kAlbums, 0));
  Press("play", PlayerPage(1));
  EXPECT_TRUE(Eventually([&] { return Plays(PlayerState(Console()), "Salt on the Rail"); }))
      << PlayerState(Console());
  Press("stop", RootMenu(1));
  EXPECT_TRUE(Eventually([&] { return PlayerState(Console()).starts_with("player: stopped"); }))
      << PlayerState(Console());
}

// After the remote is plugged out and in again the service opens the new one, and the first
// press wakes its display with the main menu (or, while a track plays, the player page); the
// presses after it are answered as before.
TEST_P(SystemSessions, APluggedInAgainRemoteAnswersTheNextPress) {
  Press("home", RootMenu(0));
  Press("down", RootMenu(1));
  struct Round {
    const char* what;
    std::chrono::milliseconds unplugged;  // how long the remote stays out
    bool playing;
  };
  const Round kRounds[] = {
      {"out and in at once", 0ms, false},
      {"out for a while", 3000ms, false},
      {"out and in while a track plays", 500ms, true},
      {"out and in at once after playing", 0ms, false},
  };
  for (const Round& l_Round : kRounds) {
    SCOPED_TRACE(l_Round.what);
    if (l_Round.playing) {
      Press("right", MenuPage("Albums", kAlbums, 0));
      Press("play", PlayerPage(1));
    }
    m_Remote.Unplug();
    std::this_thread::sleep_for(l_Round.unplugged);
    ASSERT_TRUE(m_Remote.Plug());
    ASSERT_TRUE(Eventually([&] { return m_Remote.OpenHandles() >= 2; }))
        << "the service holds " << m_Remote.OpenHandles() << " handles of the new remote";
    // The first press only wakes the display: Home's page, with the cursor where it was.
    if (l_Round.playing) {
      Press("down", PlayerPage(1));
      Press("stop", RootMenu(1));
    } else {
      Press("down", RootMenu(1));
      Press("down", RootMenu(2));
      Press("up", RootMenu(1));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Builds, SystemSessions, ::testing::Values(false, true), BuildName);

}  // namespace
