#include "service/device/Simulator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/tests/support/LogRecorder.h"
#include "platform/kernel/Event.h"
#include "platform/kernel/Thread.h"
#include "platform/kernel/Wait.h"
#include "platform/kernel/tests/HelperProcess.h"
#include "service/device/DisplayState.h"
#include "service/device/PageLists.h"
#include "service/device/ServiceEvents.h"
#include "service/device/SimulatorProtocol.h"
#include "service/device/tests/DisplayWords.h"
#include "service/device/tests/FullWaiterTable.h"
#include "service/menu/CurrentTrack.h"
#include "service/session/MediaPlayerEvents.h"

namespace {

using platform::Event;
using platform::EventReset;
using platform::Timeout;
using platform::testing::HelperProcess;

constexpr Timeout kLong{20000};

Event Named(std::u16string_view p_Name, EventReset p_Reset = EventReset::Auto) {
  return Event::Create(p_Reset, false, p_Name).handle;
}

std::size_t SimulatorListSize() {
  const platform::CriticalSectionLock l_Lock(*g_SimulatorOutputListLock);
  return g_SimulatorOutputList->size();
}

bool WaitSet(const Event& p_Event, Timeout p_Timeout = kLong) {
  return platform::WaitForObject(p_Event.Ref(), p_Timeout).status ==
         platform::WaitStatus::Signalled;
}

// Both simulator threads running, with the service's events open on this side.
class SimulatorTest : public ::testing::Test {
 protected:
  void SetUp() override { StartThreads(); }
  void StartThreads() {
    ResetDisplayWords();
    g_bDisplayAwake = true;
    PurgeMediaPlayerEvents();
    while (TakeFirstSimulatorOutput()) {
    }
    for (std::size_t l_nIndex = 0; l_nIndex < kServiceEventCount; ++l_nIndex) {
      m_Service.push_back(Named(ServiceEventName(static_cast<ServiceEvent>(l_nIndex))));
    }
    for (std::size_t l_nIndex = 0; l_nIndex < kSimulatedButtonCount; ++l_nIndex) {
      m_Buttons.push_back(CreateSimulatedButtonEvent(static_cast<SimulatedButton>(l_nIndex)));
    }
    m_Input = platform::Thread::Start(SimulateDeviceInput, nullptr);
    m_Output = platform::Thread::Start(SimulateDeviceOutput, nullptr);
  }
  void TearDown() override {
    m_InputTerminate.Set();
    m_OutputTerminate.Set();
    EXPECT_TRUE(m_Input.Join(Timeout(60000)));
    EXPECT_TRUE(m_Output.Join(Timeout(4000)));
  }

  const Event& Service(ServiceEvent p_Event) {
    return m_Service[static_cast<std::size_t>(p_Event)];
  }
  // The events stay open from before the threads start, so that no press is lost with its
  // event.
  void Press(SimulatedButton p_Button) { m_Buttons[static_cast<std::size_t>(p_Button)].Set(); }

  // Powers on as the tool does and retries `p_Connect` until the pipe's server is there.
  void PowerOnAndRetry(const std::function<bool()>& p_Connect) {
    Press(SimulatedButton::PowerOn);
    EXPECT_TRUE(WaitSet(Service(ServiceEvent::ButtonPower)));
    for (int l_nTry = 0; l_nTry < 2000; ++l_nTry) {
      if (p_Connect()) {
        return;
      }
      platform::Sleep(Timeout(1));
    }
    ADD_FAILURE() << "no pipe";
  }
  platform::PipeConnection PowerOnAndConnect() {
    platform::PipeConnection l_Pipe;
    PowerOnAndRetry([&l_Pipe] {
      l_Pipe = platform::PipeConnection::Connect(kSimulatorPipeName).handle;
      return static_cast<bool>(l_Pipe);
    });
    return l_Pipe;
  }
  // The same for a tool in a process of its own, which holds the pipe as its object 0.
  void PowerOnAndConnect(HelperProcess& p_Tool) {
    PowerOnAndRetry(
        [&p_Tool] { return p_Tool.Command("connect \\\\.\\pipe\\SimulateDeviceData") == "new 0"; });
  }
  // The next tool powers on, gets the pipe and reads a page from it.
  void ExpectTheNextToolGetsThePipe() {
    platform::PipeConnection l_Next = PowerOnAndConnect();
    ASSERT_TRUE(l_Next);
    AppendSimulatorOutput(CDeviceData());
    m_Data.Set();
    EXPECT_EQ(l_Next.Read(kLong).status, platform::PipeReadStatus::Message);
  }

  Event m_InputTerminate = Named(kSimulatorInputTerminateEvent);
  Event m_OutputTerminate = Named(kSimulatorOutputTerminateEvent);
  Event m_Data = Named(kSimulatorOutputDataEvent);
  std::vector<Event> m_Service;
  std::vector<Event> m_Buttons;
  platform::Thread m_Input;
  platform::Thread m_Output;
};

TEST_F(SimulatorTest, ButtonsBecomeTheServiceEvents) {
  const std::vector<std::pair<SimulatedButton, ServiceEvent>> l_Table = {
      {SimulatedButton::Up, ServiceEvent::ButtonUp},
      {SimulatedButton::Down, ServiceEvent::ButtonDown},
      {SimulatedButton::Left, ServiceEvent::ButtonLeft},
      {SimulatedButton::Right, ServiceEvent::ButtonRight},
      {SimulatedButton::Ok, ServiceEvent::ButtonOk},
      {SimulatedButton::Play, ServiceEvent::ButtonPlay},
      {SimulatedButton::Pause, ServiceEvent::ButtonPause},
      {SimulatedButton::Stop, ServiceEvent::ButtonStop},
      {SimulatedButton::Prev, ServiceEvent::ButtonPrev},
      {SimulatedButton::Next, ServiceEvent::ButtonNext},
      {SimulatedButton::Home, ServiceEvent::ButtonHome},
  };
  for (const auto& [l_Button, l_Event] : l_Table) {
    Press(l_Button);
    EXPECT_TRUE(WaitSet(Service(l_Event))) << ServiceEventName(l_Event).size();
  }
}

TEST_F(SimulatorTest, OnThePlayerScreenMenuKeysDoNothingAndLeftRefreshes) {
  g_bPlayerScreenShown = true;
  const std::vector<std::pair<SimulatedButton, ServiceEvent>> l_Refused = {
      {SimulatedButton::Up, ServiceEvent::ButtonUp},
      {SimulatedButton::Down, ServiceEvent::ButtonDown},
      {SimulatedButton::Right, ServiceEvent::ButtonRight},
      {SimulatedButton::Ok, ServiceEvent::ButtonOk},
  };
  for (const auto& l_Key : l_Refused) {
    Press(l_Key.first);
  }
  // Keys are taken in their wait order: Play comes after the menu keys.
  Press(SimulatedButton::Play);
  ASSERT_TRUE(WaitSet(Service(ServiceEvent::ButtonPlay)));
  for (const auto& [l_Button, l_Event] : l_Refused) {
    EXPECT_FALSE(WaitSet(Service(l_Event), Timeout(0))) << static_cast<int>(l_Button);
  }
  Press(SimulatedButton::Left);
  Press(SimulatedButton::Stop);
  EXPECT_TRUE(WaitSet(Service(ServiceEvent::RefreshScreen)));
  ASSERT_TRUE(WaitSet(Service(ServiceEvent::ButtonStop)));
  EXPECT_FALSE(WaitSet(Service(ServiceEvent::ButtonLeft), Timeout(0)));
  EXPECT_FALSE(g_bPlayerScreenShown);

  // On the now-playing list Left is Left.
  g_bPlayerScreenShown = true;
  g_bCurrentlyPlayingDisplayed = true;
  Press(SimulatedButton::Left);
  EXPECT_TRUE(WaitSet(Service(ServiceEvent::ButtonLeft)));
}

TEST_F(SimulatorTest, QuietAfterAKeyAsksOnceForTheNowPlayingScreen) {
  g_nDevicePlayState = 3;
  g_bDisplayAwake = false;
  g_bPlayerScreenShown = true;
  Press(SimulatedButton::Play);
  ASSERT_TRUE(WaitSet(Service(ServiceEvent::ButtonPlay)));
  ASSERT_TRUE(WaitSet(Service(ServiceEvent::MediaPlayerEvent), Timeout(3 * 10000)));
  EXPECT_FALSE(g_bPlayerScreenShown);
  const std::unique_ptr<CMediaPlayerEventData> l_pRecord = TakeFirstMediaPlayerEvent();
  ASSERT_NE(l_pRecord, nullptr);
  EXPECT_EQ(l_pRecord->GetEventId(), kPlayerIdleTimeoutEventId);
  EXPECT_FALSE(WaitSet(Service(ServiceEvent::MediaPlayerEvent), Timeout(25000)));
  EXPECT_EQ(TakeFirstMediaPlayerEvent(), nullptr);
}

TEST_F(SimulatorTest, EveryPowerOnRaisesPowerAndOpensThePipe) {
  const Event& l_PowerOn = m_Buttons[static_cast<std::size_t>(SimulatedButton::PowerOn)];
  const Event l_PowerOff = Named(kSimulatorPowerOffEvent);
  for (int l_nRound = 0; l_nRound < 5; ++l_nRound) {
    platform::PipeConnection l_Pipe = PowerOnAndConnect();
    ASSERT_TRUE(l_Pipe) << l_nRound;
    EXPECT_FALSE(WaitSet(l_PowerOn, Timeout(0))) << "the power-on stays set";
    l_PowerOff.Set();
    EXPECT_EQ(l_Pipe.Read(kLong).status, platform::PipeReadStatus::Disconnected);
  }
}

TEST_F(SimulatorTest, PagesReachThePipeExceptPlayerPagesThatDoNotPlay) {
  platform::PipeConnection l_Pipe = PowerOnAndConnect();
  ASSERT_TRUE(l_Pipe);
  // A second power-on keeps the one pipe.
  Press(SimulatedButton::PowerOn);
  ASSERT_TRUE(WaitSet(Service(ServiceEvent::ButtonPower)));

  CDeviceData l_Menu;
  l_Menu.SetTitle(u"Music");
  l_Menu.AddLine(u"Playlists");
  l_Menu.AddLine(u"Albums");
  l_Menu.SetSelectedLine(1);
  l_Menu.SetPosition(1);
  l_Menu.SetTotal(7);
  l_Menu.SetScreenType(12);
  l_Menu.SetUpdateMode(6);
  CDeviceData l_Paused;
  l_Paused.SetTitle(u"Paused");
  l_Paused.SetScreenType(2);
  l_Paused.SetPlayState(2);
  CDeviceData l_Stopped = l_Paused;
  l_Stopped.SetTitle(u"Stopped");
  l_Stopped.SetPlayState(1);
  CDeviceData l_Playing = l_Paused;
  l_Playing.SetTitle(u"Playing");
  l_Playing.SetPlayState(3);
  l_Playing.SetDuration(u"215.6");
  l_Playing.SetElapsedTime(12);
  for (const CDeviceData& l_Page : {l_Menu, l_Paused, l_Stopped, l_Playing}) {
    AppendSimulatorOutput(l_Page);
  }
  m_Data.Set();

  std::vector<CDeviceData> l_Read;
  for (int l_nIndex = 0; l_nIndex < 2; ++l_nIndex) {
    const platform::PipeRead l_Message = l_Pipe.Read(kLong);
    ASSERT_EQ(l_Message.status, platform::PipeReadStatus::Message);
    // Any reader of the flat format reads the record at the message's start.
    EXPECT_EQ(CDeviceData(std::span(reinterpret_cast<const std::uint8_t*>(l_Message.message.data()),
                                    l_Message.message.size()))
                  .GetTitle(),
              l_nIndex == 0 ? _bstr_t(u"Music") : _bstr_t(u"Playing"));
    std::optional<CDeviceData> l_Page = DecodeSimulatorMessage(l_Message.message);
    ASSERT_TRUE(l_Page);
    l_Read.push_back(*l_Page);
  }
  EXPECT_EQ(l_Read[0].GetLines(), (std::vector<_bstr_t>{u"Playlists", u"Albums"}));
  EXPECT_EQ(l_Read[0].GetSelectedLine(), 1);
  EXPECT_EQ(l_Read[0].GetPosition(), 1);
  EXPECT_EQ(l_Read[0].GetTotal(), 7);
  EXPECT_EQ(l_Read[0].GetScreenType(), 12);
  EXPECT_EQ(l_Read[0].GetUpdateMode(), 6);
  EXPECT_EQ(l_Read[1].GetPlayState(), 3);
  EXPECT_EQ(l_Read[1].GetDuration(), 215);
  EXPECT_EQ(l_Read[1].GetElapsedTime(), 12);
  EXPECT_EQ(l_Pipe.Read(Timeout(0)).status, platform::PipeReadStatus::TimedOut);
}

// A page for a tool that has gone is lost with a log line; the next tool gets the pipe.
TEST_F(SimulatorTest, AToolThatWentAwayLeavesThePipeToTheNext) {
  const LogRecorder l_Log;
  {
    platform::PipeConnection l_First = PowerOnAndConnect();
    AppendSimulatorOutput(CDeviceData());
    m_Data.Set();
    ASSERT_EQ(l_First.Read(kLong).status, platform::PipeReadStatus::Message);
  }
  AppendSimulatorOutput(CDeviceData());
  m_Data.Set();
  static_assert(ERROR_NO_DATA == 232);
  EXPECT_TRUE(l_Log.AwaitText(u"SendOutputData WriteFile Error = 232", std::chrono::seconds(20)));
  ExpectTheNextToolGetsThePipe();
}

TEST_F(SimulatorTest, AToolThatWroteAndWasKilledLeavesThePipeToTheNext) {
  {
    HelperProcess l_Tool;
    PowerOnAndConnect(l_Tool);
    ASSERT_EQ(l_Tool.Command("write 0 41"), "ok");
    l_Tool.Kill();
  }
  ExpectTheNextToolGetsThePipe();
}

TEST_F(SimulatorTest, AToolThatNeverReadsDoesNotKeepTheOutputThreadFromItsTerminate) {
  HelperProcess l_Tool;
  PowerOnAndConnect(l_Tool);
  // Twice what the pipe holds, so that the thread's writes meet a full pipe.
  const std::u16string l_Title(30000, u't');
  for (int l_nPage = 0; l_nPage < 16; ++l_nPage) {
    CDeviceData l_Page;
    l_Page.SetTitle(l_Title.c_str());
    AppendSimulatorOutput(l_Page);
  }
  m_Data.Set();
  // Once the thread has taken a page it is past its wait, and on its way to the full pipe.
  for (int l_nTry = 0; l_nTry < 2000 && SimulatorListSize() == 16; ++l_nTry) {
    platform::Sleep(Timeout(1));
  }
  ASSERT_LT(SimulatorListSize(), 16u);
  m_OutputTerminate.Set();
  // Long enough for the pages' own work in a sanitizer build; without a bound on the write the
  // thread would never end.
  EXPECT_TRUE(m_Output.Join(Timeout(300000)));
  // The tool reads the pages that reached it whole, then learns that it lost the pipe.
  std::string l_Answer;
  for (int l_nRead = 0; l_nRead <= 16 && l_Answer != "disconnected"; ++l_nRead) {
    l_Answer = l_Tool.Command("read 0 inf");
    ASSERT_TRUE(l_Answer == "disconnected" || l_Answer.starts_with("message 00")) << l_nRead;
  }
  EXPECT_EQ(l_Answer, "disconnected");
}

TEST_F(SimulatorTest, TerminateEndsTheOutputThreadWhileItWaitsForATool) {
  Press(SimulatedButton::PowerOn);
  ASSERT_TRUE(WaitSet(Service(ServiceEvent::ButtonPower)));
  // The pipe's server waits for a tool that never comes; the terminate still ends the thread
  // (TearDown joins it).
  AppendSimulatorOutput(CDeviceData());
  m_Data.Set();
}

// Both threads start while every waiter record is taken; once there is room they serve.
class SimulatorUnderFullWaiterTableTest : public SimulatorTest {
 protected:
  void SetUp() override {
    m_Table.Fill();
    StartThreads();
  }

  const LogRecorder m_Log;
  FullWaiterTable m_Table;
};

TEST_F(SimulatorUnderFullWaiterTableTest, ThreadsWaitForRoomAndThenServe) {
  EXPECT_TRUE(WaitsRetried(m_Log, {u"SimulateDeviceInput", u"SimulateDeviceOutput"}));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  m_Table.Release();
  platform::PipeConnection l_Pipe = PowerOnAndConnect();
  ASSERT_TRUE(l_Pipe);
  Press(SimulatedButton::Down);
  EXPECT_TRUE(WaitSet(Service(ServiceEvent::ButtonDown)));
  AppendSimulatorOutput(CDeviceData());
  m_Data.Set();
  EXPECT_EQ(l_Pipe.Read(kLong).status, platform::PipeReadStatus::Message);
}

TEST(SimulatorListTest, KeepsTheNewestPagesWithinItsLimit) {
  while (TakeFirstSimulatorOutput()) {
  }
  for (std::size_t l_nIndex = 0; l_nIndex < kSimulatorOutputListLimit + 10; ++l_nIndex) {
    CDeviceData l_Page;
    l_Page.SetPosition(static_cast<std::int32_t>(l_nIndex));
    AppendSimulatorOutput(l_Page);
  }
  std::vector<std::int32_t> l_Positions;
  while (const std::optional<CDeviceData> l_Page = TakeFirstSimulatorOutput()) {
    l_Positions.push_back(l_Page->GetPosition());
  }
  ASSERT_EQ(l_Positions.size(), kSimulatorOutputListLimit);
  EXPECT_EQ(l_Positions.front(), 10);
  EXPECT_EQ(l_Positions.back(), static_cast<std::int32_t>(kSimulatorOutputListLimit + 9));
}

}  // namespace
