#include "service/device/RemoteDevice.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "common/tests/support/LogRecorder.h"
#include "platform/hid/VirtualHidDevice.h"
#include "platform/kernel/Root.h"
#include "service/device/tests/RemoteDescriptor.h"

namespace {

using platform::HidAccess;
using platform::VirtualHidDevice;

std::unique_ptr<VirtualHidDevice> Plug(std::uint16_t p_nVendor, std::uint16_t p_nProduct,
                                       std::vector<std::uint8_t> p_Descriptor,
                                       bool p_bLowerCase = false) {
  auto l_Device =
      VirtualHidDevice::Plug({{p_nVendor, p_nProduct, 0}, std::move(p_Descriptor), p_bLowerCase});
  EXPECT_TRUE(l_Device);
  return l_Device;
}

std::unique_ptr<VirtualHidDevice> PlugRemote(
    std::vector<std::uint8_t> p_Descriptor = RemoteDescriptor(), bool p_bLowerCase = false) {
  return Plug(kRemoteVendorId, kRemoteProductId, std::move(p_Descriptor), p_bLowerCase);
}

std::u16string OpenedPath(const HidDeviceRecord& p_Record) {
  return p_Record.m_hDevice.Info().path;
}

TEST(RemoteDeviceTest, BothThreadsOpenTheFirstRemoteAfterForeignDevices) {
  const auto l_Foreign = Plug(0x046D, 0xC52B, RemoteDescriptor());
  const auto l_First = PlugRemote(RemoteDescriptor(), true);
  const auto l_Second = PlugRemote();
  const LogRecorder l_Log;

  HidDeviceRecord l_Reader;
  HidDeviceRecord l_Writer;
  ASSERT_TRUE(OpenRemoteDevice(l_Reader, HidAccess::Read));
  ASSERT_TRUE(OpenRemoteDevice(l_Writer, HidAccess::Write));
  EXPECT_EQ(OpenedPath(l_Reader), l_First->InterfaceName());
  EXPECT_EQ(OpenedPath(l_Writer), l_First->InterfaceName());
  EXPECT_EQ(l_First->OpenHandles(), 2u);
  EXPECT_TRUE(l_Log.Contains(u"Device opened"));

  EXPECT_EQ(l_Reader.m_Caps.m_nInputReportByteLength, 8u);
  EXPECT_EQ(l_Reader.m_Caps.m_nOutputReportByteLength, 8u);
  EXPECT_EQ(l_Reader.m_InputReport, std::vector<std::uint8_t>(8, 0));
  EXPECT_EQ(l_Writer.m_OutputReport, std::vector<std::uint8_t>(8, 0));
  ASSERT_EQ(l_Reader.m_InputValueCaps.size(), 1u);
  EXPECT_EQ(l_Reader.m_InputValueCaps[0].reportId, kRemoteReportId);

  HidCloseDevice(l_Reader);
  EXPECT_FALSE(l_Reader.m_hDevice);
  EXPECT_FALSE(l_Reader.m_PreparsedData);
  EXPECT_TRUE(l_Reader.m_InputReport.empty());
  EXPECT_TRUE(l_Reader.m_InputValueCaps.empty());
  EXPECT_TRUE(l_Reader.m_OutputReport.empty());
  EXPECT_EQ(l_Reader.m_Caps.m_nInputReportByteLength, 0u);
}

TEST(RemoteDeviceTest, RemotesThatCannotCarryTheReportsAreSkipped) {
  struct Case {
    const char* m_szName;
    std::vector<std::uint8_t> m_Descriptor;
  };
  const std::vector<Case> l_Cases = {
      {"another report identifier", RemoteDescriptor(9)},
      {"an input report of 1 byte", RemoteDescriptor(8, 0)},
      {"an output report shorter than a packet", RemoteDescriptor(8, 7, 6)},
      {"no input value capability", RemoteDescriptor(8, 7, 7, false)},
      {"a descriptor that cannot be read", {0x06, 0x00}},
  };
  for (const Case& l_Case : l_Cases) {
    const auto l_Faulty = PlugRemote(l_Case.m_Descriptor);
    HidDeviceRecord l_Record;
    EXPECT_FALSE(OpenRemoteDevice(l_Record, HidAccess::Read)) << l_Case.m_szName;
    EXPECT_FALSE(l_Record.m_hDevice) << l_Case.m_szName;

    const auto l_Good = PlugRemote();
    EXPECT_TRUE(OpenRemoteDevice(l_Record, HidAccess::Read)) << l_Case.m_szName;
    EXPECT_EQ(OpenedPath(l_Record), l_Good->InterfaceName()) << l_Case.m_szName;
  }
}

// A foreign device whose descriptor cannot be read no longer hides the remote behind it.
TEST(RemoteDeviceTest, AForeignDeviceThatCannotBeProbedIsSkipped) {
  const auto l_Foreign = Plug(0x046D, 0xC52B, {0xA1, 0x01});
  const auto l_Remote = PlugRemote();
  HidDeviceRecord l_Record;
  ASSERT_TRUE(OpenRemoteDevice(l_Record, HidAccess::Write));
  EXPECT_EQ(OpenedPath(l_Record), l_Remote->InterfaceName());
}

TEST(RemoteDeviceTest, NoRemoteLeavesTheRecordClear) {
  const auto l_Foreign = Plug(0x046D, 0xC52B, RemoteDescriptor());
  HidDeviceRecord l_Record;
  EXPECT_FALSE(OpenRemoteDevice(l_Record, HidAccess::Read));
  EXPECT_FALSE(l_Record.m_hDevice);
  EXPECT_TRUE(l_Record.m_InputReport.empty());
}

// A device list that cannot be read ends the search with its log text.
TEST(RemoteDeviceTest, AnUnreadableDeviceListFindsNoRemote) {
  const LogRecorder l_Log;
  const std::filesystem::path l_Devices = platform::PlatformRoot() / "hid" / "devices";
  std::filesystem::remove_all(l_Devices);
  std::filesystem::create_directories(l_Devices.parent_path());
  std::ofstream(l_Devices) << "not a folder";
  HidDeviceRecord l_Record;
  EXPECT_FALSE(OpenRemoteDevice(l_Record, HidAccess::Read));
  EXPECT_TRUE(l_Log.Contains(u"SetupDiGetClassDevs failed"));
  std::filesystem::remove(l_Devices);
}

}  // namespace
