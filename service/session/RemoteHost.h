#pragma once

// CRemoteHost: the site a host program gives the player control, through which the control finds
// the player's remoting service and so runs as a remoted control of the player application.

#include <cstdint>

#include "platform/com/Object.h"
#include "platform/com/ServiceProvider.h"
#include "platform/player/PlayerInterfaces.h"

// The id of the host program's name among its string resources.
inline constexpr std::uint32_t IDS_PROJNAME = 100;

// Called on the thread of the control it is the site of (a single-threaded apartment).
class CRemoteHost final
    : public platform::ComObject<IServiceProvider, IWMPRemoteMediaServices> {
 public:
  // Every service is this object: the control asks it for the remoting service's interface.
  HRESULT QueryService(REFGUID service, REFIID iid, void** object) override;

  // "Remote": the control connects to the player application instead of running its own.
  HRESULT GetServiceType(BSTR* type) override;
  // The host program's name (its string resource IDS_PROJNAME).
  HRESULT GetApplicationName(BSTR* name) override;
  HRESULT GetScriptableObject(BSTR* name, IDispatch** object) override;
  HRESULT GetCustomUIMode(BSTR* file) override;
};
