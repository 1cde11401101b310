#pragma once

// A HID report descriptor read into what the device's users need: per report type the fields
// that carry buttons and values, with their report identifiers, and the longest report's length.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace platform {

enum class HidReportType { Input, Output, Feature };

// A field of one-bit variables or of array selectors: buttons with a range of usages.
struct HidButtonCapability {
  std::uint8_t reportId = 0;
  std::uint16_t usagePage = 0;
  std::uint16_t usageMinimum = 0;
  std::uint16_t usageMaximum = 0;
  bool operator==(const HidButtonCapability&) const = default;
};

// A field of values wider than one bit.
struct HidValueCapability {
  std::uint8_t reportId = 0;
  std::uint16_t usagePage = 0;
  std::uint16_t usageMinimum = 0;
  std::uint16_t usageMaximum = 0;
  std::uint16_t bitSize = 0;
  std::uint16_t reportCount = 0;
  std::int32_t logicalMinimum = 0;
  std::int32_t logicalMaximum = 0;
  bool operator==(const HidValueCapability&) const = default;
};

struct HidReportCapabilities {
  // The longest report of this type in bytes, its report identifier byte included (a device
  // without identifiers still has the byte, as 0); 0 when the device has no such report.
  std::size_t byteLength = 0;
  std::vector<HidButtonCapability> buttons;
  std::vector<HidValueCapability> values;
};

// The parsed descriptor; a value type.
class HidReportDescriptor {
 public:
  // Longer descriptors are refused; the largest one a device can report is 4096 bytes.
  static constexpr std::size_t kMaxBytes = 4096;

  // Nothing for a descriptor that is cut short, too long, pops more states than it pushed, ends
  // more collections than it began, leaves one open, or declares fields larger than a report can
  // be.
  static std::optional<HidReportDescriptor> Parse(std::span<const std::uint8_t> bytes);

  // The first top-level collection's usage.
  std::uint16_t UsagePage() const noexcept { return usagePage_; }
  std::uint16_t Usage() const noexcept { return usage_; }
  // Reports carry an identifier of 1 to 255 in front; otherwise their identifier is 0.
  bool UsesReportIds() const noexcept { return usesReportIds_; }
  const HidReportCapabilities& Report(HidReportType type) const noexcept {
    return reports_[static_cast<std::size_t>(type)];
  }

 private:
  HidReportDescriptor() = default;

  std::uint16_t usagePage_ = 0;
  std::uint16_t usage_ = 0;
  bool usesReportIds_ = false;
  HidReportCapabilities reports_[3];
};

}  // namespace platform
