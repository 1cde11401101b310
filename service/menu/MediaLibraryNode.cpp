#include "service/menu/MediaLibraryNode.h"

#include "common/MenuTexts.h"

CMediaLibraryNode::CMediaLibraryNode(IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pParent)
    : m_pPlayer(p_pPlayer), m_pParent(p_pParent) {}

CMediaLibraryNode::~CMediaLibraryNode() = default;

std::int32_t CMediaLibraryNode::Move(ScrollMove p_Move) {
  return ApplyScrollMove(m_Window, p_Move, g_nLinesPerPage);
}

std::int32_t CMediaLibraryNode::OnButtonUp() { return Move(ScrollMove::Up); }
std::int32_t CMediaLibraryNode::OnButtonDown() { return Move(ScrollMove::Down); }
std::int32_t CMediaLibraryNode::OnPageDown() { return Move(ScrollMove::PageDown); }
std::int32_t CMediaLibraryNode::OnPageUp() { return Move(ScrollMove::PageUp); }
std::int32_t CMediaLibraryNode::OnPagesDown() { return Move(ScrollMove::PagesDown); }
std::int32_t CMediaLibraryNode::OnPagesUp() { return Move(ScrollMove::PagesUp); }

bool CMediaLibraryNode::OnButtonLeft(CMediaLibraryNode** p_ppNode) {
  m_pChild = nullptr;
  if (m_pParent == nullptr) {
    return false;
  }
  if (p_ppNode != nullptr) {
    *p_ppNode = m_pParent;
  }
  return true;
}

std::int32_t CMediaLibraryNode::GetCurrentCategoryLine() {
  return static_cast<std::int32_t>(m_Window.m_nCurrentLine);
}

std::int32_t CMediaLibraryNode::GetCurrentScreenLine() {
  return static_cast<std::int32_t>(m_Window.m_nCurrentLine - m_Window.m_nTopLine);
}

bool CMediaLibraryNode::SetCurrentNavigation(NavigationPath&, CMediaLibraryNode**) { return false; }
void CMediaLibraryNode::ClearCurrentChild() {}
void CMediaLibraryNode::LeaveEntered() { m_pChild = nullptr; }
bool CMediaLibraryNode::OnAlbumAdded(_bstr_t, CMediaLibraryNode*, CMediaLibraryNode**) {
  return false;
}
bool CMediaLibraryNode::OnGenreAdded(_bstr_t, CMediaLibraryNode*, CMediaLibraryNode**) {
  return false;
}
bool CMediaLibraryNode::OnArtistAdded(_bstr_t, CMediaLibraryNode*, CMediaLibraryNode**) {
  return false;
}
bool CMediaLibraryNode::OnAlbumRemoved(_bstr_t, CMediaLibraryNode*, CMediaLibraryNode**) {
  return false;
}
bool CMediaLibraryNode::OnGenreRemoved(_bstr_t, CMediaLibraryNode*, CMediaLibraryNode**) {
  return false;
}
bool CMediaLibraryNode::OnArtistRemoved(_bstr_t, CMediaLibraryNode*, CMediaLibraryNode**) {
  return false;
}
bool CMediaLibraryNode::OnPlaylistAdded(_bstr_t) { return false; }
bool CMediaLibraryNode::OnPlaylistRemoved(_bstr_t, CMediaLibraryNode**) { return false; }
bool CMediaLibraryNode::OnModeChange(_bstr_t, bool, CMediaLibraryNode*) { return false; }
bool CMediaLibraryNode::OnMediaCollectionChanged(CMediaLibraryNode*) { return false; }
bool CMediaLibraryNode::OnPlaylistChanged(_bstr_t, std::int32_t, CMediaLibraryNode*,
                                          CMediaLibraryNode**) {
  return false;
}

void CMediaLibraryNode::GetDisplayLines(_bstr_t& p_bstrTitle, DisplayLines& p_Lines) {
  OnGetDisplayLines(p_bstrTitle, p_Lines);
}

void CMediaLibraryNode::SetItemCount(std::int32_t p_nCount) {
  m_Window.m_nLastIndex = p_nCount - 1;
  KeepCursorInside(p_nCount);
}

void CMediaLibraryNode::KeepCursorInside(std::int32_t p_nCount) {
  const std::int32_t l_nLast = std::min(m_Window.m_nLastIndex, p_nCount - 1);
  if (l_nLast < 0) {
    m_Window.m_nTopLine = 0;
    m_Window.m_nCurrentLine = 0;
    return;
  }
  const auto last = static_cast<std::uint32_t>(l_nLast);
  const auto page = static_cast<std::uint32_t>(g_nLinesPerPage);
  m_Window.m_nCurrentLine = std::min(m_Window.m_nCurrentLine, last);
  m_Window.m_nTopLine = std::min(m_Window.m_nTopLine, m_Window.m_nCurrentLine);
  if (m_Window.m_nCurrentLine - m_Window.m_nTopLine >= page) {
    m_Window.m_nTopLine = m_Window.m_nCurrentLine - page + 1;
  }
}

void CMediaLibraryNode::PlaceCursorOnBottomRow(std::uint32_t p_nIndex) {
  const auto l_nPage = static_cast<std::uint32_t>(g_nLinesPerPage);
  m_Window.m_nCurrentLine = p_nIndex;
  m_Window.m_nTopLine = p_nIndex > l_nPage - 1 ? p_nIndex - l_nPage + 1 : 0;
}
