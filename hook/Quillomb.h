#pragma once

// The exports of the tree-view hook library "Quillomb.dll", which the per-session server loads by
// name and looks up by these names. The library brings itself into the session's media player
// through a message hook and reads and sets the selection of its library tree view there.

#include <cstdint>

#include "common/DeviceData.h"
#include "platform/user/Messages.h"

#define QUILLOMB_EXPORT __attribute__((visibility("default")))

extern "C" {

// Asks the worker for the current selection and, when it answered within 5000 ms, points
// `*p_ppSelection` at a copy of its flat record: at most kTreeviewSelectionSize bytes, the
// caller's to read until its thread's next call, never freed. Unchanged on failure.
QUILLOMB_EXPORT bool GetTreeviewSelection(std::uint8_t** p_ppSelection);
// The same request, parsed into the record.
QUILLOMB_EXPORT bool GetTreeviewStatus(CDeviceData& p_Data);
// Brings the library into the session's player, whose worker then posts `p_nMessage` (wParam 0,
// lParam 0) to `p_hWnd` on each selection change; true once the worker runs (within 5000 ms).
QUILLOMB_EXPORT bool LoadSnoopIntoMediaPlayer(HWND p_hWnd, UINT p_nMessage);
// Ends the worker (waiting up to 4000 ms for it) and removes the hook; true.
QUILLOMB_EXPORT bool ShutdownSnooper();
// Selects the path of the flat record (root first) in the player's tree; false for a record
// longer than kTreeviewSelectionSize bytes or not ended within its length, and when the worker did
// not finish within 4000 ms.
QUILLOMB_EXPORT bool SynchronizeTreeView(const std::uint8_t* p_pRecord, std::uint32_t p_nLength);

// The message hook's procedure, which brings the library into the player.
QUILLOMB_EXPORT LRESULT SnoopHookProc(int p_nCode, WPARAM p_wParam, LPARAM p_lParam);
}

// The largest flat record that crosses the library.
inline constexpr std::size_t kTreeviewSelectionSize = 512;

using GetTreeviewSelectionProc = bool (*)(std::uint8_t**);
using GetTreeviewStatusProc = bool (*)(CDeviceData&);
using LoadSnoopIntoMediaPlayerProc = bool (*)(HWND, UINT);
using ShutdownSnooperProc = bool (*)();
using SynchronizeTreeViewProc = bool (*)(const std::uint8_t*, std::uint32_t);
