#pragma once

// The remote's display drawn in text as the device shows it: a frame with the title, the list
// rows with the cursor, the scroll bar at the right edge, and a last line with the times and the
// play state.

#include <string>
#include <vector>

#include "tools/virtual-remote/LcdModel.h"

// The frame's lines, in UTF-8, without terminal control sequences.
std::vector<std::string> DrawLcd(const LcdScreen& p_Screen);
