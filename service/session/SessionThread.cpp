#include "service/session/SessionThread.h"

#include <memory>
#include <string>

#include "common/Edition.h"
#include "common/ProgramLogger.h"
#include "platform/base/Format.h"
#include "platform/base/Process.h"
#include "platform/com/Activation.h"
#include "platform/com/Apartment.h"
#include "platform/kernel/Wait.h"
#include "service/device/ServiceEvents.h"
#include "service/menu/MusicLibrary.h"
#include "service/session/EventSinks.h"
#include "service/session/MediaPlayerEvents.h"
#include "service/session/SessionWaitLoop.h"
#include "service/session/UserControlBlock.h"

using platform::ComPtr;

namespace {

constexpr std::uint32_t kWritten = LOG_TO_FILE | LOG_WRITE;
constexpr int kBindRetries = 5;
constexpr platform::Timeout kBindRetryPause{1000};

std::u16string SessionEventName(const char16_t* p_szBaseName, std::uint32_t p_dwSessionId) {
  return platform::Format(std::u16string_view(u"%s%d"), p_szBaseName, p_dwSessionId);
}

HRESULT BindWithRetries(IMoniker& p_Moniker, IBindCtx* p_pContext,
                        ComPtr<IClassFactory>& p_spFactory) {
  HRESULT l_hr = p_Moniker.BindToObject(p_pContext, nullptr, platform::IidOf<IClassFactory>,
                                        p_spFactory.put_void());
  // A server still starting answers one of these until it has registered.
  for (int l_nRetry = 1;
       (l_hr == kServerStarting || l_hr == CO_E_SERVER_EXEC_FAILURE) && l_nRetry <= kBindRetries;
       ++l_nRetry) {
    g_Logger->Log(LOG_TO_FILE, u"Polling BindToObject....  %x last response %x", l_nRetry, l_hr);
    platform::Sleep(kBindRetryPause);
    l_hr = p_Moniker.BindToObject(p_pContext, nullptr, platform::IidOf<IClassFactory>,
                                  p_spFactory.put_void());
  }
  return l_hr;
}

// The player's docked test: a player that is not docked gets the tree-view monitor.
HRESULT LoadMonitorUnlessDocked(IWMPPlayer4& p_Player, IWMPProxy& p_Proxy) {
  ComPtr<IWMPPlayerApplication> l_spApplication;
  HRESULT l_hr = p_Player.get_playerApplication(l_spApplication.put());
  if (SUCCEEDED(l_hr) && !l_spApplication) {
    l_hr = E_POINTER;
  }
  if constexpr (kEdition == Edition::Second) {
    if (FAILED(l_hr)) {
      g_Logger->Log(kWritten, u"get_playerApplication fails with %x", l_hr);
    } else {
      g_Logger->Log(LOG_TO_FILE, u"get_playerApplication Succeeds");
    }
  }
  if (FAILED(l_hr)) {
    return l_hr;
  }
  VARIANT_BOOL l_vbDocked = VARIANT_FALSE;
  if (l_hr = l_spApplication->get_playerDocked(&l_vbDocked); FAILED(l_hr)) {
    return l_hr;
  }
  if (l_vbDocked != VARIANT_FALSE) {
    return l_hr;
  }
  l_hr = p_Proxy.LoadQuillombMonitor();
  if (SUCCEEDED(l_hr)) {
    g_Logger->Log(LOG_TO_FILE, u"LoadQuillombMonitor Succeeds");
  } else {
    g_Logger->Log(kWritten, u"LoadQuillombMonitor Fails with error %x", l_hr);
  }
  return l_hr;
}

// Creates a per-session event that the tray and the server watch, open to every user, writing a
// failure; the shutdown event's failure text does not name it.
platform::Event CreateWatchedEvent(const std::u16string& p_Name, bool p_bFailureNamesEvent) {
  const platform::SecurityDescriptor l_EveryUser = platform::SecurityDescriptor::NullDacl();
  platform::HandleResult<platform::Event> l_Result =
      platform::Event::Create(platform::EventReset::Auto, false, p_Name, &l_EveryUser);
  if (!l_Result.handle && p_bFailureNamesEvent) {
    g_Logger->Log(kWritten, u"UserPlayerControlBlock CreateEvent %s fails with error %d", p_Name,
                  l_Result.error);
  } else if (!l_Result.handle) {
    g_Logger->Log(kWritten, u"UserPlayerControlBlock CreateEvent l_csEventName fails with error %d",
                  l_Result.error);
  } else {
    g_Logger->Log(LOG_TO_FILE, u"UserPlayerControlBlock CreateEvent %s Succeeds", p_Name);
  }
  return std::move(l_Result.handle);
}

}  // namespace

HRESULT CreateRemoteMediaPlayer(std::uint32_t p_dwSessionId, ComPtr<IWMPProxy>& p_pIProxyServer,
                                ComPtr<IWMPPlayer4>& p_spPlayer) {
  const std::u16string l_BindString = platform::Format(
      std::u16string_view(u"Session:%d!clsid:52CA7E0B-F5C4-4290-994F-D028D89DEBAF"),
      p_dwSessionId);
  g_Logger->Log(LOG_TO_FILE, u"CreateRemoteMediaPlayer bindstring = %s", l_BindString);
  ComPtr<IBindCtx> l_spContext;
  ComPtr<IMoniker> l_spMoniker;
  ComPtr<IClassFactory> l_spFactory;
  ComPtr<IUnknown> l_spUnknown;
  HRESULT l_hr = CreateBindCtx(0, l_spContext.put());
  if (FAILED(l_hr)) {
    g_Logger->Log(kWritten, u"CreateBindCtx fails with %x", l_hr);
  }
  if (SUCCEEDED(l_hr)) {
    ULONG l_nEaten = 0;
    l_hr = MkParseDisplayNameEx(l_spContext.get(), l_BindString.c_str(), &l_nEaten,
                                l_spMoniker.put());
    if (FAILED(l_hr)) {
      g_Logger->Log(kWritten, u"MkParseDisplayNameEx fails with %x", l_hr);
    }
  }
  if (SUCCEEDED(l_hr)) {
    l_hr = BindWithRetries(*l_spMoniker, l_spContext.get(), l_spFactory);
    if (FAILED(l_hr)) {
      g_Logger->Log(kWritten, u"pMoniker->BindToObject fails with %x", l_hr);
    }
  }
  if (SUCCEEDED(l_hr)) {
    l_hr = l_spFactory->CreateInstance(nullptr, platform::IidOf<IWMPProxy>,
                                       p_pIProxyServer.put_void());
    if (FAILED(l_hr)) {
      g_Logger->Log(kWritten, u"l_pClassFactory->CreateInstance fails with %x", l_hr);
    }
  }
  if (SUCCEEDED(l_hr)) {
    l_hr = p_pIProxyServer->InitializePlayer(l_spUnknown.put());
    if (SUCCEEDED(l_hr) && !l_spUnknown) {
      l_hr = E_POINTER;
    }
    if (FAILED(l_hr)) {
      g_Logger->Log(kWritten, u"p_pIProxyServer->InitializePlayer fails with %x", l_hr);
    }
  }
  if (SUCCEEDED(l_hr)) {
    l_hr = l_spUnknown.QueryInterface(p_spPlayer);
    if (FAILED(l_hr)) {
      g_Logger->Log(kWritten, u"QueryInterface fails with %x", l_hr);
    }
  }
  g_Logger->Log(LOG_TO_FILE, u"CreateRemoteMediaPlayer leaves with %x", l_hr);
  return l_hr;
}

std::uint32_t UserWindowsMediaPlayer(const CSessionEvents& p_Events) {
  const std::uint32_t l_dwThread = platform::CurrentThreadId();
  const std::uint32_t l_dwSession = p_Events.m_dwSessionId;
  g_Logger->Log(LOG_TO_FILE, u"UserWindowsMediaPlayer Thread %x Starts for Session %d",
                l_dwThread, l_dwSession);
  HRESULT l_hr = E_FAIL;
  CoInitialize(nullptr);
  ComPtr<IWMPProxy> l_pIProxyServer;
  ComPtr<IWMPPlayer4> l_spPlayer;
  l_hr = CreateRemoteMediaPlayer(l_dwSession, l_pIProxyServer, l_spPlayer);
  if (FAILED(l_hr)) {
    g_Logger->Log(kWritten, u"CreateRemoteMediaPlayer fails with %x", l_hr);
  }
  if (SUCCEEDED(l_hr)) {
    WMPPlayState l_nState = wmppsUndefined;
    l_hr = l_spPlayer->get_playState(&l_nState);
    if (SUCCEEDED(l_hr)) {
      g_Logger->Log(LOG_TO_FILE, u"CurrentPlayState is %d", l_nState);
    } else {
      g_Logger->Log(kWritten, u"CurrentPlayState fails with %x", l_hr);
    }
  } else {
    g_Logger->Log(kWritten, u"CreateRemoteMediaPlayer fails with %x", l_hr);
  }
  if (SUCCEEDED(l_hr)) {
    l_hr = LoadMonitorUnlessDocked(*l_spPlayer, *l_pIProxyServer);
  }
  platform::Event l_hOutput = CreateAutoResetEvent(u"REMOTE_DEVICE_OUTPUT_DATA");
  std::unique_ptr<CMusicLibrary> l_pRoot;
  if (SUCCEEDED(l_hr)) {
    l_pRoot = std::make_unique<CMusicLibrary>(l_spPlayer.get());
    g_Logger->Log(LOG_TO_FILE, u"InitializeLibrary");
    if (l_pRoot->InitializeLibrary()) {
      g_Logger->Log(LOG_TO_FILE, u"InitializeLibrary Returns");
    }
  }
  ComPtr<CWMPEventsSink> l_pEventsSink;
  ComPtr<CWMPNavigationSink> l_pNavigationSink;
  if (SUCCEEDED(l_hr)) {
    l_hr = EstablishEventsConnectionPoint(l_spPlayer, l_dwSession, l_pEventsSink);
  }
  if (FAILED(l_hr)) {
    g_Logger->Log(kWritten, u"EstablishEventsConnectionPoint Fails");
  } else {
    l_hr = EstablishNavigationEventsConnectionPoint(l_pIProxyServer, l_dwSession,
                                                    l_pNavigationSink);
    if (FAILED(l_hr)) {
      g_Logger->Log(kWritten, u"EstablishNavigationEventsConnectionPoint Fails");
    }
  }
  // The session's server, running as the session's user, makes or opens it too.
  const platform::SecurityDescriptor l_EveryUser = platform::SecurityDescriptor::NullDacl();
  const platform::Event l_hAlbumPoll = CreateAutoResetEvent(
      SessionEventName(u"Global\\WMPAlbumPollEvent", l_dwSession), &l_EveryUser);
  p_Events.m_hThreadInitialized.Set();

  platform::Event l_hLogonComplete;
  platform::Event l_hShutdownComplete;
  if (FAILED(l_hr)) {
    g_Logger->Log(kWritten, u"UserPlayerControlBlock Initialization fails on thread %x",
                  l_dwThread);
  } else {
    g_Logger->Log(LOG_TO_FILE, u"UserPlayerControlBlock Initialization Complete on thread %x",
                  l_dwThread);
    l_hShutdownComplete = CreateWatchedEvent(
        SessionEventName(u"Global\\WMP_SERVICE_SHUTDOWN_COMPLETE", l_dwSession), false);
    l_hLogonComplete = CreateWatchedEvent(
        SessionEventName(u"Global\\WTS_LOGON_INITIALIZATION_COMPLETE", l_dwSession), true);
    l_hLogonComplete.Set();
    CSessionWaitLoop(p_Events, l_spPlayer, l_pRoot.get(), l_pIProxyServer, l_hOutput,
                     l_hAlbumPoll)
        .Run();
    g_Logger->Log(LOG_TO_FILE, u"UserWindowsMediaPlayer thread %x terminating", l_dwThread);
  }

  if (l_pRoot) {
    g_Logger->Log(LOG_TO_FILE, u"Start MusicLibrary delete");
    l_pRoot.reset();
    g_Logger->Log(LOG_TO_FILE, u"MusicLibrary deleted");
  }
  // The sinks leave their sources, and everything is released before the apartment ends.
  if (l_pEventsSink) {
    l_pEventsSink->DispEventUnadvise(l_spPlayer.get());
  }
  if (l_pNavigationSink) {
    l_pNavigationSink->DispEventUnadvise(l_pIProxyServer.get());
  }
  l_pEventsSink.Release();
  l_pNavigationSink.Release();
  g_Logger->Log(LOG_TO_FILE, u"l_spPlayer.Release");
  l_spPlayer.Release();
  g_Logger->Log(LOG_TO_FILE, u"l_pIProxyServer.Release");
  l_pIProxyServer.Release();
  CoUninitialize();
  PurgeMediaPlayerEvents(l_dwSession);
  l_hOutput.Close();
  l_hLogonComplete.Close();
  l_hShutdownComplete.Set();
  l_hShutdownComplete.Close();
  g_Logger->Log(LOG_TO_FILE, u"UserWindowsMediaPlayer Thread %x Ends", l_dwThread);
  return 0;
}
