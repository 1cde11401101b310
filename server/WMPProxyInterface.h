#pragma once

// The per-session server's interface, its outgoing events and its identifiers, declared once for
// the server and for the service that binds it.

#include <cstdint>

#include "platform/com/CallInterface.h"
#include "platform/com/Event.h"
#include "platform/com/Guid.h"
#include "platform/com/Interface.h"
#include "platform/com/SafeArray.h"

// The object the server serves; the service calls its methods by their table.
struct IWMPProxy : IUnknown {
  // The hosted player's IUnknown, one reference for the caller.
  virtual HRESULT InitializePlayer(IUnknown** p_ppPlayerIUnknown) = 0;
  virtual HRESULT LoadQuillombMonitor() = 0;
  virtual HRESULT UnloadQuillombMonitor() = 0;
};

template <>
struct platform::InterfaceDeclaration<IWMPProxy> {
  static constexpr IID iid = GuidLiteral(u"{FC4CB576-0449-4425-8DDA-3163179BEE70}");
  static constexpr std::string_view name = "IWMPProxy";
  using Base = IUnknown;
  using Methods = MethodList<COM_METHOD(IWMPProxy, InitializePlayer),
                             COM_METHOD(IWMPProxy, LoadQuillombMonitor),
                             COM_METHOD(IWMPProxy, UnloadQuillombMonitor)>;
};

// What the server tells its sinks. UserLogoff is declared for the sinks and never raised.
struct _IWMPEventSinkEvents {
  using WMPNavigationChanged =
      platform::DispEvent<1, "WMPNavigationChanged", std::int32_t, SAFEARRAY*>;
  using UserLogoff = platform::DispEvent<2, "UserLogoff", std::int32_t>;
};

template <>
struct platform::InterfaceDeclaration<_IWMPEventSinkEvents> {
  static constexpr IID iid = GuidLiteral(u"{882D541A-AA8F-4C56-83FB-78B49314FB61}");
  static constexpr std::string_view name = "_IWMPEventSinkEvents";
};

inline constexpr CLSID CLSID_WMPProxy =
    platform::GuidLiteral(u"{52CA7E0B-F5C4-4290-994F-D028D89DEBAF}");
// Declared in the server's type library and never served.
inline constexpr CLSID CLSID_WMPEventSink =
    platform::GuidLiteral(u"{A0543D5B-B203-4A1C-B089-FC1EFD35EEC1}");
inline constexpr GUID LIBID_RuvelloLib =
    platform::GuidLiteral(u"{36EA6C0F-53DF-4CEF-A766-C7FB9592DD2C}");
inline constexpr GUID APPID_Ruvello =
    platform::GuidLiteral(u"{5D763E8C-539E-4E80-8A69-E27BC0E59E4C}");

class CWMPProxyCallProxy final : public platform::Proxy<IWMPProxy> {
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
    platform::RegisterCallInterface<IWMPProxy, CWMPProxyCallProxy>() &&
    platform::RegisterEventInterface<_IWMPEventSinkEvents>();
