// remote-sim as a process of its own against the service's simulator and device output threads:
// it powers the simulated device on, presses a button, and reads the page that answers it.

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/kernel/Event.h"
#include "platform/kernel/Thread.h"
#include "platform/kernel/Wait.h"
#include "platform/kernel/tests/HelperProcess.h"
#include "service/device/DeviceOutput.h"
#include "service/device/DisplayState.h"
#include "service/device/PageLists.h"
#include "service/device/ServiceEvents.h"
#include "service/device/Simulator.h"

namespace {

using platform::Event;
using platform::Timeout;
using platform::testing::HelperProcess;

class RemoteSimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_bDisplayAwake = false;
    m_Threads.push_back(platform::Thread::Start(SimulateDeviceInput, nullptr));
    m_Threads.push_back(platform::Thread::Start(SimulateDeviceOutput, nullptr));
    m_Threads.push_back(platform::Thread::Start(RemoteDeviceOutput, nullptr));
  }
  void TearDown() override {
    for (const Event& l_Terminate : m_Terminates) {
      l_Terminate.Set();
    }
    for (platform::Thread& l_Thread : m_Threads) {
      EXPECT_TRUE(l_Thread.Join(Timeout(4000)));
    }
  }

  bool Raised(ServiceEvent p_Event) {
    return platform::WaitForObject(m_Service[static_cast<std::size_t>(p_Event)].Ref(),
                                   Timeout(20000))
        .Signalled(0);
  }

  // What a session thread does for a key: append its page and wake the output thread.
  void QueuePage() {
    CDeviceData l_Page;
    l_Page.SetTitle("Music");
    l_Page.AddLine("Playlists");
    l_Page.AddLine("Albums");
    l_Page.SetSelectedLine(1);
    l_Page.SetPosition(1);
    l_Page.SetTotal(7);
    l_Page.SetScreenType(3);
    l_Page.SetUpdateMode(8);
    AppendDeviceOutput(l_Page);
    CreateAutoResetEvent(kDeviceOutputDataEvent).Set();
  }

  const std::array<Event, 3> m_Terminates{CreateAutoResetEvent(kSimulatorInputTerminateEvent),
                                          CreateAutoResetEvent(kSimulatorOutputTerminateEvent),
                                          CreateAutoResetEvent(kDeviceOutputTerminateEvent)};
  const std::vector<Event> m_Service = [] {
    std::vector<Event> l_Events;
    for (std::size_t l_nIndex = 0; l_nIndex < kServiceEventCount; ++l_nIndex) {
      l_Events.push_back(
          CreateAutoResetEvent(ServiceEventName(static_cast<ServiceEvent>(l_nIndex))));
    }
    return l_Events;
  }();
  std::vector<platform::Thread> m_Threads;
};

TEST_F(RemoteSimTest, PressesAButtonAndReadsTheAnsweringPage) {
  HelperProcess l_Sim(REMOTE_SIM_PROGRAM, {});
  ASSERT_EQ(l_Sim.Command("power-on 20000"), "powered on");
  EXPECT_TRUE(Raised(ServiceEvent::ButtonPower));
  ASSERT_EQ(l_Sim.Command("power-on 20000"), "powered on");
  EXPECT_TRUE(Raised(ServiceEvent::ButtonPower));
  ASSERT_EQ(l_Sim.Command("press down"), "pressed down");
  ASSERT_TRUE(Raised(ServiceEvent::ButtonDown));
  QueuePage();
  EXPECT_EQ(l_Sim.Command("read 20000"),
            "page \"Music\" | \"Playlists\" | >\"Albums\" | position 1 of 7 | screen 3 | mode 8 | "
            "play 0");
  EXPECT_EQ(l_Sim.Command("read 50"), "no page");
  EXPECT_EQ(l_Sim.Command("press sideways"), "error: unknown button");
  EXPECT_EQ(l_Sim.Command("power-off"), "powered off");
  EXPECT_EQ(l_Sim.Command("read"), "not powered on");
  EXPECT_EQ(l_Sim.Command("quit"), "bye");
}

TEST_F(RemoteSimTest, RunsAScriptFile) {
  const std::filesystem::path l_Script =
      std::filesystem::path(std::getenv("PLATFORM_ROOT")) / "script.txt";
  std::ofstream(l_Script) << "press play\n\npress stop\nquit\npress home\n";
  HelperProcess l_Sim(REMOTE_SIM_PROGRAM, {"--script", l_Script.string()});
  EXPECT_EQ(l_Sim.Answer(), "pressed play");
  EXPECT_EQ(l_Sim.Answer(), "pressed stop");
  EXPECT_EQ(l_Sim.Answer(), "bye");
  EXPECT_TRUE(Raised(ServiceEvent::ButtonPlay));
  EXPECT_TRUE(Raised(ServiceEvent::ButtonStop));
}

TEST_F(RemoteSimTest, RunsAScriptGivenAsArguments) {
  HelperProcess l_Sim(REMOTE_SIM_PROGRAM, {"power-on 20000", "press home", "quit"});
  EXPECT_EQ(l_Sim.Answer(), "powered on");
  EXPECT_EQ(l_Sim.Answer(), "pressed home");
  EXPECT_TRUE(Raised(ServiceEvent::ButtonHome));
  EXPECT_EQ(l_Sim.Answer(), "bye");
}

}  // namespace
