#include "service/device/ServiceEvents.h"

#include <string>

#include "common/ProgramLogger.h"

platform::Event CreateAutoResetEvent(std::u16string_view p_Name,
                                     const platform::SecurityDescriptor* p_pSecurity) {
  platform::HandleResult<platform::Event> l_Result =
      platform::Event::Create(platform::EventReset::Auto, false, p_Name, p_pSecurity);
  if (!l_Result.handle) {
    // A full object table, say: the waits that would use the event fail, and this says why.
    const std::u16string l_Name = p_Name.empty() ? u"(unnamed)" : std::u16string(p_Name);
    g_Logger->Log(LOG_TO_FILE, u"CreateEvent %s fails with error %d", l_Name.c_str(),
                  l_Result.error);
  }
  return std::move(l_Result.handle);
}

ServiceEvents::ServiceEvents() {
  for (std::size_t l_nIndex = 0; l_nIndex < kServiceEventCount; ++l_nIndex) {
    m_Events[l_nIndex] =
        CreateAutoResetEvent(ServiceEventName(static_cast<ServiceEvent>(l_nIndex)));
  }
}

bool ServiceEvents::Set(ServiceEvent p_Event) const {
  return m_Events[static_cast<std::size_t>(p_Event)].Set();
}

bool SetServiceEvent(ServiceEvent p_Event) {
  return CreateAutoResetEvent(ServiceEventName(p_Event)).Set();
}
