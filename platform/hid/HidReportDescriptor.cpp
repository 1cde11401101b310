#include "platform/hid/HidReportDescriptor.h"

#include <algorithm>
#include <array>
#include <map>

namespace platform {
namespace {

enum class ItemType : std::uint8_t { Main = 0, Global = 1, Local = 2, Reserved = 3 };

namespace main_tag {
constexpr std::uint8_t kInput = 0x8;
constexpr std::uint8_t kOutput = 0x9;
constexpr std::uint8_t kCollection = 0xA;
constexpr std::uint8_t kFeature = 0xB;
constexpr std::uint8_t kEndCollection = 0xC;
}  // namespace main_tag

namespace global_tag {
constexpr std::uint8_t kUsagePage = 0x0;
constexpr std::uint8_t kLogicalMinimum = 0x1;
constexpr std::uint8_t kLogicalMaximum = 0x2;
constexpr std::uint8_t kReportSize = 0x7;
constexpr std::uint8_t kReportId = 0x8;
constexpr std::uint8_t kReportCount = 0x9;
constexpr std::uint8_t kPush = 0xA;
constexpr std::uint8_t kPop = 0xB;
}  // namespace global_tag

namespace local_tag {
constexpr std::uint8_t kUsage = 0x0;
constexpr std::uint8_t kUsageMinimum = 0x1;
constexpr std::uint8_t kUsageMaximum = 0x2;
}  // namespace local_tag

constexpr std::uint8_t kLongItemPrefix = 0xFE;
constexpr std::uint32_t kConstantField = 0x1;
constexpr std::uint32_t kVariableField = 0x2;
constexpr std::size_t kMaxPushedStates = 16;
constexpr std::uint32_t kMaxReportSize = 32;
// A report's length, with its identifier byte, must fit 16 bits.
constexpr std::uint64_t kMaxReportBits = (0xFFFFu - 1u) * 8u;

struct GlobalState {
  std::uint16_t usagePage = 0;
  std::int32_t logicalMinimum = 0;
  std::int32_t logicalMaximum = 0;
  std::uint32_t reportSize = 0;
  std::uint32_t reportCount = 0;
  std::uint8_t reportId = 0;
};

struct LocalState {
  std::vector<std::uint32_t> usages;
  std::optional<std::uint32_t> usageMinimum;
  std::optional<std::uint32_t> usageMaximum;
};

struct Item {
  ItemType type;
  std::uint8_t tag;
  std::size_t size;
  std::uint32_t value;  // the data, little-endian, zero-extended
  std::int32_t signedValue() const {
    switch (size) {
      case 1:
        return static_cast<std::int8_t>(value);
      case 2:
        return static_cast<std::int16_t>(value);
      default:
        return static_cast<std::int32_t>(value);
    }
  }
};

// A usage of up to 2 bytes belongs to the current page; one of 4 bytes names its page itself.
std::uint16_t UsageOf(const Item& item) { return static_cast<std::uint16_t>(item.value); }

}  // namespace

std::optional<HidReportDescriptor> HidReportDescriptor::Parse(std::span<const std::uint8_t> bytes) {
  if (bytes.size() > kMaxBytes) {
    return std::nullopt;
  }
  HidReportDescriptor descriptor;
  GlobalState global;
  std::vector<GlobalState> pushed;
  LocalState local;
  std::size_t depth = 0;
  bool topLevelSeen = false;
  std::array<std::map<std::uint8_t, std::uint64_t>, 3> reportBits;

  std::size_t offset = 0;
  while (offset < bytes.size()) {
    const std::uint8_t prefix = bytes[offset++];
    if (prefix == kLongItemPrefix) {
      // Long items carry nothing that the capabilities need.
      if (bytes.size() - offset < 2 || bytes.size() - offset - 2 < bytes[offset]) {
        return std::nullopt;
      }
      offset += 2u + bytes[offset];
      continue;
    }
    constexpr std::array<std::size_t, 4> kSizes{0, 1, 2, 4};
    Item item{static_cast<ItemType>((prefix >> 2) & 0x3), static_cast<std::uint8_t>(prefix >> 4),
              kSizes[prefix & 0x3], 0};
    if (bytes.size() - offset < item.size) {
      return std::nullopt;
    }
    for (std::size_t i = 0; i < item.size; ++i) {
      item.value |= std::uint32_t{bytes[offset + i]} << (8 * i);
    }
    offset += item.size;

    switch (item.type) {
      case ItemType::Main: {
        if (item.tag == main_tag::kCollection) {
          if (depth == 0 && !topLevelSeen) {
            topLevelSeen = true;
            descriptor.usagePage_ = global.usagePage;
            if (!local.usages.empty()) {
              descriptor.usage_ = static_cast<std::uint16_t>(local.usages.front());
            }
          }
          ++depth;
        } else if (item.tag == main_tag::kEndCollection) {
          if (depth == 0) {
            return std::nullopt;
          }
          --depth;
        } else if (item.tag == main_tag::kInput || item.tag == main_tag::kOutput ||
                   item.tag == main_tag::kFeature) {
          const HidReportType type = item.tag == main_tag::kInput    ? HidReportType::Input
                                     : item.tag == main_tag::kOutput ? HidReportType::Output
                                                                     : HidReportType::Feature;
          const std::size_t index = static_cast<std::size_t>(type);
          std::uint64_t& bits = reportBits[index][global.reportId];
          bits += std::uint64_t{global.reportSize} * global.reportCount;
          if (bits > kMaxReportBits) {
            return std::nullopt;
          }
          if ((item.value & kConstantField) == 0 && global.reportSize != 0 &&
              global.reportCount != 0) {
            const auto first = static_cast<std::uint16_t>(
                local.usageMinimum ? *local.usageMinimum
                                   : (local.usages.empty() ? 0 : local.usages.front()));
            const auto last = static_cast<std::uint16_t>(
                local.usageMaximum ? *local.usageMaximum
                                   : (local.usages.empty() ? 0 : local.usages.back()));
            HidReportCapabilities& report = descriptor.reports_[index];
            const bool variable = (item.value & kVariableField) != 0;
            if (!variable || global.reportSize == 1) {
              report.buttons.push_back({global.reportId, global.usagePage, first, last});
            } else {
              report.values.push_back({global.reportId, global.usagePage, first, last,
                                       static_cast<std::uint16_t>(global.reportSize),
                                       static_cast<std::uint16_t>(global.reportCount),
                                       global.logicalMinimum, global.logicalMaximum});
            }
          }
        }
        local = {};
        break;
      }
      case ItemType::Global:
        switch (item.tag) {
          case global_tag::kUsagePage:
            global.usagePage = static_cast<std::uint16_t>(item.value);
            break;
          case global_tag::kLogicalMinimum:
            global.logicalMinimum = item.signedValue();
            break;
          case global_tag::kLogicalMaximum:
            global.logicalMaximum = item.signedValue();
            break;
          case global_tag::kReportSize:
            if (item.value > kMaxReportSize) {
              return std::nullopt;
            }
            global.reportSize = item.value;
            break;
          case global_tag::kReportId:
            if (item.value == 0 || item.value > 0xFF) {
              return std::nullopt;
            }
            global.reportId = static_cast<std::uint8_t>(item.value);
            descriptor.usesReportIds_ = true;
            break;
          case global_tag::kReportCount:
            if (item.value > kMaxReportBits) {
              return std::nullopt;
            }
            global.reportCount = item.value;
            break;
          case global_tag::kPush:
            if (pushed.size() == kMaxPushedStates) {
              return std::nullopt;
            }
            pushed.push_back(global);
            break;
          case global_tag::kPop:
            if (pushed.empty()) {
              return std::nullopt;
            }
            global = pushed.back();
            pushed.pop_back();
            break;
          default:
            break;
        }
        break;
      case ItemType::Local:
        switch (item.tag) {
          case local_tag::kUsage:
            if (local.usages.size() < kMaxBytes) {
              local.usages.push_back(UsageOf(item));
            }
            break;
          case local_tag::kUsageMinimum:
            local.usageMinimum = UsageOf(item);
            break;
          case local_tag::kUsageMaximum:
            local.usageMaximum = UsageOf(item);
            break;
          default:
            break;
        }
        break;
      case ItemType::Reserved:
        break;
    }
  }
  if (depth != 0) {
    return std::nullopt;
  }
  for (std::size_t index = 0; index < reportBits.size(); ++index) {
    std::uint64_t longest = 0;
    for (const auto& [reportId, bits] : reportBits[index]) {
      longest = std::max(longest, bits);
    }
    descriptor.reports_[index].byteLength =
        reportBits[index].empty() ? 0 : static_cast<std::size_t>((longest + 7) / 8 + 1);
  }
  return descriptor;
}

}  // namespace platform
