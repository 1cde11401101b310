// Device-change notices of virtual HID devices plugged in and out, as a registered window sees
// them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/hid/VirtualHidDevice.h"
#include "platform/user/DeviceNotification.h"
#include "platform/user/Window.h"

namespace platform {
namespace {

struct Notice {
  WPARAM event;
  std::u16string name;
  bool operator==(const Notice&) const = default;
};
std::vector<Notice> g_notices;  // the window's thread only

LRESULT NoticeProcedure(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DEVICECHANGE) {
    const auto* broadcast = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE*>(lParam);
    EXPECT_EQ(broadcast->dbcc_devicetype, DBT_DEVTYP_DEVICEINTERFACE);
    g_notices.push_back({wParam, broadcast->dbcc_name});
  }
  return 0;
}

// Serves the queue until the window has seen `count` notices.
void ServeUntil(std::size_t count) {
  while (g_notices.size() < count) {
    ASSERT_EQ(MsgWaitForMultipleObjects({}, false, Timeout(100000), QS_ALLINPUT).status,
              WaitStatus::Signalled);
  }
}

class DeviceNotificationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterClass(u"NoticeClass", NoticeProcedure);
    g_notices.clear();
    window_ = CreateWindow(u"NoticeClass", u"", WS_OVERLAPPEDWINDOW);
  }
  void TearDown() override { DestroyWindow(window_); }

  static std::unique_ptr<VirtualHidDevice> Plug(std::uint16_t product) {
    return VirtualHidDevice::Plug({{0xFFFE, product, 0x0100}, {0x06, 0x00, 0xFF, 0x09, 0x01,
                                                               0xA1, 0x01, 0xC0}});
  }

  HWND window_ = 0;
  const DEV_BROADCAST_DEVICEINTERFACE filter_;
};

TEST_F(DeviceNotificationTest, ARegisteredWindowSeesEachArrivalAndRemovalWithTheInterfaceName) {
  const HDEVNOTIFY notification =
      RegisterDeviceNotification(window_, &filter_, DEVICE_NOTIFY_WINDOW_HANDLE);
  ASSERT_NE(notification, 0u);
  auto first = Plug(0x0003);
  auto second = Plug(0x0004);
  ServeUntil(2);
  first->Unplug();
  ServeUntil(3);
  EXPECT_EQ(g_notices, (std::vector<Notice>{{DBT_DEVICEARRIVAL, first->InterfaceName()},
                                            {DBT_DEVICEARRIVAL, second->InterfaceName()},
                                            {DBT_DEVICEREMOVECOMPLETE, first->InterfaceName()}}));

  EXPECT_TRUE(UnregisterDeviceNotification(notification));
  EXPECT_FALSE(UnregisterDeviceNotification(notification));
  second->Unplug();
  EXPECT_EQ(MsgWaitForMultipleObjects({}, false, Timeout(500), QS_ALLINPUT).status,
            WaitStatus::TimedOut);
  EXPECT_EQ(g_notices.size(), 3u);
}

TEST_F(DeviceNotificationTest, RegistrationNeedsADeviceInterfaceFilterAndAWindowOfThisProcess) {
  DEV_BROADCAST_DEVICEINTERFACE other;
  other.dbcc_devicetype = 3;
  EXPECT_EQ(RegisterDeviceNotification(window_, &other, DEVICE_NOTIFY_WINDOW_HANDLE), 0u);
  EXPECT_EQ(RegisterDeviceNotification(window_, nullptr, DEVICE_NOTIFY_WINDOW_HANDLE), 0u);
  EXPECT_EQ(RegisterDeviceNotification(0x7FFFFFF0u, &filter_, DEVICE_NOTIFY_WINDOW_HANDLE), 0u);
  EXPECT_EQ(LastWindowsError(), ERROR_INVALID_WINDOW_HANDLE);
}

// A window destroyed while a notice is on its way ends its registration without waiting on it.
TEST_F(DeviceNotificationTest, DestroyingTheWindowEndsItsRegistration) {
  ASSERT_NE(RegisterDeviceNotification(window_, &filter_, DEVICE_NOTIFY_WINDOW_HANDLE), 0u);
  auto device = Plug(0x0003);
  EXPECT_TRUE(DestroyWindow(window_));
  window_ = 0;
  device->Unplug();
}

}  // namespace
}  // namespace platform
