#pragma once

// The player control hosted as the per-session server hosts it, with a site of the test's: a
// site answers the remoting service with the service type it is given. The thread that hosts the
// control only.

#include <string>

#include "platform/com/Object.h"
#include "platform/player/PlayerInterfaces.h"
#include "platform/com/AxHost.h"

namespace player_test {

class CTestSite final : public platform::ComObject<IServiceProvider, IWMPRemoteMediaServices> {
 public:
  explicit CTestSite(std::u16string serviceType) : m_serviceType(std::move(serviceType)) {}
  HRESULT QueryService(REFGUID /*service*/, REFIID iid, void** object) override {
    return QueryInterface(iid, object);
  }
  HRESULT GetServiceType(BSTR* type) override {
    if (type == nullptr) return E_POINTER;
    *type = SysAllocStringLen(m_serviceType.data(), static_cast<std::uint32_t>(m_serviceType.size()));
    return S_OK;
  }
  HRESULT GetApplicationName(BSTR* name) override {
    if (name == nullptr) return E_POINTER;
    *name = SysAllocString(u"player tests");
    return S_OK;
  }
  HRESULT GetScriptableObject(BSTR* name, IDispatch** object) override {
    if (name != nullptr) *name = nullptr;
    if (object != nullptr) *object = nullptr;
    return E_NOTIMPL;
  }
  HRESULT GetCustomUIMode(BSTR* /*file*/) override { return E_NOTIMPL; }

 private:
  std::u16string m_serviceType;
};

// A site that offers no services at all.
class CPlainSite final : public platform::ComObject<IUnknown> {};

// A hidden host window with the control in it.
class HostedControl {
 public:
  // The site first, then the control by its class id text; the first failure.
  HRESULT Host(IUnknown* site) {
    if (!platform::AtlAxWinInit() || m_view.Create(0, u"", WS_POPUP) == 0) return E_FAIL;
    platform::ComPtr<IObjectWithSite> withSite;
    platform::ComPtr<IAxWinHostWindow> host;
    if (const HRESULT hr = m_view.QueryHost(withSite); FAILED(hr)) return hr;
    if (const HRESULT hr = withSite->SetSite(site); FAILED(hr)) return hr;
    if (const HRESULT hr = m_view.QueryHost(host); FAILED(hr)) return hr;
    return host->CreateControl(u"{6BF52A52-394A-11d3-B153-00C04F79FAA6}", m_view.m_hWnd, nullptr);
  }
  // The control's player; null without a control.
  platform::ComPtr<IWMPPlayer4> Player() {
    platform::ComPtr<IWMPPlayer4> player;
    m_view.QueryControl(player);
    return player;
  }
  void Close() { m_view.DestroyWindow(); }

 private:
  platform::CAxWindow m_view;
};

}  // namespace player_test
