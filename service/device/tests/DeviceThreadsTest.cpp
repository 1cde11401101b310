#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "common/MenuTexts.h"
#include "common/tests/support/LogRecorder.h"
#include "platform/hid/VirtualHidDevice.h"
#include "platform/kernel/Event.h"
#include "platform/kernel/ObjectTable.h"
#include "platform/kernel/Thread.h"
#include "platform/kernel/Wait.h"
#include "service/device/DeviceInput.h"
#include "service/device/DeviceOutput.h"
#include "service/device/DisplayState.h"
#include "service/device/PageLists.h"
#include "service/device/PlugEventsWindow.h"
#include "service/device/ServiceEvents.h"
#include "service/device/Simulator.h"
#include "service/device/tests/DisplayWords.h"
#include "service/device/tests/FullWaiterTable.h"
#include "service/device/tests/RemoteDescriptor.h"
#include "service/menu/CurrentTrack.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using platform::Event;
using platform::Timeout;

constexpr auto kPatience = std::chrono::seconds(20);

Event Named(std::u16string_view p_Name) {
  return Event::Create(platform::EventReset::Auto, false, p_Name).handle;
}

// A display packet as the remote receives it: report 8, the packet, zeros up to 8 bytes.
Bytes Report(std::initializer_list<std::uint8_t> p_Packet) {
  Bytes l_Report(8, 0);
  l_Report[0] = 8;
  std::copy(p_Packet.begin(), p_Packet.end(), l_Report.begin() + 1);
  return l_Report;
}

// The device input and output threads running with a virtual remote plugged in; the test stands
// in for the device notifications.
class DeviceThreadsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetDisplayWords();
    Plug();
    StartThreads();
  }
  void StartThreads() {
    m_Input = platform::Thread::Start(RemoteDeviceInput, nullptr);
    m_Output = platform::Thread::Start(RemoteDeviceOutput, nullptr);
    WaitUntilOpened();
  }
  void TearDown() override {
    m_InputTerminate.Set();
    m_OutputTerminate.Set();
    // A minute of the tests' fast clock: room for a loaded machine, still a bound on a stuck thread.
    EXPECT_TRUE(m_Input.Join(Timeout(60000)));
    EXPECT_TRUE(m_Output.Join(Timeout(60000)));
  }

  void Plug(const std::string& p_strNode = {}) {
    m_pRemote =
        platform::VirtualHidDevice::Plug({{0xFFFE, 0x0003, 0}, RemoteDescriptor(), false, p_strNode});
    ASSERT_TRUE(m_pRemote);
  }
  void Unplug() {
    m_pRemote->Unplug();
    m_InputRemoved.Set();
    m_OutputRemoved.Set();
  }
  void Replug() {
    Plug();
    m_InputArrives.Set();
    m_OutputArrives.Set();
    WaitUntilOpened();
  }
  // Both threads hold the remote open: reports sent from now on are read. The remote tells no
  // one when it is opened, so this looks a while.
  void WaitUntilOpened() {
    const auto l_Deadline = std::chrono::steady_clock::now() + kPatience;
    while (m_pRemote->OpenHandles() < 2 && std::chrono::steady_clock::now() < l_Deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(m_pRemote->OpenHandles(), 2u);
  }

  void Press(std::uint8_t p_byCode) {
    ASSERT_TRUE(m_pRemote->SendInputReport(Bytes{8, p_byCode, 0, 0, 0, 0, 0, 0}));
  }
  bool Raised(const Event& p_Event, Timeout p_Timeout = Timeout(20000)) {
    return platform::WaitForObject(p_Event.Ref(), p_Timeout).status ==
           platform::WaitStatus::Signalled;
  }
  Bytes NextReport() { return m_pRemote->ReadOutputReport(kPatience).value_or(Bytes{}); }

  // Wakes the display with a key and takes the init packet.
  void Wake() {
    Press(2);
    ASSERT_TRUE(Raised(m_Home));
    ASSERT_EQ(NextReport(), Report({0x20, 8, '0'}));
  }

  void QueuePage(const char* p_szTitle) {
    CDeviceData l_Page;
    l_Page.SetTitle(p_szTitle);
    l_Page.AddLine("Line");
    l_Page.SetScreenType(12);
    l_Page.SetUpdateMode(6);
    AppendDeviceOutput(l_Page);
    m_OutputData.Set();
  }
  // The reports of a page queued by QueuePage, from the sequence byte given.
  void ExpectPage(std::string_view p_Title, std::uint8_t p_bySequence) {
    EXPECT_EQ(NextReport(), Report({p_bySequence, 1}));
    EXPECT_EQ(NextReport(), Report({static_cast<std::uint8_t>(p_bySequence + 1), 5, 1}));
    Bytes l_Title{8, static_cast<std::uint8_t>(p_bySequence + 2)};
    for (const char l_cCharacter : p_Title) {
      l_Title.push_back(static_cast<std::uint8_t>(l_cCharacter));
    }
    l_Title.push_back(13);
    l_Title.resize(8);
    EXPECT_EQ(NextReport(), l_Title);
    EXPECT_EQ(NextReport(),
              Report({static_cast<std::uint8_t>(p_bySequence + 3), 'L', 'i', 'n', 'e', 13}));
    EXPECT_EQ(NextReport(), Report({static_cast<std::uint8_t>(p_bySequence + 4), 0}));
  }

  Event m_InputTerminate = Named(kDeviceInputTerminateEvent);
  Event m_OutputTerminate = Named(kDeviceOutputTerminateEvent);
  Event m_InputArrives = Named(kInputDeviceArrivesEvent);
  Event m_OutputArrives = Named(kOutputDeviceArrivesEvent);
  Event m_InputRemoved = Named(kInputDeviceRemovedEvent);
  Event m_OutputRemoved = Named(kOutputDeviceRemovedEvent);
  Event m_OutputData = Named(kDeviceOutputDataEvent);
  Event m_Home = Named(ServiceEventName(ServiceEvent::ButtonHome));
  Event m_Up = Named(ServiceEventName(ServiceEvent::ButtonUp));
  std::unique_ptr<platform::VirtualHidDevice> m_pRemote;
  platform::Thread m_Input;
  platform::Thread m_Output;
};

TEST_F(DeviceThreadsTest, AKeyWakesTheDisplayThenKeysMeanThemselvesAndPagesAreDrawn) {
  Wake();
  EXPECT_FALSE(Raised(m_Up, Timeout(0))) << "the waking key is dropped";
  Press(2);
  EXPECT_TRUE(Raised(m_Up));
  QueuePage("Home");
  ExpectPage("Home", 0x21);
}

TEST_F(DeviceThreadsTest, KeysAnsweredOnTheDisplay) {
  const LogRecorder l_Log;
  Wake();
  // A refused key: Stop while the player is stopped.
  Press(6);
  EXPECT_EQ(NextReport(), Report({0x21, 0}));
  // No firmware image in the folder: the upload answers with an end of screen.
  Press(25);
  EXPECT_EQ(NextReport(), Report({0x22, 0}));
  EXPECT_TRUE(l_Log.AwaitText(
      u"RemoteDeviceInput cannot upload the firmware: SkelvaneV39.hex: No such file or directory",
      kPatience));
  // Off while not playing: the display-off packet passes the sleep gate once, then nothing.
  Press(21);
  EXPECT_EQ(NextReport(), Report({0x23, 7}));
  QueuePage("Asleep");
  EXPECT_EQ(m_pRemote->ReadOutputReport(std::chrono::milliseconds(100)), std::nullopt);
  EXPECT_FALSE(g_bDisplayAwake);
}

// Only the remote's report 8 is a key; an empty report is none, and the reads go on after it.
TEST_F(DeviceThreadsTest, ReportsOfAnotherIdentifierAndEmptyReportsAreNoKeys) {
  Wake();
  const Event l_Down = Named(ServiceEventName(ServiceEvent::ButtonDown));
  ASSERT_TRUE(m_pRemote->SendInputReport(Bytes{7, 2, 0, 0, 0, 0, 0, 0}));
  ASSERT_TRUE(m_pRemote->SendInputReport(Bytes{}));
  Press(3);
  EXPECT_TRUE(Raised(l_Down));
  EXPECT_FALSE(Raised(m_Up, Timeout(0)));
}

TEST_F(DeviceThreadsTest, UnplugReplaysNoKeyAndAReplugIsInitialisedAgain) {
  Wake();
  Press(2);
  ASSERT_TRUE(Raised(m_Up));
  Unplug();
  // The failed read of the unplugged remote is no key.
  EXPECT_FALSE(Raised(m_Up, Timeout(2000)));
  EXPECT_FALSE(Raised(m_Home, Timeout(0)));

  Replug();
  // The replugged remote starts asleep: its first key wakes it and sends the init again.
  Wake();
  QueuePage("Again");
  ExpectPage("Again", 0x21);
  EXPECT_EQ(m_pRemote->ReadOutputReport(std::chrono::milliseconds(50)), std::nullopt);
}

TEST_F(DeviceThreadsTest, AQuickReplugWhoseNoticesComeTogetherKeepsTheNewRemote) {
  Wake();
  m_pRemote->Unplug();
  Plug();
  // The arrival is taken before the removal, as when both wait when the threads look.
  m_InputArrives.Set();
  m_OutputArrives.Set();
  m_InputRemoved.Set();
  m_OutputRemoved.Set();
  WaitUntilOpened();
  Wake();
  QueuePage("New");
  ExpectPage("New", 0x21);
}

// A replugged remote may come back under its old node name, as hidraw gives it; notices that
// come only after both changes still leave the threads with the new remote.
TEST_F(DeviceThreadsTest, AReplugUnderTheSameNameWhoseNoticesComeLateOpensTheNewRemote) {
  m_pRemote->Unplug();
  Plug("remote");
  m_InputArrives.Set();
  m_OutputArrives.Set();
  WaitUntilOpened();
  Wake();
  m_pRemote->Unplug();
  Plug("remote");
  m_InputRemoved.Set();
  m_OutputRemoved.Set();
  m_InputArrives.Set();
  m_OutputArrives.Set();
  WaitUntilOpened();
  Wake();
  QueuePage("Same");
  ExpectPage("Same", 0x21);
}

TEST_F(DeviceThreadsTest, PagesWhileUnpluggedStillReachTheSimulator) {
  const Event l_SimulatorData = Named(kSimulatorOutputDataEvent);
  while (TakeFirstSimulatorOutput()) {
  }
  Wake();
  Unplug();
  QueuePage("Gone");
  ASSERT_TRUE(Raised(l_SimulatorData));
  const std::optional<CDeviceData> l_Page = TakeFirstSimulatorOutput();
  ASSERT_TRUE(l_Page);
  EXPECT_EQ(l_Page->GetTitle(), _bstr_t("Gone"));
}

// The threads start while every waiter record is taken: each of their waits fails for lack of
// resources until the table has room again, and then they serve as ever.
class DeviceThreadsUnderFullWaiterTableTest : public DeviceThreadsTest {
 protected:
  void SetUp() override {
    ResetDisplayWords();
    Plug();
    m_Table.Fill();
    StartThreads();
  }

  const LogRecorder m_Log;
  FullWaiterTable m_Table;
};

TEST_F(DeviceThreadsUnderFullWaiterTableTest, ThreadsWaitForRoomAndThenServe) {
  EXPECT_TRUE(WaitsRetried(m_Log, {u"RemoteDeviceInput", u"RemoteDeviceOutput",
                                   u"AsynchWriteThreadProc"}));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  m_Table.Release();
  Wake();
  Press(2);
  EXPECT_TRUE(Raised(m_Up));
  QueuePage("Room");
  ExpectPage("Room", 0x21);
}

// Every object of the table is taken when the input thread starts: it says which of its events
// it cannot make and that its wait fails, and ends instead of spinning; once the table has room,
// the threads start as ever and serve.
class DeviceThreadsUnderFullObjectTableTest : public DeviceThreadsTest {
 protected:
  void SetUp() override {
    ResetDisplayWords();
    Plug();
  }
};

TEST_F(DeviceThreadsUnderFullObjectTableTest, TheInputThreadLogsAndEndsThenALaterStartServes) {
  const LogRecorder l_Log;
  {
    std::vector<Event> l_Taken;
    for (std::uint32_t l_nCount = 0; l_nCount <= platform::detail::kObjectCapacity; ++l_nCount) {
      Event l_Event = platform::Event::Create(platform::EventReset::Auto, false).handle;
      if (!l_Event) {
        break;
      }
      l_Taken.push_back(std::move(l_Event));
    }
    ASSERT_FALSE(platform::Event::Create(platform::EventReset::Auto, false).handle);
    EXPECT_EQ(RemoteDeviceInput(nullptr), 0u);
  }
  // The fixture holds the thread's own events open; a service event it does not hold is new.
  static_assert(ERROR_NO_SYSTEM_RESOURCES == 1450);
  std::u16string l_Expected = u"CreateEvent ";
  l_Expected.append(ServiceEventName(ServiceEvent::ButtonDown)).append(u" fails with error 1450");
  EXPECT_TRUE(l_Log.Contains(l_Expected));
  const std::vector<std::u16string> l_Texts = l_Log.Texts();
  EXPECT_TRUE(std::ranges::any_of(l_Texts, [](const std::u16string& p_Text) {
    return p_Text.starts_with(u"RemoteDeviceInput sees wait failed with error ");
  }));
  EXPECT_TRUE(l_Log.Contains(u"RemoteDeviceInput Ends"));

  StartThreads();
  Wake();
  Press(2);
  EXPECT_TRUE(Raised(m_Up));
  QueuePage("Room");
  ExpectPage("Room", 0x21);
}

}  // namespace
