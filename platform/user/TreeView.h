#pragma once

// The tree-view control: a window class whose items have a text, a parent and children in
// order, with one selected (caret) item and expanded items. Its messages are answered by the
// thread that owns the control (other threads of the process send to it). An item's handle stays
// valid while the item exists and is never given to another item.

#include <cstdint>

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

namespace platform {

// Registers the tree-view class in this process (again is fine).
void RegisterTreeViewClass();

}  // namespace platform
