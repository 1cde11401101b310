#pragma once

// The tree-view control: a window class whose items have a text, a parent and children in
// order, with one selected (caret) item and expanded items. Its messages are answered by the
// thread that owns the control (other threads of the process send to it). An item's handle stays
// valid while the item exists and is never given to another item.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/kernel/Wait.h"
#include "platform/user/Messages.h"

using HTREEITEM = std::uintptr_t;  // 0: none

inline constexpr char16_t WC_TREEVIEW[] = u"SysTreeView32";

inline constexpr UINT TVM_INSERTITEMA = 0x1100;
inline constexpr UINT TVM_DELETEITEM = 0x1101;
inline constexpr UINT TVM_EXPAND = 0x1102;
inline constexpr UINT TVM_GETNEXTITEM = 0x110A;
inline constexpr UINT TVM_SELECTITEM = 0x110B;
inline constexpr UINT TVM_GETITEMA = 0x110C;
inline constexpr UINT TVM_ENSUREVISIBLE = 0x1114;
inline constexpr UINT TVM_INSERTITEMW = 0x1132;

inline constexpr WPARAM TVGN_ROOT = 0x0000;
inline constexpr WPARAM TVGN_NEXT = 0x0001;
inline constexpr WPARAM TVGN_PREVIOUS = 0x0002;
inline constexpr WPARAM TVGN_PARENT = 0x0003;
inline constexpr WPARAM TVGN_CHILD = 0x0004;
inline constexpr WPARAM TVGN_CARET = 0x0009;

inline constexpr WPARAM TVE_COLLAPSE = 0x0001;
inline constexpr WPARAM TVE_EXPAND = 0x0002;
inline constexpr WPARAM TVE_TOGGLE = 0x0003;

inline constexpr UINT TVIF_TEXT = 0x0001;
inline constexpr UINT TVIF_STATE = 0x0008;
inline constexpr UINT TVIS_SELECTED = 0x0002;
inline constexpr UINT TVIS_EXPANDED = 0x0020;

inline constexpr HTREEITEM TVI_ROOT = static_cast<HTREEITEM>(-0x10000);
inline constexpr HTREEITEM TVI_FIRST = static_cast<HTREEITEM>(-0x0FFFF);
inline constexpr HTREEITEM TVI_LAST = static_cast<HTREEITEM>(-0x0FFFE);

// TVM_GETITEMA: the text comes in the process's ANSI code page, cut to cchTextMax - 1 bytes.
struct TVITEMA {
  UINT mask = 0;
  HTREEITEM hItem = 0;
  UINT state = 0;
  UINT stateMask = 0;
  char* pszText = nullptr;
  int cchTextMax = 0;
};

// TVM_INSERTITEMW: the new item's text (TVIF_TEXT) under hParent (TVI_ROOT or 0: the top),
// after hInsertAfter (TVI_FIRST, TVI_LAST or a sibling).
struct TVINSERTSTRUCTW {
  HTREEITEM hParent = 0;
  HTREEITEM hInsertAfter = TVI_LAST;
  UINT mask = TVIF_TEXT;
  const char16_t* pszText = nullptr;
};

// The notice (WM_NOTIFY, to the control's parent) that the selected item changed, and how.
inline constexpr UINT TVN_SELCHANGEDW = static_cast<UINT>(-451);
inline constexpr UINT TVC_UNKNOWN = 0x0000;
inline constexpr UINT TVC_BYMOUSE = 0x0001;

// What every WM_NOTIFY's lParam points at first.
struct NMHDR {
  HWND hwndFrom = 0;
  std::uintptr_t idFrom = 0;  // the control's id
  UINT code = 0;
};

// TVN_SELCHANGEDW: the item selected before and the one selected now.
struct NMTREEVIEWW {
  NMHDR hdr;
  UINT action = TVC_UNKNOWN;
  HTREEITEM itemOld = 0;
  HTREEITEM itemNew = 0;
};

namespace platform {

// Registers the tree-view class in this process (again is fine).
void RegisterTreeViewClass();

// What a person at the control does from outside its process. Each request is answered by the
// thread that owns the control; nothing (or false) when the control is gone or its thread gives
// no answer within the time-out. Any thread.

// The tree-view control with the id among the descendants of a top-level window of the process
// whose class is `windowClass` (letter case aside); 0 for none.
HWND FindTreeView(std::uint32_t processId, std::u16string_view windowClass,
                  std::int32_t controlId);

// Selects the item at the path of texts (root first, each matched exactly) as a click on it
// would: its ancestors expand and the parent gets TVN_SELCHANGEDW with TVC_BYMOUSE when the
// selection changed. False also when no item has that path.
bool ClickTreeItem(HWND tree, std::span<const std::u16string> path, Timeout timeout);

// One item of a listing, in the order a person reads the tree.
struct TreeItemLine {
  int depth = 0;  // 0 at the top
  std::u16string text;
  bool selected = false;
};
std::optional<std::vector<TreeItemLine>> ListTreeItems(HWND tree, Timeout timeout);

}  // namespace platform
