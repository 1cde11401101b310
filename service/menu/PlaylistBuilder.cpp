#include "service/menu/PlaylistBuilder.h"

#include <vector>

#include "common/MenuTexts.h"
#include "common/ProgramLogger.h"
#include "platform/player/PlayerInterfaces.h"

namespace {

// A call that answered S_OK with no object counts as failed. The object is looked at only once
// the call has been made.
template <class T>
HRESULT Checked(HRESULT p_hr, const platform::ComPtr<T>& p_spObject) {
  return FAILED(p_hr) ? p_hr : (p_spObject ? p_hr : E_POINTER);
}

}  // namespace

HRESULT ForEachMatchingTrack(
    IWMPPlaylist* p_pSource, std::span<const TrackTest> p_Tests, const _bstr_t& p_bstrCaller,
    const std::function<void(IWMPMedia* p_pTrack, TrackValues p_Values)>& p_OnMatch,
    std::int32_t* p_pnCount) {
  std::int32_t l_nCount = 0;
  HRESULT l_hr = p_pSource->get_count(&l_nCount);
  if (FAILED(l_hr)) {
    g_Logger->Log(LOG_TO_FILE, u"%s get_count fails with hr %x", p_bstrCaller, l_hr);
    return l_hr;
  }
  if (p_pnCount != nullptr) {
    *p_pnCount = l_nCount;
  }
  std::vector<_bstr_t> l_Attributes;
  for (const TrackTest& l_Test : p_Tests) {
    l_Attributes.emplace_back(l_Test.attribute);
  }
  std::vector<_bstr_t> l_Values(p_Tests.size());
  for (std::int32_t l_nIndex = 0; l_nIndex < l_nCount; ++l_nIndex) {
    platform::ComPtr<IWMPMedia> l_spMedia;
    l_hr = Checked(p_pSource->get_item(l_nIndex, l_spMedia.put()), l_spMedia);
    if (FAILED(l_hr)) {
      g_Logger->Log(LOG_TO_FILE, u"%s get_item fails with hr %x", p_bstrCaller, l_hr);
      continue;
    }
    bool l_bMatch = true;
    for (std::size_t l_nTest = 0; l_bMatch && l_nTest < p_Tests.size(); ++l_nTest) {
      const TrackTest& l_Test = p_Tests[l_nTest];
      l_Values[l_nTest] = _bstr_t();
      l_hr =
          l_spMedia->getItemInfo(l_Attributes[l_nTest].GetBSTR(), l_Values[l_nTest].GetAddress());
      if (FAILED(l_hr)) {
        if (!l_Test.failedReadPasses) {
          g_Logger->Log(LOG_TO_FILE, u"%s getItemInfo fails with hr %x", p_bstrCaller, l_hr);
          l_bMatch = false;
        }
        continue;
      }
      l_bMatch = !l_Test.accept || l_Test.accept(l_Values[l_nTest]);
    }
    if (l_bMatch) {
      p_OnMatch(l_spMedia.get(), l_Values);
    }
  }
  return S_OK;
}

HRESULT AppendTracksWhere(IWMPPlaylist* p_pSource, IWMPPlaylist* p_pTarget,
                          std::span<const TrackTest> p_Tests, const _bstr_t& p_bstrCaller,
                          bool p_bLogAppendFailure) {
  return ForEachMatchingTrack(
      p_pSource, p_Tests, p_bstrCaller, [&](IWMPMedia* p_pTrack, TrackValues) {
        const HRESULT l_hr = p_pTarget->appendItem(p_pTrack);
        if (FAILED(l_hr) && p_bLogAppendFailure) {
          g_Logger->Log(LOG_TO_FILE, u"%s appendItem fails with hr %x", p_bstrCaller, l_hr);
        }
      });
}

HRESULT QueryTracks(IWMPMediaCollection* p_pCollection, bool p_bEmpty,
                    const char16_t* p_szAttribute, NamedQuery p_Query, const _bstr_t& p_bstrName,
                    platform::ComPtr<IWMPPlaylist>& p_spTracks) {
  p_spTracks.Release();
  const HRESULT l_hr = p_bEmpty
                           ? p_pCollection->getByAttribute(_bstr_t(p_szAttribute).GetBSTR(),
                                                           _bstr_t(u"").GetBSTR(), p_spTracks.put())
                           : (p_pCollection->*p_Query)(p_bstrName.GetBSTR(), p_spTracks.put());
  return Checked(l_hr, p_spTracks);
}

CollectionQuery TracksQuery(bool p_bEmpty, const char16_t* p_szAttribute, NamedQuery p_Query,
                            _bstr_t p_bstrName) {
  return [=](IWMPMediaCollection* p_pCollection, platform::ComPtr<IWMPPlaylist>& p_spTracks) {
    return QueryTracks(p_pCollection, p_bEmpty, p_szAttribute, p_Query, p_bstrName, p_spTracks);
  };
}

namespace {

// Appends the tracks of the query's answer that pass `p_Tests`.
HRESULT AppendAnswerWhere(IWMPPlayer4* p_pPlayer, IWMPPlaylist* p_pTarget,
                          const _bstr_t& p_bstrCaller, const char16_t* p_szQueryName,
                          const CollectionQuery& p_Query, std::span<const TrackTest> p_Tests,
                          bool p_bLogAppendFailure) {
  HRESULT l_hr = S_OK;
  const platform::ComPtr<IWMPPlaylist> l_spTracks =
      AskCollection(p_pPlayer, p_bstrCaller, p_szQueryName, p_Query, &l_hr);
  return l_spTracks ? AppendTracksWhere(l_spTracks.get(), p_pTarget, p_Tests, p_bstrCaller,
                                        p_bLogAppendFailure)
                    : l_hr;
}

}  // namespace

HRESULT BuildAlbumPlaylistWhere(const _bstr_t& p_bstrAlbum, std::span<const TrackTest> p_Tests,
                                IWMPPlayer4* p_pPlayer, IWMPPlaylist* p_pTarget,
                                const _bstr_t& p_bstrCaller, bool p_bLogAppendFailure) {
  return AppendAnswerWhere(p_pPlayer, p_pTarget, p_bstrCaller, u"getByAlbum",
                           TracksQuery(p_bstrAlbum == Localized(g_UntitledAlbumText), u"Album",
                                       &IWMPMediaCollection::getByAlbum, p_bstrAlbum),
                           p_Tests, p_bLogAppendFailure);
}

TrackTest ArtistIs(const _bstr_t& p_bstrArtist) {
  const bool l_bUnknown = p_bstrArtist == Localized(g_UnknownArtistText);
  return {u"Artist", [p_bstrArtist, l_bUnknown](const _bstr_t& p_bstrValue) {
            return p_bstrValue == p_bstrArtist || (p_bstrValue.length() == 0 && l_bUnknown);
          }};
}

TrackTest GenreIs(const _bstr_t& p_bstrGenre) {
  return {u"Genre", [p_bstrGenre](const _bstr_t& p_bstrValue) {
            return (p_bstrValue.length() == 0 ? Localized(g_NoGenreText) : p_bstrValue) ==
                   p_bstrGenre;
          }};
}

HRESULT BuildAlbumPlaylist(_bstr_t p_bstrAlbum, _bstr_t p_bstrArtist, IWMPPlayer4* p_pPlayer,
                           IWMPPlaylist* p_pTarget, _bstr_t p_bstrCaller) {
  const TrackTest l_Tests[] = {ArtistIs(p_bstrArtist)};
  return BuildAlbumPlaylistWhere(p_bstrAlbum, l_Tests, p_pPlayer, p_pTarget, p_bstrCaller, false);
}

HRESULT BuildGenreArtistPlayList(_bstr_t p_bstrGenre, _bstr_t p_bstrArtist, IWMPPlayer4* p_pPlayer,
                                 IWMPPlaylist* p_pTarget, _bstr_t p_bstrCaller) {
  const TrackTest l_Tests[] = {GenreIs(p_bstrGenre)};
  return AppendAnswerWhere(p_pPlayer, p_pTarget, p_bstrCaller, u"getByAuthor",
                           TracksQuery(p_bstrArtist == Localized(g_UnknownArtistText), u"Artist",
                                       &IWMPMediaCollection::getByAuthor, p_bstrArtist),
                           l_Tests, true);
}

platform::ComPtr<IWMPPlaylist> NewFilledPlaylist(IWMPPlayer4* p_pPlayer, const _bstr_t& p_bstrName,
                                                 const _bstr_t& p_bstrCaller,
                                                 const PlaylistFill& p_Fill, HRESULT* p_phrFill) {
  platform::ComPtr<IWMPPlaylist> l_spPlaylist;
  const HRESULT l_hr = Checked(
      p_pPlayer->newPlaylist(p_bstrName.GetBSTR(), _bstr_t(u"").GetBSTR(), l_spPlaylist.put()),
      l_spPlaylist);
  if (FAILED(l_hr)) {
    g_Logger->Log(LOG_TO_FILE, u"%s newPlaylist fails with hr %x", p_bstrCaller, l_hr);
    l_spPlaylist.Release();
    if (p_phrFill != nullptr) {
      *p_phrFill = l_hr;
    }
    return l_spPlaylist;
  }
  const HRESULT l_hrFill = p_Fill(l_spPlaylist.get());
  if (p_phrFill != nullptr) {
    *p_phrFill = l_hrFill;
  }
  return l_spPlaylist;
}

void MakeCurrentPlaylist(IWMPPlayer4* p_pPlayer, IWMPPlaylist* p_pPlaylist,
                         const _bstr_t& p_bstrCaller) {
  const HRESULT l_hr = p_pPlayer->put_currentPlaylist(p_pPlaylist);
  if (FAILED(l_hr)) {
    g_Logger->Log(LOG_TO_FILE, u"%s put_currentPlaylist fails with hr %x", p_bstrCaller, l_hr);
  }
}

platform::ComPtr<IWMPPlaylist> PlayNewPlaylist(IWMPPlayer4* p_pPlayer, const _bstr_t& p_bstrName,
                                               const _bstr_t& p_bstrCaller,
                                               const PlaylistFill& p_Fill) {
  HRESULT l_hr = S_OK;
  platform::ComPtr<IWMPPlaylist> l_spPlaylist =
      NewFilledPlaylist(p_pPlayer, p_bstrName, p_bstrCaller, p_Fill, &l_hr);
  if (!l_spPlaylist) {
    return l_spPlaylist;
  }
  if (FAILED(l_hr)) {
    g_Logger->Log(LOG_TO_FILE, u"%s fill fails with hr %x", p_bstrCaller, l_hr);
    return l_spPlaylist;
  }
  MakeCurrentPlaylist(p_pPlayer, l_spPlaylist.get(), p_bstrCaller);
  return l_spPlaylist;
}

platform::ComPtr<IWMPPlaylist> AskCollection(IWMPPlayer4* p_pPlayer, const _bstr_t& p_bstrCaller,
                                             const char16_t* p_szQueryName,
                                             const CollectionQuery& p_Query, HRESULT* p_phr) {
  platform::ComPtr<IWMPPlaylist> l_spTracks;
  platform::ComPtr<IWMPMediaCollection> l_spCollection;
  HRESULT l_hr = Checked(p_pPlayer->get_mediaCollection(l_spCollection.put()), l_spCollection);
  if (FAILED(l_hr)) {
    g_Logger->Log(LOG_TO_FILE, u"%s get_mediaCollection fails with hr %x", p_bstrCaller, l_hr);
  } else {
    l_hr = Checked(p_Query(l_spCollection.get(), l_spTracks), l_spTracks);
    if (FAILED(l_hr)) {
      g_Logger->Log(LOG_TO_FILE, u"%s %s fails with hr %x", p_bstrCaller, p_szQueryName, l_hr);
      l_spTracks.Release();
    }
  }
  if (p_phr != nullptr) {
    *p_phr = l_hr;
  }
  return l_spTracks;
}

void PlayQueryAnswer(IWMPPlayer4* p_pPlayer, const _bstr_t& p_bstrCaller,
                     const char16_t* p_szQueryName, const CollectionQuery& p_Query) {
  const platform::ComPtr<IWMPPlaylist> l_spTracks =
      AskCollection(p_pPlayer, p_bstrCaller, p_szQueryName, p_Query);
  if (l_spTracks) {
    MakeCurrentPlaylist(p_pPlayer, l_spTracks.get(), p_bstrCaller);
  }
}
