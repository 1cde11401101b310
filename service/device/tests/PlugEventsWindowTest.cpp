#include "service/device/PlugEventsWindow.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/tests/support/LogRecorder.h"
#include "platform/kernel/Wait.h"

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
