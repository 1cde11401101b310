#include "tray/ProxyClient.h"

#include <string>

#include "common/ProgramLogger.h"
#include "platform/base/Process.h"
#include "platform/kernel/Event.h"
#include "platform/kernel/Wait.h"
#include "platform/user/ShellProcess.h"
#include "platform/user/Window.h"

namespace {

constexpr std::size_t kMaxPath = 260;
constexpr platform::Timeout kIdleWait{30000};
constexpr platform::Timeout kFindAgainPause{500};

// Finds the proxy's window, starting the proxy first when there is none; false when there is
// still none after that.
bool ProxyWindowExists() {
  if (platform::FindWindow(u"Drennick", nullptr) != 0) return true;
  LaunchServiceProxy(u"Drennick.exe", true);
  platform::Sleep(kFindAgainPause);
  return platform::FindWindow(u"Drennick", nullptr) != 0;
}

// The proxy makes its request events before its window can be found, so a request set here is
// kept until the proxy takes it.
void RequestProxy(std::u16string_view p_EventName) {
  if (!ProxyWindowExists()) {
    g_Logger->Log(LOG_TO_FILE, u"RequestProxy finds no Drennick window");
    return;
  }
  // Drennick's list lets this session's user set its events, and no more.
  platform::Event::Create(platform::EventReset::Manual, false, p_EventName, nullptr,
                          platform::EVENT_MODIFY_STATE)
      .handle.Set();
}

}  // namespace

int LaunchServiceProxy(std::u16string_view p_FileName, bool p_bWait) {
  std::u16string l_Path = platform::ModulePath().substr(0, kMaxPath);
  l_Path.resize(l_Path.rfind(u'/') + 1);
  l_Path += p_FileName;
  platform::SHELLEXECUTEINFO l_Info;
  l_Info.fMask = SEE_MASK_NOCLOSEPROCESS;
  l_Info.lpVerb = u"open";
  l_Info.lpFile = l_Path;
  l_Info.nShow = SW_HIDE;
  if (!platform::ShellExecuteEx(l_Info)) {
    g_Logger->Log(LOG_TO_FILE, u"LaunchServiceProxy ShellExecuteEx fails with %d",
                  platform::LastShellError());
    return 0;
  }
  if (p_bWait && l_Info.hProcess) platform::WaitForInputIdle(l_Info.hProcess, kIdleWait);
  l_Info.hProcess.Close();
  return 1;
}

void RequestProxyStart() { RequestProxy(u"WMP_START_SERVICE"); }
void RequestProxyStop() { RequestProxy(u"WMP_STOP_SERVICE"); }
void RequestProxyRestart() { RequestProxy(u"WMP_RESTART_SERVICE"); }
