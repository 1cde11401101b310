#pragma once

// Drennick's request events and the thread that waits for them. The events are made when
// Drennick starts, before its window can be found, so a request that a tray sets as soon as it
// finds the window is kept until the thread takes it.

#include <array>

#include "platform/kernel/Event.h"
#include "platform/kernel/Thread.h"
#include "platform/user/Messages.h"

// Owns the four manual-reset events "WMP_START_SERVICE", "WMP_STOP_SERVICE",
// "WMP_RESTART_SERVICE" and "WMP_PROXY_TERMINATE" of this session, in that order; the session's
// user may set them, and no other user but Drennick's own may open them.
class CServiceRequestEvents {
 public:
  CServiceRequestEvents();
  const std::array<platform::Event, 4>& Events() const noexcept { return m_Events; }
  // Whether every event could be made.
  bool Complete() const noexcept;

 private:
  std::array<platform::Event, 4> m_Events;
};

// Starts the thread: a start, stop or restart request is sent to `p_hWindow` as WM_PROXY_START,
// WM_PROXY_STOP or WM_PROXY_RESTART and its event reset once the operation is done; the
// terminate request, or a failed wait, posts WM_CLOSE to the window and ends the thread. The
// events must outlive the thread; its owner joins it.
platform::Thread StartServiceEventThread(HWND p_hWindow, const CServiceRequestEvents& p_Events);
