#pragma once

// The display words that the device threads share without a lock.

#include <atomic>

// The LCD is on: display packets pass the sleep gate.
extern std::atomic<bool> g_bDisplayAwake;
// Lets display packets pass although the display sleeps, until the writer has sent the next
// report (the display-off packet goes out this way).
extern std::atomic<bool> g_bForceLcdWrite;
// The init packet has been built since the session listener started.
extern std::atomic<bool> g_bLcdInitialised;
