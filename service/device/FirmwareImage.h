#pragma once

// The remote's firmware image: an Intel HEX text whose data records fill the device's 16-bit
// address space.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The image's name, in the service's current directory.
inline constexpr char kFirmwareImageName[] = "SkelvaneV39.hex";

// Two hex digits, the high one first ("0" to "9", "A" to "F" and "a" to "f"); nothing for any
// other text, a text of another length included.
std::optional<std::uint8_t> ParseHex2(std::string_view p_Digits);
// Four hex digits, the high pair first.
std::optional<std::uint16_t> ParseHex4(std::string_view p_Digits);

struct FirmwareImageRead;

// The image's data bytes by device address; a value type.
class FirmwareImage {
 public:
  static constexpr std::uint32_t kAddressCount = 0x10000;
  // Larger files are refused: a full address space in one-byte records is well below.
  static constexpr std::uintmax_t kMaxFileBytes = 4 << 20;

  // Reads an Intel HEX text, line by line up to its end-of-file record or its end; empty lines
  // are skipped. Each record is ':', its byte count, address and type, the data and a checksum
  // that makes the record's bytes add up to 0, all in hex digits, with nothing before or after.
  // Data records must lie within 16 bits and must not overlap; extended address records must
  // keep the base at 0, the only one the device has; start address records mean nothing to the
  // device and are skipped; other types are refused. Any fault refuses the whole text.
  static FirmwareImageRead Parse(std::string_view p_Text);
  // Reads and parses the file.
  static FirmwareImageRead ReadFile(const std::filesystem::path& p_Path);

  bool Holds(std::uint32_t p_nAddress) const;
  std::uint8_t At(std::uint32_t p_nAddress) const;
  // The lowest address from `p_nFrom` on that holds a byte.
  std::optional<std::uint32_t> NextHeld(std::uint32_t p_nFrom) const;

 private:
  FirmwareImage();

  std::vector<std::uint8_t> m_Bytes;
  std::vector<bool> m_Held;
  // One past the highest address held: the search for the next one ends there, not at 0xFFFF.
  std::uint32_t m_nHeldEnd = 0;
};

struct FirmwareImageRead {
  std::optional<FirmwareImage> m_Image;
  // Why there is no image, such as "line 3: the checksum does not match".
  std::string m_Error;
};
