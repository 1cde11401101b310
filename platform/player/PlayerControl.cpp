#include "platform/player/PlayerControl.h"

#include <filesystem>
#include <string_view>

#include "platform/com/Activation.h"
#include "platform/player/Engine.h"
#include "platform/player/Library.h"
#include "platform/player/PlayerApplication.h"

namespace platform::player {

namespace {

HRESULT ApplicationPlayer(ComPtr<IWMPPlayer4>& player) {
  return CoCreateInstance(CLSID_PlayerApplication, nullptr, CLSCTX_LOCAL_SERVER,
                          IidOf<IWMPPlayer4>, player.put_void());
}

// A user without a library file has an empty library; one whose file is unreadable has none.
HRESULT OwnPlayer(ComPtr<IWMPPlayer4>& player) {
  const std::optional<std::filesystem::path> path = UserLibraryPath();
  std::error_code error;
  if (!path || !std::filesystem::exists(*path, error)) {
    player = Engine::Create(Library())->Player();
    return S_OK;
  }
  try {
    player = Engine::Create(Library::FromFile(*path))->Player();
    return S_OK;
  } catch (const LibraryError&) {
    return HRESULT_FROM_WIN32(ERROR_FILE_CORRUPT);
  }
}

HRESULT MakePlayerControl(IUnknown** control) {
  *control = MakeObject<CPlayerControl>().Detach()->Identity();
  return S_OK;
}

}  // namespace

bool AsksForRemoteMode(IUnknown* site) {
  ComPtr<IServiceProvider> provider;
  ComPtr<IWMPRemoteMediaServices> services;
  UniqueBstr type;
  if (site == nullptr ||
      FAILED(site->QueryInterface(IidOf<IServiceProvider>, provider.put_void())) ||
      FAILED(provider->QueryService(IidOf<IWMPRemoteMediaServices>,
                                    IidOf<IWMPRemoteMediaServices>, services.put_void())) ||
      !services || FAILED(services->GetServiceType(type.out())) || type.get() == nullptr) {
    return false;
  }
  return std::u16string_view(type.get(), SysStringLen(type.get())) == u"Remote";
}

HRESULT CPlayerControl::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if ((iid == IidOf<IWMPPlayer4> || iid == IidOf<IConnectionPointContainer>) && m_player) {
    return m_player->QueryInterface(iid, object);
  }
  return ComObject::QueryInterface(iid, object);
}

HRESULT CPlayerControl::SetSite(IUnknown* site) {
  m_player.Release();
  m_site = nullptr;
  if (site == nullptr) return S_OK;
  ComPtr<IWMPPlayer4> player;
  const HRESULT hr = AsksForRemoteMode(site) ? ApplicationPlayer(player) : OwnPlayer(player);
  if (FAILED(hr)) return hr;
  m_site = site;
  m_player = std::move(player);
  return S_OK;
}

HRESULT CPlayerControl::GetSite(REFIID iid, void** site) {
  if (site == nullptr) return E_POINTER;
  *site = nullptr;
  if (!m_site) return E_FAIL;
  return m_site->QueryInterface(iid, site);
}

bool RegisterPlayerControl() {
  static const bool registered = RegisterControlClass(CLSID_PlayerControl, MakePlayerControl);
  return registered;
}

}  // namespace platform::player
