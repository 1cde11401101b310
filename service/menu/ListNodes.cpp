#include "service/menu/ListNodes.h"

CNamedList::CNamedList(IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pParent, RightRule p_Rule)
    : CMediaLibraryNode(p_pPlayer, p_pParent), m_Rule(p_Rule) {}

bool CNamedList::OnButtonRight(CMediaLibraryNode** p_ppNode) {
  CMediaLibraryNode* l_pShown = nullptr;
  if (m_Rule.enterFirst && m_pChild == nullptr) {
    l_pShown = this;
  } else if (m_Rule.emptyOpens || GetItemCount() > 0) {
    l_pShown = OpenEntryAt(m_Window.m_nCurrentLine);
  }
  if (l_pShown == nullptr) {
    return false;
  }
  m_pChild = l_pShown;
  if (p_ppNode != nullptr) {
    *p_ppNode = l_pShown;
  }
  return true;
}

std::int32_t CNamedList::OnButtonOk() { return kOkOpenEntry; }

void CNamedList::OnGetDisplayLines(_bstr_t& p_bstrTitle, DisplayLines& p_Lines) {
  ListDisplayLines(p_bstrTitle, p_Lines, UnknownWord(),
                   [this](std::int32_t p_nIndex) { return EntryName(p_nIndex); });
}

std::optional<std::uint32_t> CNamedList::FindEntry(const _bstr_t& p_bstrName,
                                                   const _bstr_t* p_bstrEmptyMeans) {
  const bool l_bEmptyMatches = p_bstrEmptyMeans != nullptr && *p_bstrEmptyMeans == p_bstrName;
  const std::int32_t l_nCount = GetItemCount();
  for (std::int32_t l_nIndex = 0; l_nIndex < l_nCount; ++l_nIndex) {
    const std::optional<_bstr_t> l_bstrEntry = EntryName(l_nIndex);
    if (l_bstrEntry &&
        (*l_bstrEntry == p_bstrName || (l_bEmptyMatches && l_bstrEntry->length() == 0))) {
      return static_cast<std::uint32_t>(l_nIndex);
    }
  }
  return std::nullopt;
}

std::optional<std::uint32_t> CNamedList::NavigateTo(const _bstr_t& p_bstrName,
                                                    const _bstr_t* p_bstrEmptyMeans,
                                                    const char16_t* p_szLogText) {
  const std::optional<std::uint32_t> l_nFound = FindEntry(p_bstrName, p_bstrEmptyMeans);
  if (l_nFound) {
    if (p_szLogText != nullptr) {
      g_Logger->Log(LOG_TO_FILE, p_szLogText, p_bstrName);
    }
    PlaceCursorOnBottomRow(*l_nFound);
  }
  return l_nFound;
}

platform::ComPtr<IWMPStringCollection> AudioAttributeStrings(IWMPPlayer4* p_pPlayer,
                                                             const char16_t* p_szAttribute,
                                                             const StringLoadTexts& p_Texts,
                                                             std::int32_t& p_nCount) {
  p_nCount = 0;
  platform::ComPtr<IWMPStringCollection> l_spNames;
  platform::ComPtr<IWMPMediaCollection> l_spCollection;
  HRESULT l_hr = p_pPlayer->get_mediaCollection(l_spCollection.put());
  if (FAILED(l_hr) || !l_spCollection) {
    g_Logger->Log(LOG_TO_FILE, p_Texts.mediaCollection, l_hr);
    return l_spNames;
  }
  l_hr = l_spCollection->getAttributeStringCollection(_bstr_t(p_szAttribute).GetBSTR(),
                                                      _bstr_t(u"audio").GetBSTR(), l_spNames.put());
  if (FAILED(l_hr) || !l_spNames) {
    g_Logger->Log(LOG_TO_FILE, p_Texts.stringCollection, l_hr);
    l_spNames.Release();
    return l_spNames;
  }
  std::int32_t l_nCount = 0;
  l_hr = l_spNames->get_count(&l_nCount);
  if (FAILED(l_hr)) {
    g_Logger->Log(LOG_TO_FILE, p_Texts.count, l_hr);
    l_spNames.Release();
    return l_spNames;
  }
  p_nCount = std::max(l_nCount, 0);
  return l_spNames;
}

bool CNamedList::ShowOwnList(CMediaLibraryNode** p_ppNode) {
  m_pChild = this;
  if (p_ppNode != nullptr) {
    *p_ppNode = this;
  }
  return true;
}
