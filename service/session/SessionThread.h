#pragma once

// The binding of a session's per-session server through the session moniker, for the session's
// player-control thread (UserWindowsMediaPlayer, declared with the control block).

#include <cstdint>

#include "platform/com/ComPtr.h"
#include "platform/player/PlayerInterfaces.h"
#include "server/WMPProxyInterface.h"

// Binds the server's class object in the session (retrying while the server starts), creates
// its object into `p_pIProxyServer` and receives the player into `p_spPlayer`. After a failure
// from InitializePlayer on, the server object stays in `p_pIProxyServer` for the caller to
// release. On the session thread.
HRESULT CreateRemoteMediaPlayer(std::uint32_t p_dwSessionId,
                                platform::ComPtr<IWMPProxy>& p_pIProxyServer,
                                platform::ComPtr<IWMPPlayer4>& p_spPlayer);
