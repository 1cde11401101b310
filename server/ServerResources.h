#pragma once

// The server's resources, declared in code at its start: its name, the tray's tip and about text,
// the tray icons and the tray menu.

#include <cstdint>

inline constexpr std::uint32_t IDS_TRAY_TIP = 101;
inline constexpr std::uint32_t IDS_ABOUT_TEXT = 102;
inline constexpr std::uint32_t IDI_SERVICE_READY = 203;
inline constexpr std::uint32_t IDI_SERVICE_NOT_READY = 204;
// Submenu 0 while the service does not run, 1 while it does.
inline constexpr std::uint32_t IDR_TRAY_MENU = 201;
inline constexpr std::uint16_t kEnglishUnitedStates = 1033;

// Declares the strings and the menu; before any window of the server is made.
void DeclareServerResources();
