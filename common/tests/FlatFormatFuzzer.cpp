#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "common/DeviceData.h"

// Any bytes, read as a flat record, must stay inside the buffer; what was read must survive a
// round trip with the same number of lines.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const CDeviceData record(std::span<const std::uint8_t>(data, size));
  std::size_t length = 0;
  const auto flat = record.Serialize(length);
  const CDeviceData again(std::span<const std::uint8_t>(flat.get(), length));
  if (again.GetLineCount() != record.GetLineCount() ||
      again.GetSelectedLine() != record.GetSelectedLine()) {
    std::abort();
  }
  return 0;
}
