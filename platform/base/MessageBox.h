#pragma once

// Plain message boxes (an OK button only). Nobody sits in front of this machine's desktop, so a
// box is shown as a line on the debugger output; tests install a sink to see the boxes shown.

#include <functional>
#include <string_view>

namespace platform {

void ShowMessageBox(std::u16string_view caption, std::u16string_view text);

using MessageBoxSink = std::function<void(std::u16string_view caption, std::u16string_view text)>;
// Replaces where boxes go for the whole process; an empty sink restores the default.
MessageBoxSink SetMessageBoxSink(MessageBoxSink sink);

}  // namespace platform
