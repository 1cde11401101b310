#pragma once

// GUIDs: the 128-bit identifiers of interfaces and classes, with their "{...}" text form.

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/Bstr.h"
#include "platform/base/Status.h"

struct GUID {
  std::uint32_t Data1 = 0;
  std::uint16_t Data2 = 0;
  std::uint16_t Data3 = 0;
  std::array<std::uint8_t, 8> Data4{};

  friend constexpr bool operator==(const GUID&, const GUID&) = default;
  friend constexpr auto operator<=>(const GUID&, const GUID&) = default;
};

using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
using REFGUID = const GUID&;

inline constexpr IID IID_NULL{};

namespace platform {

namespace detail {

constexpr int HexDigit(char16_t c) noexcept {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Reads `count` hex digits at `at`; nullopt when any is not a digit.
constexpr std::optional<std::uint32_t> HexField(std::u16string_view text, std::size_t at,
                                                std::size_t count) noexcept {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const int digit = HexDigit(text[at + i]);
    if (digit < 0) return std::nullopt;
    value = value * 16u + static_cast<std::uint32_t>(digit);
  }
  return value;
}

}  // namespace detail

// Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (hex digits in either case, braces required).
constexpr std::optional<GUID> ParseGuid(std::u16string_view text) noexcept {
  if (text.size() != 38 || text.front() != u'{' || text.back() != u'}' || text[9] != u'-' ||
      text[14] != u'-' || text[19] != u'-' || text[24] != u'-') {
    return std::nullopt;
  }
  const auto data1 = detail::HexField(text, 1, 8);
  const auto data2 = detail::HexField(text, 10, 4);
  const auto data3 = detail::HexField(text, 15, 4);
  if (!data1 || !data2 || !data3) return std::nullopt;
  GUID guid{*data1, static_cast<std::uint16_t>(*data2), static_cast<std::uint16_t>(*data3), {}};
  constexpr std::array<std::size_t, 8> positions{20, 22, 25, 27, 29, 31, 33, 35};
  for (std::size_t i = 0; i < positions.size(); ++i) {
    const auto byte = detail::HexField(text, positions[i], 2);
    if (!byte) return std::nullopt;
    guid.Data4[i] = static_cast<std::uint8_t>(*byte);
  }
  return guid;
}

// A GUID written in the source as its text; a malformed text does not compile.
consteval GUID GuidLiteral(const char16_t* text) {
  const auto guid = ParseGuid(std::u16string_view(text));
  if (!guid) throw "malformed GUID literal";
  return *guid;
}

// The "{...}" form with upper-case hex digits.
std::u16string FormatGuid(const GUID& guid);

}  // namespace platform

// Parses the "{...}" form into `*result`: S_OK, E_INVALIDARG for a malformed text, E_POINTER for a
// missing argument.
HRESULT IIDFromString(const OLECHAR* text, IID* result) noexcept;
HRESULT CLSIDFromString(const OLECHAR* text, CLSID* result) noexcept;
