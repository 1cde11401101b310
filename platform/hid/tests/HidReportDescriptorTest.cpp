#include "platform/hid/HidReportDescriptor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace platform {
namespace {

using Bytes = std::vector<std::uint8_t>;
using ::testing::ElementsAre;

// A vendor-defined device with numbered reports: input 8 of seven bytes and a one-bit button
// field, output 8 of seven bytes, feature 9 of two bytes.
const Bytes kNumbered = {
    0x06, 0x00, 0xFF,  // usage page 0xFF00
    0x09, 0x01,        // usage 1
    0xA1, 0x01,        // collection (application)
    0x85, 0x08,        //   report id 8
    0x15, 0x00,        //   logical minimum 0
    0x26, 0xFF, 0x00,  //   logical maximum 255
    0x75, 0x08,        //   report size 8
    0x95, 0x07,        //   report count 7
    0x09, 0x02,        //   usage 2
    0x81, 0x02,        //   input (data, variable)
    0x75, 0x01,        //   report size 1
    0x95, 0x08,        //   report count 8
    0x05, 0x09,        //   usage page buttons
    0x19, 0x01,        //   usage minimum 1
    0x29, 0x08,        //   usage maximum 8
    0x81, 0x02,        //   input (data, variable)
    0x06, 0x00, 0xFF,  //   usage page 0xFF00
    0x75, 0x08,        //   report size 8
    0x95, 0x07,        //   report count 7
    0x09, 0x03,        //   usage 3
    0x91, 0x02,        //   output (data, variable)
    0x85, 0x09,        //   report id 9
    0x95, 0x02,        //   report count 2
    0x09, 0x04,        //   usage 4
    0xB1, 0x02,        //   feature (data, variable)
    0xC0,              // end collection
};

TEST(HidReportDescriptorTest, NumberedReportsGiveLengthsWithTheIdentifierAndTheirFields) {
  const auto descriptor = HidReportDescriptor::Parse(kNumbered);
  ASSERT_TRUE(descriptor);
  EXPECT_EQ(descriptor->UsagePage(), 0xFF00);
  EXPECT_EQ(descriptor->Usage(), 1);
  EXPECT_TRUE(descriptor->UsesReportIds());

  const HidReportCapabilities& input = descriptor->Report(HidReportType::Input);
  EXPECT_EQ(input.byteLength, 9u);  // id, seven value bytes, one byte of buttons
  EXPECT_THAT(input.values, ElementsAre(HidValueCapability{8, 0xFF00, 2, 2, 8, 7, 0, 255}));
  EXPECT_THAT(input.buttons, ElementsAre(HidButtonCapability{8, 0x09, 1, 8}));

  const HidReportCapabilities& output = descriptor->Report(HidReportType::Output);
  EXPECT_EQ(output.byteLength, 8u);
  EXPECT_THAT(output.values, ElementsAre(HidValueCapability{8, 0xFF00, 3, 3, 8, 7, 0, 255}));
  EXPECT_TRUE(output.buttons.empty());

  const HidReportCapabilities& feature = descriptor->Report(HidReportType::Feature);
  EXPECT_EQ(feature.byteLength, 3u);
  EXPECT_THAT(feature.values, ElementsAre(HidValueCapability{9, 0xFF00, 4, 4, 8, 2, 0, 255}));
}

TEST(HidReportDescriptorTest, UnnumberedReportsKeepTheZeroIdentifierByte) {
  // A keyboard's shape: eight modifier bits, a constant padding byte, an array of six keys,
  // pushed and popped state, a long item that carries nothing, and no output or feature report.
  const Bytes bytes = {
      0x05, 0x01, 0x09, 0x06, 0xA1, 0x01,                          // generic desktop, keyboard
      0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25, 0x01,  //
      0x75, 0x01, 0x95, 0x08, 0x81, 0x02,                          // modifiers
      0xA4,                                                        // push
      0x75, 0x08, 0x95, 0x01, 0x81, 0x01,                          // padding
      0xB4,                                                        // pop: size 1, count 8 again
      0xFE, 0x02, 0x10, 0xAA, 0xBB,                                // long item
      0x75, 0x08, 0x95, 0x06, 0x26, 0xFF, 0x00, 0x19, 0x00, 0x29, 0xFF,  //
      0x81, 0x00,                                                        // key array
      0xC0,
  };
  const auto descriptor = HidReportDescriptor::Parse(bytes);
  ASSERT_TRUE(descriptor);
  EXPECT_FALSE(descriptor->UsesReportIds());
  const HidReportCapabilities& input = descriptor->Report(HidReportType::Input);
  EXPECT_EQ(input.byteLength, 9u);  // the 0 identifier, modifiers, padding, six keys
  EXPECT_THAT(input.buttons, ElementsAre(HidButtonCapability{0, 0x07, 0xE0, 0xE7},
                                         HidButtonCapability{0, 0x07, 0x00, 0xFF}));
  EXPECT_TRUE(input.values.empty());
  EXPECT_EQ(descriptor->Report(HidReportType::Output).byteLength, 0u);
  EXPECT_EQ(descriptor->Report(HidReportType::Feature).byteLength, 0u);
}

TEST(HidReportDescriptorTest, MalformedDescriptorsAreRefused) {
  const std::vector<std::pair<const char*, Bytes>> cases = {
      {"item cut short", {0x06, 0x00}},
      {"long item cut short", {0xFE, 0x05, 0x10, 0x00}},
      {"pop without push", {0xB4}},
      {"end without collection", {0xC0}},
      {"collection left open", {0x09, 0x01, 0xA1, 0x01}},
      {"report id 0", {0x85, 0x00}},
      {"report size beyond 32 bits", {0x75, 0x21}},
      {"report larger than 16 bits of bytes", {0x75, 0x20, 0x96, 0xFF, 0xFF, 0x81, 0x02}},
  };
  for (const auto& [name, bytes] : cases) {
    EXPECT_FALSE(HidReportDescriptor::Parse(bytes)) << name;
  }
  EXPECT_FALSE(HidReportDescriptor::Parse(Bytes(HidReportDescriptor::kMaxBytes + 1, 0)));
}

}  // namespace
}  // namespace platform
