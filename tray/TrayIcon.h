#pragma once

// The tray's icon record: 152 bytes, whose tip holds 63 characters and its terminating zero.

#include <cstdint>
#include <string_view>

#include "platform/user/Shell.h"

inline constexpr std::uint32_t kTrayIconRecordSize = 152;
inline constexpr std::size_t kTrayTipCharacters = 63;

// The record for the icon of `p_hOwner` with its callback, `p_nIcon` and the tip cut to what the
// record holds.
NOTIFYICONDATAW MakeTrayIconRecord(HWND p_hOwner, std::uint32_t p_nIcon, std::u16string_view p_Tip);
