#pragma once

// The "Artists" category: the artist names of the audio library, an artist's albums and an
// album's tracks by that artist. Only the session's player-control thread calls these nodes.

#include <cstdint>
#include <memory>

#include "service/menu/ListNodes.h"
#include "service/menu/TrackList.h"

// The tracks of one album by one artist, in a new player playlist of the node's own.
class CArtistAlbumTracks : public CTrackList {
 public:
  // `p_bstrArtist` empty for the unknown artist; `p_bstrAlbum` may be the untitled-album word.
  CArtistAlbumTracks(IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pParent, _bstr_t p_bstrArtist,
                     _bstr_t p_bstrAlbum);

  void InitializeArtistAlbumTracks();

  _bstr_t GetDerivedDescription() override;

 protected:
  platform::ComPtr<IWMPPlaylist> MakeTracks(Failures p_Failures) override;

 private:
  _bstr_t m_bstrArtist;
  _bstr_t m_bstrAlbum;
};

// The albums of one artist, from the artist's tracks.
class CArtistAlbums : public CNameSetList<CArtistAlbumTracks> {
 public:
  CArtistAlbums(IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pParent, _bstr_t p_bstrArtist);

  void InitializeArtistAlbums();

  _bstr_t GetDerivedDescription() override;
  std::int32_t GetNodeType() override;
  bool OnButtonPlay() override;

  _bstr_t GetAlbumName(std::int32_t p_nIndex) const { return NameAt(p_nIndex); }

 protected:
  const _bstr_t& UnknownWord() override;
  std::unique_ptr<CArtistAlbumTracks> MakeSubNode(std::uint32_t p_nLine) override;

 private:
  // Empty for the unknown artist once loaded.
  _bstr_t m_bstrArtist;
};

// One opened artist, as the artists list keeps it: its albums node does the work.
class CArtist : public CMediaLibraryNode {
 public:
  CArtist(IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pParent, _bstr_t p_bstrArtist);

  _bstr_t GetDerivedDescription() override;
  bool OnButtonRight(CMediaLibraryNode** p_ppNode) override;
  std::int32_t OnButtonOk() override;
  std::int32_t GetNodeType() override;
  std::int32_t GetItemCount() override;
  bool OnButtonPlay() override;
  std::int32_t OnButtonUp() override;
  std::int32_t OnButtonDown() override;
  std::int32_t OnPageDown() override;
  std::int32_t OnPageUp() override;
  std::int32_t OnPagesDown() override;
  std::int32_t OnPagesUp() override;
  bool OnButtonLeft(CMediaLibraryNode** p_ppNode) override;
  std::int32_t GetCurrentCategoryLine() override;
  std::int32_t GetCurrentScreenLine() override;
  bool OnMediaCollectionChanged(CMediaLibraryNode* p_pShown) override;

  CArtistAlbums& GetAlbums() const { return *m_pAlbums; }

 protected:
  void OnGetDisplayLines(_bstr_t& p_bstrTitle, DisplayLines& p_Lines) override;

 private:
  _bstr_t m_bstrArtist;
  std::unique_ptr<CArtistAlbums> m_pAlbums;
};

class CArtistList : public CStringCategory<CArtist> {
 public:
  CArtistList(IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pParent);

  void InitializeArtistList();

  _bstr_t GetDerivedDescription() override;
  bool OnButtonRight(CMediaLibraryNode** p_ppNode) override;
  std::int32_t GetNodeType() override;
  bool OnButtonPlay() override;
  bool OnButtonLeft(CMediaLibraryNode** p_ppNode) override;
  bool SetCurrentNavigation(NavigationPath& p_Path, CMediaLibraryNode** p_ppNode) override;
  // Also forgets that the list stayed entered after a removal.
  void LeaveEntered() override;
  bool OnAlbumAdded(_bstr_t p_bstrValue, CMediaLibraryNode* p_pShown,
                    CMediaLibraryNode** p_ppNode) override;
  bool OnArtistAdded(_bstr_t p_bstrValue, CMediaLibraryNode* p_pShown,
                     CMediaLibraryNode** p_ppNode) override;
  bool OnAlbumRemoved(_bstr_t p_bstrValue, CMediaLibraryNode* p_pShown,
                      CMediaLibraryNode** p_ppNode) override;
  bool OnArtistRemoved(_bstr_t p_bstrValue, CMediaLibraryNode* p_pShown,
                       CMediaLibraryNode** p_ppNode) override;

 protected:
  void InitializeNames() override;
  const _bstr_t& UnknownWord() override;
  std::unique_ptr<CArtist> MakeSubNode(std::uint32_t p_nLine) override;

 private:
  // Set when an artist was removed while the list was shown: the list stays entered.
  bool m_bEnteredAfterRemoval = false;
};
