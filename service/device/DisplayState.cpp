#include "service/device/DisplayState.h"

std::atomic<bool> g_bDisplayAwake{false};
std::atomic<bool> g_bForceLcdWrite{false};
std::atomic<bool> g_bLcdInitialised{false};
