#include "platform/user/TreeView.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/Text.h"
#include "platform/user/Window.h"

namespace platform {
namespace {

// The items of one control. Its owning thread only.
class TreeItems {
 public:
  HTREEITEM Insert(HTREEITEM parent, HTREEITEM after, std::u16string text) {
    parent = parent == TVI_ROOT ? 0 : parent;
    if (parent != 0 && !items_.contains(parent)) {
      return 0;
    }
    std::vector<HTREEITEM>& siblings = Children(parent);
    auto position = siblings.end();
    if (after == TVI_FIRST) {
      position = siblings.begin();
    } else if (after != TVI_LAST) {
      const auto found = std::find(siblings.begin(), siblings.end(), after);
      position = found == siblings.end() ? siblings.end() : found + 1;
    }
    const HTREEITEM item = ++lastHandle_;
    siblings.insert(position, item);
    items_[item] = {std::move(text), parent, {}, false};
    return item;
  }

  bool Delete(HTREEITEM item) {
    if (item == TVI_ROOT || item == 0) {
      while (!top_.empty()) {
        Delete(top_.front());
      }
      return true;
    }
    const auto found = items_.find(item);
    if (found == items_.end()) {
      return false;
    }
    while (!found->second.children.empty()) {
      Delete(found->second.children.front());
    }
    std::erase(Children(found->second.parent), item);
    if (caret_ == item) {
      caret_ = 0;
    }
    items_.erase(found);
    return true;
  }

  HTREEITEM Next(WPARAM relation, HTREEITEM item) {
    switch (relation) {
      case TVGN_ROOT:
        return top_.empty() ? 0 : top_.front();
      case TVGN_CARET:
        return caret_;
      case TVGN_CHILD: {
        const std::vector<HTREEITEM>& children =
            item == 0 || item == TVI_ROOT ? top_ : Find(item) ? Find(item)->children : none_;
        return children.empty() ? 0 : children.front();
      }
      case TVGN_PARENT:
        return Find(item) ? Find(item)->parent : 0;
      case TVGN_NEXT:
      case TVGN_PREVIOUS: {
        if (!Find(item)) {
          return 0;
        }
        const std::vector<HTREEITEM>& siblings = Children(Find(item)->parent);
        const auto at = std::find(siblings.begin(), siblings.end(), item);
        if (relation == TVGN_NEXT) {
          return at + 1 == siblings.end() ? 0 : *(at + 1);
        }
        return at == siblings.begin() ? 0 : *(at - 1);
      }
      default:
        return 0;
    }
  }

  bool GetItem(TVITEMA& item) {
    const Item* found = Find(item.hItem);
    if (found == nullptr) {
      return false;
    }
    if ((item.mask & TVIF_TEXT) != 0 && item.pszText != nullptr && item.cchTextMax > 0) {
      const std::string text = ToAnsi(found->text);
      const std::size_t length =
          std::min(text.size(), static_cast<std::size_t>(item.cchTextMax - 1));
      std::memcpy(item.pszText, text.data(), length);
      item.pszText[length] = '\0';
    }
    if ((item.mask & TVIF_STATE) != 0) {
      item.state = (found->expanded ? TVIS_EXPANDED : 0u) |
                   (caret_ == item.hItem ? TVIS_SELECTED : 0u);
    }
    return true;
  }

  bool Expand(WPARAM action, HTREEITEM item) {
    Item* found = Find(item);
    if (found == nullptr) {
      return false;
    }
    found->expanded = action == TVE_TOGGLE ? !found->expanded : action == TVE_EXPAND;
    return true;
  }

  bool EnsureVisible(HTREEITEM item) {
    if (!Find(item)) {
      return false;
    }
    for (HTREEITEM parent = Find(item)->parent; parent != 0; parent = Find(parent)->parent) {
      Find(parent)->expanded = true;
    }
    return true;
  }

  bool Select(WPARAM relation, HTREEITEM item) {
    if (relation != TVGN_CARET || (item != 0 && !Find(item))) {
      return false;
    }
    caret_ = item;
    return item == 0 || EnsureVisible(item);
  }

 private:
  struct Item {
    std::u16string text;
    HTREEITEM parent = 0;
    std::vector<HTREEITEM> children;
    bool expanded = false;
  };

  Item* Find(HTREEITEM item) {
    const auto found = items_.find(item);
    return found == items_.end() ? nullptr : &found->second;
  }
  std::vector<HTREEITEM>& Children(HTREEITEM parent) {
    return parent == 0 ? top_ : items_.at(parent).children;
  }

  std::map<HTREEITEM, Item> items_;
  std::vector<HTREEITEM> top_;
  const std::vector<HTREEITEM> none_;
  HTREEITEM caret_ = 0;
  HTREEITEM lastHandle_ = 0;  // handles only grow, so a deleted item's is never seen again
};

LRESULT Answer(TreeItems& items, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case TVM_INSERTITEMW: {
      const auto* insert = reinterpret_cast<const TVINSERTSTRUCTW*>(lParam);
      const bool hasText = (insert->mask & TVIF_TEXT) != 0 && insert->pszText != nullptr;
      return static_cast<LRESULT>(items.Insert(insert->hParent, insert->hInsertAfter,
                                               hasText ? insert->pszText : u""));
    }
    case TVM_DELETEITEM:
      return items.Delete(static_cast<HTREEITEM>(lParam));
    case TVM_GETNEXTITEM:
      return static_cast<LRESULT>(items.Next(wParam, static_cast<HTREEITEM>(lParam)));
    case TVM_GETITEMA:
      return items.GetItem(*reinterpret_cast<TVITEMA*>(lParam));
    case TVM_EXPAND:
      return items.Expand(wParam, static_cast<HTREEITEM>(lParam));
    case TVM_ENSUREVISIBLE:
      return items.EnsureVisible(static_cast<HTREEITEM>(lParam));
    case TVM_SELECTITEM:
      return items.Select(wParam, static_cast<HTREEITEM>(lParam));
    default:
      return 0;
  }
}

LRESULT TreeViewProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CREATE) {
    auto items = std::make_shared<TreeItems>();
    SetWindowUserData(window, items.get());
    AttachToWindow(window, std::move(items));
    return 0;
  }
  auto* items = static_cast<TreeItems*>(GetWindowUserData(window));
  if (items == nullptr) {
    return DefWindowProc(window, message, wParam, lParam);
  }
  return message >= TVM_INSERTITEMA && message <= TVM_INSERTITEMW
             ? Answer(*items, message, wParam, lParam)
             : DefWindowProc(window, message, wParam, lParam);
}

}  // namespace

void RegisterTreeViewClass() { RegisterClass(WC_TREEVIEW, TreeViewProcedure); }

}  // namespace platform
