// The server as its own process: activated through the session moniker, and in tray mode driven
// through the control tool.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/base/Text.h"
#include "platform/com/Apartment.h"
#include "platform/com/DispatchSink.h"
#include "platform/com/SafeArray.h"
#include "platform/com/Activation.h"
#include "platform/com/ConnectionPoint.h"
#include "platform/com/Registry.h"
#include "platform/kernel/Event.h"
#include "platform/kernel/Posix.h"
#include "platform/kernel/Root.h"
#include "platform/kernel/tests/ChildProgram.h"
#include "platform/kernel/tests/Eventually.h"
#include "platform/player/PlayerApplication.h"
#include "platform/player/PlayerInterfaces.h"
#include "platform/sessions/RootProcesses.h"
#include "platform/user/Window.h"
#include "server/WMPProxyInterface.h"

namespace {

using platform::ComPtr;
using platform::testing::ChildProgram;
using platform::IidOf;

std::map<std::string, std::string> InSession(int p_nSession) {
  return {{"PLATFORM_SESSION", std::to_string(p_nSession)}};
}

// Runs a program to its end; its output.
std::string RunToEnd(std::vector<std::string> p_Words, int p_nSession = 0) {
  ChildProgram l_Program(std::move(p_Words), InSession(p_nSession));
  EXPECT_EQ(l_Program.Wait(std::chrono::seconds(20)), 0);
  return l_Program.Output();
}
std::string Control(std::vector<std::string> p_Words) {
  p_Words.insert(p_Words.begin(), PLATFORMCTL);
  return RunToEnd(std::move(p_Words));
}

using platform::testing::Eventually;
using platform::testing::HandleOfLineWith;

std::vector<pid_t> ServersInSession(std::uint32_t p_nSession) {
  std::vector<pid_t> l_Servers;
  for (const auto& l_Process : platform::detail::ListRootProcesses()) {
    if (l_Process.imageName == u"Ruvello.exe" && l_Process.sessionId == p_nSession) {
      l_Servers.push_back(l_Process.identity.pid);
    }
  }
  return l_Servers;
}

bool WaitForExit(pid_t p_nPid) {
  const platform::detail::UniqueFd l_Handle(static_cast<int>(syscall(SYS_pidfd_open, p_nPid, 0)));
  if (!l_Handle) return true;
  pollfd l_Watch{l_Handle.Get(), POLLIN, 0};
  return poll(&l_Watch, 1, 20000) == 1;
}

// A proxy object of the server in `p_nSession`, bound through the session moniker as the service
// binds it (retrying while the server starts); null when the bind fails.
ComPtr<IWMPProxy> BindProxy(std::uint32_t p_nSession) {
  ComPtr<IBindCtx> l_spContext;
  EXPECT_EQ(CreateBindCtx(0, l_spContext.put()), S_OK);
  const std::u16string l_Name = u"Session:" + platform::FromUtf8(std::to_string(p_nSession)) +
                                u"!clsid:" + platform::FormatGuid(CLSID_WMPProxy).substr(1, 36);
  ULONG l_nEaten = 0;
  ComPtr<IMoniker> l_spMoniker;
  if (!l_spContext || FAILED(MkParseDisplayNameEx(l_spContext.get(), l_Name.c_str(), &l_nEaten,
                                                  l_spMoniker.put()))) {
    return {};
  }
  ComPtr<IClassFactory> l_spFactory;
  EXPECT_TRUE(Eventually([&] {
    return l_spMoniker->BindToObject(l_spContext.get(), nullptr, IidOf<IClassFactory>,
                                     l_spFactory.put_void()) != kServerStarting;
  }));
  ComPtr<IWMPProxy> l_spProxy;
  if (l_spFactory) {
    EXPECT_EQ(l_spFactory->CreateInstance(nullptr, IidOf<IWMPProxy>, l_spProxy.put_void()), S_OK);
  }
  return l_spProxy;
}

TEST(ServerProcess, RegistersItselfAndUnregisters) {
  RunToEnd({RUVELLO, "-RegServer"});
  const std::u16string l_Command = *platform::RegistryGetValue(
      platform::RegistryHive::ClassesRoot,
      u"CLSID\\" + platform::FormatGuid(CLSID_WMPProxy) + u"\\LocalServer32", u"");
  EXPECT_EQ(platform::ToUtf8(l_Command), RUVELLO);
  RunToEnd({RUVELLO, "/unregserver"});
  EXPECT_FALSE(platform::RegistryGetValue(
      platform::RegistryHive::ClassesRoot,
      u"CLSID\\" + platform::FormatGuid(CLSID_WMPProxy) + u"\\LocalServer32", u""));
}

TEST(ServerProcess, StartedThroughTheSessionMonikerItEndsWithItsLastObject) {
  RunToEnd({RUVELLO, "-RegServer"});
  constexpr std::uint32_t kSession = 3;
  ComPtr<IWMPProxy> l_spProxy = BindProxy(kSession);
  ASSERT_TRUE(l_spProxy);
  const std::vector<pid_t> l_Servers = ServersInSession(kSession);
  ASSERT_EQ(l_Servers.size(), 1u);

  ComPtr<IConnectionPointContainer> l_spContainer;
  EXPECT_EQ(l_spProxy.QueryInterface(l_spContainer), S_OK);
  EXPECT_EQ(l_spProxy->UnloadQuillombMonitor(), S_OK);

  l_spContainer.Release();
  l_spProxy.Release();
  EXPECT_TRUE(WaitForExit(l_Servers.front()));
  RunToEnd({RUVELLO, "-UnregServer"});
}

// The paths of the selections that reach this apartment's sink.
class SelectionLog final : public platform::DispatchSink<SelectionLog, _IWMPEventSinkEvents> {
 public:
  HRESULT OnNavigationChanged(std::int32_t /*p_nType*/, SAFEARRAY* p_pEntries) {
    std::vector<std::u16string> l_Path;
    std::int32_t l_nLower = 0;
    std::int32_t l_nUpper = -1;
    SafeArrayGetLBound(p_pEntries, 1, &l_nLower);
    SafeArrayGetUBound(p_pEntries, 1, &l_nUpper);
    for (std::int32_t l_nIndex = l_nLower; l_nIndex <= l_nUpper; ++l_nIndex) {
      BSTR l_bstrEntry = nullptr;
      SafeArrayGetElement(p_pEntries, &l_nIndex, &l_bstrEntry);
      l_Path.emplace_back(l_bstrEntry, SysStringLen(l_bstrEntry));
      SysFreeString(l_bstrEntry);
    }
    paths.push_back(std::move(l_Path));
    return S_OK;
  }
  using SinkMap = platform::SinkMap<platform::SinkEntry<_IWMPEventSinkEvents::WMPNavigationChanged,
                                                        &SelectionLog::OnNavigationChanged>>;
  std::vector<std::vector<std::u16string>> paths;
};

// Serves this thread's apartment until the answer holds; false when it never does in 60 s.
bool PumpUntil(const std::function<bool()>& p_Check) {
  const auto l_End = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!p_Check()) {
    if (std::chrono::steady_clock::now() > l_End) return false;
    platform::MsgWaitForMultipleObjects({}, false, platform::Timeout(50), QS_ALLINPUT);
    MSG l_Message;
    while (platform::PeekMessage(l_Message, 0, 0, 0, PM_REMOVE)) platform::DispatchMessage(l_Message);
  }
  return true;
}

std::vector<pid_t> PlayersInSession(std::uint32_t p_nSession) {
  std::vector<pid_t> l_Players;
  for (const auto& l_Process : platform::detail::ListRootProcesses()) {
    if (l_Process.imageName == u"wmplayer.exe" && l_Process.sessionId == p_nSession) {
      l_Players.push_back(l_Process.identity.pid);
    }
  }
  return l_Players;
}

// The whole chain of a session: the server, bound through the session moniker, hosts the control
// in remote mode, which starts the player application; the player it hands out is the
// application's, and a selection made in the application's tree arrives at this apartment's sink
// through the hook library inside the application.
TEST(ServerProcess, HandsOutTheApplicationsPlayerAndReportsItsTreeSelection) {
  constexpr std::uint32_t kSession = 4;
  ASSERT_EQ(CoInitialize(nullptr), S_OK);
  // The programs that activation starts keep real time (the hook library's waits are short).
  setenv("PLATFORM_TIME_SCALE", "1", 1);
  const std::filesystem::path l_Data = platform::PlatformRoot() / "data";
  std::filesystem::create_directories(l_Data / "MediaPlayer");
  std::filesystem::copy_file(PLAYER_SAMPLE_LIBRARY, l_Data / "MediaPlayer" / "library.json");
  setenv("XDG_DATA_HOME", l_Data.c_str(), 1);
  RunToEnd({RUVELLO, "-RegServer"});
  ASSERT_TRUE(platform::player::RegisterPlayerApplication(WMPLAYER));

  ComPtr<IWMPProxy> l_spProxy = BindProxy(kSession);
  ASSERT_TRUE(l_spProxy);
  const std::vector<pid_t> l_Servers = ServersInSession(kSession);
  ASSERT_EQ(l_Servers.size(), 1u);

  {
    ComPtr<IUnknown> l_spHanded;
    ASSERT_EQ(l_spProxy->InitializePlayer(l_spHanded.put()), S_OK);
    ComPtr<IWMPPlayer4> l_spPlayer;
    ASSERT_EQ(l_spHanded.QueryInterface(l_spPlayer), S_OK);
    const std::vector<pid_t> l_Players = PlayersInSession(kSession);
    ASSERT_EQ(l_Players.size(), 1u);
    ComPtr<IWMPMediaCollection> l_spCollection;
    ASSERT_EQ(l_spPlayer->get_mediaCollection(l_spCollection.put()), S_OK);

    const ComPtr<SelectionLog> l_spSink = platform::MakeObject<SelectionLog>();
    ASSERT_EQ(l_spSink->DispEventAdvise(l_spProxy.get()), S_OK);
    ASSERT_EQ(l_spProxy->LoadQuillombMonitor(), S_OK);
    // The worker reports once it has come into the application; the click follows.
    Control({"tree-click", std::to_string(l_Players.front()), "WMPlayerApp", "1007", "All Music",
             "Album"});
    const std::vector<std::u16string> l_Expected{u"All Music", u"Album"};
    EXPECT_TRUE(PumpUntil([&] {
      for (const auto& l_Path : l_spSink->paths) {
        if (l_Path == l_Expected) return true;
      }
      if (!l_spSink->paths.empty() && l_spSink->paths.back() != l_Expected) {
        Control({"tree-click", std::to_string(l_Players.front()), "WMPlayerApp", "1007",
                 "All Music", "Album"});
      }
      return false;
    }));
    EXPECT_EQ(l_spProxy->UnloadQuillombMonitor(), S_OK);
    EXPECT_EQ(l_spSink->DispEventUnadvise(l_spProxy.get()), S_OK);
    l_spPlayer.Release();
    l_spCollection.Release();
    l_spHanded.Release();
    l_spProxy.Release();
    EXPECT_TRUE(WaitForExit(l_Servers.front()));
    kill(l_Players.front(), SIGKILL);
    EXPECT_TRUE(WaitForExit(l_Players.front()));
  }
  RunToEnd({RUVELLO, "-UnregServer"});
  CoUninitialize();
}

TEST(ServerProcess, TrayModeShowsTheServiceStateAndStopsOnlyInItsSession) {
  ChildProgram l_Tray({RUVELLO, "-Tray"}, InSession(0));
  std::string l_Icons;
  ASSERT_TRUE(Eventually([&] {
    l_Icons = Control({"icons"});
    return l_Icons.find("icon 204") != std::string::npos;
  })) << l_Icons;
  const std::string l_Icon = HandleOfLineWith(l_Icons, "icon 204");

  // The service's start-up in this session turns the icon to ready.
  const auto l_Ready = platform::Event::Create(platform::EventReset::Auto, false,
                                               u"Global\\WTS_LOGON_INITIALIZATION_COMPLETE0");
  ASSERT_TRUE(Eventually([&] { return Control({"icons"}).find("icon 203") != std::string::npos; }));

  Control({"click", l_Icon, "right"});
  std::string l_Menus;
  ASSERT_TRUE(Eventually([&] {
    l_Menus = Control({"menus"});
    return l_Menus.find("32776") != std::string::npos;
  })) << "the running service's menu offers to stop it";
  Control({"pick", HandleOfLineWith(l_Menus, "32776"), "32778"});
  std::string l_Boxes;
  ASSERT_TRUE(Eventually([&] {
    l_Boxes = Control({"boxes"});
    return !l_Boxes.empty();
  }));
  EXPECT_NE(l_Boxes.find("Calvora remote control"), std::string::npos) << l_Boxes;
  Control({"answer", HandleOfLineWith(l_Boxes, "caption"), "ok"});

  Control({"click", l_Icon, "left"});
  ASSERT_TRUE(Eventually([&] {
    l_Menus = Control({"menus"});
    return !l_Menus.empty();
  }));
  Control({"pick", HandleOfLineWith(l_Menus, "32777"), "32777"});
  EXPECT_TRUE(Eventually([&] {
    return Control({"opened"}).find("support.calvora.example") != std::string::npos;
  }));

  RunToEnd({RUVELLO, "-Stop"}, 4);
  EXPECT_FALSE(l_Tray.Wait(std::chrono::milliseconds(300))) << "a stop of another session";
  RunToEnd({RUVELLO, "-Tray", "-Stop"}, 0);
  EXPECT_EQ(l_Tray.Wait(std::chrono::seconds(20)), 0);
}

// The service counts how often it started in the event log.
std::size_t Starts() {
  const std::string l_Log = Control({"eventlog"});
  std::size_t l_nStarts = 0;
  for (std::size_t l_nAt = l_Log.find("Service started"); l_nAt != std::string::npos;
       l_nAt = l_Log.find("Service started", l_nAt + 1)) {
    ++l_nStarts;
  }
  return l_nStarts;
}

TEST(ServerProcess, TrayRestartStartsTheServiceOnceItHasStopped) {
  Control({"start"});
  Control({"install-service", "Tamsvard", TEST_SERVICE, "slowstop"});
  Control({"start-service", "Tamsvard"});
  ASSERT_TRUE(Eventually([] { return Starts() == 1; }));
  {
    ChildProgram l_Tray({RUVELLO, "-Tray"}, InSession(0));
    std::string l_Icons;
    ASSERT_TRUE(Eventually([&] {
      l_Icons = Control({"icons"});
      return !l_Icons.empty();
    }));
    Control({"click", HandleOfLineWith(l_Icons, "window"), "right"});
    std::string l_Menus;
    ASSERT_TRUE(Eventually([&] {
      l_Menus = Control({"menus"});
      return l_Menus.find("32775") != std::string::npos;
    }));
    Control({"pick", HandleOfLineWith(l_Menus, "32775"), "32775"});
    // The service takes its time to stop; the restart waits for it.
    EXPECT_TRUE(Eventually([] { return Starts() == 2; }));
    EXPECT_TRUE(Eventually(
        [] { return Control({"services"}).find("Tamsvard running") != std::string::npos; }));
    RunToEnd({RUVELLO, "-Tray", "-Stop"}, 0);
    EXPECT_EQ(l_Tray.Wait(std::chrono::seconds(20)), 0);
  }
  Control({"shutdown"});
}

}  // namespace
