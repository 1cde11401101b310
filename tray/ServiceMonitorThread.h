#pragma once

// The tray's watch thread: waits for the service's per-session events and the shutdown request
// and posts what it saw to the tray's dialog.

#include "platform/kernel/Event.h"
#include "platform/kernel/Thread.h"
#include "platform/user/Messages.h"

// Starts the thread; it ends when `p_StopEvent` (which must outlive it) is set, or after posting
// WM_TRAY_STOP. Its owner joins it.
platform::Thread StartServiceMonitorThread(HWND p_hDialog, const platform::Event& p_StopEvent);
