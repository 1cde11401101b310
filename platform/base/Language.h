#pragma once

// The user-interface language as the platform's 16-bit language id: the primary language in the
// low ten bits, the region above (0x0409 English (United States), 0x0411 Japanese, ...).

#include <cstdint>
#include <optional>
#include <string_view>

namespace platform {

using LanguageId = std::uint16_t;

inline constexpr LanguageId kLanguageNeutral = 0x0000;
inline constexpr LanguageId kLanguageSystemDefault = 0x0800;
inline constexpr LanguageId kLanguageEnglishUs = 0x0409;

constexpr std::uint16_t PrimaryLanguage(LanguageId id) noexcept { return id & 0x3FFu; }

// The language id of a locale name such as "fr_CA.UTF-8", "ja_JP" or "de"; none for "C", "POSIX"
// or an unknown language.
std::optional<LanguageId> LanguageIdFromLocale(std::string_view locale) noexcept;

// The user-interface language: PLATFORM_UI_LANGUAGE when set (a locale name or a hexadecimal id
// such as "0x0411"), else the first set of LC_ALL, LC_MESSAGES and LANG; English (United States)
// when none names a known language.
LanguageId UserInterfaceLanguage() noexcept;
// The same, by the name the system's code calls it.
inline LanguageId GetUserDefaultUILanguage() noexcept { return UserInterfaceLanguage(); }

}  // namespace platform
