#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/hid/Hid.h"
#include "platform/hid/VirtualHidDevice.h"
#include "platform/kernel/Wait.h"

namespace platform {
namespace {

using Bytes = std::vector<std::uint8_t>;
using ::testing::ElementsAre;

constexpr auto kPatience = std::chrono::seconds(10);

// Report 8: seven bytes in, seven bytes out.
const Bytes kRemoteDescriptor = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x08,
                                 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x07,
                                 0x09, 0x01, 0x81, 0x02, 0x09, 0x02, 0x91, 0x02, 0xC0};
// Report 2: three bytes in, nothing out.
const Bytes kMouseDescriptor = {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x85, 0x02, 0x15, 0x81, 0x25,
                                0x7F, 0x75, 0x08, 0x95, 0x03, 0x09, 0x30, 0x81, 0x06, 0xC0};

std::unique_ptr<VirtualHidDevice> PlugRemote(bool lowerCase = false) {
  auto device = VirtualHidDevice::Plug({{0xFFFE, 0x0003, 0x0100}, kRemoteDescriptor, lowerCase});
  EXPECT_TRUE(device);
  return device;
}

HidDevice OpenOrFail(const std::u16string& path, HidAccess access) {
  auto opened = HidDevice::Open(path, access);
  EXPECT_EQ(opened.error, ERROR_SUCCESS);
  return std::move(opened.handle);
}

TEST(VirtualHidTest, DiscoveryListsDevicesInPluggingOrderWithTheirCapabilities) {
  const auto mouse = VirtualHidDevice::Plug({{0x046D, 0xC52B, 0}, kMouseDescriptor});
  const auto first = PlugRemote();
  const auto second = PlugRemote(true);
  ASSERT_TRUE(mouse && first && second);

  const std::vector<HidDeviceInfo> devices = EnumerateHidDevices();
  ASSERT_EQ(devices.size(), 3u);
  EXPECT_EQ(devices[0].path, mouse->InterfaceName());
  EXPECT_EQ(devices[1].path, first->InterfaceName());
  EXPECT_EQ(devices[2].path, second->InterfaceName());
  EXPECT_NE(devices[0].path.find(u"VID_046D&PID_C52B"), std::u16string::npos);
  EXPECT_TRUE(devices[1].path.starts_with(u"\\\\?\\HID#VID_FFFE&PID_0003#"));
  EXPECT_TRUE(devices[2].path.starts_with(u"\\\\?\\hid#vid_fffe&pid_0003#"));

  EXPECT_EQ(devices[0].attributes, (HidAttributes{0x046D, 0xC52B, 0}));
  EXPECT_EQ(devices[1].attributes, (HidAttributes{0xFFFE, 0x0003, 0x0100}));
  ASSERT_TRUE(devices[0].descriptor && devices[1].descriptor);
  EXPECT_EQ(devices[0].descriptor->Report(HidReportType::Input).byteLength, 4u);
  EXPECT_EQ(devices[0].descriptor->Report(HidReportType::Output).byteLength, 0u);
  EXPECT_EQ(devices[0].descriptor->Report(HidReportType::Input).values.at(0).reportId, 2);
  EXPECT_EQ(devices[1].descriptor->Report(HidReportType::Input).byteLength, 8u);
  EXPECT_EQ(devices[1].descriptor->Report(HidReportType::Output).byteLength, 8u);
  EXPECT_EQ(devices[1].descriptor->Report(HidReportType::Input).values.at(0).reportId, 8);

  second->Unplug();
  EXPECT_EQ(EnumerateHidDevices().size(), 2u);
}

TEST(VirtualHidTest, OpeningNeedsAPresentDeviceAndGivesOnlyTheAccessAskedFor) {
  const auto remote = PlugRemote();
  EXPECT_EQ(HidDevice::Open(u"\\\\?\\HID#VID_FFFE&PID_0003#nothing", HidAccess::Read).error,
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(HidDevice::Open(u"\\\\?\\HID#VID_FFFE&PID_0003#..", HidAccess::Read).error,
            ERROR_FILE_NOT_FOUND);

  HidDevice query = OpenOrFail(remote->InterfaceName(), HidAccess::None);
  EXPECT_EQ(query.Info().attributes.vendorId, 0xFFFE);
  EXPECT_EQ(remote->OpenHandles(), 0u);
  const auto event = Event::Create(EventReset::Auto, false).handle;
  EXPECT_EQ(query.BeginRead(event), ERROR_ACCESS_DENIED);
  EXPECT_EQ(query.Write(Bytes{8, 1}), ERROR_ACCESS_DENIED);

  HidDevice reader = OpenOrFail(remote->InterfaceName(), HidAccess::Read);
  HidDevice writer = OpenOrFail(remote->InterfaceName(), HidAccess::Write);
  EXPECT_EQ(remote->OpenHandles(), 2u);
  EXPECT_EQ(reader.Write(Bytes{8, 1}), ERROR_ACCESS_DENIED);
  EXPECT_EQ(writer.BeginRead(event), ERROR_ACCESS_DENIED);
  EXPECT_EQ(writer.Write(Bytes{}), ERROR_INVALID_PARAMETER);
}

TEST(VirtualHidTest, ReadsCompleteAnEventThatAWaitCombinesAndWritesReachTheDevice) {
  const auto remote = PlugRemote();
  HidDevice reader = OpenOrFail(remote->InterfaceName(), HidAccess::Read);
  HidDevice writer = OpenOrFail(remote->InterfaceName(), HidAccess::Write);
  const auto terminate = Event::Create(EventReset::Auto, false).handle;
  const auto readDone = Event::Create(EventReset::Auto, false).handle;
  const std::array objects{terminate.Ref(), readDone.Ref()};

  ASSERT_EQ(reader.BeginRead(readDone), ERROR_IO_PENDING);
  EXPECT_EQ(reader.BeginRead(readDone), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(WaitForObjects(objects, Timeout(0)).status, WaitStatus::TimedOut);
  ASSERT_TRUE(remote->SendInputReport(Bytes{8, 21, 0, 0, 0, 0, 0, 0}));
  ASSERT_TRUE(WaitForObjects(objects, kInfinite).Signalled(1));
  std::array<std::uint8_t, 8> buffer{};
  const HidReport report = reader.EndRead(buffer);
  EXPECT_EQ(report.error, ERROR_SUCCESS);
  EXPECT_EQ(report.length, 8u);
  EXPECT_EQ(buffer[1], 21);

  // Reports wait for the next read; the lowest signalled object ends a wait first.
  ASSERT_TRUE(remote->SendInputReport(Bytes{8, 5}));
  ASSERT_TRUE(terminate.Set());
  ASSERT_EQ(reader.BeginRead(readDone), ERROR_IO_PENDING);
  EXPECT_TRUE(WaitForObjects(objects, kInfinite).Signalled(0));
  EXPECT_TRUE(WaitForObjects(objects, kInfinite).Signalled(1));
  EXPECT_EQ(reader.EndRead(buffer).length, 2u);
  EXPECT_EQ(buffer[1], 5);

  EXPECT_EQ(writer.Write(Bytes{8, 0x20, 1, 0, 0, 0, 0, 0}), ERROR_SUCCESS);
  EXPECT_EQ(writer.Write(Bytes{8, 0x21, 0}), ERROR_SUCCESS);
  EXPECT_THAT(remote->ReadOutputReport(kPatience),
              ::testing::Optional(ElementsAre(8, 0x20, 1, 0, 0, 0, 0, 0)));
  EXPECT_THAT(remote->ReadOutputReport(kPatience), ::testing::Optional(ElementsAre(8, 0x21, 0)));
}

// An empty report is a report of no bytes; only the device's going ends the reads.
TEST(VirtualHidTest, AnEmptyReportIsAReportAndTheReadsGoOn) {
  const auto remote = PlugRemote();
  HidDevice reader = OpenOrFail(remote->InterfaceName(), HidAccess::Read);
  const auto readDone = Event::Create(EventReset::Auto, false).handle;
  ASSERT_TRUE(remote->SendInputReport(Bytes{}));
  ASSERT_TRUE(remote->SendInputReport(Bytes{8, 9}));
  std::array<std::uint8_t, 8> buffer{};
  for (const std::size_t expected : {0u, 2u}) {
    ASSERT_EQ(reader.BeginRead(readDone), ERROR_IO_PENDING);
    ASSERT_TRUE(WaitForObject(readDone.Ref(), kInfinite).Signalled(0));
    const HidReport report = reader.EndRead(buffer);
    EXPECT_EQ(report.error, ERROR_SUCCESS);
    EXPECT_EQ(report.length, expected);
  }
  EXPECT_EQ(buffer[1], 9);
}

TEST(VirtualHidTest, RemovalFailsTheReadInFlightAndEveryWriteAfterTheEarlierReports) {
  auto remote = PlugRemote();
  HidDevice reader = OpenOrFail(remote->InterfaceName(), HidAccess::Read);
  HidDevice writer = OpenOrFail(remote->InterfaceName(), HidAccess::Write);
  const std::u16string name = remote->InterfaceName();
  const auto readDone = Event::Create(EventReset::Auto, false).handle;
  ASSERT_TRUE(remote->SendInputReport(Bytes{8, 3}));
  remote->Unplug();
  EXPECT_FALSE(remote->SendInputReport(Bytes{8, 4}));

  std::array<std::uint8_t, 8> buffer{};
  ASSERT_EQ(reader.BeginRead(readDone), ERROR_IO_PENDING);
  ASSERT_TRUE(WaitForObject(readDone.Ref(), kInfinite).Signalled(0));
  EXPECT_EQ(reader.EndRead(buffer).error, ERROR_SUCCESS);
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(reader.BeginRead(readDone), ERROR_IO_PENDING);
    ASSERT_TRUE(WaitForObject(readDone.Ref(), kInfinite).Signalled(0));
    EXPECT_EQ(reader.EndRead(buffer).error, ERROR_DEVICE_NOT_CONNECTED);
  }
  EXPECT_EQ(writer.Write(Bytes{8, 0x20, 0}), ERROR_DEVICE_NOT_CONNECTED);
  EXPECT_EQ(HidDevice::Open(name, HidAccess::Read).error, ERROR_FILE_NOT_FOUND);
}

// Collects a watch's notices for the test thread.
class NoticeLog {
 public:
  HidDeviceWatch::Callback Callback() {
    return [this](HidDeviceChange change, const std::u16string& path) {
      const std::lock_guard lock(mutex_);
      notices_.emplace_back(change, path);
      arrived_.notify_all();
    };
  }
  std::vector<std::pair<HidDeviceChange, std::u16string>> WaitFor(std::size_t count) {
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, kPatience, [&] { return notices_.size() >= count; });
    return notices_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<std::pair<HidDeviceChange, std::u16string>> notices_;
};

TEST(VirtualHidTest, AWatchReportsEachArrivalAndRemovalWithTheInterfaceName) {
  const auto present = PlugRemote();
  NoticeLog log;
  {
    const HidDeviceWatch watch(log.Callback());
    ASSERT_TRUE(watch.Watching());
    auto mouse = VirtualHidDevice::Plug({{0x046D, 0xC52B, 0}, kMouseDescriptor});
    auto remote = PlugRemote(true);
    ASSERT_TRUE(mouse && remote);
    const std::u16string mouseName = mouse->InterfaceName();
    const std::u16string remoteName = remote->InterfaceName();
    mouse.reset();
    present->Unplug();
    remote->Unplug();
    EXPECT_THAT(log.WaitFor(5),
                ElementsAre(std::pair(HidDeviceChange::Arrival, mouseName),
                            std::pair(HidDeviceChange::Arrival, remoteName),
                            std::pair(HidDeviceChange::Removal, mouseName),
                            std::pair(HidDeviceChange::Removal, present->InterfaceName()),
                            std::pair(HidDeviceChange::Removal, remoteName)));
  }
}

// A device's node name may come back with another device behind it; its instance tells them
// apart, and a name in use cannot be taken twice.
TEST(VirtualHidTest, AReusedNodeNameCarriesAnotherInstance) {
  auto first = VirtualHidDevice::Plug({{0xFFFE, 0x0003, 0}, kRemoteDescriptor, false, "remote"});
  ASSERT_TRUE(first);
  EXPECT_EQ(first->InterfaceName(), u"\\\\?\\HID#VID_FFFE&PID_0003#remote");
  EXPECT_FALSE(VirtualHidDevice::Plug({{0xFFFE, 0x0003, 0}, kRemoteDescriptor, false, "remote"}));
  const std::vector<HidDeviceInfo> before = EnumerateHidDevices();
  first->Unplug();
  const auto second =
      VirtualHidDevice::Plug({{0xFFFE, 0x0003, 0}, kRemoteDescriptor, false, "remote"});
  ASSERT_TRUE(second);
  const std::vector<HidDeviceInfo> after = EnumerateHidDevices();
  ASSERT_EQ(before.size(), 1u);
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(before[0].path, after[0].path);
  EXPECT_FALSE(before[0].instance.empty());
  EXPECT_NE(before[0].instance, after[0].instance);
}

}  // namespace
}  // namespace platform
