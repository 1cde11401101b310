#pragma once

// The tray's program: the shutdown request ("-Stop"), one tray per session, and the hidden
// dialog's message loop. Its main thread.

#include <string_view>

// The exit code: 0 after "-Stop" or when the dialog cannot be made, 9 when another tray runs in
// this session, 22 after a shutdown request, 2 after the dialog's cancel.
int TrayMain(std::u16string_view p_CommandLine);
