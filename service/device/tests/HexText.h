#pragma once

// Builds Intel HEX records for the tests' made-up firmware images.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// One record line with its checksum and a line end.
inline std::string HexRecord(std::uint16_t p_nAddress, const std::vector<std::uint8_t>& p_Data,
                             std::uint8_t p_byType = 0) {
  std::vector<std::uint8_t> l_Bytes{static_cast<std::uint8_t>(p_Data.size()),
                                    static_cast<std::uint8_t>(p_nAddress >> 8),
                                    static_cast<std::uint8_t>(p_nAddress), p_byType};
  l_Bytes.insert(l_Bytes.end(), p_Data.begin(), p_Data.end());
  std::uint8_t l_bySum = 0;
  for (const std::uint8_t l_by : l_Bytes) {
    l_bySum = static_cast<std::uint8_t>(l_bySum + l_by);
  }
  l_Bytes.push_back(static_cast<std::uint8_t>(0x100 - l_bySum));
  std::string l_Line = ":";
  for (const std::uint8_t l_by : l_Bytes) {
    char l_Digits[3];
    std::snprintf(l_Digits, sizeof l_Digits, "%02X", l_by);
    l_Line += l_Digits;
  }
  return l_Line + "\n";
}

// `p_nCount` bytes counting up from `p_byFirst`.
inline std::vector<std::uint8_t> Counting(std::uint8_t p_byFirst, std::size_t p_nCount) {
  std::vector<std::uint8_t> l_Bytes;
  for (std::size_t i = 0; i < p_nCount; ++i) {
    l_Bytes.push_back(static_cast<std::uint8_t>(p_byFirst + i));
  }
  return l_Bytes;
}

inline const std::string kHexEndOfFile = ":00000001FF\n";
