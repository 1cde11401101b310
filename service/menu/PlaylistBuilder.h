#pragma once

// Collecting tracks for playback and for the lists built from tracks: the loop over a query's
// tracks that reads their attributes and keeps those that pass, the album and genre-artist
// builders the album, artist and genre nodes use, and the two ways a node hands the player a
// playlist to play. Like the tree, these run on the session's player-control thread only.

#include <cstdint>
#include <functional>
#include <span>

#include "platform/base/Bstr.h"
#include "platform/base/Status.h"
#include "platform/com/ComPtr.h"

struct IWMPMedia;
struct IWMPMediaCollection;
struct IWMPPlayer4;
struct IWMPPlaylist;

// One attribute a track is read for. A null `accept` takes any value; a failed read skips the
// track (logged with the caller's text) unless `failedReadPasses`, when the track goes on to the
// next test without a line in the log.
struct TrackTest {
  const char16_t* attribute;
  std::function<bool(const _bstr_t& p_bstrValue)> accept = nullptr;
  bool failedReadPasses = false;
};

// The artist test of the builders: the name itself, or no artist for the unknown-artist word.
TrackTest ArtistIs(const _bstr_t& p_bstrArtist);
// The genre test: the name itself, an empty genre read as the no-genre word.
TrackTest GenreIs(const _bstr_t& p_bstrGenre);

// The values read for a track, one per test (empty where a read failed and passed).
using TrackValues = std::span<const _bstr_t>;

// Calls `p_OnMatch` for every track of `p_pSource` that passes all `p_Tests`, in order. Failures
// are logged as "<caller> get_count fails with hr %x" and the like; S_OK unless the source cannot
// be counted. `p_pnCount`, when given, receives the number of tracks looked at.
HRESULT ForEachMatchingTrack(
    IWMPPlaylist* p_pSource, std::span<const TrackTest> p_Tests, const _bstr_t& p_bstrCaller,
    const std::function<void(IWMPMedia* p_pTrack, TrackValues p_Values)>& p_OnMatch,
    std::int32_t* p_pnCount = nullptr);

// Appends to `p_pTarget` every track of `p_pSource` that passes `p_Tests`; a failed append is
// logged when `p_bLogAppendFailure`.
HRESULT AppendTracksWhere(IWMPPlaylist* p_pSource, IWMPPlaylist* p_pTarget,
                          std::span<const TrackTest> p_Tests, const _bstr_t& p_bstrCaller,
                          bool p_bLogAppendFailure);

// The media whose `p_szAttribute` is empty when `p_bEmpty`, otherwise what `p_Query` answers.
using NamedQuery = HRESULT (IWMPMediaCollection::*)(BSTR p_Name, IWMPPlaylist** p_ppTracks);
HRESULT QueryTracks(IWMPMediaCollection* p_pCollection, bool p_bEmpty,
                    const char16_t* p_szAttribute, NamedQuery p_Query, const _bstr_t& p_bstrName,
                    platform::ComPtr<IWMPPlaylist>& p_spTracks);

// A query on the player's media collection.
using CollectionQuery = std::function<HRESULT(IWMPMediaCollection* p_pCollection,
                                              platform::ComPtr<IWMPPlaylist>& p_spTracks)>;
// QueryTracks as a query for AskCollection and PlayQueryAnswer.
CollectionQuery TracksQuery(bool p_bEmpty, const char16_t* p_szAttribute, NamedQuery p_Query,
                            _bstr_t p_bstrName);

// The album's tracks by the artist (the untitled-album and unknown-artist words stand for empty
// names). S_OK once the album was found, whatever became of single tracks.
HRESULT BuildAlbumPlaylist(_bstr_t p_bstrAlbum, _bstr_t p_bstrArtist, IWMPPlayer4* p_pPlayer,
                           IWMPPlaylist* p_pTarget, _bstr_t p_bstrCaller);

// The artist's tracks of the genre (the unknown-artist and no-genre words stand for empty names).
// S_OK once the artist's tracks were found.
HRESULT BuildGenreArtistPlayList(_bstr_t p_bstrGenre, _bstr_t p_bstrArtist, IWMPPlayer4* p_pPlayer,
                                 IWMPPlaylist* p_pTarget, _bstr_t p_bstrCaller);

// The tracks of the album (the untitled-album word stands for the empty name) that pass
// `p_Tests`, appended to `p_pTarget`.
HRESULT BuildAlbumPlaylistWhere(const _bstr_t& p_bstrAlbum, std::span<const TrackTest> p_Tests,
                                IWMPPlayer4* p_pPlayer, IWMPPlaylist* p_pTarget,
                                const _bstr_t& p_bstrCaller, bool p_bLogAppendFailure);

// Fills a new playlist of the player; answers the fill's HRESULT.
using PlaylistFill = std::function<HRESULT(IWMPPlaylist* p_pTarget)>;

// A new, detached player playlist named `p_bstrName`, filled by `p_Fill`; null when the player
// makes none ("<caller> newPlaylist fails with hr %x"). `p_phrFill` receives the fill's result.
platform::ComPtr<IWMPPlaylist> NewFilledPlaylist(IWMPPlayer4* p_pPlayer, const _bstr_t& p_bstrName,
                                                 const _bstr_t& p_bstrCaller,
                                                 const PlaylistFill& p_Fill, HRESULT* p_phrFill);

// Makes `p_pPlaylist` the player's current playlist; a failure is logged as
// "<caller> put_currentPlaylist fails with hr %x".
void MakeCurrentPlaylist(IWMPPlayer4* p_pPlayer, IWMPPlaylist* p_pPlaylist,
                         const _bstr_t& p_bstrCaller);

// Makes a new playlist filled by `p_Fill` the player's current one when the fill succeeded;
// answers the playlist (null when none was made).
platform::ComPtr<IWMPPlaylist> PlayNewPlaylist(IWMPPlayer4* p_pPlayer, const _bstr_t& p_bstrName,
                                               const _bstr_t& p_bstrCaller,
                                               const PlaylistFill& p_Fill);

// The answer of `p_Query`; null when the media collection or the query fails, logged as
// "<caller> get_mediaCollection fails with hr %x" or "<caller> <query name> fails with hr %x".
// `p_phr`, when given, receives the HRESULT of the last call.
platform::ComPtr<IWMPPlaylist> AskCollection(IWMPPlayer4* p_pPlayer, const _bstr_t& p_bstrCaller,
                                             const char16_t* p_szQueryName,
                                             const CollectionQuery& p_Query,
                                             HRESULT* p_phr = nullptr);

// Makes the answer of `p_Query` the player's current playlist; a failed step is logged as
// AskCollection says or as "<caller> put_currentPlaylist fails with hr %x", and ends it.
void PlayQueryAnswer(IWMPPlayer4* p_pPlayer, const _bstr_t& p_bstrCaller,
                     const char16_t* p_szQueryName, const CollectionQuery& p_Query);
