#pragma once

// Report descriptors for the tests' virtual remotes.

#include <cstdint>
#include <vector>

// One vendor-defined collection with one report identifier: an input field of
// `p_nInputBytes` value bytes (or of one-bit buttons when `p_bInputValues` is false) and an
// output field of `p_nOutputBytes`. The remote itself is report 8, seven bytes in and out.
inline std::vector<std::uint8_t> RemoteDescriptor(std::uint8_t p_byReportId = 8,
                                                  std::uint8_t p_nInputBytes = 7,
                                                  std::uint8_t p_nOutputBytes = 7,
                                                  bool p_bInputValues = true) {
  // Input values are bytes; buttons are bits, eight to a byte.
  const std::uint8_t l_byInputBits = p_bInputValues ? 0x08 : 0x01;
  const auto l_byInputCount =
      static_cast<std::uint8_t>(p_bInputValues ? p_nInputBytes : 8 * p_nInputBytes);
  return {0x06,         0x00,           0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85,
          p_byReportId, 0x15,           0x00, 0x26, 0xFF, 0x00, 0x75, l_byInputBits,
          0x95,         l_byInputCount, 0x09, 0x01, 0x81, 0x02, 0x75, 0x08,
          0x95,         p_nOutputBytes, 0x09, 0x02, 0x91, 0x02, 0xC0};
}
