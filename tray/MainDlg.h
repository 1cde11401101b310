#pragma once

// The tray's main dialog, created hidden and never shown: it owns the notification icon, its
// menu and the watch thread, and carries out the menu's commands. CAboutDlg is the modal about
// dialog. Both are made, used and destroyed on the tray's main thread.

#include <cstdint>

#include "platform/base/Language.h"
#include "platform/kernel/Event.h"
#include "platform/kernel/Thread.h"
#include "platform/user/Messages.h"

#if !defined(SECOND_BUILD)
#include "tray/ServiceControlSteps.h"
#endif

class CMainDlg {
 public:
  CMainDlg() = default;
  CMainDlg(const CMainDlg&) = delete;
  CMainDlg& operator=(const CMainDlg&) = delete;
  // Stops the watch thread (and joins it) when the dialog was not closed.
  ~CMainDlg();

  // Makes the hidden dialog; false when it cannot be made.
  bool Create();
  HWND Handle() const noexcept { return m_hWnd; }
  // The dialog's keyboard handling: true when it took the message.
  bool PreTranslateMessage(const MSG& p_Message) const;

 private:
  static std::intptr_t DialogProc(HWND p_hDialog, UINT p_nMessage, WPARAM p_wParam,
                                  LPARAM p_lParam);
  bool ProcessWindowMessage(UINT p_nMessage, WPARAM p_wParam, LPARAM p_lParam);
  bool OnInitDialog();
  void OnTrayNotify(WPARAM p_nIconId, LPARAM p_nMouseMessage);
  void OnCommand(UINT p_nCommand);
  void OnStartService();
  void OnStopService();
  void OnRestartService();
  void OnHelp() const;
  void OnAbout() const;
  void OnAppAbout() const;
  void ShowMenu();
  void NotifyTrayIcon(UINT p_nOperation, std::uint32_t p_nIcon, std::u16string_view p_Tip) const;
  void AddTrayIcon() const;
  void UpdateTrayIcon() const;
  void RemoveTrayIcon() const;
  void CloseDialog(int p_nCode);

  HWND m_hWnd = 0;
  platform::Event m_StopEvent;
  platform::LanguageId m_nUiLanguage = 0;
  bool m_bMenuOpen = false;
  bool m_bServiceRunning = false;
  // Joined by CloseDialog, or by the destructor.
  platform::Thread m_ServiceMonitorThread;
#if !defined(SECOND_BUILD)
  CServiceControlSteps m_ServiceControl;
#endif
};

class CAboutDlg {
 public:
  // Shows the dialog until OK or cancel; the button's id.
  static std::intptr_t DoModal(HWND p_hParent);

 private:
  static std::intptr_t DialogProc(HWND p_hDialog, UINT p_nMessage, WPARAM p_wParam,
                                  LPARAM p_lParam);
};
