#pragma once

// printf-style formatting with the conventions the system's format texts assume: in a UTF-16
// format %s takes a UTF-16 text and %S an 8-bit one; in an 8-bit format the other way round. The
// arguments are typed, so a text of the other width is converted through the ANSI code page
// instead of being misread. Conversions: %d %i %u %x %X %o %c %C %s %S %%, with the flags
// - + 0 blank #, a width and a precision (digits or *), and the length modifiers h hh l ll I64
// I32 z j t. Without a 64-bit modifier an integer is read as 32 bits, as the format texts expect
// of HRESULTs and DWORDs. A missing argument reads as 0 or an empty text.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

class _bstr_t;

namespace platform {

class FormatArg {
 public:
  enum class Kind { Signed, Unsigned, Wide, Narrow };

  template <class T>
  requires(std::is_integral_v<T> || std::is_enum_v<T>) FormatArg(T value)
  noexcept {  // NOLINT(google-explicit-constructor): arguments convert implicitly
    using Underlying = decltype(Promote(value));
    if constexpr (std::is_signed_v<Underlying>) {
      m_kind = Kind::Signed;
      m_signed = static_cast<std::int64_t>(Promote(value));
    } else {
      m_kind = Kind::Unsigned;
      m_unsigned = static_cast<std::uint64_t>(Promote(value));
    }
  }
  FormatArg(const char16_t* text) noexcept : m_kind(Kind::Wide), m_wide(text) {}  // NOLINT
  FormatArg(const char* text) noexcept : m_kind(Kind::Narrow), m_narrow(text) {}  // NOLINT
  FormatArg(const std::u16string& text) noexcept : FormatArg(text.c_str()) {}     // NOLINT
  FormatArg(const std::string& text) noexcept : FormatArg(text.c_str()) {}        // NOLINT
  FormatArg(const _bstr_t& text) noexcept;                                        // NOLINT

  Kind kind() const noexcept { return m_kind; }
  std::int64_t AsSigned() const noexcept;
  std::uint64_t AsUnsigned() const noexcept;
  const char16_t* AsWide() const noexcept { return m_kind == Kind::Wide ? m_wide : nullptr; }
  const char* AsNarrow() const noexcept { return m_kind == Kind::Narrow ? m_narrow : nullptr; }

 private:
  template <class T>
  static auto Promote(T value) noexcept {
    if constexpr (std::is_enum_v<T>) {
      return static_cast<std::underlying_type_t<T>>(value);
    } else {
      return value;
    }
  }

  Kind m_kind;
  union {
    std::int64_t m_signed;
    std::uint64_t m_unsigned;
    const char16_t* m_wide;
    const char* m_narrow;
  };
};

std::u16string FormatText(std::u16string_view format, std::span<const FormatArg> args);
std::string FormatText(std::string_view format, std::span<const FormatArg> args);

template <class... Args>
std::u16string Format(std::u16string_view format, const Args&... args) {
  const FormatArg packed[] = {FormatArg(args)..., FormatArg(0)};
  return FormatText(format, std::span(packed, sizeof...(Args)));
}

template <class... Args>
std::string Format(std::string_view format, const Args&... args) {
  const FormatArg packed[] = {FormatArg(args)..., FormatArg(0)};
  return FormatText(format, std::span(packed, sizeof...(Args)));
}

}  // namespace platform
