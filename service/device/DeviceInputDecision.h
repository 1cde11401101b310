#pragma once

// What one button report of the remote does, decided from the report's code and the display
// state alone, so that the device input thread's rules can be read (and tested) as a table.

#include <cstdint>
#include <vector>

#include "service/device/ServiceEvent.h"

// The shared words that a decision reads, each read once when the key is handled.
struct DeviceInputState {
  bool m_bDisplayAwake = false;
  bool m_bPlayerScreenShown = false;
  bool m_bCurrentlyPlayingDisplayed = false;
  std::int32_t m_nDevicePlayState = 0;
  bool m_bLcdInitialised = false;
};

enum class InputStepKind : std::uint8_t {
  ResetRing,    // drop the unsent packets, sequence byte to 0x20
  StopUpload,   // a firmware upload in progress ends
  StartUpload,  // a firmware upload starts; the display gets an end of screen when it can't
  SetEvent,     // m_Event
  IdleRecord,   // queue an idle-timeout record and set "RemoteMediaPlayerEvent"
  DisplayAwake,
  DisplayAsleep,
  ForceLcdWrite,      // the next packet passes the sleep gate
  ClearPlayerScreen,  // g_bPlayerScreenShown cleared
  CursorRowToZero,    // g_nLcdCursorRow cleared
  SendInit,           // LCD command 8
  SendCommand,        // LCD command m_byCommand
};

struct InputStep {
  InputStepKind m_Kind;
  ServiceEvent m_Event = ServiceEvent::MediaPlayerEvent;
  std::uint8_t m_byCommand = 0;

  bool operator==(const InputStep&) const = default;
};

// The steps, in order, for the report whose second byte is `p_byCode` (a signed value: bit 7
// set is a report of another kind and does nothing). While the display sleeps every code but 15,
// 16 and 21 only wakes it.
std::vector<InputStep> DecideDeviceInput(std::uint8_t p_byCode, const DeviceInputState& p_State);
