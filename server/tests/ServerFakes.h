#pragma once

// Stand-ins for what the proxy object is built over: a player whose album count a test sets, a
// host that hands it out, and a hook library whose selection a test writes.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/com/Object.h"
#include "platform/player/PlayerInterfaces.h"
#include "server/WMPProxy.h"

namespace server_test {

using platform::ComPtr;

// Any thread: the monitor counts albums on its own.
class CountedAlbums final : public platform::ComObject<IWMPStringCollection> {
 public:
  explicit CountedAlbums(std::int32_t p_nCount) : m_nCount(p_nCount) {}
  HRESULT get_count(std::int32_t* p_pCount) override {
    *p_pCount = m_nCount;
    return S_OK;
  }
  HRESULT item(std::int32_t, BSTR*) override { return E_NOTIMPL; }

 private:
  std::int32_t m_nCount;
};

class FakePlayer final
    : public platform::ComObject<IWMPPlayer4, IWMPMediaCollection, IWMPSettings> {
 public:
  std::atomic<std::int32_t> albums{3};
  std::atomic<int> counts{0};
  std::atomic<std::uint32_t> lastCountTick{0};
  std::atomic<bool> refuseOwnInterface{false};  // as a player that cannot be marshalled
  std::atomic<int> countDelayMs{0};

  HRESULT QueryInterface(REFIID p_Iid, void** p_ppObject) override;
  ULONG References() {
    AddRef();
    return Release();
  }

  HRESULT get_controls(IWMPControls**) override { return E_NOTIMPL; }
  HRESULT get_settings(IWMPSettings** p_ppSettings) override {
    *p_ppSettings = this;
    AddRef();
    return S_OK;
  }
  HRESULT get_currentMedia(IWMPMedia**) override { return E_NOTIMPL; }
  HRESULT put_currentMedia(IWMPMedia*) override { return E_NOTIMPL; }
  HRESULT get_mediaCollection(IWMPMediaCollection** p_ppCollection) override {
    *p_ppCollection = this;
    AddRef();
    return S_OK;
  }
  HRESULT get_playlistCollection(IWMPPlaylistCollection**) override { return E_NOTIMPL; }
  HRESULT get_versionInfo(BSTR*) override { return E_NOTIMPL; }
  HRESULT get_playState(WMPPlayState*) override { return E_NOTIMPL; }
  HRESULT put_currentPlaylist(IWMPPlaylist*) override { return E_NOTIMPL; }
  HRESULT newPlaylist(BSTR, BSTR, IWMPPlaylist**) override { return E_NOTIMPL; }
  HRESULT get_playerApplication(IWMPPlayerApplication**) override { return E_NOTIMPL; }

  HRESULT getAttributeStringCollection(BSTR p_bstrAttribute, BSTR p_bstrType,
                                       IWMPStringCollection** p_ppValues) override;
  HRESULT getByAttribute(BSTR, BSTR, IWMPPlaylist**) override { return E_NOTIMPL; }
  HRESULT getByAlbum(BSTR, IWMPPlaylist**) override { return E_NOTIMPL; }
  HRESULT getByAuthor(BSTR, IWMPPlaylist**) override { return E_NOTIMPL; }
  HRESULT getByGenre(BSTR, IWMPPlaylist**) override { return E_NOTIMPL; }

  HRESULT put_autoStart(VARIANT_BOOL p_bAutoStart) override {
    autoStart = p_bAutoStart;
    return S_OK;
  }
  HRESULT getMode(BSTR, VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT setMode(BSTR, VARIANT_BOOL) override { return E_NOTIMPL; }

  std::atomic<VARIANT_BOOL> autoStart{VARIANT_FALSE};
};

class FakePlayerHost final : public CPlayerHost {
 public:
  FakePlayerHost(ComPtr<FakePlayer> p_spPlayer, HRESULT p_hrResult)
      : m_spPlayer(std::move(p_spPlayer)), m_hrResult(p_hrResult) {}
  HRESULT CreateRemoteMediaPlayer(ComPtr<IWMPPlayer4>& p_spPlayer) override {
    if (FAILED(m_hrResult)) return m_hrResult;
    p_spPlayer = m_spPlayer;
    return S_OK;
  }

 private:
  ComPtr<FakePlayer> m_spPlayer;
  HRESULT m_hrResult;
};

// The hook library's side, as plain exports over one state the test owns. The test's thread.
struct FakeQuillomb {
  int loads = 0;
  int entries = 0;    // LoadSnoopIntoMediaPlayer calls
  int shutdowns = 0;
  HWND window = 0;
  UINT message = 0;
  bool answers = true;
  bool exportsShutdown = true;
  std::vector<std::uint8_t> selection = std::vector<std::uint8_t>(kTreeviewSelectionSize);

  void SetSelection(const std::vector<std::u16string>& p_Lines);
};

// The loader of the one fake library; the state lives as long as the loader.
std::shared_ptr<CLibraryLoader> MakeFakeLoader(FakeQuillomb& p_State);

CProxyServices FakeServices(ComPtr<FakePlayer> p_spPlayer, FakeQuillomb* p_pQuillomb,
                            HRESULT p_hrHost = S_OK);

}  // namespace server_test
