#include "service/menu/PlaylistBuilder.h"

#include "common/MenuTexts.h"
#include "common/ProgramLogger.h"
#include "platform/com/ComPtr.h"
#include "platform/player/PlayerInterfaces.h"

HRESULT AppendTracksWhere(IWMPPlaylist* p_pSource, IWMPPlaylist* p_pTarget,
                          const char16_t* p_szAttribute,
                          const std::function<bool(const _bstr_t& p_bstrValue)>& p_Accept,
                          const _bstr_t& p_bstrCaller, bool p_bLogAppendFailure) {
  std::int32_t l_nCount = 0;
  HRESULT l_hr = p_pSource->get_count(&l_nCount);
  if (FAILED(l_hr)) {
    g_Logger->Log(LOG_TO_FILE, u"%s get_count fails with hr %x", p_bstrCaller, l_hr);
    return l_hr;
  }
  const _bstr_t l_bstrAttribute(p_szAttribute);
  for (std::int32_t l_nIndex = 0; l_nIndex < l_nCount; ++l_nIndex) {
    platform::ComPtr<IWMPMedia> l_spMedia;
    l_hr = p_pSource->get_item(l_nIndex, l_spMedia.put());
    if (FAILED(l_hr) || !l_spMedia) {
      g_Logger->Log(LOG_TO_FILE, u"%s get_item fails with hr %x", p_bstrCaller, l_hr);
      continue;
    }
    _bstr_t l_bstrValue;
    l_hr = l_spMedia->getItemInfo(l_bstrAttribute.GetBSTR(), l_bstrValue.GetAddress());
    if (FAILED(l_hr)) {
      g_Logger->Log(LOG_TO_FILE, u"%s getItemInfo fails with hr %x", p_bstrCaller, l_hr);
      continue;
    }
    if (p_Accept(l_bstrValue)) {
      l_hr = p_pTarget->appendItem(l_spMedia.get());
      if (FAILED(l_hr) && p_bLogAppendFailure) {
        g_Logger->Log(LOG_TO_FILE, u"%s appendItem fails with hr %x", p_bstrCaller, l_hr);
      }
    }
  }
  return S_OK;
}

HRESULT BuildAlbumPlaylist(_bstr_t p_bstrAlbum, _bstr_t p_bstrArtist, IWMPPlayer4* p_pPlayer,
                           IWMPPlaylist* p_pTarget, _bstr_t p_bstrCaller) {
  platform::ComPtr<IWMPMediaCollection> l_spCollection;
  HRESULT l_hr = p_pPlayer->get_mediaCollection(l_spCollection.put());
  if (FAILED(l_hr) || !l_spCollection) {
    return FAILED(l_hr) ? l_hr : E_POINTER;
  }
  platform::ComPtr<IWMPPlaylist> l_spTracks;
  l_hr = p_bstrAlbum == Localized(g_UntitledAlbumText)
             ? l_spCollection->getByAttribute(_bstr_t(u"Album").GetBSTR(), _bstr_t(u"").GetBSTR(),
                                              l_spTracks.put())
             : l_spCollection->getByAlbum(p_bstrAlbum.GetBSTR(), l_spTracks.put());
  if (FAILED(l_hr) || !l_spTracks) {
    l_hr = FAILED(l_hr) ? l_hr : E_POINTER;
    g_Logger->Log(LOG_TO_FILE, u"%s getByAlbum fails with hr %x", p_bstrCaller, l_hr);
    return l_hr;
  }
  const bool l_bUnknownArtist = p_bstrArtist == Localized(g_UnknownArtistText);
  return AppendTracksWhere(
      l_spTracks.get(), p_pTarget, u"Artist",
      [&](const _bstr_t& p_bstrValue) {
        return p_bstrValue == p_bstrArtist || (p_bstrValue.length() == 0 && l_bUnknownArtist);
      },
      p_bstrCaller, false);
}

HRESULT BuildGenreArtistPlayList(_bstr_t p_bstrGenre, _bstr_t p_bstrArtist, IWMPPlayer4* p_pPlayer,
                                 IWMPPlaylist* p_pTarget, _bstr_t p_bstrCaller) {
  platform::ComPtr<IWMPMediaCollection> l_spCollection;
  HRESULT l_hr = p_pPlayer->get_mediaCollection(l_spCollection.put());
  if (FAILED(l_hr) || !l_spCollection) {
    l_hr = FAILED(l_hr) ? l_hr : E_POINTER;
    g_Logger->Log(LOG_TO_FILE, u"%s get_mediaCollection fails with hr %x", p_bstrCaller, l_hr);
    return l_hr;
  }
  platform::ComPtr<IWMPPlaylist> l_spTracks;
  l_hr = p_bstrArtist == Localized(g_UnknownArtistText)
             ? l_spCollection->getByAttribute(_bstr_t(u"Artist").GetBSTR(), _bstr_t(u"").GetBSTR(),
                                              l_spTracks.put())
             : l_spCollection->getByAuthor(p_bstrArtist.GetBSTR(), l_spTracks.put());
  if (FAILED(l_hr) || !l_spTracks) {
    l_hr = FAILED(l_hr) ? l_hr : E_POINTER;
    g_Logger->Log(LOG_TO_FILE, u"%s getByAuthor fails with hr %x", p_bstrCaller, l_hr);
    return l_hr;
  }
  const _bstr_t l_bstrNoGenre = Localized(g_NoGenreText);
  return AppendTracksWhere(
      l_spTracks.get(), p_pTarget, u"Genre",
      [&](const _bstr_t& p_bstrValue) {
        return (p_bstrValue.length() == 0 ? l_bstrNoGenre : p_bstrValue) == p_bstrGenre;
      },
      p_bstrCaller, true);
}
