#pragma once

// The proxy variant's side of the service commands: each is a session-local request event that
// the elevated Drennick waits for, started on demand from the tray's own folder. The tray's main
// thread calls these.

#include <string_view>

// Starts the program of that name from the tray's folder through the shell, hidden (elevated as
// its manifest asks); with `p_bWait`, waits up to 30 s for it to be idle for input. 1 on
// success, 0 on failure.
int LaunchServiceProxy(std::u16string_view p_FileName, bool p_bWait);

void RequestProxyStart();
void RequestProxyStop();
void RequestProxyRestart();
