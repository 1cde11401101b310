#pragma once

// The debugger output: diagnostic lines that no user sees. On a terminal they go to standard
// error; PLATFORM_DEBUG_OUTPUT names a file to append them to instead; otherwise they are dropped.
// Tests install a sink to read them.

#include <functional>
#include <string_view>

namespace platform {

void OutputDebugText(std::u16string_view text);
void OutputDebugText(std::string_view ansiText);

// Replaces the destination of the debugger output for the whole process; an empty sink restores
// the default. Returns the previous sink.
using DebugOutputSink = std::function<void(std::u16string_view)>;
DebugOutputSink SetDebugOutputSink(DebugOutputSink sink);

}  // namespace platform
