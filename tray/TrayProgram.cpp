#include "tray/TrayProgram.h"

#include <string>

#include "platform/base/Format.h"
#include "platform/kernel/Event.h"
#include "platform/kernel/Mutex.h"
#include "platform/kernel/Session.h"
#include "platform/user/Window.h"
#include "tray/MainDlg.h"
#include "tray/TrayResources.h"

namespace {

void SetAndClose(platform::EventReset p_Reset, std::u16string_view p_Name) {
  platform::Event::Create(p_Reset, false, p_Name).handle.Set();
}

int Run() {
  if (!platform::EnsureMessageQueue()) return 0;
  CMainDlg l_Dialog;
  if (!l_Dialog.Create()) return 0;
  MSG l_Message;
  int l_nGot = 0;
  while ((l_nGot = platform::GetMessage(l_Message, 0, 0, 0)) > 0) {
    if (!l_Dialog.PreTranslateMessage(l_Message)) platform::DispatchMessage(l_Message);
  }
  return l_nGot == 0 ? static_cast<int>(l_Message.wParam) : 0;
}

}  // namespace

int TrayMain(std::u16string_view p_CommandLine) {
  if (p_CommandLine.find(u"-Stop") != std::u16string_view::npos) {
    SetAndClose(platform::EventReset::Manual, u"Global\\WMP_TRAY_SHUTDOWN_REQUESTED");
#if defined(SECOND_BUILD)
    SetAndClose(platform::EventReset::Manual, u"WMP_PROXY_TERMINATE");
#endif
    return 0;
  }
  const platform::HandleResult<platform::Mutex> l_InUse = platform::Mutex::Create(
      false, platform::Format(std::u16string_view(u"%s%d"), std::u16string(u"LOCAL_WMP_TRAY_IN_USE"),
                              static_cast<std::int32_t>(platform::ProcessSessionId())));
  if (l_InUse.alreadyExisted) return kExitAnotherTrayRuns;
  DeclareTrayResources();
  return Run();
}
