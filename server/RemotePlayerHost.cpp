#include "server/RemotePlayerHost.h"

#include "common/ProgramLogger.h"
#include "platform/base/Time.h"
#include "platform/user/Window.h"
#include "service/session/RemoteHost.h"

namespace {

constexpr const OLECHAR* kPlayerControlClass = u"{6BF52A52-394A-11d3-B153-00C04F79FAA6}";

}  // namespace

HRESULT CRemotePlayerHost::CreateRemoteMediaPlayer(platform::ComPtr<IWMPPlayer4>& p_spPlayer) {
  const std::uint32_t l_nStart = platform::TickCount();
  if (!platform::AtlAxWinInit()) g_Logger->Log(LOG_TO_FILE, "AtlAxWinInit Fails!");
  if (m_View.Create(0, u"", WS_POPUP) == 0) {
    g_Logger->Log(LOG_TO_FILE, "m_pView->Create Fails! Error = %d", platform::LastWindowsError());
    return E_FAIL;
  }
  platform::ComPtr<IObjectWithSite> l_spObjectWithSite;
  HRESULT l_hr = m_View.QueryHost(l_spObjectWithSite);
  if (FAILED(l_hr)) {
    g_Logger->Log(LOG_TO_FILE, "QueryHost Fails!");
    return l_hr;
  }
  // The site asks the control for the remote mode, so it uses the player application.
  const platform::ComPtr<CRemoteHost> l_spRemoteHost = platform::MakeObject<CRemoteHost>();
  if (!l_spRemoteHost) {
    g_Logger->Log(LOG_TO_FILE, "CRemoteHost CreateInstance Fails!");
    return E_POINTER;
  }
  l_hr = l_spObjectWithSite->SetSite(l_spRemoteHost->Identity());
  if (FAILED(l_hr)) {
    g_Logger->Log(LOG_TO_FILE, "SetSite Fails!");
    return l_hr;
  }
  platform::ComPtr<IAxWinHostWindow> l_spHost;
  l_hr = m_View.QueryHost(l_spHost);
  if (FAILED(l_hr)) {
    g_Logger->Log(LOG_TO_FILE, "m_pView->QueryHost Fails!");
    return l_hr;
  }
  l_hr = l_spHost->CreateControl(kPlayerControlClass, m_View.m_hWnd, nullptr);
  if (FAILED(l_hr)) {
    g_Logger->Log(LOG_TO_FILE, "CreateControl Fails! Error = %x", l_hr);
    return l_hr;
  }
  l_hr = m_View.QueryControl(p_spPlayer);
  if (FAILED(l_hr)) {
    g_Logger->Log(LOG_TO_FILE, "QueryControl Fails!");
    return l_hr;
  }
  platform::ComPtr<IWMPSettings> l_spSettings;
  l_hr = p_spPlayer->get_settings(l_spSettings.put());
  if (FAILED(l_hr) || !l_spSettings) {
    g_Logger->Log(LOG_TO_FILE, "get_settings Fails!");
    return FAILED(l_hr) ? l_hr : E_POINTER;
  }
  l_hr = l_spSettings->put_autoStart(VARIANT_TRUE);
  g_Logger->Log(LOG_TO_FILE, "CreateRemoteMediaPlayer Successful in %d ms",
                static_cast<std::int32_t>(platform::TickCount() - l_nStart));
  return l_hr;
}
