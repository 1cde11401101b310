#include "server/RemotePlayerHost.h"

#include "common/ProgramLogger.h"
#include "platform/base/Time.h"
#include "platform/com/Activation.h"
#include "platform/player/PlayerApplication.h"
#include "platform/user/Window.h"
#include "service/session/RemoteHost.h"

HRESULT CRemotePlayerHost::CreateRemoteMediaPlayer(platform::ComPtr<IWMPPlayer4>& p_spPlayer) {
  const std::uint32_t l_nStart = platform::TickCount();
  if (!m_View.Create(u"AtlAxWin", WS_POPUP)) {
    g_Logger->Log(LOG_TO_FILE, "m_pView->Create Fails! Error = %d", platform::LastWindowsError());
    return E_FAIL;
  }
  const platform::ComPtr<CRemoteHost> l_spRemoteHost = platform::MakeObject<CRemoteHost>();
  if (!l_spRemoteHost) {
    g_Logger->Log(LOG_TO_FILE, "CRemoteHost CreateInstance Fails!");
    return E_POINTER;
  }
  // The control in remote mode uses the player application of this session as its player.
  HRESULT l_hr = CoCreateInstance(CLSID_PlayerApplication, nullptr, CLSCTX_LOCAL_SERVER,
                                  platform::IidOf<IWMPPlayer4>, p_spPlayer.put_void());
  if (FAILED(l_hr)) {
    g_Logger->Log(LOG_TO_FILE, "CreateControl Fails! Error = %x", l_hr);
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
