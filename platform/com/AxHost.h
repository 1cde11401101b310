#pragma once

// Hosting a control in a window: AtlAxWinInit registers the host window class, a CAxWindow
// creates a host window of it, and the window's host object creates a control by its class id
// text, makes itself the control's site and answers the control's service requests through the
// site it was given. Controls come from an in-process class table that each control's library
// fills. A host window, its host object and its control belong to the thread that created the
// window: every call below is made there.
//
//   AtlAxWinInit();
//   CAxWindow view;
//   view.Create(0, u"", WS_POPUP);
//   ComPtr<IObjectWithSite> withSite;     view.QueryHost(withSite);   withSite->SetSite(site);
//   ComPtr<IAxWinHostWindow> host;        view.QueryHost(host);
//   host->CreateControl(u"{...}", view.m_hWnd, nullptr);
//   ComPtr<IWMPPlayer4> player;           view.QueryControl(player);

#include <cstdint>
#include <string_view>

#include "platform/com/Apartment.h"
#include "platform/com/ComPtr.h"
#include "platform/com/Interface.h"
#include "platform/com/ServiceProvider.h"
#include "platform/user/Messages.h"

inline constexpr HRESULT CO_E_CLASSSTRING = MakeHresult(0x800401F3);

// An object that is told its site. SetSite(null) ends the relation; GetSite answers E_FAIL
// without a site.
struct IObjectWithSite : IUnknown {
  virtual HRESULT SetSite(IUnknown* site) = 0;
  virtual HRESULT GetSite(REFIID iid, void** site) = 0;
};

// The host object of a host window.
struct IAxWinHostWindow : IUnknown {
  // Creates the control whose class id text ("{...}") is given, in `window`, replacing a control
  // it hosts already; `stream` (a saved state) may be null. CO_E_CLASSSTRING for a text that is
  // no class id, REGDB_E_CLASSNOTREG for a class the process does not have, E_INVALIDARG for no
  // window, or the control's own failure to take its site.
  virtual HRESULT CreateControl(const OLECHAR* classIdText, HWND window, IStream* stream) = 0;
  // The hosted control's interface; E_NOINTERFACE while none is hosted.
  virtual HRESULT QueryControl(REFIID iid, void** object) = 0;
};

template <>
struct platform::InterfaceDeclaration<IObjectWithSite> {
  static constexpr IID iid = GuidLiteral(u"{E194EF0B-B605-4B0B-A5D7-95AF8652381A}");
  static constexpr std::string_view name = "IObjectWithSite";
  using Base = IUnknown;
  using Methods =
      MethodList<COM_METHOD(IObjectWithSite, SetSite), COM_METHOD(IObjectWithSite, GetSite)>;
};
// A host and its control share one thread, so none of this crosses a process.
template <>
struct platform::InterfaceDeclaration<IAxWinHostWindow> {
  static constexpr IID iid = GuidLiteral(u"{BA738E2A-963B-4465-83DC-2A2F9E55CC9A}");
  static constexpr std::string_view name = "IAxWinHostWindow";
  using Base = IUnknown;
  using Methods = MethodList<>;
};

namespace platform {

// The class of host windows.
inline constexpr std::u16string_view kAxHostWindowClass = u"AtlAxWin";

// Registers the host window class in this process; true also when it is registered already.
bool AtlAxWinInit();

// Makes a new instance of a control class (one reference for the caller).
using ControlFactory = HRESULT (*)(IUnknown** control);
// Adds a control class to this process's table; the first registration of a class id stays.
bool RegisterControlClass(REFCLSID clsid, ControlFactory factory);

// A host window as the hosting program owns it: Create makes the window (of the host window
// class, so AtlAxWinInit comes first), the destructor destroys it when it is still there. Used on
// the thread that creates the window.
class CAxWindow {
 public:
  CAxWindow() = default;
  CAxWindow(const CAxWindow&) = delete;
  CAxWindow& operator=(const CAxWindow&) = delete;
  ~CAxWindow();

  // The new window, also kept in m_hWnd; 0 when it cannot be made (LastWindowsError says why).
  HWND Create(HWND parent, std::u16string_view title, std::uint32_t style);
  bool DestroyWindow();

  // The window's host object as `iid`; E_FAIL without a window.
  HRESULT QueryHost(REFIID iid, void** object) const;
  template <class Q>
  HRESULT QueryHost(ComPtr<Q>& object) const {
    return QueryHost(IidOf<Q>, object.put_void());
  }
  // The hosted control as `iid`; E_FAIL without a window.
  HRESULT QueryControl(REFIID iid, void** object) const;
  template <class Q>
  HRESULT QueryControl(ComPtr<Q>& object) const {
    return QueryControl(IidOf<Q>, object.put_void());
  }

  HWND m_hWnd = 0;
};

}  // namespace platform
