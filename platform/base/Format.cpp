#include "platform/base/Format.h"

#include "platform/base/Text.h"

namespace platform {

std::int64_t FormatArg::AsSigned() const noexcept {
  switch (m_kind) {
    case Kind::Signed:
      return m_signed;
    case Kind::Unsigned:
      return static_cast<std::int64_t>(m_unsigned);
    case Kind::Wide:
    case Kind::Narrow:
      break;
  }
  return 0;
}

std::uint64_t FormatArg::AsUnsigned() const noexcept {
  return static_cast<std::uint64_t>(AsSigned());
}

namespace {

struct Conversion {
  bool leftAlign = false;
  bool plusSign = false;
  bool blankSign = false;
  bool zeroPad = false;
  bool alternate = false;
  int width = 0;
  int precision = -1;
  int bits = 32;
  char type = 0;
};

// Reads the arguments in order; a missing one reads as 0.
class ArgumentReader {
 public:
  explicit ArgumentReader(std::span<const FormatArg> args) : m_args(args) {}
  const FormatArg& Next() noexcept {
    static const FormatArg missing(0);
    return m_next < m_args.size() ? m_args[m_next++] : missing;
  }

 private:
  std::span<const FormatArg> m_args;
  std::size_t m_next = 0;
};

template <class CharT>
std::basic_string<CharT> WidenOrNarrow(const FormatArg& arg) {
  if constexpr (std::is_same_v<CharT, char16_t>) {
    if (arg.kind() == FormatArg::Kind::Narrow) {
      return arg.AsNarrow() == nullptr ? u"(null)" : FromAnsi(arg.AsNarrow());
    }
    return arg.AsWide() == nullptr ? u"(null)" : std::u16string(arg.AsWide());
  } else {
    if (arg.kind() == FormatArg::Kind::Wide) {
      return arg.AsWide() == nullptr ? "(null)" : ToAnsi(arg.AsWide());
    }
    return arg.AsNarrow() == nullptr ? "(null)" : std::string(arg.AsNarrow());
  }
}

template <class CharT>
void Pad(std::basic_string<CharT>& out, int count, CharT fill) {
  if (count > 0) {
    out.append(static_cast<std::size_t>(count), fill);
  }
}

template <class CharT>
void AppendAligned(std::basic_string<CharT>& out, const Conversion& conversion,
                   std::basic_string_view<CharT> prefix, std::basic_string_view<CharT> body,
                   bool zeroPadAllowed) {
  const int length = static_cast<int>(prefix.size() + body.size());
  const int padding = conversion.width - length;
  if (conversion.leftAlign) {
    out.append(prefix);
    out.append(body);
    Pad(out, padding, CharT(' '));
  } else if (conversion.zeroPad && zeroPadAllowed) {
    out.append(prefix);
    Pad(out, padding, CharT('0'));
    out.append(body);
  } else {
    Pad(out, padding, CharT(' '));
    out.append(prefix);
    out.append(body);
  }
}

template <class CharT>
void AppendInteger(std::basic_string<CharT>& out, const Conversion& conversion,
                   const FormatArg& arg) {
  const bool isSigned = conversion.type == 'd' || conversion.type == 'i';
  bool negative = false;
  std::uint64_t magnitude = 0;
  if (isSigned) {
    std::int64_t value = arg.AsSigned();
    if (conversion.bits == 32) {
      value = static_cast<std::int32_t>(value);
    } else if (conversion.bits == 16) {
      value = static_cast<std::int16_t>(value);
    } else if (conversion.bits == 8) {
      value = static_cast<std::int8_t>(value);
    }
    negative = value < 0;
    magnitude =
        negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  } else {
    magnitude = arg.AsUnsigned();
    if (conversion.bits < 64) {
      magnitude &= (std::uint64_t{1} << conversion.bits) - 1;
    }
  }

  const unsigned base = conversion.type == 'x' || conversion.type == 'X' ? 16
                        : conversion.type == 'o'                         ? 8
                                                                         : 10;
  const char* digits = conversion.type == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
  std::basic_string<CharT> body;
  for (std::uint64_t rest = magnitude; rest != 0; rest /= base) {
    body.insert(body.begin(), CharT(digits[rest % base]));
  }
  const int minimumDigits = conversion.precision < 0 ? 1 : conversion.precision;
  if (static_cast<int>(body.size()) < minimumDigits) {
    body.insert(0, static_cast<std::size_t>(minimumDigits) - body.size(), CharT('0'));
  }

  std::basic_string<CharT> prefix;
  if (negative) {
    prefix.push_back(CharT('-'));
  } else if (isSigned && conversion.plusSign) {
    prefix.push_back(CharT('+'));
  } else if (isSigned && conversion.blankSign) {
    prefix.push_back(CharT(' '));
  }
  if (conversion.alternate && magnitude != 0 && base == 16) {
    prefix.push_back(CharT('0'));
    prefix.push_back(CharT(conversion.type));
  } else if (conversion.alternate && base == 8 && body.front() != CharT('0')) {
    body.insert(body.begin(), CharT('0'));
  }
  // A precision turns the 0 flag off, as printf does.
  AppendAligned<CharT>(out, conversion, prefix, body, conversion.precision < 0);
}

template <class CharT>
void AppendText(std::basic_string<CharT>& out, const Conversion& conversion, const FormatArg& arg) {
  std::basic_string<CharT> text = WidenOrNarrow<CharT>(arg);
  if (conversion.precision >= 0 && static_cast<std::size_t>(conversion.precision) < text.size()) {
    text.resize(static_cast<std::size_t>(conversion.precision));
  }
  AppendAligned<CharT>(out, conversion, {}, text, false);
}

template <class CharT>
void AppendCharacter(std::basic_string<CharT>& out, const Conversion& conversion,
                     const FormatArg& arg) {
  const auto code = arg.AsUnsigned();
  const bool otherWidth = conversion.type == 'C';
  CharT character{};
  if constexpr (std::is_same_v<CharT, char16_t>) {
    if (otherWidth) {
      const char narrow[2] = {static_cast<char>(code), 0};
      const std::u16string wide = FromAnsi(narrow);
      character = wide.empty() ? u'\0' : wide.front();
    } else {
      character = static_cast<char16_t>(code);
    }
  } else {
    if (otherWidth) {
      const char16_t wide[2] = {static_cast<char16_t>(code), 0};
      const std::string narrow = ToAnsi(wide);
      character = narrow.empty() ? '\0' : narrow.front();
    } else {
      character = static_cast<char>(code);
    }
  }
  const CharT body[1] = {character};
  AppendAligned<CharT>(out, conversion, {}, std::basic_string_view<CharT>(body, 1), false);
}

template <class CharT>
int ReadNumber(std::basic_string_view<CharT> format, std::size_t& index) {
  int value = 0;
  while (index < format.size() && format[index] >= CharT('0') && format[index] <= CharT('9')) {
    value = value * 10 + static_cast<int>(format[index] - CharT('0'));
    ++index;
  }
  return value;
}

template <class CharT>
bool Matches(std::basic_string_view<CharT> format, std::size_t index, std::string_view word) {
  if (index + word.size() > format.size()) {
    return false;
  }
  for (std::size_t offset = 0; offset < word.size(); ++offset) {
    if (format[index + offset] != CharT(word[offset])) {
      return false;
    }
  }
  return true;
}

template <class CharT>
std::basic_string<CharT> FormatAny(std::basic_string_view<CharT> format,
                                   std::span<const FormatArg> args) {
  std::basic_string<CharT> out;
  ArgumentReader reader(args);
  std::size_t index = 0;
  while (index < format.size()) {
    const CharT current = format[index++];
    if (current != CharT('%')) {
      out.push_back(current);
      continue;
    }
    const std::size_t start = index - 1;
    Conversion conversion;
    for (bool flag = true; flag && index < format.size();) {
      switch (static_cast<char>(format[index])) {
        case '-':
          conversion.leftAlign = true;
          break;
        case '+':
          conversion.plusSign = true;
          break;
        case ' ':
          conversion.blankSign = true;
          break;
        case '0':
          conversion.zeroPad = true;
          break;
        case '#':
          conversion.alternate = true;
          break;
        default:
          flag = false;
          continue;
      }
      ++index;
    }
    if (index < format.size() && format[index] == CharT('*')) {
      ++index;
      conversion.width = static_cast<int>(reader.Next().AsSigned());
      if (conversion.width < 0) {
        conversion.leftAlign = true;
        conversion.width = -conversion.width;
      }
    } else {
      conversion.width = ReadNumber(format, index);
    }
    if (index < format.size() && format[index] == CharT('.')) {
      ++index;
      if (index < format.size() && format[index] == CharT('*')) {
        ++index;
        const auto precision = static_cast<int>(reader.Next().AsSigned());
        conversion.precision = precision < 0 ? -1 : precision;
      } else {
        conversion.precision = ReadNumber(format, index);
      }
    }
    if (Matches(format, index, "I64") || Matches(format, index, "ll")) {
      conversion.bits = 64;
      index += Matches(format, index, "ll") ? 2u : 3u;
    } else if (Matches(format, index, "I32")) {
      index += 3;
    } else if (Matches(format, index, "hh")) {
      conversion.bits = 8;
      index += 2;
    } else if (index < format.size()) {
      switch (static_cast<char>(format[index])) {
        case 'h':
          conversion.bits = 16;
          ++index;
          break;
        case 'l':
          ++index;
          break;
        case 'z':
        case 'j':
        case 't':
          conversion.bits = 64;
          ++index;
          break;
        default:
          break;
      }
    }
    if (index >= format.size()) {
      out.append(format.substr(start));  // a cut-off conversion stands as written
      break;
    }
    conversion.type = static_cast<char>(format[index++]);
    switch (conversion.type) {
      case 'd':
      case 'i':
      case 'u':
      case 'x':
      case 'X':
      case 'o':
        AppendInteger(out, conversion, reader.Next());
        break;
      case 's':
      case 'S':
        AppendText(out, conversion, reader.Next());
        break;
      case 'c':
      case 'C':
        AppendCharacter(out, conversion, reader.Next());
        break;
      case '%':
        out.push_back(CharT('%'));
        break;
      default:
        out.append(format.substr(start, index - start));  // unknown conversions stand as written
        break;
    }
  }
  return out;
}

}  // namespace

std::u16string FormatText(std::u16string_view format, std::span<const FormatArg> args) {
  return FormatAny(format, args);
}

std::string FormatText(std::string_view format, std::span<const FormatArg> args) {
  return FormatAny(format, args);
}

}  // namespace platform
