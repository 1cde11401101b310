#include "service/device/ServiceEvents.h"

namespace {

platform::Event CreateServiceEvent(ServiceEvent p_Event) {
  return platform::Event::Create(platform::EventReset::Auto, false, ServiceEventName(p_Event))
      .handle;
}

}  // namespace

ServiceEvents::ServiceEvents() {
  for (std::size_t l_nIndex = 0; l_nIndex < kServiceEventCount; ++l_nIndex) {
    m_Events[l_nIndex] = CreateServiceEvent(static_cast<ServiceEvent>(l_nIndex));
  }
}

bool ServiceEvents::Set(ServiceEvent p_Event) const {
  return m_Events[static_cast<std::size_t>(p_Event)].Set();
}

bool SetServiceEvent(ServiceEvent p_Event) { return CreateServiceEvent(p_Event).Set(); }
