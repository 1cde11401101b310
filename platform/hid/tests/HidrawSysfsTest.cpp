#include "platform/hid/HidrawSysfs.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

namespace platform::detail {
namespace {

// A fake sysfs class folder for hidraw nodes, removed with the test.
class FakeHidrawClass : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "hidraw-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  void AddNode(const std::string& node, const std::string& uevent,
               const std::vector<std::uint8_t>* descriptor) {
    const auto device = folder_ / node / "device";
    std::filesystem::create_directories(device);
    std::ofstream(device / "uevent") << uevent;
    if (descriptor != nullptr) {
      std::ofstream(device / "report_descriptor", std::ios::binary)
          .write(reinterpret_cast<const char*>(descriptor->data()),
                 static_cast<std::streamsize>(descriptor->size()));
    }
  }

  std::filesystem::path folder_;
};

const std::vector<std::uint8_t> kRemote = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85,
                                           0x08, 0x75, 0x08, 0x95, 0x07, 0x09, 0x01, 0x81,
                                           0x02, 0x09, 0x02, 0x91, 0x02, 0xC0};

TEST_F(FakeHidrawClass, NodesAreDescribedFromTheirIdentifiersAndDescriptor) {
  AddNode("hidraw3", "DRIVER=hid-generic\nHID_ID=0003:0000FFFE:00000003\nHID_NAME=remote\n",
          &kRemote);
  const auto info = DescribeHidrawNode(folder_, "hidraw3");
  ASSERT_TRUE(info);
  EXPECT_EQ(info->path, u"\\\\?\\HID#VID_FFFE&PID_0003#hidraw3");
  EXPECT_EQ(info->attributes, (HidAttributes{0xFFFE, 0x0003, 0}));
  ASSERT_TRUE(info->descriptor);
  EXPECT_EQ(info->descriptor->Report(HidReportType::Input).byteLength, 8u);
  EXPECT_EQ(info->descriptor->Report(HidReportType::Output).byteLength, 8u);
  EXPECT_EQ(info->descriptor->Report(HidReportType::Input).values.at(0).reportId, 8);
}

TEST_F(FakeHidrawClass, NodesWithoutUsableIdentifiersAreNotDevices) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"hidraw0", "DRIVER=hid-generic\n"},
      {"hidraw1", "HID_ID=0003:0000FFFE\n"},
      {"hidraw2", "HID_ID=0003:0001FFFE:00000003\n"},
      {"hidraw4", "HID_ID=0003:0000FFFG:00000003\n"},
      {"hidraw5", "HID_ID=0003::00000003\n"},
  };
  for (const auto& [node, uevent] : cases) {
    AddNode(node, uevent, &kRemote);
    EXPECT_FALSE(DescribeHidrawNode(folder_, node)) << uevent;
  }
  EXPECT_FALSE(DescribeHidrawNode(folder_, "hidraw9"));
}

TEST_F(FakeHidrawClass, AnUnreadableDescriptorLeavesTheDeviceWithoutOne) {
  AddNode("hidraw0", "HID_ID=0003:0000046D:0000C52B\n", nullptr);
  const std::vector<std::uint8_t> cutShort = {0x06, 0x00};
  AddNode("hidraw1", "HID_ID=0003:0000046D:0000C52B\n", &cutShort);
  for (const char* node : {"hidraw0", "hidraw1"}) {
    const auto info = DescribeHidrawNode(folder_, node);
    ASSERT_TRUE(info) << node;
    EXPECT_EQ(info->attributes.vendorId, 0x046D);
    EXPECT_FALSE(info->descriptor) << node;
  }
}

// The node links to its HID device, whose name is new with every plug.
TEST_F(FakeHidrawClass, TheInstanceIsTheHidDeviceBehindTheNode) {
  const auto hid = folder_ / "devices" / "0003:FFFE:0003.0007";
  std::filesystem::create_directories(hid);
  std::ofstream(hid / "uevent") << "HID_ID=0003:0000FFFE:00000003\n";
  std::filesystem::create_directories(folder_ / "hidraw2");
  std::filesystem::create_directory_symlink(hid, folder_ / "hidraw2" / "device");
  const auto info = DescribeHidrawNode(folder_, "hidraw2");
  ASSERT_TRUE(info);
  EXPECT_EQ(info->instance, "0003:FFFE:0003.0007");
}

}  // namespace
}  // namespace platform::detail
