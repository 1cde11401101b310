#include "service/device/FirmwareImage.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <utility>

namespace {

constexpr std::uint8_t kDataRecord = 0;
constexpr std::uint8_t kEndOfFileRecord = 1;
constexpr std::uint8_t kExtendedSegmentRecord = 2;
constexpr std::uint8_t kStartSegmentRecord = 3;
constexpr std::uint8_t kExtendedLinearRecord = 4;
constexpr std::uint8_t kStartLinearRecord = 5;
// ':', count, address, type and checksum around the data.
constexpr std::size_t kRecordFrame = 11;

std::optional<std::uint8_t> HexDigit(char p_ch) {
  if (p_ch >= '0' && p_ch <= '9') {
    return static_cast<std::uint8_t>(p_ch - '0');
  }
  if (p_ch >= 'A' && p_ch <= 'F') {
    return static_cast<std::uint8_t>(p_ch - 'A' + 10);
  }
  if (p_ch >= 'a' && p_ch <= 'f') {
    return static_cast<std::uint8_t>(p_ch - 'a' + 10);
  }
  return std::nullopt;
}

// One record of a line, checked whole.
struct Record {
  std::uint8_t m_byType = 0;
  std::uint16_t m_nAddress = 0;
  std::vector<std::uint8_t> m_Data;
};

// The record of a line, or why it is none.
std::optional<Record> ParseRecord(std::string_view p_Line, std::string& p_Error) {
  if (p_Line.front() != ':') {
    p_Error = "the line does not start with ':'";
    return std::nullopt;
  }
  const std::size_t l_nHexDigits = p_Line.size() - 1;
  if (l_nHexDigits % 2 != 0 || p_Line.size() < kRecordFrame) {
    p_Error = "the line is not a whole record";
    return std::nullopt;
  }
  std::vector<std::uint8_t> l_Bytes;
  for (std::size_t i = 1; i < p_Line.size(); i += 2) {
    const auto l_byByte = ParseHex2(p_Line.substr(i, 2));
    if (!l_byByte) {
      p_Error = "the line holds a character that is no hex digit";
      return std::nullopt;
    }
    l_Bytes.push_back(*l_byByte);
  }
  if (p_Line.size() != kRecordFrame + 2 * std::size_t{l_Bytes[0]}) {
    p_Error = "the line's length does not match its byte count";
    return std::nullopt;
  }
  std::uint8_t l_bySum = 0;
  for (const std::uint8_t l_by : l_Bytes) {
    l_bySum = static_cast<std::uint8_t>(l_bySum + l_by);
  }
  if (l_bySum != 0) {
    p_Error = "the checksum does not match";
    return std::nullopt;
  }
  Record l_Record;
  l_Record.m_nAddress = *ParseHex4(p_Line.substr(3, 4));
  l_Record.m_byType = l_Bytes[3];
  l_Record.m_Data.assign(l_Bytes.begin() + 4, l_Bytes.end() - 1);
  return l_Record;
}

std::string_view NextLine(std::string_view& p_Text) {
  const std::size_t l_nEnd = p_Text.find('\n');
  std::string_view l_Line = p_Text.substr(0, l_nEnd);
  p_Text.remove_prefix(l_nEnd == std::string_view::npos ? p_Text.size() : l_nEnd + 1);
  if (l_Line.ends_with('\r')) {
    l_Line.remove_suffix(1);
  }
  return l_Line;
}

}  // namespace

std::optional<std::uint8_t> ParseHex2(std::string_view p_Digits) {
  if (p_Digits.size() != 2) {
    return std::nullopt;
  }
  const auto l_byHigh = HexDigit(p_Digits[0]);
  const auto l_byLow = HexDigit(p_Digits[1]);
  if (!l_byHigh || !l_byLow) {
    return std::nullopt;
  }
  return static_cast<std::uint8_t>(*l_byHigh << 4 | *l_byLow);
}

std::optional<std::uint16_t> ParseHex4(std::string_view p_Digits) {
  if (p_Digits.size() != 4) {
    return std::nullopt;
  }
  const auto l_byHigh = ParseHex2(p_Digits.substr(0, 2));
  const auto l_byLow = ParseHex2(p_Digits.substr(2, 2));
  if (!l_byHigh || !l_byLow) {
    return std::nullopt;
  }
  return static_cast<std::uint16_t>(*l_byHigh << 8 | *l_byLow);
}

FirmwareImage::FirmwareImage() : m_Bytes(kAddressCount), m_Held(kAddressCount) {}

FirmwareImageRead FirmwareImage::Parse(std::string_view p_Text) {
  FirmwareImage l_Image;
  std::string l_Error;
  for (std::size_t l_nLine = 1; !p_Text.empty(); ++l_nLine) {
    const std::string_view l_Line = NextLine(p_Text);
    if (l_Line.empty()) {
      continue;
    }
    const std::optional<Record> l_Record = ParseRecord(l_Line, l_Error);
    if (l_Record && l_Record->m_byType == kDataRecord) {
      const std::size_t l_nAddress = l_Record->m_nAddress;
      if (l_nAddress + l_Record->m_Data.size() > kAddressCount) {
        l_Error = "the record runs past address 0xFFFF";
      }
      for (std::size_t i = 0; l_Error.empty() && i < l_Record->m_Data.size(); ++i) {
        if (l_Image.m_Held[l_nAddress + i]) {
          l_Error = "the record overlaps an earlier one";
        }
        l_Image.m_Bytes[l_nAddress + i] = l_Record->m_Data[i];
        l_Image.m_Held[l_nAddress + i] = true;
        l_Image.m_nHeldEnd =
            std::max(l_Image.m_nHeldEnd, static_cast<std::uint32_t>(l_nAddress + i + 1));
      }
    } else if (l_Record && l_Record->m_byType == kEndOfFileRecord) {
      break;
    } else if (l_Record && (l_Record->m_byType == kExtendedSegmentRecord ||
                            l_Record->m_byType == kExtendedLinearRecord)) {
      if (l_Record->m_Data.size() != 2 || l_Record->m_Data[0] != 0 || l_Record->m_Data[1] != 0) {
        l_Error = "the record moves the image beyond the device's 16-bit addresses";
      }
    } else if (l_Record && l_Record->m_byType != kStartSegmentRecord &&
               l_Record->m_byType != kStartLinearRecord) {
      l_Error = "the record type is unknown";
    }
    if (!l_Error.empty()) {
      return {std::nullopt, "line " + std::to_string(l_nLine) + ": " + l_Error};
    }
  }
  return {std::move(l_Image), {}};
}

FirmwareImageRead FirmwareImage::ReadFile(const std::filesystem::path& p_Path) {
  std::error_code l_Error;
  const std::uintmax_t l_nSize = std::filesystem::file_size(p_Path, l_Error);
  if (l_Error) {
    return {std::nullopt, p_Path.string() + ": " + l_Error.message()};
  }
  if (l_nSize > kMaxFileBytes) {
    return {std::nullopt, p_Path.string() + ": the file is too large for an image"};
  }
  std::ifstream l_File(p_Path, std::ios::binary);
  std::string l_Text(std::istreambuf_iterator<char>(l_File), {});
  if (!l_File && !l_File.eof()) {
    return {std::nullopt, p_Path.string() + ": the file cannot be read"};
  }
  return Parse(l_Text);
}

bool FirmwareImage::Holds(std::uint32_t p_nAddress) const {
  return p_nAddress < kAddressCount && m_Held[p_nAddress];
}

std::uint8_t FirmwareImage::At(std::uint32_t p_nAddress) const {
  return Holds(p_nAddress) ? m_Bytes[p_nAddress] : 0;
}

std::optional<std::uint32_t> FirmwareImage::NextHeld(std::uint32_t p_nFrom) const {
  for (std::uint32_t l_nAddress = p_nFrom; l_nAddress < m_nHeldEnd; ++l_nAddress) {
    if (m_Held[l_nAddress]) {
      return l_nAddress;
    }
  }
  return std::nullopt;
}
