#include "service/device/IdleTimeout.h"

#include <memory>
#include <new>

#include "common/ProgramLogger.h"
#include "service/session/MediaPlayerEvents.h"

void QueuePlayerIdleTimeout(const ServiceEvents& p_Events) {
  try {
    AppendMediaPlayerEvent(std::make_unique<CPlayerIdleTimeout>(kPlayerIdleTimeoutEventId));
  } catch (const std::bad_alloc&) {
    g_Logger->Log(LOG_TO_FILE, u"QueuePlayerIdleTimeout cannot allocate the record");
    return;
  }
  p_Events.Set(ServiceEvent::MediaPlayerEvent);
}
