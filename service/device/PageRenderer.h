#pragma once

// Draws one display page on the LCD: the packets that its screen type, update mode and play
// state ask for, the display state that the input threads read, and the automatic return home
// when playback stops.

#include <functional>

#include "common/DeviceData.h"
#include "service/device/LcdProtocol.h"

// The device output thread's; one thread renders at a time.
class PageRenderer {
 public:
  // `p_RaiseHome` sets "RemoteButtonHome" for the automatic return home.
  PageRenderer(LcdProtocol& p_Protocol, std::function<void()> p_RaiseHome);

  // Tracks the play state, and while the display is awake sends the page's packets. Returns
  // whether the page goes on to the simulator: false for a page that ends with the automatic
  // return home, media ended on the player screen, and option lines of update mode 9.
  bool Render(const CDeviceData& p_Page);

 private:
  struct Flags {
    bool m_bFull = false;
    bool m_bEntering = false;
    bool m_bTimes = false;
  };

  // Step by step; each returns false when the page is dropped there.
  bool RenderPlayerState(const CDeviceData& p_Page, Flags& p_Flags);
  bool RenderStopped();
  bool RenderMode(const CDeviceData& p_Page, Flags& p_Flags);
  void RenderTitle(const CDeviceData& p_Page, const Flags& p_Flags);
  void RenderLines(const CDeviceData& p_Page, const Flags& p_Flags);
  void RenderTimes(const CDeviceData& p_Page, const Flags& p_Flags);
  void SendScrollBar(const CDeviceData& p_Page);
  void MoveCursor(std::int32_t p_nRow);

  LcdProtocol& m_Protocol;
  const std::function<void()> m_RaiseHome;
};
