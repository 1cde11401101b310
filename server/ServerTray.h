#pragma once

// The server's tray mode: an icon that shows whether the service runs in this session, with a
// menu to restart or stop it, open the support page and show the about box; and the thread that
// ends tray mode when a second start asks for it.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/kernel/Event.h"
#include "platform/kernel/Thread.h"
#include "platform/user/Shell.h"
#include "server/ServerWindow.h"

inline constexpr UINT WM_SERVER_TRAY_NOTIFY = 0x8064;
inline constexpr LPARAM kServerTrayProbe = 0x8065;
inline constexpr UINT kTrayIconId = 1;

inline constexpr UINT ID_SERVICE_RESTART = 32775;
inline constexpr UINT ID_SERVICE_STOP = 32776;
inline constexpr UINT ID_HELP_SUPPORT = 32777;
inline constexpr UINT ID_HELP_ABOUT = 32778;

// "Global\WTS_SERVER_TERMINATE" followed by this process's session id: a stop reaches the tray
// servers of its own session only.
std::u16string ServerTerminateEventName();
// Creates or opens that event (auto-reset), open to every user; null when it cannot.
platform::Event CreateServerTerminateEvent();

// Whether the service has finished its start-up in this session: its logon-complete event of this
// session exists. Looking leaves the event as it is. With `p_bRetry`, up to 10 looks 500 ms apart.
bool IsLogonInitializationComplete(bool p_bRetry);

// Made, used and destroyed on the server's main thread; the terminate monitor reads its two flags.
class CServerTrayWindow final : public CServerWindow {
 public:
  CServerTrayWindow() = default;
  ~CServerTrayWindow() override;

  // Creates the window and adds the icon with the first probe's answer.
  bool Create();
  bool IsServiceReady() const noexcept { return m_bServiceReady.load(); }
  bool IsMenuOpen() const noexcept { return m_bMenuOpen.load(); }

 private:
  bool ProcessWindowMessage(UINT p_nMessage, WPARAM p_wParam, LPARAM p_lParam,
                            LRESULT& p_lResult) override;
  void OnTrayNotify(LPARAM p_lParam);
  void OnCommand(UINT p_nCommand);
  void ShowMenu();
  void Probe(bool p_bRetry);
  void UpdateIcon(UINT p_nMessage);
  void RestartService(bool p_bStartAgain);

  std::atomic<bool> m_bServiceReady{false};
  std::atomic<bool> m_bMenuOpen{false};
  HMENU m_hMenu = 0;
};

// Waits on the terminate event in steps of a second, re-probing the service between them, and on
// the event (or a failed wait) calls `p_Unlock`. Its owner joins it.
platform::Thread StartServerTerminateMonitor(const CServerTrayWindow& p_Tray,
                                             std::function<void()> p_Unlock);
