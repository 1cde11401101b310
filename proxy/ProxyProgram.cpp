#include "proxy/ProxyProgram.h"

#include <array>

#include "common/ProgramLogger.h"
#include "platform/kernel/Event.h"
#include "platform/user/Resources.h"
#include "platform/user/Window.h"
#include "proxy/ProxyResources.h"
#include "proxy/ProxyWindow.h"
#include "proxy/ServiceEventThread.h"
#include "tray/ServiceControlSteps.h"

namespace {

// Serves the messages that the event thread sends while it ends, so that a request it is
// sending when the loop ends cannot hold it.
void JoinServingSentMessages(platform::Thread& p_Thread) {
  const std::array<platform::ObjectRef, 1> l_Exit{p_Thread.ExitRef()};
  while (platform::MsgWaitForMultipleObjects(l_Exit, false, platform::kInfinite, QS_SENDMESSAGE)
             .Signalled(l_Exit.size())) {
  }
  p_Thread.Join();
}

}  // namespace

int ProxyMain(int p_nShowCommand) {
  DeclareProxyResources();
  if (!platform::EnsureMessageQueue()) return 0;
  RegisterProxyWindowClass();
  g_Logger->Log(LOG_TO_FILE, u"Drennick started");

  const CServiceRequestEvents l_Requests;
  CServiceControlSteps l_Steps;
  const HWND l_hWnd = InitProxyInstance(p_nShowCommand, &l_Steps);
  if (l_hWnd == 0) return 0;
  platform::Thread l_EventThread = StartServiceEventThread(l_hWnd, l_Requests);

  const HACCEL l_hAccelerators = platform::LoadAccelerators(IDC_DRENNICK);
  g_Logger->Log(LOG_TO_FILE, u"Entering message loop");
  MSG l_Message;
  int l_nGot = 0;
  while ((l_nGot = platform::GetMessage(l_Message, 0, 0, 0)) > 0) {
    if (platform::TranslateAccelerator(l_Message.hwnd, l_hAccelerators, l_Message) == 0) {
      platform::DispatchMessage(l_Message);
    }
  }
  // The event thread ends on the terminate request.
  l_Requests.Events()[3].Set();
  JoinServingSentMessages(l_EventThread);
  g_Logger->Log(LOG_TO_FILE, u"Exiting application");
  return l_nGot == 0 ? static_cast<int>(l_Message.wParam) : 0;
}
