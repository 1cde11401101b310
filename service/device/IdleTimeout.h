#pragma once

// The idle-timeout record that makes the console session's thread show the now-playing screen.

#include "service/device/ServiceEvents.h"

// Appends a CPlayerIdleTimeout record to the event queue and sets "RemoteMediaPlayerEvent". A
// record that cannot be allocated is logged and not queued. Any thread.
void QueuePlayerIdleTimeout(const ServiceEvents& p_Events);
