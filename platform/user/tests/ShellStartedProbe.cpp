// A program that the shell tests start: it writes its show command and arguments to the file
// named by its first argument, then serves its queue until its first timer and ends.

#include <fstream>

#include "platform/user/ShellProcess.h"
#include "platform/user/Window.h"

int main(int p_nArguments, char** p_pArguments) {
  if (p_nArguments < 2) return 2;
  {
    std::ofstream l_Out(p_pArguments[1]);
    l_Out << "show " << platform::StartupShowCommand();
    for (int l_nArgument = 2; l_nArgument < p_nArguments; ++l_nArgument) {
      l_Out << ' ' << p_pArguments[l_nArgument];
    }
    l_Out << '\n';
  }
  platform::RegisterClass(u"ShellStartedProbe", &platform::DefWindowProc);
  const HWND l_hWindow = platform::CreateWindow(u"ShellStartedProbe", u"", 0);
  platform::SetTimer(l_hWindow, 1, 500);
  MSG l_Message;
  while (platform::GetMessage(l_Message, 0, 0, 0) > 0 && l_Message.message != WM_TIMER) {
  }
  return 0;
}
