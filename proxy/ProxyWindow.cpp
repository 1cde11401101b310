#include "proxy/ProxyWindow.h"

#include "platform/base/StringTable.h"
#include "platform/user/Dialog.h"
#include "platform/user/Shell.h"
#include "platform/user/ShellProcess.h"
#include "platform/user/Window.h"
#include "proxy/ProxyResources.h"

namespace {

CServiceControlSteps* StepsOf(HWND p_hWnd) {
  return static_cast<CServiceControlSteps*>(platform::GetWindowUserData(p_hWnd));
}

}  // namespace

bool RegisterProxyWindowClass() {
  return platform::RegisterClass(platform::LoadString(IDC_DRENNICK, platform::kLanguageEnglishUs),
                                 &ProxyWndProc);
}

HWND InitProxyInstance(int p_nShowCommand, CServiceControlSteps* p_pSteps) {
  const std::uint32_t l_nStyle =
      WS_OVERLAPPEDWINDOW | (p_nShowCommand == SW_HIDE ? 0u : WS_VISIBLE);
  return platform::CreateWindow(platform::LoadString(IDC_DRENNICK, platform::kLanguageEnglishUs),
                                platform::LoadString(IDS_APP_TITLE, platform::kLanguageEnglishUs),
                                l_nStyle, 0, 0, p_pSteps);
}

LRESULT ProxyWndProc(HWND p_hWnd, UINT p_nMessage, WPARAM p_wParam, LPARAM p_lParam) {
  CServiceControlSteps* l_pSteps = StepsOf(p_hWnd);
  UINT l_nRequest = p_nMessage;
  if (p_nMessage == WM_COMMAND) {
    switch (p_wParam & 0xFFFF) {
      case IDM_START:
        l_nRequest = WM_PROXY_START;
        break;
      case IDM_STOP:
        l_nRequest = WM_PROXY_STOP;
        break;
      case IDM_RESTART:
        l_nRequest = WM_PROXY_RESTART;
        break;
      case IDM_ABOUT:
        platform::DialogBoxParam(IDD_PROXY_ABOUTBOX, p_hWnd, &ProxyAboutDlgProc, 0);
        return 0;
      case IDM_EXIT:
        platform::DestroyWindow(p_hWnd);
        return 0;
      default:
        return platform::DefWindowProc(p_hWnd, p_nMessage, p_wParam, p_lParam);
    }
  }
  switch (l_nRequest) {
    case WM_CREATE:
      platform::SetWindowUserData(
          p_hWnd, reinterpret_cast<const CREATESTRUCT*>(p_lParam)->lpCreateParams);
      return 0;
    case WM_PROXY_START:
      if (l_pSteps != nullptr) l_pSteps->StartService();
      return 0;
    case WM_PROXY_STOP:
      if (l_pSteps != nullptr) l_pSteps->StopService();
      return 0;
    case WM_PROXY_RESTART:
      if (l_pSteps != nullptr) l_pSteps->RestartService();
      return 0;
    case WM_DESTROY:
      platform::PostQuitMessage(0);
      return 0;
    default:
      return platform::DefWindowProc(p_hWnd, p_nMessage, p_wParam, p_lParam);
  }
}

std::intptr_t ProxyAboutDlgProc(HWND p_hDialog, UINT p_nMessage, WPARAM p_wParam, LPARAM) {
  return platform::EndOnOkOrCancel(p_hDialog, p_nMessage, p_wParam);
}
