#include "service/device/DisplayState.h"

std::atomic<bool> g_bDisplayAwake{false};
std::atomic<bool> g_bForceLcdWrite{false};
std::atomic<bool> g_bLcdInitialised{false};
std::atomic<bool> g_bPlayerScreenShown{false};
std::atomic<std::int32_t> g_nDevicePlayState{0};
std::atomic<std::int32_t> g_nPreviousDevicePlayState{0};
std::atomic<std::int32_t> g_nAutoHomeState{kAutoHomeNone};
std::atomic<std::int32_t> g_nLcdCursorRow{0};
