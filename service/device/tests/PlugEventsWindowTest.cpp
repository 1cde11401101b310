#include "service/device/PlugEventsWindow.h"

#include <gtest/gtest.h>

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "common/tests/support/LogRecorder.h"
#include "platform/hid/VirtualHidDevice.h"
#include "platform/kernel/Wait.h"
#include "platform/user/DeviceNotification.h"
#include "platform/user/Window.h"

namespace {

using platform::Event;
using platform::Timeout;
using platform::WaitForObject;

bool Consume(const Event& p_Event) { return WaitForObject(p_Event.Ref(), Timeout(0)).Signalled(0); }

TEST(RemoteInterfaceNameTest, IgnoresLetterCase) {
  EXPECT_TRUE(IsRemoteDeviceInterface(u"\\\\?\\HID#VID_FFFE&PID_0003#7&1a2b"));
  EXPECT_TRUE(IsRemoteDeviceInterface(u"\\\\?\\hid#vid_fffe&pid_0003#7&1a2b"));
  EXPECT_TRUE(IsRemoteDeviceInterface(u"\\\\?\\hid#Vid_FfFe&Pid_0003&MI_00"));
  EXPECT_FALSE(IsRemoteDeviceInterface(u"\\\\?\\hid#vid_fffe&pid_0004#7&1a2b"));
  EXPECT_FALSE(IsRemoteDeviceInterface(u"\\\\?\\hid#vid_046d&pid_0003"));
  EXPECT_FALSE(IsRemoteDeviceInterface(u""));
}

// The window's handling seen from the device threads' side of the four events.
class PlugEventsWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(m_Window.OnCreate(), 0);
    m_InputArrives = Open(kInputDeviceArrivesEvent);
    m_OutputArrives = Open(kOutputDeviceArrivesEvent);
    m_InputRemoved = Open(kInputDeviceRemovedEvent);
    m_OutputRemoved = Open(kOutputDeviceRemovedEvent);
  }

  static Event Open(const char16_t* p_szName) {
    auto l_Result = Event::Open(p_szName);
    EXPECT_EQ(l_Result.error, ERROR_SUCCESS) << "the window made the event";
    return std::move(l_Result.handle);
  }

  CRemoteDevicePlugEventsMonitorWindow m_Window;
  Event m_InputArrives;
  Event m_OutputArrives;
  Event m_InputRemoved;
  Event m_OutputRemoved;
};

TEST_F(PlugEventsWindowTest, OnlyTheRemotesInterfaceSetsTheEventsOfItsChange) {
  struct Case {
    DeviceChangeEvent m_Event;
    std::uint32_t m_nDeviceType;
    std::u16string m_strName;
    bool m_bArrives;
    bool m_bRemoved;
  };
  const std::u16string l_strRemote = u"\\\\?\\hid#vid_fffe&pid_0003#7&2f&0&0000";
  const std::u16string l_strMouse = u"\\\\?\\HID#VID_046D&PID_C52B#7&1&0&0000";
  const std::vector<Case> l_Cases = {
      {DeviceChangeEvent::Arrival, kDeviceTypeDeviceInterface, l_strRemote, true, false},
      {DeviceChangeEvent::Arrival, kDeviceTypeDeviceInterface, l_strMouse, false, false},
      {DeviceChangeEvent::Arrival, 3, l_strRemote, false, false},
      {DeviceChangeEvent::RemoveComplete, kDeviceTypeDeviceInterface, l_strRemote, false, true},
      {DeviceChangeEvent::RemoveComplete, kDeviceTypeDeviceInterface, l_strMouse, false, false},
      {DeviceChangeEvent::QueryRemove, kDeviceTypeDeviceInterface, l_strRemote, false, false},
      {DeviceChangeEvent::QueryRemoveFailed, kDeviceTypeDeviceInterface, l_strRemote, false, false},
      {DeviceChangeEvent::RemovePending, kDeviceTypeDeviceInterface, l_strRemote, false, false},
  };
  for (const Case& l_Case : l_Cases) {
    const DeviceBroadcast l_Broadcast{l_Case.m_nDeviceType, l_Case.m_strName};
    EXPECT_EQ(m_Window.OnDeviceChange(static_cast<std::uint32_t>(l_Case.m_Event), &l_Broadcast), 0);
    const auto l_Name = static_cast<std::uint32_t>(l_Case.m_Event);
    EXPECT_EQ(Consume(m_InputArrives), l_Case.m_bArrives) << l_Name;
    EXPECT_EQ(Consume(m_OutputArrives), l_Case.m_bArrives) << l_Name;
    EXPECT_EQ(Consume(m_InputRemoved), l_Case.m_bRemoved) << l_Name;
    EXPECT_EQ(Consume(m_OutputRemoved), l_Case.m_bRemoved) << l_Name;
  }
  EXPECT_EQ(m_Window.OnDeviceChange(0x0007, nullptr), 0);
  EXPECT_EQ(
      m_Window.OnDeviceChange(static_cast<std::uint32_t>(DeviceChangeEvent::Arrival), nullptr), 0);
  EXPECT_FALSE(Consume(m_InputArrives));
}

TEST_F(PlugEventsWindowTest, EveryNoticeIsLogged) {
  const LogRecorder l_Log;
  const DeviceBroadcast l_Broadcast{kDeviceTypeDeviceInterface, u"\\\\?\\hid#vid_fffe&pid_0003#1"};
  for (const DeviceChangeEvent l_Event :
       {DeviceChangeEvent::Arrival, DeviceChangeEvent::RemoveComplete,
        DeviceChangeEvent::QueryRemove, DeviceChangeEvent::QueryRemoveFailed,
        DeviceChangeEvent::RemovePending}) {
    m_Window.OnDeviceChange(static_cast<std::uint32_t>(l_Event), &l_Broadcast);
  }
  EXPECT_EQ(l_Log.Texts(),
            (std::vector<std::u16string>{
                u"CRemoteDevicePlugEventsMonitorWindow sees DBT_DEVICEARRIVAL for "
                u"\\\\?\\hid#vid_fffe&pid_0003#1",
                u"CRemoteDevicePlugEventsMonitorWindow sees DBT_DEVICEREMOVECOMPLETE",
                u"CRemoteDevicePlugEventsMonitorWindow sees DBT_DEVICEQUERYREMOVE",
                u"CRemoteDevicePlugEventsMonitorWindow sees DBT_DEVICEQUERYREMOVEFAILED",
                u"CRemoteDevicePlugEventsMonitorWindow sees DBT_DEVICEREMOVEPENDING"}));
  for (const auto& l_Entry : l_Log.Entries()) {
    EXPECT_EQ(l_Entry.flags, LOG_TO_FILE);
  }
}

}  // namespace

namespace {

// The window as the service's start-up makes it when it does not run as a service: created on
// this thread and registered for device-interface notices, while a virtual remote comes and goes.
class PlugWindowDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(m_Window.Create(), 0u);
    const DEV_BROADCAST_DEVICEINTERFACE l_Filter;
    ASSERT_NE(platform::RegisterDeviceNotification(m_Window.m_hWnd, &l_Filter,
                                                   DEVICE_NOTIFY_WINDOW_HANDLE),
              0u);
    m_InputArrives = Open(kInputDeviceArrivesEvent);
    m_OutputArrives = Open(kOutputDeviceArrivesEvent);
    m_InputRemoved = Open(kInputDeviceRemovedEvent);
    m_OutputRemoved = Open(kOutputDeviceRemovedEvent);
  }

  static Event Open(const char16_t* p_szName) { return std::move(Event::Open(p_szName).handle); }

  // Runs the window's messages until the event is set; false when it is not within the limit.
  static bool ServeUntil(const Event& p_Event) {
    const platform::ObjectRef l_Event = p_Event.Ref();
    for (;;) {
      const platform::WaitResult l_Result = platform::MsgWaitForMultipleObjects(
          std::span(&l_Event, 1), false, Timeout(100000), QS_ALLINPUT);
      if (l_Result.status != platform::WaitStatus::Signalled) {
        return false;
      }
      if (l_Result.index == 0) {
        return true;
      }
      MSG l_Message;
      while (platform::PeekMessage(l_Message, 0, 0, 0, PM_REMOVE)) {
        platform::DispatchMessage(l_Message);
      }
    }
  }

  static std::unique_ptr<platform::VirtualHidDevice> Plug(std::uint16_t p_nProduct,
                                                           bool p_bLowerCase) {
    return platform::VirtualHidDevice::Plug(
        {{0xFFFE, p_nProduct, 0x0100}, {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0xC0},
         p_bLowerCase});
  }

  CRemoteDevicePlugEventsMonitorWindow m_Window;
  Event m_InputArrives;
  Event m_OutputArrives;
  Event m_InputRemoved;
  Event m_OutputRemoved;
};

TEST_F(PlugWindowDeviceTest, ARemotePluggedInAndOutSetsTheArrivalAndRemovalEvents) {
  for (const bool l_bLowerCase : {false, true}) {
    SCOPED_TRACE(l_bLowerCase ? "lower-case name" : "upper-case name");
    auto l_Other = Plug(0x0004, l_bLowerCase);
    auto l_Remote = Plug(0x0003, l_bLowerCase);
    ASSERT_TRUE(ServeUntil(m_InputArrives));
    EXPECT_TRUE(Consume(m_OutputArrives));
    EXPECT_FALSE(Consume(m_InputArrives)) << "the other device set nothing";
    l_Other->Unplug();
    l_Remote->Unplug();
    ASSERT_TRUE(ServeUntil(m_InputRemoved));
    EXPECT_TRUE(Consume(m_OutputRemoved));
    EXPECT_FALSE(Consume(m_InputRemoved));
  }
}

TEST_F(PlugWindowDeviceTest, TheWindowIsAHiddenTopLevelWindowAndDestroyingItEndsItsNotices) {
  EXPECT_EQ(platform::FindWindow(u"CRemoteDevicePlugEventsMonitorWindow", nullptr),
            m_Window.m_hWnd);
  EXPECT_EQ(platform::GetParent(m_Window.m_hWnd), 0u);
  m_Window.DestroyWindow();
  EXPECT_EQ(m_Window.m_hWnd, 0u);
  auto l_Remote = Plug(0x0003, false);
  EXPECT_EQ(platform::MsgWaitForMultipleObjects({}, false, Timeout(500), QS_ALLINPUT).status,
            platform::WaitStatus::TimedOut);
}

}  // namespace
