#include "tray/MainDlg.h"

#include <string>
#include <vector>

#include "common/ProgramLogger.h"
#include "platform/base/Format.h"
#include "platform/base/StringTable.h"
#include "platform/base/VersionInfo.h"
#include "platform/user/Dialog.h"
#include "platform/user/Shell.h"
#include "platform/user/ShellProcess.h"
#include "platform/user/Window.h"
#include "tray/ServiceMonitorThread.h"
#include "tray/TrayIcon.h"
#include "tray/TrayResources.h"

#if defined(SECOND_BUILD)
#include "tray/ProxyClient.h"
#endif

namespace {

constexpr UINT TPM_RIGHTALIGN = 0x0008;
constexpr UINT TPM_BOTTOMALIGN = 0x0020;
constexpr platform::Timeout kWatchEnd{5000};

// The product version of the tray's own file; empty when it has none.
std::u16string ProductVersion() {
  constexpr std::u16string_view kFile = u"Peskarin.exe";
  const std::uint32_t l_nSize = platform::GetFileVersionInfoSize(kFile);
  if (l_nSize == 0) return {};
  std::vector<std::byte> l_Block(l_nSize);
  const char16_t* l_pValue = nullptr;
  std::uint32_t l_nLength = 0;
  if (!platform::GetFileVersionInfo(kFile, l_Block) ||
      !platform::VerQueryValue(l_Block, u"\\StringFileInfo\\040904b0\\ProductVersion", l_pValue,
                               l_nLength) ||
      l_pValue == nullptr) {
    return {};
  }
  return l_pValue;
}

}  // namespace

CMainDlg::~CMainDlg() {
  m_StopEvent.Set();
  m_ServiceMonitorThread.Join();
  if (m_hWnd != 0 && platform::IsWindow(m_hWnd)) {
    RemoveTrayIcon();
    platform::DestroyWindow(m_hWnd);
  }
}

bool CMainDlg::Create() {
  return platform::CreateDialogParam(IDD_MAINDLG, 0, &CMainDlg::DialogProc,
                                     reinterpret_cast<LPARAM>(this)) != 0;
}

bool CMainDlg::PreTranslateMessage(const MSG& p_Message) const {
  return platform::IsDialogMessage(m_hWnd, p_Message);
}

std::intptr_t CMainDlg::DialogProc(HWND p_hDialog, UINT p_nMessage, WPARAM p_wParam,
                                   LPARAM p_lParam) {
  if (p_nMessage == WM_INITDIALOG) {
    auto* l_pDialog = reinterpret_cast<CMainDlg*>(p_lParam);
    l_pDialog->m_hWnd = p_hDialog;
    platform::SetWindowUserData(p_hDialog, l_pDialog);
    return l_pDialog->OnInitDialog();
  }
  auto* l_pDialog = static_cast<CMainDlg*>(platform::GetWindowUserData(p_hDialog));
  return l_pDialog != nullptr && l_pDialog->ProcessWindowMessage(p_nMessage, p_wParam, p_lParam);
}

bool CMainDlg::OnInitDialog() {
  m_nUiLanguage = TrayLanguage(platform::GetUserDefaultUILanguage());
  m_StopEvent = platform::Event::Create(platform::EventReset::Auto, false).handle;
  m_ServiceMonitorThread = StartServiceMonitorThread(m_hWnd, m_StopEvent);
  AddTrayIcon();
  return true;
}

bool CMainDlg::ProcessWindowMessage(UINT p_nMessage, WPARAM p_wParam, LPARAM p_lParam) {
  switch (p_nMessage) {
    case WM_SERVICE_RUNNING:
      m_bServiceRunning = true;
      UpdateTrayIcon();
      return true;
    case WM_SERVICE_STOPPED:
      m_bServiceRunning = false;
      UpdateTrayIcon();
      return true;
    case WM_TRAY_NOTIFY:
      OnTrayNotify(p_wParam, p_lParam);
      return true;
    case WM_TRAY_STOP:
      g_Logger->Log(LOG_TO_FILE, u"CMainDlg::OnTrayStopped");
      CloseDialog(kExitShutdownRequested);
      return true;
    case WM_COMMAND:
      OnCommand(static_cast<UINT>(p_wParam & 0xFFFF));
      return true;
    default:
      return false;
  }
}

void CMainDlg::OnTrayNotify(WPARAM p_nIconId, LPARAM p_nMouseMessage) {
  if (p_nIconId == kTrayIconId &&
      (p_nMouseMessage == WM_LBUTTONDOWN || p_nMouseMessage == WM_RBUTTONDOWN)) {
    ShowMenu();
  } else if (p_nMouseMessage == kTrayRefresh && !m_bMenuOpen) {
    UpdateTrayIcon();
  }
}

void CMainDlg::ShowMenu() {
  m_bMenuOpen = true;
  const HMENU l_hMenu = platform::CreatePopupMenu();
  const auto l_Add = [this, l_hMenu](std::uint32_t p_nText, UINT p_nCommand) {
    platform::AppendMenu(l_hMenu, MF_STRING, p_nCommand,
                         platform::LoadString(p_nText, m_nUiLanguage));
  };
  if (m_bServiceRunning) {
    l_Add(IDS_MENU_RESTART, ID_SERVICE_RESTART);
    l_Add(IDS_MENU_STOP, ID_SERVICE_STOP);
  } else {
    l_Add(IDS_MENU_START, ID_SERVICE_START);
  }
  l_Add(IDS_MENU_HELP, ID_HELP);
  l_Add(IDS_MENU_ABOUT, ID_ABOUT);
  platform::TrackPopupMenu(l_hMenu, TPM_BOTTOMALIGN | TPM_RIGHTALIGN, 0, 0, m_hWnd);
  platform::DestroyMenu(l_hMenu);
  m_bMenuOpen = false;
}

void CMainDlg::OnCommand(UINT p_nCommand) {
  switch (p_nCommand) {
    case ID_SERVICE_START:
      OnStartService();
      break;
    case ID_SERVICE_STOP:
      OnStopService();
      break;
    case ID_SERVICE_RESTART:
      OnRestartService();
      break;
    case ID_HELP:
      OnHelp();
      break;
    case ID_ABOUT:
      OnAbout();
      break;
    case ID_APP_ABOUT:
      OnAppAbout();
      break;
    case IDCANCEL:
      CloseDialog(IDCANCEL);
      break;
    default:
      break;
  }
}

#if defined(SECOND_BUILD)
// The elevated proxy carries the service commands out.
void CMainDlg::OnStartService() { RequestProxyStart(); }
void CMainDlg::OnStopService() { RequestProxyStop(); }
void CMainDlg::OnRestartService() { RequestProxyRestart(); }
#else
void CMainDlg::OnStartService() { m_ServiceControl.StartService(); }
void CMainDlg::OnStopService() { m_ServiceControl.StopService(); }
void CMainDlg::OnRestartService() { m_ServiceControl.RestartService(); }
#endif

void CMainDlg::OnHelp() const {
  platform::ShellExecute(m_hWnd, u"open", platform::LoadString(IDS_HELP_ADDRESS, m_nUiLanguage),
                         u"", u"", SW_SHOWNORMAL);
}

void CMainDlg::OnAbout() const {
  const std::u16string l_Text = platform::Format(
      platform::LoadString(IDS_ABOUT_TEXT, m_nUiLanguage), ProductVersion());
  platform::MessageBox(m_hWnd, l_Text, platform::LoadString(IDS_PRODUCT, m_nUiLanguage), MB_OK);
}

void CMainDlg::OnAppAbout() const { CAboutDlg::DoModal(m_hWnd); }

void CMainDlg::NotifyTrayIcon(UINT p_nOperation, std::uint32_t p_nIcon,
                              std::u16string_view p_Tip) const {
  platform::Shell_NotifyIcon(p_nOperation, MakeTrayIconRecord(m_hWnd, p_nIcon, p_Tip));
}

void CMainDlg::AddTrayIcon() const {
  NotifyTrayIcon(NIM_ADD, 0, u"");
  UpdateTrayIcon();
}

void CMainDlg::UpdateTrayIcon() const {
  NotifyTrayIcon(NIM_MODIFY, m_bServiceRunning ? IDI_SERVICE_RUNNING : IDI_SERVICE_STOPPED,
                 platform::LoadString(IDS_PRODUCT, m_nUiLanguage));
}

void CMainDlg::RemoveTrayIcon() const { NotifyTrayIcon(NIM_DELETE, 0, u""); }

void CMainDlg::CloseDialog(int p_nCode) {
  m_StopEvent.Set();
  m_ServiceMonitorThread.Join(kWatchEnd);
  RemoveTrayIcon();
  platform::DestroyWindow(m_hWnd);
  m_hWnd = 0;
  platform::PostQuitMessage(p_nCode);
}

std::intptr_t CAboutDlg::DoModal(HWND p_hParent) {
  return platform::DialogBoxParam(IDD_ABOUTBOX, p_hParent, &CAboutDlg::DialogProc, 0);
}

std::intptr_t CAboutDlg::DialogProc(HWND p_hDialog, UINT p_nMessage, WPARAM p_wParam, LPARAM) {
  return platform::EndOnOkOrCancel(p_hDialog, p_nMessage, p_wParam);
}
