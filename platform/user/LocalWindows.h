#pragma once

// What the queue needs of this process's windows. Internal to the layer.

#include <cstdint>
#include <string_view>

#include "platform/user/Messages.h"

namespace platform::detail {

// Runs the procedure of a window of this process on the calling thread; 0 when there is none.
LRESULT CallWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// At the end of a thread: its windows are gone, without their destruction handling.
void ForgetThreadWindows(std::uint32_t thread);
void SetLastWindowsError(std::uint32_t error) noexcept;
// Whether two class names (or titles) are the same, letter case aside.
bool SameWindowName(std::u16string_view first, std::u16string_view second);

}  // namespace platform::detail
