#pragma once

// The player control, as a host window creates it by the class id CLSID_PlayerControl.
//
// When the host's site answers the remoting service (QueryService for IWMPRemoteMediaServices)
// with the service type "Remote", the control is a remoted control of the player application of
// its session: it activates CLSID_PlayerApplication there (which starts the application when none
// runs), and its IWMPPlayer4 is the application's player itself, so whoever is handed it calls the
// application directly. Otherwise it runs an engine of its own on its thread, over the user's
// library file (an empty library when the user has none). The control decides when it is given
// its site and lets its player go when the site is taken away.
//
// Used on the thread of its host window, which is the own engine's thread too.

#include "platform/com/Object.h"
#include "platform/player/PlayerInterfaces.h"
#include "platform/com/AxHost.h"

namespace platform::player {

class CPlayerControl final : public ComObject<IObjectWithSite> {
 public:
  // IWMPPlayer4 and IConnectionPointContainer are its player's.
  HRESULT QueryInterface(REFIID iid, void** object) override;
  // Fails, hosting nothing, when the application cannot be reached or the user's library file
  // cannot be read; the file is left as it is.
  HRESULT SetSite(IUnknown* site) override;
  HRESULT GetSite(REFIID iid, void** site) override;

 private:
  ComPtr<IUnknown> m_site;
  ComPtr<IWMPPlayer4> m_player;
};

// Whether `site` asks for the remote mode.
bool AsksForRemoteMode(IUnknown* site);

}  // namespace platform::player
