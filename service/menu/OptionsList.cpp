#include "service/menu/OptionsList.h"

#include "common/ProgramLogger.h"
#include "platform/com/ComPtr.h"
#include "platform/player/PlayerInterfaces.h"

namespace {

constexpr std::uint32_t kShuffleLine = 0;
constexpr std::uint32_t kRepeatLine = 1;
constexpr const char16_t* kLoopMode = u"loop";
constexpr const char16_t* kShuffleMode = u"shuffle";

}  // namespace

COptionsList::COptionsList(IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pParent)
    : CMediaLibraryNode(p_pPlayer, p_pParent) {
  SetItemCount(2);
  platform::ComPtr<IWMPSettings> l_spSettings;
  if (FAILED(m_pPlayer->get_settings(l_spSettings.put())) || !l_spSettings) {
    return;
  }
  // Only VARIANT_TRUE reads as on.
  VARIANT_BOOL l_bValue = VARIANT_FALSE;
  if (FAILED(l_spSettings->getMode(_bstr_t(kLoopMode).GetBSTR(), &l_bValue))) {
    return;
  }
  m_bRepeat = l_bValue == VARIANT_TRUE;
  l_bValue = VARIANT_FALSE;
  if (SUCCEEDED(l_spSettings->getMode(_bstr_t(kShuffleMode).GetBSTR(), &l_bValue))) {
    m_bShuffle = l_bValue == VARIANT_TRUE;
  }
}

_bstr_t COptionsList::GetDerivedDescription() { return Localized(g_OptionsText); }

bool COptionsList::OnButtonRight(CMediaLibraryNode** p_ppNode) {
  if (m_pChild != nullptr) {
    return false;
  }
  m_pChild = this;
  if (p_ppNode != nullptr) {
    *p_ppNode = this;
  }
  return true;
}

std::int32_t COptionsList::OnButtonOk() {
  platform::ComPtr<IWMPSettings> l_spSettings;
  if (FAILED(m_pPlayer->get_settings(l_spSettings.put())) || !l_spSettings) {
    return kOkNoNewPage;
  }
  const std::uint32_t l_nLine = m_Window.m_nCurrentLine;
  if (l_nLine != kShuffleLine && l_nLine != kRepeatLine) {
    return kOkNoNewPage;
  }
  bool& l_bFlag = l_nLine == kShuffleLine ? m_bShuffle : m_bRepeat;
  const HRESULT l_hr =
      l_spSettings->setMode(_bstr_t(l_nLine == kShuffleLine ? kShuffleMode : kLoopMode).GetBSTR(),
                            ToVariantBool(!l_bFlag));
  if (FAILED(l_hr)) {
    // The flag keeps the player's mode, so the page never shows a mode the player lacks.
    g_Logger->Log(LOG_TO_FILE,
                  u"COptionsList::OnButtonOk l_spMediaPlayerSettings->setMode fails with %x", l_hr);
  } else {
    l_bFlag = !l_bFlag;
  }
  return kOkNoNewPage;
}

std::int32_t COptionsList::GetNodeType() { return kNodeTypeOptions; }

std::int32_t COptionsList::GetItemCount() { return 2; }

bool COptionsList::OnButtonPlay() { return false; }

bool COptionsList::OnModeChange(_bstr_t p_bstrMode, bool p_bValue, CMediaLibraryNode* p_pShown) {
  std::uint32_t l_nLine = 0;
  if (p_bstrMode.view() == kLoopMode) {
    m_bRepeat = p_bValue;
    l_nLine = kRepeatLine;
  } else if (p_bstrMode.view() == kShuffleMode) {
    m_bShuffle = p_bValue;
    l_nLine = kShuffleLine;
  } else {
    return false;
  }
  if (p_pShown != this) {
    return false;
  }
  m_Window.m_nCurrentLine = l_nLine;
  return true;
}

void COptionsList::OnGetDisplayLines(_bstr_t& p_bstrTitle, DisplayLines& p_Lines) {
  p_bstrTitle = GetDerivedDescription();
  p_Lines = {Localized(m_bShuffle ? g_ShuffleOnText : g_ShuffleOffText),
             Localized(m_bRepeat ? g_RepeatOnText : g_RepeatOffText)};
}
