// The player control across processes: a control hosted in a second process (the control
// helper) in remote mode starts the player application of its session and hands on the
// application's own player; this test process is the third, which calls that player and sinks
// its events in its own apartment. A control without the remote mode serves its own engine.

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/base/Process.h"
#include "platform/base/Text.h"
#include "platform/com/Activation.h"
#include "platform/com/CallLayer.h"
#include "platform/kernel/Posix.h"
#include "platform/kernel/Root.h"
#include "platform/kernel/tests/HelperProcess.h"
#include "platform/player/PlayerApplication.h"
#include "platform/player/tests/HostedControl.h"
#include "platform/player/tests/PlayerFixture.h"
#include "platform/user/Window.h"

namespace player_test {
namespace {

using platform::ComPtr;
using platform::IidOf;
using platform::testing::HelperProcess;

// The application's windows, newest first.
std::vector<HWND> ApplicationWindows() {
  std::vector<HWND> windows;
  platform::EnumWindows(
      [](HWND window, LPARAM list) {
        if (platform::GetClassName(window) == u"WMPlayerApp") {
          reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
        }
        return true;
      },
      reinterpret_cast<LPARAM>(&windows));
  return windows;
}

std::uint32_t ProcessOf(HWND window) {
  std::uint32_t process = 0;
  platform::GetWindowThreadProcessId(window, &process);
  return process;
}

// Waits for a process that is not this one's child to end; false after the limit.
bool WaitForExit(pid_t pid) {
  const platform::detail::UniqueFd handle(static_cast<int>(syscall(SYS_pidfd_open, pid, 0)));
  if (!handle) return true;  // already gone
  pollfd watch{handle.Get(), POLLIN, 0};
  return poll(&watch, 1, 20000) == 1;
}

// Serves this thread's apartment until `done`; false when 20 seconds pass first.
bool PumpUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    platform::MsgWaitForMultipleObjects({}, false, platform::Timeout(1000), QS_ALLINPUT);
    MSG message;
    while (platform::PeekMessage(message, 0, 0, 0, PM_REMOVE)) platform::DispatchMessage(message);
  }
  return true;
}

class RemoteControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    ASSERT_TRUE(platform::player::RegisterPlayerApplication(WMPLAYER));
    const std::filesystem::path data = platform::PlatformRoot() / "data";
    std::filesystem::create_directories(data / "MediaPlayer");
    std::filesystem::copy_file(PLAYER_SAMPLE_LIBRARY, data / "MediaPlayer" / "library.json");
    m_userData = {{"XDG_DATA_HOME", data.string()}};
    events = platform::MakeObject<EventLog>();
    events->onEvent = [this] { eventThreads.push_back(platform::CurrentThreadId()); };
  }
  // The application that activation started ends with the test, closed or killed.
  void TearDown() override {
    events->DispEventUnadvise(m_advised.get());
    m_advised.Release();
    for (const HWND window : ApplicationWindows()) {
      const auto pid = static_cast<pid_t>(ProcessOf(window));
      platform::PostMessage(window, WM_CLOSE, 0, 0);
      if (!WaitForExit(pid)) kill(pid, SIGKILL);
    }
    CoUninitialize();
  }

  HelperProcess StartHost() {
    return HelperProcess(PLAYER_CONTROL_HELPER, {}, m_userData);
  }
  // The player that `host` hands out, as this process holds it.
  static ComPtr<IWMPPlayer4> Take(HelperProcess& host) {
    ComPtr<IClassFactory> handout;
    ComPtr<IWMPPlayer4> player;
    EXPECT_EQ(platform::UnmarshalReference(host.Command("publish"), IidOf<IClassFactory>,
                                           handout.put_void()),
              S_OK);
    if (handout) {
      EXPECT_EQ(handout->CreateInstance(nullptr, IidOf<IWMPPlayer4>, player.put_void()), S_OK);
    }
    return player;
  }
  void Advise(IWMPPlayer4* player) {
    ASSERT_EQ(events->DispEventAdvise(player), S_OK);
    m_advised = player;
  }
  // The names of an album's tracks.
  static std::vector<std::u16string> Album(IWMPPlayer4* player, std::u16string_view album) {
    ComPtr<IWMPMediaCollection> media;
    ComPtr<IWMPPlaylist> tracks;
    EXPECT_EQ(player->get_mediaCollection(media.put()), S_OK);
    if (!media) return {};
    EXPECT_EQ(media->getByAlbum(B(album).get(), tracks.put()), S_OK);
    return tracks ? Names(tracks.get()) : std::vector<std::u16string>{};
  }
  static HRESULT SetMode(IWMPPlayer4* player, std::u16string_view mode, VARIANT_BOOL value) {
    ComPtr<IWMPSettings> settings;
    const HRESULT hr = player->get_settings(settings.put());
    return FAILED(hr) ? hr : settings->setMode(B(mode).get(), value);
  }

  ComPtr<EventLog> events;
  std::vector<std::uint32_t> eventThreads;
  const std::vector<std::u16string> blueHarbour{u"Salt on the Rail", u"Lanterns",
                                                u"Tidewater"};

 private:
  platform::testing::Environment m_userData;
  ComPtr<IWMPPlayer4> m_advised;
};

TEST_F(RemoteControlTest, ARemoteControlStartsTheApplicationWhosePlayerItHandsOn) {
  ASSERT_TRUE(ApplicationWindows().empty());
  HelperProcess host = StartHost();
  ASSERT_EQ(host.Command("host Remote"), "0");
  const std::vector<HWND> started = ApplicationWindows();
  ASSERT_EQ(started.size(), 1u);
  const std::uint32_t application = ProcessOf(started.front());
  EXPECT_NE(application, static_cast<std::uint32_t>(host.Pid()));
  EXPECT_NE(application, static_cast<std::uint32_t>(getpid()));

  const ComPtr<IWMPPlayer4> player = Take(host);
  ASSERT_NE(player, nullptr);
  EXPECT_EQ(Album(player.get(), u"Blue Harbour"), blueHarbour);
  // The player is the application's: it answers with the host gone.
  host.Kill();
  EXPECT_EQ(Album(player.get(), u"Blue Harbour"), blueHarbour);
}

TEST_F(RemoteControlTest, TheApplicationsEventsReachASinkHereInThisApartment) {
  HelperProcess host = StartHost();
  ASSERT_EQ(host.Command("host Remote"), "0");
  const ComPtr<IWMPPlayer4> player = Take(host);
  ASSERT_NE(player, nullptr);
  Advise(player.get());

  // Fired while this apartment waits for its own call.
  EXPECT_EQ(SetMode(player.get(), u"loop", VARIANT_TRUE), S_OK);
  EXPECT_EQ(events->Take(u"ModeChange"), std::vector<std::u16string>{u"ModeChange loop,-1"});
  // Fired by another process's call: it waits until this apartment pumps.
  host.Send("shuffle");
  ASSERT_TRUE(PumpUntil([&] {
    for (const std::u16string& line : events->Take()) {
      if (line == u"ModeChange shuffle,-1") return true;
    }
    return false;
  }));
  EXPECT_EQ(host.Answer(), "0");
  ASSERT_FALSE(eventThreads.empty());
  for (const std::uint32_t thread : eventThreads) EXPECT_EQ(thread, platform::CurrentThreadId());
}

TEST_F(RemoteControlTest, EveryRemoteControlOfTheSessionHasTheOneApplicationsPlayer) {
  HelperProcess host = StartHost();
  ASSERT_EQ(host.Command("host Remote"), "0");
  HostedControl here;
  ASSERT_EQ(here.Host(platform::MakeObject<CTestSite>(u"Remote")->Identity()), S_OK);
  EXPECT_EQ(ApplicationWindows().size(), 1u);

  const ComPtr<IWMPPlayer4> handed = Take(host);
  ASSERT_NE(handed, nullptr);
  ASSERT_EQ(SetMode(here.Player().get(), u"shuffle", VARIANT_TRUE), S_OK);
  ComPtr<IWMPSettings> settings;
  VARIANT_BOOL shuffle = VARIANT_FALSE;
  ASSERT_EQ(handed->get_settings(settings.put()), S_OK);
  EXPECT_EQ(settings->getMode(B(u"shuffle").get(), &shuffle), S_OK);
  EXPECT_EQ(shuffle, VARIANT_TRUE);
}

TEST_F(RemoteControlTest, AControlWithoutTheRemoteModeServesItsOwnEngine) {
  for (const char* command : {"host", "host Local"}) {
    SCOPED_TRACE(command);
    HelperProcess host = StartHost();
    ASSERT_EQ(host.Command(command), "0");
    EXPECT_TRUE(ApplicationWindows().empty());
    const ComPtr<IWMPPlayer4> player = Take(host);
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(Album(player.get(), u"Blue Harbour"), blueHarbour);
    Advise(player.get());
    EXPECT_EQ(SetMode(player.get(), u"loop", VARIANT_TRUE), S_OK);
    EXPECT_EQ(events->Take(u"ModeChange"), std::vector<std::u16string>{u"ModeChange loop,-1"});
    events->DispEventUnadvise(player.get());
  }
  for (const std::uint32_t thread : eventThreads) EXPECT_EQ(thread, platform::CurrentThreadId());
}

}  // namespace
}  // namespace player_test
