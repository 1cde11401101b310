#pragma once

// CWMPProxy: the one object the server serves. It hosts the player control in remote mode and
// hands the player out, watches the album count, brings the hook library into the player and
// turns its selection notices into WMPNavigationChanged events, and drops its sinks when the user
// logs off.

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/com/ClassFactory.h"
#include "platform/com/ConnectionPoint.h"
#include "platform/com/Object.h"
#include "platform/player/PlayerInterfaces.h"
#include "server/AlbumCountMonitor.h"
#include "platform/kernel/Event.h"
#include "server/QuillombLibrary.h"
#include "server/ServerWindow.h"
#include "server/WMPProxyInterface.h"

// The message the hook library's worker posts on a selection change (wParam 0), and that the
// album-count monitor stands for with wParam 1 and the new count.
inline constexpr UINT WM_WMP_TREE_CHANGE = 0x8001;

// The hidden window that hosts the player control (the host window of the control). Its thread.
class CPlayerHost {
 public:
  virtual ~CPlayerHost() = default;
  // Creates the window and the control in remote mode; the control's player.
  virtual HRESULT CreateRemoteMediaPlayer(platform::ComPtr<IWMPPlayer4>& p_spPlayer) = 0;
};

// What the object is built over: the module's lock, the control's host and the library loader.
struct CProxyServices {
  std::function<void()> lockModule;
  std::function<void()> unlockModule;
  std::function<std::unique_ptr<CPlayerHost>()> makePlayerHost;
  std::shared_ptr<CLibraryLoader> libraryLoader;
};

class CWMPProxy;

// A hidden window whose messages reach the object bound to it (none until bound). Its thread.
class CProxyWindow : public CServerWindow {
 public:
  void Bind(CWMPProxy* p_pProxy) noexcept { m_pProxy = p_pProxy; }

 protected:
  CWMPProxy* m_pProxy = nullptr;
};

// Receives the hook library's notices.
class WMPMessageWindow final : public CProxyWindow {
  bool ProcessWindowMessage(UINT p_nMessage, WPARAM p_wParam, LPARAM p_lParam,
                            LRESULT& p_lResult) override;
};

// Receives the end-of-session messages.
class CUserLogoffMonitorWindow final : public CProxyWindow {
  bool ProcessWindowMessage(UINT p_nMessage, WPARAM p_wParam, LPARAM p_lParam,
                            LRESULT& p_lResult) override;
};

// Called on the server's main thread (its single-threaded apartment): COM calls, window messages
// and the final release. The album-count monitor thread only sets the album event.
class CWMPProxy final : public platform::ComObject<IWMPProxy, IConnectionPointContainer> {
 public:
  explicit CWMPProxy(CProxyServices p_Services);
  ~CWMPProxy() override;

  HRESULT InitializePlayer(IUnknown** p_ppPlayerIUnknown) override;
  HRESULT LoadQuillombMonitor() override;
  HRESULT UnloadQuillombMonitor() override;
  HRESULT FindConnectionPoint(REFIID p_Iid, IConnectionPoint** p_ppPoint) override;

  // wParam non-zero: an album count fell (any thread); 0: the tree's selection changed.
  LRESULT OnWMPTreeChange(WPARAM p_wParam, LPARAM p_lParam);
  LRESULT OnEndSessionWithLogoff();

 private:
  void FinalRelease();
  void OnNavigation();
  HRESULT Fire_WMPNavigationChanged(std::int32_t p_nType, SAFEARRAY* p_pEntries);

  CProxyServices m_Services;
  platform::ConnectionPoints m_ConnectionPoints;
  platform::ConnectionPoint& m_EventSinkEvents;
  platform::ComPtr<IWMPPlayer4> m_spPlayer;
  std::unique_ptr<CPlayerHost> m_pView;
  std::unique_ptr<CLoadedLibrary> m_hQuillombLibrary;
  platform::Event m_hAlbumDeletedEvent;
  CAlbumCountMonitor m_AlbumCountMonitor;
  std::unique_ptr<WMPMessageWindow> m_pMessageWindow;
  std::unique_ptr<CUserLogoffMonitorWindow> m_pLogoffWindow;
};

// Makes CWMPProxy objects over the same services. Its objects' thread.
class CWMPProxyFactory final : public platform::ComObject<IClassFactory> {
 public:
  explicit CWMPProxyFactory(CProxyServices p_Services) : m_Services(std::move(p_Services)) {}
  HRESULT CreateInstance(IUnknown* p_pOuter, REFIID p_Iid, void** p_ppObject) override;

 private:
  CProxyServices m_Services;
};
