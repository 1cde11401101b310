#pragma once

// The hidden window that hosts the player control in remote mode, with a CRemoteHost as its site.

#include "server/WMPProxy.h"

// Made, used and destroyed on the server's main thread.
class CRemotePlayerHost final : public CPlayerHost {
 public:
  HRESULT CreateRemoteMediaPlayer(platform::ComPtr<IWMPPlayer4>& p_spPlayer) override;

 private:
  class CHostWindow final : public CServerWindow {
    bool ProcessWindowMessage(UINT, WPARAM, LPARAM, LRESULT&) override { return false; }
  };
  CHostWindow m_View;
};
