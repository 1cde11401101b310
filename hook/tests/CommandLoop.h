#pragma once

// The skeleton of the hook tests' helper programs: a window thread that owns the helper's windows
// and runs a message loop, and the main thread, which reads one command a line from standard
// input, has the window thread run it and writes its one-line answer. The helper's own state
// therefore belongs to the window thread alone.

#include <functional>
#include <string>

#include "platform/user/Window.h"

namespace hooktest {

// Runs on the window thread for each command line; its answer is written back.
using CommandHandler = std::function<std::string(const std::string& line)>;
// Every other message that reaches a window of the class "HelperWindow" on the window thread.
using MessageHandler = std::function<void(HWND window, UINT message, WPARAM wParam, LPARAM lParam)>;

// Runs the helper until standard input ends; the exit code.
int RunCommandLoop(const CommandHandler& commands, const MessageHandler& messages);

// Creates a window of the class "HelperWindow" on the window thread (from a command).
HWND CreateHelperWindow();

// From a command: runs `action` on the window thread as soon as the command's answer is out, before
// the thread serves anything else (a command that keeps the thread busy after answering).
void AfterAnswer(std::function<void()> action);

}  // namespace hooktest
