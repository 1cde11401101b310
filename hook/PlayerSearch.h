#pragma once

// Finding the media player of this process's session: its process, the thread that owns its
// "WMPlayerApp" window, and the library tree view (control 1007) under that window. Any thread.

#include <cstdint>

#include "hook/SnoopSharedData.h"
#include "platform/user/Window.h"

inline constexpr std::int32_t kTreeViewControlId = 1007;

// The first "wmplayer.exe" (any letter case) of this process's session; 0 for none.
std::uint32_t WTSFindWMPProcessId();

// The player's thread that owns a "WMPlayerApp" window, 0 for none. The slot's tree view is
// cleared first and set again only to the tree view under that window; the player's process is
// stored through `p_pnProcess`.
std::uint32_t FindQuillombThread(SnoopSharedData& p_Data, std::uint32_t* p_pnProcess);

// What the window-enumeration callbacks share through their word.
struct PlayerWindowSearch {
  SnoopSharedData* data = nullptr;
  bool found = false;  // a "WMPlayerApp" window was seen
};

// For EnumThreadWindows with a PlayerWindowSearch: at a "WMPlayerApp" window (any letter case),
// marks it found, looks for the tree view among its children and stops.
bool EnumWMPThreadWndProc(HWND p_hWnd, LPARAM p_lParam);
// For EnumChildWindows with a PlayerWindowSearch: stores the control 1007 as the tree view.
bool EnumChildProc(HWND p_hWnd, LPARAM p_lParam);

// Whether two names are the same, ASCII letter case aside.
bool SameNameAnyCase(std::u16string_view p_First, std::u16string_view p_Second);
