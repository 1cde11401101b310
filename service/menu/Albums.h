#pragma once

// The "Albums" category: the album names of the audio library, read once and kept; Right shows
// an album's tracks, Play makes the album current. Only the session's player-control thread
// calls these nodes.

#include <cstdint>
#include <vector>

#include "service/menu/ListNodes.h"
#include "service/menu/TrackList.h"

// One album's tracks, as the library answers the album's query.
class CAlbumTracks : public CTrackList {
 public:
  // `p_bstrAlbum` as the albums list shows it; a failed media collection or album query throws
  // CWMPException, so no node is made.
  CAlbumTracks(IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pParent, _bstr_t p_bstrAlbum);
  ~CAlbumTracks() override;

  void InitializeAlbumTracks();

  _bstr_t GetDerivedDescription() override;
  // Sets the player's auto-start first.
  bool OnButtonPlay() override;

 protected:
  platform::ComPtr<IWMPPlaylist> MakeTracks(Failures p_Failures) override;

 private:
  _bstr_t m_bstrAlbum;
};

class CAlbums : public CSubNodeList<CAlbumTracks> {
 public:
  CAlbums(IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pParent);
  ~CAlbums() override;

  // Appends the library's album names, adjacent repeats once.
  void InitializeAlbumList();

  _bstr_t GetDerivedDescription() override;
  std::int32_t GetNodeType() override;
  std::int32_t GetItemCount() override;
  bool OnButtonPlay() override;
  bool SetCurrentNavigation(NavigationPath& p_Path, CMediaLibraryNode** p_ppNode) override;
  bool OnAlbumAdded(_bstr_t p_bstrValue, CMediaLibraryNode* p_pShown,
                    CMediaLibraryNode** p_ppNode) override;
  bool OnAlbumRemoved(_bstr_t p_bstrValue, CMediaLibraryNode* p_pShown,
                      CMediaLibraryNode** p_ppNode) override;

  std::optional<_bstr_t> EntryName(std::int32_t p_nIndex) override;

 protected:
  const _bstr_t& UnknownWord() override;
  std::unique_ptr<CAlbumTracks> MakeSubNode(std::uint32_t p_nLine) override;

 private:
  std::vector<_bstr_t> m_AlbumNames;
};
