#include "server/ServerWindow.h"

#include "platform/user/Window.h"

CServerWindow::~CServerWindow() { DestroyWindow(); }

bool CServerWindow::Create(std::u16string_view p_ClassName, std::uint32_t p_nStyle) {
  // A second window of the class finds it registered already.
  platform::RegisterClass(p_ClassName, &CServerWindow::WindowProcedure);
  m_hWnd = platform::CreateWindow(p_ClassName, u"", p_nStyle, 0, 0, this);
  return m_hWnd != 0;
}

void CServerWindow::DestroyWindow() {
  if (m_hWnd == 0) return;
  const HWND l_hWnd = m_hWnd;
  m_hWnd = 0;
  platform::SetWindowUserData(l_hWnd, nullptr);
  platform::DestroyWindow(l_hWnd);
}

LRESULT CServerWindow::WindowProcedure(HWND p_hWnd, UINT p_nMessage, WPARAM p_wParam,
                                       LPARAM p_lParam) {
  if (p_nMessage == WM_CREATE) {
    const auto* l_pCreate = reinterpret_cast<const CREATESTRUCT*>(p_lParam);
    platform::SetWindowUserData(p_hWnd, l_pCreate->lpCreateParams);
    return 0;
  }
  auto* l_pWindow = static_cast<CServerWindow*>(platform::GetWindowUserData(p_hWnd));
  LRESULT l_lResult = 0;
  if (l_pWindow != nullptr &&
      l_pWindow->ProcessWindowMessage(p_nMessage, p_wParam, p_lParam, l_lResult)) {
    return l_lResult;
  }
  return platform::DefWindowProc(p_hWnd, p_nMessage, p_wParam, p_lParam);
}
