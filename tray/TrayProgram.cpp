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

// Only sets: an event that others made may allow this user no more than that.
void SetAndClose(std::u16string_view p_Name, const platform::SecurityDescriptor* p_pSecurity) {
  platform::Event::Create(platform::EventReset::Manual, false, p_Name, p_pSecurity,
                          platform::EVENT_MODIFY_STATE)
      .handle.Set();
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
    const platform::SecurityDescriptor l_EveryUser = platform::SecurityDescriptor::NullDacl();
    SetAndClose(u"Global\\WMP_TRAY_SHUTDOWN_REQUESTED", &l_EveryUser);
#if defined(SECOND_BUILD)
    SetAndClose(u"WMP_PROXY_TERMINATE", nullptr);
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
