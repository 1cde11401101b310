#pragma once

// Drennick's resources, declared in code at its start: its title and window class, its menu,
// accelerators and about dialog, and its window's messages and commands.

#include <cstdint>

#include "platform/user/Messages.h"

inline constexpr std::uint32_t IDD_PROXY_ABOUTBOX = 103;
inline constexpr std::uint32_t IDS_APP_TITLE = 103;
inline constexpr std::uint32_t IDC_DRENNICK = 109;  // the class name, menu and accelerators
inline constexpr std::uint32_t IDI_DRENNICK = 107;

inline constexpr UINT IDM_ABOUT = 104;
inline constexpr UINT IDM_EXIT = 105;
inline constexpr UINT IDM_START = 0x8006;
inline constexpr UINT IDM_STOP = 0x8007;
inline constexpr UINT IDM_RESTART = 0x8008;

inline constexpr UINT WM_PROXY_START = 0x800C;
inline constexpr UINT WM_PROXY_STOP = 0x800D;
inline constexpr UINT WM_PROXY_RESTART = 0x800E;

void DeclareProxyResources();
