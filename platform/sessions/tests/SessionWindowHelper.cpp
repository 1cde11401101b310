// A program with one window for the tests: registers it for the session notices of all
// sessions, prints "ready", then prints "message M W L" for each session message the window
// receives, until it is ended.

#include <signal.h>
#include <sys/prctl.h>

#include <iostream>

#include "platform/sessions/Sessions.h"
#include "platform/user/Window.h"

namespace {

LRESULT Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_WTSSESSION_CHANGE || message == WM_QUERYENDSESSION ||
      message == WM_ENDSESSION) {
    std::cout << "message " << message << ' ' << wParam << ' ' << lParam << std::endl;
    return message == WM_QUERYENDSESSION ? 1 : 0;
  }
  return platform::DefWindowProc(window, message, wParam, lParam);
}

}  // namespace

int main() {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  using namespace platform;
  if (!RegisterClass(u"SessionWindowHelper", Procedure)) {
    return 1;
  }
  const HWND window = CreateWindow(u"SessionWindowHelper", u"", 0);
  if (window == 0 || !WTSRegisterSessionNotification(window, NOTIFY_FOR_ALL_SESSIONS)) {
    std::cout << "failed" << std::endl;
    return 1;
  }
  std::cout << "ready" << std::endl;
  MSG message;
  while (GetMessage(message, 0, 0, 0) > 0) {
    DispatchMessage(message);
  }
  return 0;
}
