#include "service/device/ServiceEvent.h"

#include <array>

namespace {

constexpr std::array<std::u16string_view, kServiceEventCount> kNames = {
    u"RemoteMediaPlayerEvent",  u"RemoteButtonUp",        u"RemoteButtonDown",
    u"RemoteButtonLeft",        u"RemoteButtonRight",     u"RemoteButtonOk",
    u"RemoteButtonPlay",        u"RemoteButtonPause",     u"RemoteButtonStop",
    u"RemoteButtonPrev",        u"RemoteButtonNext",      u"RemoteButtonRewind",
    u"RemoteButtonFastForward", u"RemoteButtonPageDown",  u"RemoteButtonPageUp",
    u"RemoteButtonHome",        u"RemoteButtonPagesDown", u"RemoteButtonPagesUp",
    u"RemoteButtonPower",       u"RefreshScreen",
};

}  // namespace

std::u16string_view ServiceEventName(ServiceEvent p_Event) {
  return kNames[static_cast<std::size_t>(p_Event)];
}
