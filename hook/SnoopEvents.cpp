#include "hook/SnoopEvents.h"

namespace {

platform::Event Named(std::u16string_view p_Name) {
  return platform::Event::Create(platform::EventReset::Auto, false, p_Name).handle;
}

}  // namespace

SnoopEvents SnoopEvents::Open() {
  return SnoopEvents{Named(u"TreeviewStatusStarted"),         Named(u"TreeviewStatus"),
                     Named(u"TreeviewStatusComplete"),        Named(u"TreeviewSync"),
                     Named(u"TreeviewSyncComplete"),          Named(u"TreeviewStateTerminate"),
                     Named(u"TreeviewStateTerminateComplete")};
}

bool SnoopEvents::HasRequestEvents() const {
  return terminate && status && statusComplete && statusStarted && sync;
}

void SnoopEvents::Close() noexcept {
  for (platform::Event* l_pEvent : {&statusStarted, &status, &statusComplete, &sync, &syncComplete,
                                    &terminate, &terminateComplete}) {
    l_pEvent->Close();
  }
}
