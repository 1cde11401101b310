#include "platform/base/Text.h"

#include <iconv.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/base/NoDestructor.h"

namespace platform {
namespace {

AnsiCodePage CodePageFromEnvironment() noexcept {
  const char* value = std::getenv("PLATFORM_ANSI_CODEPAGE");
  if (value != nullptr && std::strcmp(value, "932") == 0) {
    return AnsiCodePage::Japanese;
  }
  return AnsiCodePage::Western;
}

std::atomic<AnsiCodePage> g_codePage{CodePageFromEnvironment()};

constexpr char kDefaultCharacter = '?';

const char* IconvName(AnsiCodePage codePage) noexcept {
  return codePage == AnsiCodePage::Japanese ? "CP932" : "CP1252";
}

// One iconv conversion descriptor; closed with the object.
class IconvDescriptor {
 public:
  IconvDescriptor(const char* to, const char* from) : m_descriptor(iconv_open(to, from)) {
    if (m_descriptor == reinterpret_cast<iconv_t>(-1)) {
      throw std::runtime_error(std::string("iconv cannot convert from ") + from + " to " + to);
    }
  }
  ~IconvDescriptor() { iconv_close(m_descriptor); }
  IconvDescriptor(const IconvDescriptor&) = delete;
  IconvDescriptor& operator=(const IconvDescriptor&) = delete;

  // Converts one unit of input; false when the input at `in` cannot be converted.
  bool Convert(const char*& in, std::size_t& inLeft, char*& out, std::size_t& outLeft) {
    char* input = const_cast<char*>(in);
    const std::size_t result = iconv(m_descriptor, &input, &inLeft, &out, &outLeft);
    in = input;
    if (result == static_cast<std::size_t>(-1) && errno != E2BIG) {
      iconv(m_descriptor, nullptr, nullptr, nullptr, nullptr);
      return false;
    }
    return true;
  }

 private:
  iconv_t m_descriptor;
};

enum class Direction { ToAnsi, FromAnsi };

// iconv descriptors cannot be shared by two threads at once, and closing one may unload the C
// library's converter module under another thread's feet. So descriptors are leased from a pool
// and never closed: the pool grows to the number of threads that ever converted at once.
class ConverterPool {
 public:
  class Lease {
   public:
    Lease(ConverterPool& pool, std::size_t slot, std::unique_ptr<IconvDescriptor> descriptor)
        : m_pool(pool), m_slot(slot), m_descriptor(std::move(descriptor)) {}
    ~Lease() { m_pool.Return(m_slot, std::move(m_descriptor)); }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    IconvDescriptor& operator*() const noexcept { return *m_descriptor; }

   private:
    ConverterPool& m_pool;
    std::size_t m_slot;
    std::unique_ptr<IconvDescriptor> m_descriptor;
  };

  static ConverterPool& Instance() {
    static NoDestructor<ConverterPool> pool;  // never destroyed: see above
    return *pool;
  }

  Lease Take(AnsiCodePage codePage, Direction direction) {
    const std::size_t slot = (codePage == AnsiCodePage::Japanese ? 2u : 0u) +
                             (direction == Direction::FromAnsi ? 1u : 0u);
    std::lock_guard lock(m_lock);
    std::vector<std::unique_ptr<IconvDescriptor>>& idle = m_idle[slot];
    if (idle.empty()) {
      const char* ansi = IconvName(codePage);
      return Lease(*this, slot,
                   direction == Direction::ToAnsi
                       ? std::make_unique<IconvDescriptor>(ansi, "UTF-16LE")
                       : std::make_unique<IconvDescriptor>("UTF-16LE", ansi));
    }
    std::unique_ptr<IconvDescriptor> descriptor = std::move(idle.back());
    idle.pop_back();
    return Lease(*this, slot, std::move(descriptor));
  }

 private:
  void Return(std::size_t slot, std::unique_ptr<IconvDescriptor> descriptor) {
    std::lock_guard lock(m_lock);
    m_idle[slot].push_back(std::move(descriptor));
  }

  std::mutex m_lock;
  std::array<std::vector<std::unique_ptr<IconvDescriptor>>, 4> m_idle;
};

std::u16string_view UpToZero(std::u16string_view text) noexcept {
  return text.substr(0, text.find(u'\0'));
}

std::string_view UpToZero(std::string_view text) noexcept {
  return text.substr(0, text.find('\0'));
}

bool IsLeadSurrogate(char16_t unit) noexcept { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsTrailSurrogate(char16_t unit) noexcept { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Whether a surrogate pair, one character of two units, starts at `index`.
bool PairAt(std::u16string_view text, std::size_t index) noexcept {
  return IsLeadSurrogate(text[index]) && index + 1 < text.size() &&
         IsTrailSurrogate(text[index + 1]);
}

// The five bytes that code page 1252 leaves undefined; the platform reads each as the C1 control
// of its value, and writes that control as the byte again.
bool IsUndefinedWesternByte(char16_t unit) noexcept {
  return unit == 0x81 || unit == 0x8D || unit == 0x8F || unit == 0x90 || unit == 0x9D;
}

}  // namespace

AnsiCodePage GetAnsiCodePage() noexcept { return g_codePage.load(std::memory_order_relaxed); }

void SetAnsiCodePage(AnsiCodePage codePage) noexcept {
  g_codePage.store(codePage, std::memory_order_relaxed);
}

std::string ToAnsi(std::u16string_view text) { return ToAnsi(text, GetAnsiCodePage()); }

std::string ToAnsi(std::u16string_view text, AnsiCodePage codePage) {
  text = UpToZero(text);
  const ConverterPool::Lease lease = ConverterPool::Instance().Take(codePage, Direction::ToAnsi);
  IconvDescriptor& converter = *lease;
  std::string result;
  // Units are converted one character at a time so that an unmappable one is replaced alone.
  for (std::size_t index = 0; index < text.size();) {
    // A lone surrogate is one unit of its own: the unit after it is converted by itself.
    const std::size_t units = PairAt(text, index) ? 2 : 1;
    char buffer[8];
    const char* in = reinterpret_cast<const char*>(text.data() + index);
    std::size_t inLeft = units * sizeof(char16_t);
    char* out = buffer;
    std::size_t outLeft = sizeof buffer;
    if (converter.Convert(in, inLeft, out, outLeft) && inLeft == 0) {
      result.append(buffer, out);
    } else if (codePage == AnsiCodePage::Western && IsUndefinedWesternByte(text[index])) {
      // Back to the undefined byte that FromAnsi made this C1 control of.
      result.push_back(static_cast<char>(text[index]));
    } else {
      result.push_back(kDefaultCharacter);
    }
    index += units;
  }
  return result;
}

std::u16string FromAnsi(std::string_view text) { return FromAnsi(text, GetAnsiCodePage()); }

std::u16string FromAnsi(std::string_view text, AnsiCodePage codePage) {
  text = UpToZero(text);
  const ConverterPool::Lease lease = ConverterPool::Instance().Take(codePage, Direction::FromAnsi);
  IconvDescriptor& converter = *lease;
  std::u16string result;
  result.reserve(text.size());
  for (std::size_t index = 0; index < text.size();) {
    // A double-byte character of code page 932 takes two bytes; try one byte, then two.
    bool converted = false;
    for (std::size_t bytes = 1; bytes <= 2 && index + bytes <= text.size() && !converted; ++bytes) {
      char16_t buffer[2];
      const char* in = text.data() + index;
      std::size_t inLeft = bytes;
      char* out = reinterpret_cast<char*>(buffer);
      std::size_t outLeft = sizeof buffer;
      if (converter.Convert(in, inLeft, out, outLeft) && inLeft == 0 &&
          out != reinterpret_cast<char*>(buffer)) {
        result.append(buffer, reinterpret_cast<char16_t*>(out));
        index += bytes;
        converted = true;
      }
    }
    if (!converted) {
      const auto byte = static_cast<unsigned char>(text[index]);
      // Code page 1252 leaves five bytes undefined; the platform maps them to the C1 controls.
      result.push_back(codePage == AnsiCodePage::Western
                           ? static_cast<char16_t>(byte)
                           : static_cast<char16_t>(kDefaultCharacter));
      ++index;
    }
  }
  return result;
}

std::string ToUtf8(std::u16string_view text) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t index = 0; index < text.size(); ++index) {
    char32_t code = text[index];
    if (PairAt(text, index)) {
      code = 0x10000 + ((code - 0xD800) << 10) + (text[index + 1] - 0xDC00u);
      ++index;
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = 0xFFFD;
    }
    if (code < 0x80) {
      result.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      result.push_back(static_cast<char>(0xC0 | (code >> 6)));
      result.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      result.push_back(static_cast<char>(0xE0 | (code >> 12)));
      result.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      result.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
      result.push_back(static_cast<char>(0xF0 | (code >> 18)));
      result.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
      result.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      result.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
  }
  return result;
}

std::u16string FromUtf8(std::string_view text) {
  std::u16string result;
  result.reserve(text.size());
  for (std::size_t index = 0; index < text.size();) {
    const auto lead = static_cast<unsigned char>(text[index]);
    const std::size_t length = lead < 0x80           ? 1
                               : (lead >> 5) == 0x6  ? 2
                               : (lead >> 4) == 0xE  ? 3
                               : (lead >> 3) == 0x1E ? 4
                                                     : 0;
    char32_t code = 0xFFFD;
    if (length != 0 && index + length <= text.size()) {
      code = length == 1 ? lead : lead & (0x7Fu >> length);
      for (std::size_t next = 1; next < length; ++next) {
        const auto byte = static_cast<unsigned char>(text[index + next]);
        if ((byte & 0xC0) != 0x80) {
          code = 0xFFFD;
          break;
        }
        code = (code << 6) | (byte & 0x3Fu);
      }
    }
    index += length == 0 || index + length > text.size() ? 1 : length;
    if (code >= 0x10000 && code <= 0x10FFFF) {
      code -= 0x10000;
      result.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      result.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      result.push_back(code > 0xFFFF ? u'\uFFFD' : static_cast<char16_t>(code));
    }
  }
  return result;
}

std::size_t TextLength(const char16_t* text) noexcept {
  return text == nullptr ? 0 : std::char_traits<char16_t>::length(text);
}

std::size_t TextLength(const char* text) noexcept {
  return text == nullptr ? 0 : std::strlen(text);
}

}  // namespace platform
