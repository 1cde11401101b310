// Feeds arbitrary bytes to the report descriptor parser: it must refuse or accept them without
// reading outside them, and what it accepts must hold together.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "platform/hid/HidReportDescriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* p_Data, std::size_t p_nSize) {
  const auto l_Descriptor = platform::HidReportDescriptor::Parse(std::span(p_Data, p_nSize));
  if (!l_Descriptor) {
    return 0;
  }
  for (const auto l_Type : {platform::HidReportType::Input, platform::HidReportType::Output,
                            platform::HidReportType::Feature}) {
    const platform::HidReportCapabilities& l_Report = l_Descriptor->Report(l_Type);
    // Every field lies in a report, and every report fits 16 bits of bytes.
    if (l_Report.byteLength > 0xFFFF ||
        (l_Report.byteLength == 0 && (!l_Report.buttons.empty() || !l_Report.values.empty()))) {
      std::abort();
    }
    for (const auto& l_Value : l_Report.values) {
      if (l_Value.bitSize < 2 || l_Value.bitSize > 32) {
        std::abort();
      }
    }
  }
  return 0;
}
