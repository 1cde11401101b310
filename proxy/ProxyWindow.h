#pragma once

// Drennick's window: it carries out the service requests (sent by the event thread, or chosen
// from its menu) on its own thread, shows its about dialog and ends the program when destroyed.
// Its thread only.

#include "platform/user/Messages.h"
#include "tray/ServiceControlSteps.h"

bool RegisterProxyWindowClass();
// Creates the window with the class and title, shown unless `p_nShowCommand` hides it; 0 when it
// cannot be made. `p_pSteps` carries the requests out and must outlive the window.
HWND InitProxyInstance(int p_nShowCommand, CServiceControlSteps* p_pSteps);
LRESULT ProxyWndProc(HWND p_hWnd, UINT p_nMessage, WPARAM p_wParam, LPARAM p_lParam);
std::intptr_t ProxyAboutDlgProc(HWND p_hDialog, UINT p_nMessage, WPARAM p_wParam, LPARAM p_lParam);
