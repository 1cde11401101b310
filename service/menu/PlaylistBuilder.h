#pragma once

// Collecting tracks into a player playlist for playback: the album and genre-artist builders the
// album, artist and genre nodes use, and the loop they share.

#include <functional>

#include "platform/base/Bstr.h"
#include "platform/base/Status.h"

struct IWMPMedia;
struct IWMPPlayer4;
struct IWMPPlaylist;

// Appends to `p_pTarget` every track of `p_pSource` whose `p_szAttribute` satisfies `p_Accept`,
// in order. A track that cannot be read is logged with `p_szCaller` and left out; so is a failed
// append when `p_bLogAppendFailure`. S_OK unless the source cannot be counted.
HRESULT AppendTracksWhere(IWMPPlaylist* p_pSource, IWMPPlaylist* p_pTarget,
                          const char16_t* p_szAttribute,
                          const std::function<bool(const _bstr_t& p_bstrValue)>& p_Accept,
                          const _bstr_t& p_bstrCaller, bool p_bLogAppendFailure);

// The album's tracks by the artist (the untitled-album and unknown-artist words stand for empty
// names). S_OK once the album was found, whatever became of single tracks.
HRESULT BuildAlbumPlaylist(_bstr_t p_bstrAlbum, _bstr_t p_bstrArtist, IWMPPlayer4* p_pPlayer,
                           IWMPPlaylist* p_pTarget, _bstr_t p_bstrCaller);

// The artist's tracks of the genre (the unknown-artist and no-genre words stand for empty names).
// S_OK once the artist's tracks were found.
HRESULT BuildGenreArtistPlayList(_bstr_t p_bstrGenre, _bstr_t p_bstrArtist, IWMPPlayer4* p_pPlayer,
                                 IWMPPlaylist* p_pTarget, _bstr_t p_bstrCaller);
