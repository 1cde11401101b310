#pragma once

// The "Genre" category: the genre names of the audio library, a genre's artists, an artist's
// albums within the genre and an album's tracks of the genre by the artist. Only the session's
// player-control thread calls these nodes.

#include <cstdint>
#include <memory>

#include "service/menu/ListNodes.h"
#include "service/menu/TrackList.h"

// The tracks of one album of one artist within one genre, in a new player playlist of its own.
class CGenreArtistAlbumTracks : public CTrackList {
 public:
  // The names as the albums node gives them: the no-genre, unknown-artist and untitled-album
  // words stand for empty names.
  CGenreArtistAlbumTracks(IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pParent, _bstr_t p_bstrGenre,
                          _bstr_t p_bstrArtist, _bstr_t p_bstrAlbum);

  void InitializeArtistAlbumTracks();

  // Appends to `p_pPlaylist` the album's tracks whose genre and artist match; uses no node state.
  static HRESULT BuildPlaylist(_bstr_t p_bstrGenre, _bstr_t p_bstrAlbum, _bstr_t p_bstrArtist,
                               IWMPPlayer4* p_pPlayer, IWMPPlaylist* p_pPlaylist,
                               _bstr_t p_bstrCaller);

  _bstr_t GetDerivedDescription() override;

 protected:
  platform::ComPtr<IWMPPlaylist> MakeTracks(Failures p_Failures) override;
  // The playlist's count cannot be read on a library change: thrown.
  void OnRecountFailure(HRESULT p_hr) override;

 private:
  _bstr_t m_bstrGenre;
  _bstr_t m_bstrArtist;
  _bstr_t m_bstrAlbum;
};

// The albums of one artist within one genre.
class CGenreArtistAlbums : public CNameSetList<CGenreArtistAlbumTracks> {
 public:
  CGenreArtistAlbums(IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pParent, _bstr_t p_bstrArtist,
                     _bstr_t p_bstrGenre);

  _bstr_t GetDerivedDescription() override;
  std::int32_t GetNodeType() override;
  bool OnButtonPlay() override;

 protected:
  const _bstr_t& UnknownWord() override;
  std::unique_ptr<CGenreArtistAlbumTracks> MakeSubNode(std::uint32_t p_nLine) override;

 private:
  _bstr_t m_bstrArtist;
  _bstr_t m_bstrGenre;
  // What the last Play made current.
  platform::ComPtr<IWMPPlaylist> m_spPlayPlaylist;
};

// The artists of one genre.
class CGenreArtistList : public CNameSetList<CGenreArtistAlbums> {
 public:
  CGenreArtistList(IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pParent, _bstr_t p_bstrGenre);

  _bstr_t GetDerivedDescription() override;
  std::int32_t GetNodeType() override;
  bool OnButtonPlay() override;

 protected:
  const _bstr_t& UnknownWord() override;
  std::unique_ptr<CGenreArtistAlbums> MakeSubNode(std::uint32_t p_nLine) override;

 private:
  _bstr_t m_bstrGenre;
};

class CGenreList : public CStringCategory<CGenreArtistList> {
 public:
  CGenreList(IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pParent);

  void InitializeGenreList();

  _bstr_t GetDerivedDescription() override;
  std::int32_t GetNodeType() override;
  bool OnButtonPlay() override;
  bool SetCurrentNavigation(NavigationPath& p_Path, CMediaLibraryNode** p_ppNode) override;
  bool OnGenreAdded(_bstr_t p_bstrValue, CMediaLibraryNode* p_pShown,
                    CMediaLibraryNode** p_ppNode) override;
  bool OnGenreRemoved(_bstr_t p_bstrValue, CMediaLibraryNode* p_pShown,
                      CMediaLibraryNode** p_ppNode) override;

 protected:
  void InitializeNames() override;
  const _bstr_t& UnknownWord() override;
  std::unique_ptr<CGenreArtistList> MakeSubNode(std::uint32_t p_nLine) override;
};
