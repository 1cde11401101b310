#include "service/device/DeviceWait.h"

#include "common/ProgramLogger.h"

platform::WaitResult WaitRetryingResources(const std::function<platform::WaitResult()>& p_Wait,
                                           const char16_t* p_szThread) {
  for (;;) {
    const platform::WaitResult l_Result = p_Wait();
    if (l_Result.status != platform::WaitStatus::Failed ||
        l_Result.error != ERROR_NO_SYSTEM_RESOURCES) {
      return l_Result;
    }
    g_Logger->Log(LOG_TO_FILE, u"%s wait fails for lack of resources, retrying", p_szThread);
    platform::Sleep(kWaitRetryPause);
  }
}

platform::WaitResult WaitForObjectsRetrying(std::span<const platform::ObjectRef> p_Objects,
                                            platform::Timeout p_Timeout,
                                            const char16_t* p_szThread) {
  return WaitRetryingResources([&] { return platform::WaitForObjects(p_Objects, p_Timeout); },
                               p_szThread);
}
