// virtual-remote as a process of its own, plugged into the service's running device input and
// output threads; device arrival and removal reach the threads as the plug window passes them.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/MenuTexts.h"
#include "platform/hid/Hid.h"
#include "platform/kernel/Event.h"
#include "platform/kernel/Thread.h"
#include "platform/kernel/Wait.h"
#include "platform/kernel/tests/HelperProcess.h"
#include "service/device/DeviceInput.h"
#include "service/device/DeviceOutput.h"
#include "service/device/DisplayState.h"
#include "service/device/PageLists.h"
#include "service/device/PlugEventsWindow.h"
#include "service/device/ServiceEvents.h"
#include "service/device/tests/DisplayWords.h"
#include "service/menu/CurrentTrack.h"

namespace {

using platform::Event;
using platform::Timeout;
using platform::testing::HelperProcess;

class VirtualRemoteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetDisplayWords();
    ASSERT_EQ(m_Window.OnCreate(), 0);
    m_Input = platform::Thread::Start(RemoteDeviceInput, nullptr);
    m_Output = platform::Thread::Start(RemoteDeviceOutput, nullptr);
    ASSERT_TRUE(m_Remote->Command("plug").starts_with("plugged "));
    WaitForHandles(2);
  }
  void TearDown() override {
    m_InputTerminate.Set();
    m_OutputTerminate.Set();
    EXPECT_TRUE(m_Input.Join(Timeout(60000)));
    EXPECT_TRUE(m_Output.Join(Timeout(60000)));
    // The threads hold nothing open on the remote once they have ended.
    WaitForHandles(0);
    EXPECT_EQ(m_Remote->Command("quit"), "bye");
  }

  // The remote tells no one when a thread has opened it, so this asks a while.
  void WaitForHandles(int p_nCount) {
    const std::string l_Expected = "handles " + std::to_string(p_nCount);
    for (int l_nTry = 0; l_nTry < 2000 && m_Remote->Command("handles") != l_Expected; ++l_nTry) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_EQ(m_Remote->Command("handles"), l_Expected);
  }

  // A key wakes the display: the init packet comes, and the session is asked for the home page.
  void Wake() {
    ASSERT_EQ(m_Remote->Command("press 2"), "sent 2");
    ASSERT_TRUE(platform::WaitForObject(m_Home.Ref(), Timeout(20000)).Signalled(0));
    ASSERT_EQ(m_Remote->Command("reports 1 20000"), "received 1");
    ASSERT_TRUE(m_Remote->Command("screen").ends_with("| on | language 0 | screens 0"));
  }

  static void QueuePage(const char* p_szTitle, std::initializer_list<const char*> p_Lines) {
    CDeviceData l_Page;
    l_Page.SetTitle(p_szTitle);
    for (const char* l_szLine : p_Lines) {
      l_Page.AddLine(l_szLine);
    }
    l_Page.SetSelectedLine(1);
    l_Page.SetPosition(1);
    l_Page.SetTotal(20);
    l_Page.SetScreenType(12);
    l_Page.SetUpdateMode(6);
    AppendDeviceOutput(l_Page);
    CreateAutoResetEvent(kDeviceOutputDataEvent).Set();
  }

  CRemoteDevicePlugEventsMonitorWindow m_Window;
  // The system's notices, as the plug window receives them.
  platform::HidDeviceWatch m_Watch{
      [this](platform::HidDeviceChange p_Change, const std::u16string& p_strPath) {
        const DeviceBroadcast l_Broadcast{kDeviceTypeDeviceInterface, p_strPath};
        m_Window.OnDeviceChange(
            static_cast<std::uint32_t>(p_Change == platform::HidDeviceChange::Arrival
                                           ? DeviceChangeEvent::Arrival
                                           : DeviceChangeEvent::RemoveComplete),
            &l_Broadcast);
      }};
  Event m_InputTerminate = CreateAutoResetEvent(kDeviceInputTerminateEvent);
  Event m_OutputTerminate = CreateAutoResetEvent(kDeviceOutputTerminateEvent);
  Event m_Home = CreateAutoResetEvent(ServiceEventName(ServiceEvent::ButtonHome));
  std::optional<HelperProcess> m_Remote{std::in_place, VIRTUAL_REMOTE_PROGRAM,
                                        std::vector<std::string>{}};
  platform::Thread m_Input;
  platform::Thread m_Output;
};

TEST_F(VirtualRemoteTest, SeesTheInitAndARenderedPage) {
  Wake();
  QueuePage("Music", {"Playlists", "Albums", "Artists"});
  EXPECT_EQ(m_Remote->Command("screens 1 20000"),
            R"(lcd "Music" | "Playlists" | >"Albums" | "Artists" | scroll 19 | on | language 0 | )"
            "screens 1");
}

TEST_F(VirtualRemoteTest, UnplugAndReplugDuringAPageLosesNoLaterPage) {
  Wake();
  // A page long enough to be on its way when the remote goes.
  QueuePage("The first page, with a title as long as a title can be",
            {"A line as long as the display's lines can ever be, or longer",
             "A second line as long as the display's lines can be, or longer",
             "A third line as long as the display's lines can be, or longer",
             "A fourth line as long as the display's lines can be, or longer",
             "A fifth line as long as the display's lines can be, or longer",
             "A sixth line as long as the display's lines can be, or longer"});
  ASSERT_EQ(m_Remote->Command("reports 3 20000"), "received 3");
  ASSERT_EQ(m_Remote->Command("unplug"), "unplugged");
  ASSERT_TRUE(m_Remote->Command("plug").starts_with("plugged "));
  WaitForHandles(2);

  // The replugged remote starts as new: asleep until a key, which brings the init again.
  Wake();
  QueuePage("Again", {"One", "Two"});
  EXPECT_EQ(m_Remote->Command("screens 1 20000"),
            R"(lcd "Again" | "One" | >"Two" | scroll 19 | on | language 0 | screens 1)");
  EXPECT_EQ(m_Remote->Command("reports 1 100"), "received 0 of 1");
}

// A virtual remote whose process was killed goes from the device list, its removal is noticed,
// and the threads open the remote plugged in next.
TEST_F(VirtualRemoteTest, ARemoteWhoseProcessDiedGivesWayToTheNext) {
  Wake();
  std::atomic<bool> l_bRemoved{false};
  const platform::HidDeviceWatch l_Watch(
      [&l_bRemoved](platform::HidDeviceChange p_Change, const std::u16string&) {
        l_bRemoved = l_bRemoved || p_Change == platform::HidDeviceChange::Removal;
      });
  m_Remote->Kill();
  for (int l_nTry = 0; l_nTry < 10000 && !l_bRemoved; ++l_nTry) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_TRUE(l_bRemoved);
  EXPECT_TRUE(platform::EnumerateHidDevices().empty());
  m_Remote.emplace(VIRTUAL_REMOTE_PROGRAM, std::vector<std::string>{});
  ASSERT_TRUE(m_Remote->Command("plug").starts_with("plugged "));
  WaitForHandles(2);
  Wake();
}

}  // namespace
