#pragma once

// The hidden window that hosts the player control in remote mode, with a CRemoteHost as its site.

#include "platform/com/AxHost.h"
#include "server/WMPProxy.h"

// Made, used and destroyed on the server's main thread.
class CRemotePlayerHost final : public CPlayerHost {
 public:
  HRESULT CreateRemoteMediaPlayer(platform::ComPtr<IWMPPlayer4>& p_spPlayer) override;

 private:
  platform::CAxWindow m_View;
};
