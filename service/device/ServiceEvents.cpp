#include "service/device/ServiceEvents.h"

platform::Event CreateAutoResetEvent(std::u16string_view p_Name) {
  return platform::Event::Create(platform::EventReset::Auto, false, p_Name).handle;
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
