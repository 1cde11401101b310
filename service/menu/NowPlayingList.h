#pragma once

// The "Now Playing" category: the playing or paused track's name, artist and album, or the three
// nothing-playing lines; each reading of the player also publishes the current-track globals.

#include "service/menu/MediaLibraryNode.h"

class CNowPlayingList : public CMediaLibraryNode {
 public:
  CNowPlayingList(IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pParent);
  ~CNowPlayingList() override;

  _bstr_t GetDerivedDescription() override;
  bool OnButtonRight(CMediaLibraryNode** p_ppNode) override;
  std::int32_t OnButtonOk() override;
  std::int32_t GetNodeType() override;
  std::int32_t GetItemCount() override;
  bool OnButtonPlay() override;
  // The player moved to another track.
  virtual bool OnTrackChanged();

  void ReadCurrentMedia();

 protected:
  void OnGetDisplayLines(_bstr_t& p_bstrTitle, DisplayLines& p_Lines) override;

 private:
  _bstr_t m_bstrTrackName;
  _bstr_t m_bstrArtist;
  _bstr_t m_bstrAlbum;
  _bstr_t m_bstrDuration;
};
