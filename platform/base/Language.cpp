#include "platform/base/Language.h"

#include <array>
#include <cstdlib>
#include <string>

namespace platform {
namespace {

struct LocaleEntry {
  std::string_view language;  // ISO 639-1
  std::string_view region;    // ISO 3166-1, empty for the language's default region
  LanguageId id;
};

constexpr std::array kLocales{
    LocaleEntry{"en", "", 0x0409},   LocaleEntry{"en", "GB", 0x0809},
    LocaleEntry{"en", "AU", 0x0C09}, LocaleEntry{"en", "CA", 0x1009},
    LocaleEntry{"fr", "", 0x040C},   LocaleEntry{"fr", "BE", 0x080C},
    LocaleEntry{"fr", "CA", 0x0C0C}, LocaleEntry{"fr", "CH", 0x100C},
    LocaleEntry{"de", "", 0x0407},   LocaleEntry{"de", "CH", 0x0807},
    LocaleEntry{"de", "AT", 0x0C07}, LocaleEntry{"es", "", 0x0C0A},
    LocaleEntry{"es", "MX", 0x080A}, LocaleEntry{"ja", "", 0x0411},
    LocaleEntry{"it", "", 0x0410},   LocaleEntry{"pt", "", 0x0816},
    LocaleEntry{"pt", "BR", 0x0416}, LocaleEntry{"zh", "", 0x0804},
    LocaleEntry{"zh", "TW", 0x0404}, LocaleEntry{"nl", "", 0x0413},
    LocaleEntry{"sv", "", 0x041D},   LocaleEntry{"da", "", 0x0406},
    LocaleEntry{"fi", "", 0x040B},   LocaleEntry{"nb", "", 0x0414},
    LocaleEntry{"pl", "", 0x0415},   LocaleEntry{"ru", "", 0x0419},
    LocaleEntry{"ko", "", 0x0412},   LocaleEntry{"cs", "", 0x0405},
    LocaleEntry{"hu", "", 0x040E},   LocaleEntry{"tr", "", 0x041F},
    LocaleEntry{"el", "", 0x0408},
};

std::optional<LanguageId> ParseHexId(std::string_view text) noexcept {
  if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) {
    return std::nullopt;
  }
  const std::string digits(text.substr(2));
  char* end = nullptr;
  const unsigned long value = std::strtoul(digits.c_str(), &end, 16);
  if (end == digits.c_str() || *end != '\0' || value > 0xFFFF) {
    return std::nullopt;
  }
  return static_cast<LanguageId>(value);
}

const char* NonEmptyVariable(const char* name) noexcept {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

}  // namespace

std::optional<LanguageId> LanguageIdFromLocale(std::string_view locale) noexcept {
  locale = locale.substr(0, locale.find_first_of(".@"));
  const std::size_t separator = locale.find_first_of("_-");
  const std::string_view language = locale.substr(0, separator);
  const std::string_view region =
      separator == std::string_view::npos ? std::string_view() : locale.substr(separator + 1);
  std::optional<LanguageId> byLanguage;
  for (const LocaleEntry& entry : kLocales) {
    if (entry.language != language) {
      continue;
    }
    if (!region.empty() && entry.region == region) {
      return entry.id;
    }
    if (entry.region.empty()) {
      byLanguage = entry.id;
    }
  }
  return byLanguage;
}

LanguageId UserInterfaceLanguage() noexcept {
  if (const char* value = NonEmptyVariable("PLATFORM_UI_LANGUAGE")) {
    if (const auto id = ParseHexId(value)) {
      return *id;
    }
    if (const auto id = LanguageIdFromLocale(value)) {
      return *id;
    }
  }
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    if (const char* value = NonEmptyVariable(name)) {
      // The first variable that is set decides, as the C library's own lookup does.
      return LanguageIdFromLocale(value).value_or(kLanguageEnglishUs);
    }
  }
  return kLanguageEnglishUs;
}

}  // namespace platform
