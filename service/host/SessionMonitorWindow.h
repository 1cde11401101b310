#pragma once

// The hidden window through which the session listener learns of the sessions' changes: it
// records every change notice in the order they come and sets "HALMAVET_SESSION_EVENT", on which
// the listener wakes to act on them.

#include <cstdint>
#include <deque>
#include <vector>

#include "platform/kernel/Event.h"
#include "platform/user/MessageMapWindow.h"
#include "platform/user/Messages.h"

// One session-change notice: its type (WTS_SESSION_LOGON...) and the session it concerns.
struct CSessionChange {
  std::uint32_t m_nType = 0;
  std::uint32_t m_dwSessionId = 0;

  bool operator==(const CSessionChange&) const = default;
};

// Made, created, pumped and destroyed on the listener's thread alone, which owns the window and
// reads what it recorded; no lock is needed.
class CWTSSessionMonitorWindow : public platform::MessageMapWindow<CWTSSessionMonitorWindow> {
 public:
  CWTSSessionMonitorWindow() = default;
  virtual ~CWTSSessionMonitorWindow();

  // Creates the hidden pop-up window on the calling thread; returns once its creation handling
  // (the wait for the session manager and the registration) is over. 0 when it cannot be made.
  // DestroyWindow unregisters the notices.
  HWND Create();

  // The message map (id 0): WM_WTSSESSION_CHANGE, WM_CREATE and WM_DESTROY are handled with the
  // result 0; anything else goes to the default procedure.
  virtual bool ProcessWindowMessage(HWND p_hWnd, UINT p_nMessage, WPARAM p_wParam, LPARAM p_lParam,
                                    LRESULT& p_lResult, std::uint32_t p_nMsgMapID = 0);

  // Makes the signal event, waits up to 60 s for the session manager's readiness and registers
  // for the notices of all sessions, retrying every 2 s at most 60 more times. Always 0.
  LRESULT OnCreate();
  // Records the change after those not yet taken and sets the signal event. Always 0.
  LRESULT OnWTSSessionChange(std::uint32_t p_nType, std::uint32_t p_dwSessionId);
  // Unregisters the notices. Always 0.
  LRESULT OnDestroy();

  // The changes recorded since the last call, oldest first; the recorder is empty afterwards.
  std::vector<CSessionChange> TakeSessionChanges();

 private:
  // Waits for the readiness event within the 60 s, opening it again while it does not exist yet:
  // the session manager owns it, and an event made here would swallow its signal.
  bool AwaitTerminalServices() const;
  bool RegisterForSessionNotices() const;

  std::deque<CSessionChange> m_Changes;
  platform::Event m_hSessionEvent;
};
