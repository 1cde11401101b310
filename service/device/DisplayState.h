#pragma once

// The display words that the device threads, the simulator's input thread and the session
// threads share without a lock.

#include <atomic>
#include <cstdint>

// The LCD is on: display packets pass the sleep gate.
extern std::atomic<bool> g_bDisplayAwake;
// Lets display packets pass although the display sleeps, until the writer has sent the next
// report (the display-off packet goes out this way).
extern std::atomic<bool> g_bForceLcdWrite;
// The init packet has been built since the session listener started.
extern std::atomic<bool> g_bLcdInitialised;
// The LCD shows the player screen with the current track.
extern std::atomic<bool> g_bPlayerScreenShown;

// The player's play state (WMPPlayState) as last rendered by the output thread, and the one before
// its last change.
extern std::atomic<std::int32_t> g_nDevicePlayState;
extern std::atomic<std::int32_t> g_nPreviousDevicePlayState;

// The automatic return home after playback stops: none, raised by the output thread, or seen by
// the session's Home handler (which then queues the Home page).
inline constexpr std::int32_t kAutoHomeNone = 0;
inline constexpr std::int32_t kAutoHomeRaised = 1;
inline constexpr std::int32_t kAutoHomeSeen = 2;
extern std::atomic<std::int32_t> g_nAutoHomeState;

// The cursor row last sent to the LCD.
extern std::atomic<std::int32_t> g_nLcdCursorRow;
