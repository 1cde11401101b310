#pragma once

// Puts the display words that the device threads share back to a service's start: an English
// display, asleep and not initialised, a menu shown, the player stopped.

#include "common/MenuTexts.h"
#include "service/device/DisplayState.h"
#include "service/menu/CurrentTrack.h"

inline void ResetDisplayWords() {
  g_nLanguageIndex = kLanguageEnglish;
  g_nLinesPerPage = 6;
  g_bDisplayAwake = false;
  g_bForceLcdWrite = false;
  g_bLcdInitialised = false;
  g_bPlayerScreenShown = false;
  g_bCurrentlyPlayingDisplayed = false;
  g_nDevicePlayState = 1;
  g_nPreviousDevicePlayState = 0;
  g_nAutoHomeState = kAutoHomeNone;
  g_nLcdCursorRow = 0;
}
