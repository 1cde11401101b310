#pragma once

// Drennick's program: its window, its request events and their thread, and the message loop with
// its accelerators. Its main thread.

// The message loop's quit code, or 0 when the window cannot be made.
int ProxyMain(int p_nShowCommand);
