#include "tray/ServiceMonitorThread.h"

#include <array>
#include <string>

#include "common/ProgramLogger.h"
#include "platform/base/Format.h"
#include "platform/kernel/Session.h"
#include "platform/kernel/Wait.h"
#include "platform/user/Window.h"
#include "tray/TrayResources.h"

namespace {

constexpr platform::Timeout kCreateRetry{1000};

std::u16string SessionEventName(std::u16string_view p_Name, std::uint32_t p_nSession) {
  return platform::Format(std::u16string_view(u"%s%d"), std::u16string(p_Name),
                          static_cast<std::int32_t>(p_nSession));
}

std::uint32_t ServiceMonitorThread(HWND p_hDialog, platform::ObjectRef p_Stop) {
  const std::uint32_t l_nSession = platform::ProcessSessionId();
  const std::u16string l_ReadyName =
      SessionEventName(u"Global\\WTS_LOGON_INITIALIZATION_COMPLETE", l_nSession);
  // The service makes these events too, and every session's tray waits for the request.
  const platform::SecurityDescriptor l_EveryUser = platform::SecurityDescriptor::NullDacl();
  platform::HandleResult<platform::Event> l_Ready;
  for (;;) {
    l_Ready = platform::Event::Create(platform::EventReset::Auto, false, l_ReadyName, &l_EveryUser);
    if (l_Ready.handle) break;
    g_Logger->Log(LOG_TO_FILE, u"ServiceMonitorThread CreateEvent for %s fails with error %d",
                  l_ReadyName, l_Ready.error);
    platform::Sleep(kCreateRetry);
  }
  // An event that was there already: the service serves this session.
  if (l_Ready.alreadyExisted) platform::PostMessage(p_hDialog, WM_SERVICE_RUNNING, 0, 0);

  const platform::Event l_Ended =
      platform::Event::Create(platform::EventReset::Auto, false,
                              SessionEventName(u"Global\\WMP_SERVICE_SHUTDOWN_COMPLETE", l_nSession),
                              &l_EveryUser)
          .handle;
  const platform::Event l_ShutdownRequested =
      platform::Event::Create(platform::EventReset::Manual, false,
                              u"Global\\WMP_TRAY_SHUTDOWN_REQUESTED", &l_EveryUser)
          .handle;
  if (!l_Ended || !l_ShutdownRequested) {
    platform::PostMessage(p_hDialog, WM_TRAY_STOP, 0, 0);
  } else if (p_Stop.IsNull()) {
    g_Logger->Log(LOG_TO_FILE, u"ServiceMonitorThread Invalid wait Handle");
  } else {
    const std::array<platform::ObjectRef, 4> l_Handles{p_Stop, l_Ready.handle.Ref(), l_Ended.Ref(),
                                                       l_ShutdownRequested.Ref()};
    for (bool l_bWatching = true; l_bWatching;) {
      const platform::WaitResult l_Result =
          platform::WaitForObjects(l_Handles, platform::kInfinite);
      if (l_Result.Signalled(0)) {
        l_bWatching = false;
      } else if (l_Result.Signalled(1)) {
        platform::PostMessage(p_hDialog, WM_SERVICE_RUNNING, 0, 0);
      } else if (l_Result.Signalled(2)) {
        platform::PostMessage(p_hDialog, WM_SERVICE_STOPPED, 0, 0);
      } else if (l_Result.Signalled(3) || l_Result.status == platform::WaitStatus::Failed) {
        platform::PostMessage(p_hDialog, WM_TRAY_STOP, 0, 0);
        l_bWatching = false;
      } else {
        g_Logger->Log(LOG_TO_FILE, u"ServiceMonitorThread WaitForMultipleObjects returns %d",
                      static_cast<std::int32_t>(l_Result.index));
      }
    }
  }
  g_Logger->Log(LOG_TO_FILE, u"ServiceMonitorThread Exits");
  return 0;
}

}  // namespace

platform::Thread StartServiceMonitorThread(HWND p_hDialog, const platform::Event& p_StopEvent) {
  const platform::ObjectRef l_Stop = p_StopEvent.Ref();
  return platform::Thread::Start(
      [p_hDialog, l_Stop] { return ServiceMonitorThread(p_hDialog, l_Stop); });
}
