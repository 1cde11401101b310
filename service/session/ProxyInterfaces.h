#pragma once

// The per-session server's object as the service calls it: `IWMPProxy`, which hands out the
// player and loads and unloads the tree-view monitor, and its outgoing events
// `_IWMPEventSinkEvents`, declared once for the call layer so that both processes agree.

#include <cstdint>

#include "platform/com/CallInterface.h"
#include "platform/com/Dispatch.h"
#include "platform/com/Event.h"
#include "platform/com/Interface.h"
#include "platform/com/SafeArray.h"

struct IWMPProxy : IUnknown {
  // Hands out the hosted player's IUnknown with one reference for the caller.
  virtual HRESULT InitializePlayer(IUnknown** p_ppPlayerIUnknown) = 0;
  virtual HRESULT LoadQuillombMonitor() = 0;
  virtual HRESULT UnloadQuillombMonitor() = 0;
};

struct _IWMPEventSinkEvents {
  // The path of the selection in the player's library tree, root first.
  using WMPNavigationChanged =
      platform::DispEvent<1, "WMPNavigationChanged", std::int32_t, SAFEARRAY*>;
  using UserLogoff = platform::DispEvent<2, "UserLogoff", std::int32_t>;
};

// The server's class, reached through the session moniker.
inline constexpr CLSID CLSID_WMPProxy =
    platform::GuidLiteral(u"{52CA7E0B-F5C4-4290-994F-D028D89DEBAF}");

template <>
struct platform::InterfaceDeclaration<IWMPProxy> {
  static constexpr IID iid = GuidLiteral(u"{FC4CB576-0449-4425-8DDA-3163179BEE70}");
  static constexpr std::string_view name = "IWMPProxy";
  using Base = IUnknown;
  using Methods = MethodList<COM_METHOD(IWMPProxy, InitializePlayer),
                             COM_METHOD(IWMPProxy, LoadQuillombMonitor),
                             COM_METHOD(IWMPProxy, UnloadQuillombMonitor)>;
};

template <>
struct platform::InterfaceDeclaration<_IWMPEventSinkEvents> {
  static constexpr IID iid = GuidLiteral(u"{882D541A-AA8F-4C56-83FB-78B49314FB61}");
  static constexpr std::string_view name = "_IWMPEventSinkEvents";
};

// The proxy by which another process calls a server's object. Any thread.
class CWMPProxyCalls final : public platform::Proxy<IWMPProxy> {
 public:
  using Proxy::Proxy;
  HRESULT InitializePlayer(IUnknown** p_ppPlayerIUnknown) override {
    return Forward<&IWMPProxy::InitializePlayer>(p_ppPlayerIUnknown);
  }
  HRESULT LoadQuillombMonitor() override { return Forward<&IWMPProxy::LoadQuillombMonitor>(); }
  HRESULT UnloadQuillombMonitor() override {
    return Forward<&IWMPProxy::UnloadQuillombMonitor>();
  }
};

inline const bool kWMPProxyCallsRegistered =
    platform::RegisterCallInterface<IWMPProxy, CWMPProxyCalls>() &&
    platform::RegisterEventInterface<_IWMPEventSinkEvents>();
