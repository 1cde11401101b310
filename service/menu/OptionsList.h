#pragma once

// The "Options" category: the player's shuffle and repeat modes, switched with OK, following the
// changes the player reports.

#include "service/menu/MediaLibraryNode.h"

class COptionsList : public CMediaLibraryNode {
 public:
  COptionsList(IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pParent);

  _bstr_t GetDerivedDescription() override;
  bool OnButtonRight(CMediaLibraryNode** p_ppNode) override;
  std::int32_t OnButtonOk() override;
  std::int32_t GetNodeType() override;
  std::int32_t GetItemCount() override;
  bool OnButtonPlay() override;
  bool OnModeChange(_bstr_t p_bstrMode, bool p_bValue, CMediaLibraryNode* p_pShown) override;

 protected:
  void OnGetDisplayLines(_bstr_t& p_bstrTitle, DisplayLines& p_Lines) override;

 private:
  bool m_bRepeat = false;   // the "loop" mode as last known
  bool m_bShuffle = false;  // the "shuffle" mode as last known
};
