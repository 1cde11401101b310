#pragma once

// Text in the system's two widths: UTF-16 on char16_t (never wchar_t, which is 32-bit here) and
// 8-bit text in the process's ANSI code page.

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// The ANSI code pages the system meets: Western European and Japanese.
enum class AnsiCodePage : unsigned { Western = 1252, Japanese = 932 };

// The process's ANSI code page: PLATFORM_ANSI_CODEPAGE ("1252" or "932") when the process starts,
// 1252 otherwise. Any thread may read it; tests change it with SetAnsiCodePage.
AnsiCodePage GetAnsiCodePage() noexcept;
void SetAnsiCodePage(AnsiCodePage codePage) noexcept;

// Conversions as the platform's default conversion makes them: a zero character ends the text, a
// character the code page cannot show becomes the code page's default character '?'.
std::string ToAnsi(std::u16string_view text);
std::string ToAnsi(std::u16string_view text, AnsiCodePage codePage);
std::u16string FromAnsi(std::string_view text);
std::u16string FromAnsi(std::string_view text, AnsiCodePage codePage);

// UTF-8, for what Linux itself reads: file names, the terminal.
std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

// Length of a zero-terminated text; a null pointer has length 0.
std::size_t TextLength(const char16_t* text) noexcept;
std::size_t TextLength(const char* text) noexcept;

}  // namespace platform
