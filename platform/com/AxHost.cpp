#include "platform/com/AxHost.h"

#include <map>
#include <memory>
#include <mutex>
#include <string_view>

#include "platform/base/Text.h"
#include "platform/com/Object.h"
#include "platform/user/Window.h"

namespace platform {

namespace {

// The control classes of this process; filled as programs start, read by any thread.
class ControlClasses {
 public:
  static ControlClasses& Instance() {
    static ControlClasses classes;
    return classes;
  }
  bool Add(REFCLSID clsid, ControlFactory factory) {
    const std::scoped_lock lock(m_mutex);
    return m_factories.emplace(clsid, factory).second;
  }
  ControlFactory Find(REFCLSID clsid) {
    const std::scoped_lock lock(m_mutex);
    const auto found = m_factories.find(clsid);
    return found == m_factories.end() ? nullptr : found->second;
  }

 private:
  std::mutex m_mutex;
  std::map<CLSID, ControlFactory> m_factories;
};

// The host object of one host window: the control's site, which passes the control's service
// requests on to its own site. Used on the window's thread.
class CAxHost final : public ComObject<IAxWinHostWindow, IObjectWithSite, IServiceProvider> {
 public:
  HRESULT CreateControl(const OLECHAR* classIdText, HWND window, IStream* /*stream*/) override {
    if (classIdText == nullptr) return E_POINTER;
    const std::optional<CLSID> clsid =
        ParseGuid(std::u16string_view(classIdText, TextLength(classIdText)));
    if (!clsid) return CO_E_CLASSSTRING;
    const ControlFactory factory = ControlClasses::Instance().Find(*clsid);
    if (factory == nullptr) return REGDB_E_CLASSNOTREG;
    if (!IsWindow(window)) return E_INVALIDARG;
    ReleaseControl();
    ComPtr<IUnknown> control;
    if (const HRESULT hr = factory(control.put()); FAILED(hr)) return hr;
    ComPtr<IObjectWithSite> withSite;
    if (SUCCEEDED(control.QueryInterface(withSite))) {
      if (const HRESULT hr = withSite->SetSite(Identity()); FAILED(hr)) {
        withSite->SetSite(nullptr);
        return hr;
      }
    }
    m_control = std::move(control);
    return S_OK;
  }

  HRESULT QueryControl(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!m_control) return E_NOINTERFACE;
    return m_control->QueryInterface(iid, object);
  }

  HRESULT SetSite(IUnknown* site) override {
    m_site = site;
    return S_OK;
  }

  HRESULT GetSite(REFIID iid, void** site) override {
    if (site == nullptr) return E_POINTER;
    *site = nullptr;
    if (!m_site) return E_FAIL;
    return m_site->QueryInterface(iid, site);
  }

  HRESULT QueryService(REFGUID service, REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    ComPtr<IServiceProvider> provider;
    if (FAILED(m_site.QueryInterface(provider))) return E_NOINTERFACE;
    return provider->QueryService(service, iid, object);
  }

  // The window goes: the control lets go of its site, and the host of its own.
  void Close() {
    ReleaseControl();
    m_site.Release();
  }

 private:
  void ReleaseControl() {
    const ComPtr<IUnknown> control = std::move(m_control);
    ComPtr<IObjectWithSite> withSite;
    if (SUCCEEDED(control.QueryInterface(withSite))) withSite->SetSite(nullptr);
  }

  ComPtr<IUnknown> m_site;
  ComPtr<IUnknown> m_control;
};

CAxHost* HostOf(HWND window) { return static_cast<CAxHost*>(GetWindowUserData(window)); }

LRESULT HostWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: {
      // The window keeps its host object alive; the pointer in its user data is for look-ups.
      const ComPtr<CAxHost> host = MakeObject<CAxHost>();
      if (!AttachToWindow(window, std::make_shared<ComPtr<CAxHost>>(host)) ||
          !SetWindowUserData(window, host.get())) {
        return -1;
      }
      return 0;
    }
    case WM_DESTROY:
      if (CAxHost* host = HostOf(window)) host->Close();
      SetWindowUserData(window, nullptr);
      return 0;
    default:
      return DefWindowProc(window, message, wParam, lParam);
  }
}

}  // namespace

bool AtlAxWinInit() {
  return RegisterClass(kAxHostWindowClass, HostWindowProcedure) ||
         LastWindowsError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool RegisterControlClass(REFCLSID clsid, ControlFactory factory) {
  return factory != nullptr && ControlClasses::Instance().Add(clsid, factory);
}

CAxWindow::~CAxWindow() { DestroyWindow(); }

HWND CAxWindow::Create(HWND parent, std::u16string_view title, std::uint32_t style) {
  DestroyWindow();
  m_hWnd = CreateWindow(kAxHostWindowClass, title, style, parent);
  return m_hWnd;
}

bool CAxWindow::DestroyWindow() {
  if (m_hWnd == 0) return false;
  const HWND window = std::exchange(m_hWnd, 0);
  return platform::DestroyWindow(window);
}

HRESULT CAxWindow::QueryHost(REFIID iid, void** object) const {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  CAxHost* host = m_hWnd == 0 ? nullptr : HostOf(m_hWnd);
  if (host == nullptr) return E_FAIL;
  return host->QueryInterface(iid, object);
}

HRESULT CAxWindow::QueryControl(REFIID iid, void** object) const {
  ComPtr<IAxWinHostWindow> host;
  if (const HRESULT hr = QueryHost(host); FAILED(hr)) {
    if (object != nullptr) *object = nullptr;
    return hr;
  }
  return host->QueryControl(iid, object);
}

}  // namespace platform
