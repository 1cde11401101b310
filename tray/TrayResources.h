#pragma once

// The tray's resources, declared in code at its start: its strings in six languages, its two
// dialogs, its icons, messages and commands.

#include <cstdint>

#include "platform/base/Language.h"
#include "platform/user/Messages.h"

inline constexpr std::uint32_t IDD_ABOUTBOX = 100;
inline constexpr std::uint32_t IDD_MAINDLG = 129;
inline constexpr std::uint32_t IDR_MAINFRAME = 204;
inline constexpr std::uint32_t IDI_SERVICE_RUNNING = 202;
inline constexpr std::uint32_t IDI_SERVICE_STOPPED = 203;

inline constexpr std::uint32_t IDS_PRODUCT = 101;
inline constexpr std::uint32_t IDS_ABOUT_TEXT = 102;
inline constexpr std::uint32_t IDS_HELP_ADDRESS = 103;
inline constexpr std::uint32_t IDS_MENU_ABOUT = 207;
inline constexpr std::uint32_t IDS_MENU_HELP = 208;
inline constexpr std::uint32_t IDS_MENU_START = 209;
inline constexpr std::uint32_t IDS_MENU_STOP = 210;
inline constexpr std::uint32_t IDS_MENU_RESTART = 211;

inline constexpr UINT WM_SERVICE_RUNNING = 0x800C;
inline constexpr UINT WM_SERVICE_STOPPED = 0x800D;
inline constexpr UINT WM_TRAY_NOTIFY = 0x800E;
inline constexpr UINT WM_TRAY_STOP = 0x800F;
// The second word of WM_TRAY_NOTIFY that asks for the icon to be drawn again.
inline constexpr LPARAM kTrayRefresh = 0x8065;

inline constexpr UINT ID_SERVICE_START = 0x8004;
inline constexpr UINT ID_HELP = 0x8005;
inline constexpr UINT ID_ABOUT = 0x8006;
inline constexpr UINT ID_SERVICE_STOP = 0x8007;
inline constexpr UINT ID_SERVICE_RESTART = 0x8009;
inline constexpr UINT ID_APP_ABOUT = 0xE140;

inline constexpr UINT kTrayIconId = 1;

// The tray's exit codes besides a dialog's own.
inline constexpr int kExitAnotherTrayRuns = 9;
inline constexpr int kExitShutdownRequested = 22;

// The language whose texts the tray shows: the primary language of the user's interface language
// when the tray has texts of its own for it (German 7, English 9, Spanish 10, French 12, Japanese
// 17), else 0, which holds the English texts.
platform::LanguageId TrayLanguage(platform::LanguageId p_nUserLanguage);

// Declares the strings and dialogs; before the tray's first window.
void DeclareTrayResources();
