#pragma once

// Turns the queued player event records of one session into changes of its menu tree and of the
// player-side state, and into the display pages that the device output thread draws. Runs on the
// session's player-control thread.

#include <atomic>
#include <cstdint>

#include "common/DeviceData.h"
#include "platform/com/ComPtr.h"
#include "platform/player/PlayerInterfaces.h"
#include "service/menu/MusicLibrary.h"
#include "server/WMPProxyInterface.h"

// The play state of the last play-state event of any session: one value for the service, which
// the session threads write and read at once.
extern std::atomic<std::int32_t> g_nSessionPlayState;

// Appends a copy of the page to the output list and sets "REMOTE_DEVICE_OUTPUT_DATA"; false, and
// nothing appended, when that event cannot be opened. Any thread.
bool QueueDeviceOutput(const CDeviceData& p_Page);

// Takes the session's records (and those of no session) off the queue, oldest first, until none
// is left, and hands each to its handler; records that other sessions queued stay for them.
// `p_pLibrary` may be null (the tree could not be made). Always true.
bool ProcessMediaPlayerEvent(const platform::ComPtr<IWMPPlayer4>& p_spPlayer,
                             CMusicLibrary* p_pLibrary,
                             const platform::ComPtr<IWMPProxy>& p_pProxy,
                             std::uint32_t p_dwSessionId);
