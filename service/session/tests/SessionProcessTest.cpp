// The session's player-control thread against the per-session server and the player
// application, each in its own process: the binding, the start-up's failures, the transport
// buttons, the player's tree and its docking, and two sessions side by side.

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/Edition.h"
#include "common/tests/support/LogRecorder.h"
#include "platform/base/Text.h"
#include "platform/base/Time.h"
#include "platform/com/Apartment.h"
#include "platform/kernel/Root.h"
#include "platform/kernel/tests/HelperProcess.h"
#include "service/session/MediaPlayerEvents.h"
#include "service/session/tests/SessionChain.h"
#include "server/WMPProxyInterface.h"

namespace {

using namespace session_chain;
using platform::Event;

std::vector<std::u16string> WrittenTexts(const LogRecorder& p_Log) {
  std::vector<std::u16string> l_Texts;
  for (const LogRecorder::Entry& l_Entry : p_Log.Entries()) {
    if ((l_Entry.flags & LOG_WRITE) != 0) l_Texts.push_back(l_Entry.text);
  }
  return l_Texts;
}

bool IsNavigationPage(const CDeviceData& p_Page) { return p_Page.GetScreenType() == 1; }

class SessionProcess : public ::testing::Test {
 protected:
  SessionProcess() {
    // The programs keep real time (the hook library polls its tree every half second), and so
    // does the binding's wait for a starting server.
    setenv("PLATFORM_TIME_SCALE", "1", 1);
    platform::SetTimeScale(1);
    const std::filesystem::path l_Data = platform::PlatformRoot() / "data";
    std::filesystem::create_directories(l_Data / "MediaPlayer");
    std::filesystem::copy_file(PLAYER_SAMPLE_LIBRARY, l_Data / "MediaPlayer" / "library.json",
                               std::filesystem::copy_options::overwrite_existing);
    setenv("XDG_DATA_HOME", l_Data.c_str(), 1);
    CoInitialize(nullptr);
    PurgeMediaPlayerEvents();
    while (TakeFirstDeviceOutput()) {
    }
  }
  ~SessionProcess() override {
    m_Sessions.clear();
    PurgeMediaPlayerEvents();
    while (TakeFirstDeviceOutput()) {
    }
    CoUninitialize();
  }

  SessionChain& AddSession(std::uint32_t p_dwSession) {
    return *m_Sessions.emplace_back(std::make_unique<SessionChain>(p_dwSession));
  }
  static void RegisterServer(const std::string& p_Program = RUVELLO) {
    ASSERT_EQ(RunToEnd({p_Program, "-RegServer"}), 0);
  }
  // The player application, each of whose `p_Failures` ("IWMPPlayer4::get_playState=0x80004005")
  // makes that player call fail.
  static void RegisterPlayer(const std::vector<std::string>& p_Failures = {}) {
    // Built by appending: the optimised build's overlap check misreads a literal before a string.
    std::u16string l_Command(1, u'"');
    l_Command.append(platform::FromUtf8(WMPLAYER)).push_back(u'"');
    for (const std::string& l_Failure : p_Failures) {
      l_Command.append(u" --fail ").append(platform::FromUtf8(l_Failure));
    }
    ASSERT_TRUE(platform::RegisterLocalServer(CLSID_PlayerApplication, l_Command,
                                              u"PlayerApplication", CLSID_PlayerApplication));
  }

  // Serves as the session listener does for player events (a set "RemoteMediaPlayerEvent" goes
  // to every running block) and collects the pages, until the answer holds.
  bool Serve(const std::function<bool()>& p_Check,
             std::chrono::steady_clock::duration p_Limit = kPatience) {
    return Eventually(
        [&] {
          if (IsSet(m_hMediaPlayerEvent)) {
            for (const auto& l_pSession : m_Sessions) {
              if (l_pSession->Running()) l_pSession->Signal(kButtonMediaPlayerEvent);
            }
          }
          while (std::optional<CDeviceData> l_Page = TakeFirstDeviceOutput()) {
            m_Pages.push_back(std::move(*l_Page));
          }
          return p_Check();
        },
        p_Limit);
  }
  // The first page that matches, once it came; the pages up to it are taken.
  std::optional<CDeviceData> NextPage(
      const std::function<bool(const CDeviceData&)>& p_Matches = [](const CDeviceData&) {
        return true;
      },
      std::chrono::steady_clock::duration p_Limit = kPatience) {
    std::optional<CDeviceData> l_Found;
    Serve(
        [&] {
          const auto l_At = std::find_if(m_Pages.begin(), m_Pages.end(), p_Matches);
          if (l_At == m_Pages.end()) return false;
          l_Found = *l_At;
          m_Pages.erase(m_Pages.begin(), l_At + 1);
          return true;
        },
        p_Limit);
    return l_Found;
  }
  // Selects the item in the session's player tree until its navigation page comes (the worker
  // in the application may not run yet when the first click comes); another item first, so
  // that each try is a change.
  std::optional<CDeviceData> SelectInTree(const SessionChain& p_Session,
                                          const std::vector<std::string>& p_Path,
                                          const std::vector<std::string>& p_Other) {
    const std::u16string l_Item = platform::FromUtf8(p_Path.back());
    for (int l_nTry = 0; l_nTry < 20; ++l_nTry) {
      EXPECT_EQ(p_Session.TreeClick(p_Other), 0);
      EXPECT_EQ(p_Session.TreeClick(p_Path), 0);
      const std::optional<CDeviceData> l_Page = NextPage(
          [&](const CDeviceData& p_Page) {
            return IsNavigationPage(p_Page) && SelectedText(p_Page) == l_Item;
          },
          std::chrono::seconds(3));
      if (l_Page) return l_Page;
    }
    return std::nullopt;
  }
  std::u16string ThreadText(const char16_t* p_szFormat) const {
    for (const std::u16string& l_Text : m_Log.Texts()) {
      if (l_Text.starts_with(u"UserWindowsMediaPlayer Thread ")) {
        const std::u16string l_Id = l_Text.substr(30, l_Text.find(u' ', 30) - 30);
        return platform::Format(std::u16string_view(p_szFormat), l_Id);
      }
    }
    return {};
  }

  LogRecorder m_Log;
  const Event m_hMediaPlayerEvent = CreateAutoResetEvent(u"RemoteMediaPlayerEvent");
  std::vector<std::unique_ptr<SessionChain>> m_Sessions;
  std::vector<CDeviceData> m_Pages;
};

const std::vector<std::string> kIronOrchard{"All Music", "Album", "Iron Orchard"};
const std::vector<std::string> kNightFerry{"All Music", "Album", "Night Ferry"};

TEST_F(SessionProcess, AStartUpBindsTheStartingServerDrivesTheMenuAndSignalsTheTray) {
  RegisterServer();
  RegisterPlayer();
  SessionChain& l_Session = AddSession(1);
  l_Session.Start();
  ASSERT_TRUE(l_Session.Started());
  EXPECT_TRUE(WrittenTexts(m_Log).empty());
  // Activation starts the server in the session; the binding polls until it has registered.
  std::vector<std::u16string> l_Polls;
  for (const std::u16string& l_Text : m_Log.Texts()) {
    if (l_Text.starts_with(u"Polling BindToObject")) l_Polls.push_back(l_Text);
  }
  ASSERT_FALSE(l_Polls.empty());
  EXPECT_LE(l_Polls.size(), 5u);
  EXPECT_EQ(l_Polls.front(), u"Polling BindToObject....  1 last response 800700e9");
  EXPECT_TRUE(m_Log.Contains(u"LoadQuillombMonitor Succeeds"));
  const pid_t l_nServer = l_Session.ServerPid();
  EXPECT_NE(l_nServer, 0);
  EXPECT_NE(l_Session.PlayerPid(), 0);

  const Event l_hLogon = Event::Open(Named(u"Global\\WTS_LOGON_INITIALIZATION_COMPLETE", 1)).handle;
  ASSERT_TRUE(l_hLogon);
  EXPECT_TRUE(IsSet(l_hLogon));
  const Event l_hShutdown = Event::Open(Named(u"Global\\WMP_SERVICE_SHUTDOWN_COMPLETE", 1)).handle;
  ASSERT_TRUE(l_hShutdown);
  EXPECT_TRUE(Exists(Named(u"Global\\WMPAlbumPollEvent", 1)));

  l_Session.Signal(kButtonDown);
  const std::optional<CDeviceData> l_Page = NextPage();
  ASSERT_TRUE(l_Page);
  EXPECT_EQ(l_Page->GetScreenType(), 3);
  EXPECT_EQ(l_Page->GetSelectedLine(), 1);

  l_Session.Stop();
  EXPECT_TRUE(IsSet(l_hShutdown));
  const std::vector<std::u16string> l_Texts = m_Log.Texts();
  const auto l_Position = [&](const std::u16string& p_Text) {
    return std::find(l_Texts.begin(), l_Texts.end(), p_Text) - l_Texts.begin();
  };
  // Everything is released before the apartment ends, and the server ends with its object.
  EXPECT_LT(l_Position(u"MusicLibrary deleted"), l_Position(u"l_spPlayer.Release"));
  EXPECT_LT(l_Position(u"l_pIProxyServer.Release"),
            l_Position(ThreadText(u"UserWindowsMediaPlayer Thread %s Ends")));
  EXPECT_TRUE(Eventually([&] { return l_Session.ServerPid() == 0; }));
}

// Each failure writes its messages in order; the thread then ends without the tray's events
// ever having existed. Each case runs in a session of its own.
TEST_F(SessionProcess, FailedStartUpsWriteTheirMessagesInOrder) {
  const std::filesystem::path l_Alone = platform::PlatformRoot() / "alone" / "Ruvello";
  std::filesystem::create_directories(l_Alone.parent_path());
  std::filesystem::copy_file(RUVELLO, l_Alone);
  const std::u16string l_Tail = u"EstablishEventsConnectionPoint Fails";
  struct Case {
    const char* name;
    std::function<void()> prepare;
    std::vector<std::u16string> written;
  };
  const std::vector<Case> l_Cases = {
      {"no server", [] {},
       {u"pMoniker->BindToObject fails with 80040154",
        u"CreateRemoteMediaPlayer fails with 80040154",
        u"CreateRemoteMediaPlayer fails with 80040154", l_Tail}},
      {"no player application", [] { RegisterServer(); },
       {u"p_pIProxyServer->InitializePlayer fails with 80040154",
        u"CreateRemoteMediaPlayer fails with 80040154",
        u"CreateRemoteMediaPlayer fails with 80040154", l_Tail}},
      {"play state", [] { RegisterPlayer({"IWMPPlayer4::get_playState=0x80004005"}); },
       {u"CurrentPlayState fails with 80004005", l_Tail}},
      {"application",
       [] { RegisterPlayer({"IWMPPlayer4::get_playerApplication=0x80004005"}); },
       kEdition == Edition::Second
           ? std::vector<std::u16string>{u"get_playerApplication fails with 80004005", l_Tail}
           : std::vector<std::u16string>{l_Tail}},
      // A server without the hook library beside it cannot load the monitor.
      {"monitor",
       [&] {
         RegisterPlayer();
         RegisterServer(l_Alone.string());
       },
       {u"LoadQuillombMonitor Fails with error 80004005", l_Tail}},
  };
  std::uint32_t l_dwSession = 10;
  for (const Case& l_Case : l_Cases) {
    SCOPED_TRACE(l_Case.name);
    l_Case.prepare();
    m_Log.Clear();
    SessionChain& l_Session = AddSession(++l_dwSession);
    l_Session.Start();
    EXPECT_TRUE(Exists(Named(u"USER_SESSION_THREAD_INITIALIZED", l_dwSession)));
    l_Session.Stop();
    std::vector<std::u16string> l_Expected = l_Case.written;
    l_Expected.push_back(ThreadText(u"UserPlayerControlBlock Initialization fails on thread %s"));
    EXPECT_EQ(WrittenTexts(m_Log), l_Expected);
    EXPECT_FALSE(m_Log.Contains(u"EstablishNavigationEventsConnectionPoint Fails"));
    EXPECT_FALSE(Exists(Named(u"Global\\WTS_LOGON_INITIALIZATION_COMPLETE", l_dwSession)));
    EXPECT_FALSE(Exists(Named(u"Global\\WMP_SERVICE_SHUTDOWN_COMPLETE", l_dwSession)));
  }
}

// A server that never registers answers 0x800700E9 to every bind: the binding polls five more
// times, a second apart, and then gives up.
TEST_F(SessionProcess, AServerThatNeverRegistersIsPolledSixTimes) {
  platform::SetTimeScale(platform::testing::kTestTimeScale);
  const std::filesystem::path l_Script = platform::PlatformRoot() / "slow-server.sh";
  std::ofstream(l_Script) << "#!/bin/sh\nexec sleep 30\n";
  std::filesystem::permissions(l_Script, std::filesystem::perms::owner_all);
  ASSERT_TRUE(platform::RegisterLocalServer(
      CLSID_WMPProxy, platform::FromUtf8(l_Script.string()), u"Ruvello.WMPProxy",
      platform::GuidLiteral(u"{36EA6C0F-53DF-4CEF-A766-C7FB9592DD2C}")));
  constexpr std::uint32_t kSession = 7;
  SessionChain& l_Session = AddSession(kSession);
  l_Session.Start();
  l_Session.Stop();
  const std::filesystem::path l_Starting =
      platform::PlatformRoot() / "classes" / std::to_string(kSession) /
      (platform::ToUtf8(platform::FormatGuid(CLSID_WMPProxy)) + ".starting");
  std::ifstream l_Pid(l_Starting);
  pid_t l_nServer = 0;
  l_Pid >> l_nServer;
  ASSERT_GT(l_nServer, 0);
  kill(l_nServer, SIGKILL);

  std::vector<std::u16string> l_Polls;
  for (const std::u16string& l_Text : m_Log.Texts()) {
    if (l_Text.starts_with(u"Polling BindToObject")) l_Polls.push_back(l_Text);
  }
  ASSERT_EQ(l_Polls.size(), 5u);
  EXPECT_EQ(l_Polls[0], u"Polling BindToObject....  1 last response 800700e9");
  EXPECT_EQ(l_Polls[4], u"Polling BindToObject....  5 last response 800700e9");
  EXPECT_EQ(WrittenTexts(m_Log).at(0), u"pMoniker->BindToObject fails with 800700e9");
}

TEST_F(SessionProcess, TransportButtonsDriveTheApplicationsPlayer) {
  RegisterServer();
  RegisterPlayer();
  SessionChain& l_Session = AddSession(2);
  l_Session.Start();
  ASSERT_TRUE(l_Session.Started());
  const ComPtr<IWMPPlayer4> l_spPlayer = l_Session.ApplicationPlayer();
  ASSERT_TRUE(l_spPlayer);
  const auto l_State = [&] {
    WMPPlayState l_nState = wmppsUndefined;
    l_spPlayer->get_playState(&l_nState);
    return l_nState;
  };
  const auto l_Current = [&] {
    ComPtr<IWMPMedia> l_spMedia;
    _bstr_t l_bstrName;
    if (SUCCEEDED(l_spPlayer->get_currentMedia(l_spMedia.put())) && l_spMedia) {
      l_spMedia->get_name(l_bstrName.GetAddress());
    }
    return std::u16string(l_bstrName.view());
  };

  // Into the albums, and Play plays the first one in the application.
  l_Session.Signal(kButtonDown);
  ASSERT_TRUE(NextPage([](const CDeviceData& p) { return p.GetScreenType() == 3; }));
  l_Session.Signal(kButtonRight);
  ASSERT_TRUE(NextPage([](const CDeviceData& p) { return p.GetScreenType() == 6; }));
  l_Session.Signal(kButtonPlay);
  ASSERT_TRUE(Serve([&] { return l_State() == wmppsPlaying; }));
  const std::u16string l_First = l_Current();
  EXPECT_FALSE(l_First.empty());

  l_Session.Signal(kButtonNext);
  EXPECT_TRUE(Serve([&] { return l_Current() != l_First && l_State() == wmppsPlaying; }));
  l_Session.Signal(kButtonPrev);
  EXPECT_TRUE(Serve([&] { return l_Current() == l_First; }));
  // Fast forward runs the track ahead faster than time, rewind runs it back.
  const auto l_Position = [&] {
    ComPtr<IWMPControls> l_spControls;
    double l_dSeconds = 0;
    if (SUCCEEDED(l_spPlayer->get_controls(l_spControls.put())) && l_spControls) {
      l_spControls->get_currentPosition(&l_dSeconds);
    }
    return l_dSeconds;
  };
  const auto l_Since = [](std::chrono::steady_clock::time_point p_Start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - p_Start).count();
  };
  const double l_dBefore = l_Position();
  const auto l_Start = std::chrono::steady_clock::now();
  l_Session.Signal(kButtonFastForward);
  EXPECT_TRUE(Serve([&] { return l_Position() - l_dBefore > 2 * l_Since(l_Start) + 2; }));
  double l_dAhead = l_Position();
  l_Session.Signal(kButtonRewind);
  EXPECT_TRUE(Serve([&] {
    const double l_dNow = l_Position();
    const bool l_bBack = l_dNow < l_dAhead;
    l_dAhead = l_dNow;
    return l_bBack;
  }));
  l_Session.Signal(kButtonPause);
  EXPECT_TRUE(Serve([&] { return l_State() == wmppsPaused; }));
  l_Session.Signal(kButtonPlay);
  EXPECT_TRUE(Serve([&] { return l_State() == wmppsPlaying; }));
  l_Session.Signal(kButtonStop);
  EXPECT_TRUE(Serve([&] { return l_State() == wmppsStopped; }));
  // The state changes came back through the player's events as status pages.
  EXPECT_TRUE(NextPage([](const CDeviceData& p) {
    return p.GetScreenType() == 2 && p.GetPlayState() == wmppsStopped;
  }));

  // Next while nothing plays sends nothing and leaves a filler page.
  const std::u16string l_Stopped = l_Current();
  l_Session.Signal(kButtonNext);
  EXPECT_TRUE(NextPage([](const CDeviceData& p) {
    return p.GetUpdateMode() == 1 && p.GetScreenType() == 0 && p.GetLineCount() == 0;
  }));
  EXPECT_EQ(l_Current(), l_Stopped);
  EXPECT_EQ(l_State(), wmppsStopped);
}

// A docked player gets no monitor; undocking loads it, so that a selection in the player's tree
// reaches the menu, and docking unloads it again and asks the listener for a Stop.
TEST_F(SessionProcess, DockingUnloadsAndUndockingLoadsTheTreeMonitor) {
  RegisterServer();
  RegisterPlayer();
  SessionChain& l_Session = AddSession(3);
  ASSERT_EQ(l_Session.Tool({"player", "dock"}), 0);
  l_Session.Start();
  ASSERT_TRUE(l_Session.Started());
  EXPECT_TRUE(WrittenTexts(m_Log).empty());
  EXPECT_FALSE(m_Log.Contains(u"LoadQuillombMonitor Succeeds"));

  ASSERT_EQ(l_Session.Tool({"player", "undock"}), 0);
  const std::optional<CDeviceData> l_Page = SelectInTree(l_Session, kIronOrchard, kNightFerry);
  ASSERT_TRUE(l_Page);
  EXPECT_EQ(l_Page->GetUpdateMode(), kEdition == Edition::Second ? 6 : 0);

  const Event l_hStop = CreateAutoResetEvent(u"RemoteButtonStop");
  ASSERT_EQ(l_Session.Tool({"player", "dock"}), 0);
  ASSERT_TRUE(Serve([&] { return IsSet(l_hStop); }));
  // Four polls of a worker that would still run.
  m_Pages.clear();
  EXPECT_EQ(l_Session.TreeClick(kNightFerry), 0);
  Serve([] { return false; }, std::chrono::seconds(2));
  EXPECT_TRUE(std::none_of(m_Pages.begin(), m_Pages.end(), IsNavigationPage));
}

// Each session's player events reach only its own thread, and a button only the block it was
// signalled to, though the listener's wake-up goes to every block here.
TEST_F(SessionProcess, TwoSessionsKeepTheirOwnMenusMonitorsAndButtons) {
  RegisterServer();
  RegisterPlayer();
  SessionChain& l_First = AddSession(5);
  SessionChain& l_Second = AddSession(6);
  l_First.Start();
  l_Second.Start();
  ASSERT_TRUE(l_First.Started());
  ASSERT_TRUE(l_Second.Started());
  ASSERT_TRUE(WrittenTexts(m_Log).empty());
  ASSERT_NE(l_First.PlayerPid(), l_Second.PlayerPid());
  const auto l_ListPage = [](const CDeviceData& p) { return p.GetScreenType() == 6; };

  // The first session goes into its albums; its library gains one.
  l_First.Signal(kButtonDown);
  ASSERT_TRUE(NextPage());
  l_First.Signal(kButtonRight);
  const std::optional<CDeviceData> l_Albums = NextPage(l_ListPage);
  ASSERT_TRUE(l_Albums);
  ASSERT_EQ(l_First.Tool({"player", "add-track", "Name=Gull", "Album=Sea Songs",
                          "WM/AlbumArtist=Ilse Ravel", "Author=Ilse Ravel", "Genre=Ambient",
                          "MediaType=audio"}),
            0);
  ASSERT_TRUE(NextPage(IsNavigationPage));
  l_First.Signal(kButtonPower);
  std::optional<CDeviceData> l_Page = NextPage();
  ASSERT_TRUE(l_Page);
  EXPECT_EQ(l_Page->GetTotal(), l_Albums->GetTotal() + 1);
  // Its track changes, and it docks.
  l_First.Signal(kButtonPlay);
  ASSERT_TRUE(NextPage([](const CDeviceData& p) { return p.GetScreenType() == 2; }));
  ASSERT_EQ(l_First.Tool({"player", "next"}), 0);
  ASSERT_EQ(l_First.Tool({"player", "stop"}), 0);
  ASSERT_TRUE(NextPage([](const CDeviceData& p) {
    return p.GetScreenType() == 2 && p.GetPlayState() == wmppsStopped;
  }));
  const Event l_hStop = CreateAutoResetEvent(u"RemoteButtonStop");
  ASSERT_EQ(l_First.Tool({"player", "dock"}), 0);
  ASSERT_TRUE(Serve([&] { return IsSet(l_hStop); }));

  // The second session's menu has not moved: its Power page shows the root at its first line,
  m_Pages.clear();
  l_Second.Signal(kButtonPower);
  l_Page = NextPage();
  ASSERT_TRUE(l_Page);
  EXPECT_EQ(l_Page->GetUpdateMode(), 6);
  EXPECT_EQ(l_Page->GetPosition(), 0);
  // its albums are those of its own library,
  l_Second.Signal(kButtonDown);
  ASSERT_TRUE(NextPage());
  l_Second.Signal(kButtonRight);
  l_Page = NextPage(l_ListPage);
  ASSERT_TRUE(l_Page);
  EXPECT_EQ(l_Page->GetTotal(), l_Albums->GetTotal());
  // and its monitor still runs: a selection in its tree reaches its menu.
  ASSERT_TRUE(SelectInTree(l_Second, kIronOrchard, kNightFerry));
  // A button to the first block moves only the first session's menu.
  l_First.Signal(kButtonUp);
  ASSERT_TRUE(NextPage());
  l_Second.Signal(kButtonRefreshScreen);
  l_Page = NextPage();
  ASSERT_TRUE(l_Page);
  EXPECT_EQ(l_Page->GetScreenType(), 8);
  EXPECT_EQ(SelectedText(*l_Page), u"Iron Orchard");
}

}  // namespace
