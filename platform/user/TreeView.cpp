#include "platform/user/TreeView.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/Text.h"
#include "platform/user/LocalWindows.h"
#include "platform/user/ShellRequest.h"
#include "platform/user/UserRegistry.h"
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

  // The item whose text and whose ancestors' texts are the path, root first; 0 for none.
  HTREEITEM FindPath(std::span<const std::u16string> path) {
    HTREEITEM found = 0;
    for (const std::u16string& text : path) {
      const std::vector<HTREEITEM>& candidates = Children(found);
      const auto match = std::find_if(candidates.begin(), candidates.end(),
                                      [&](HTREEITEM item) { return items_.at(item).text == text; });
      if (match == candidates.end()) {
        return 0;
      }
      found = *match;
    }
    return found;
  }

  // Every item under `parent`, each before its children.
  void List(std::vector<TreeItemLine>& lines, HTREEITEM parent = 0, int depth = 0) {
    for (const HTREEITEM item : Children(parent)) {
      lines.push_back({depth, items_.at(item).text, item == caret_});
      List(lines, item, depth + 1);
    }
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
  const std::vector<HTREEITEM> none_{};
  HTREEITEM caret_ = 0;
  HTREEITEM lastHandle_ = 0;  // handles only grow, so a deleted item's is never seen again
};

// Asks the control's thread for a listing or a click (the operation in the record's id, the path
// in its items); a listing comes back in the items, each item's command its depth times two, plus
// one for the selected item.
constexpr UINT kControlRequest = 0x11FF;
constexpr std::uint32_t kListItems = 1;
constexpr std::uint32_t kClickItem = 2;

// Selects the item and, when that changed the selection, tells the control's parent.
bool SelectItem(HWND window, TreeItems& items, WPARAM relation, HTREEITEM item, UINT action) {
  const HTREEITEM before = items.Next(TVGN_CARET, 0);
  if (!items.Select(relation, item)) {
    return false;
  }
  const HWND parent = GetParent(window);
  if (before != item && parent != 0) {
    NMTREEVIEWW notice;
    notice.hdr = {window, static_cast<std::uintptr_t>(GetDlgCtrlID(window)), TVN_SELCHANGEDW};
    notice.action = action;
    notice.itemOld = before;
    notice.itemNew = item;
    SendMessage(parent, WM_NOTIFY, notice.hdr.idFrom, reinterpret_cast<LPARAM>(&notice));
  }
  return true;
}

void AnswerControlRequest(HWND window, TreeItems& items, std::uint32_t handle) {
  std::optional<detail::ShellRecord> request = detail::UserRegistry::Instance().ReadShell(handle);
  if (!request || request->kind != detail::ShellKind::ControlRequest || request->owner != window) {
    return;
  }
  bool done = true;
  if (request->id == kClickItem) {
    std::vector<std::u16string> path;
    for (const detail::ShellItem& entry : request->items) {
      path.push_back(entry.text);
    }
    const HTREEITEM item = path.empty() ? 0 : items.FindPath(path);
    done = item != 0 && SelectItem(window, items, TVGN_CARET, item, TVC_BYMOUSE);
  } else {
    std::vector<TreeItemLine> lines;
    items.List(lines);
    request->items.clear();
    for (TreeItemLine& line : lines) {
      request->items.push_back({static_cast<std::uint32_t>(line.depth) * 2 + (line.selected ? 1 : 0),
                                std::move(line.text)});
    }
  }
  request->answer = done ? 1 : -1;
  detail::AnswerRequest(*request);
}

LRESULT Answer(HWND window, TreeItems& items, UINT message, WPARAM wParam, LPARAM lParam) {
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
      return SelectItem(window, items, wParam, static_cast<HTREEITEM>(lParam), TVC_UNKNOWN);
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
  if (message == kControlRequest) {
    AnswerControlRequest(window, *items, static_cast<std::uint32_t>(wParam));
    return 0;
  }
  return message >= TVM_INSERTITEMA && message <= TVM_INSERTITEMW
             ? Answer(window, *items, message, wParam, lParam)
             : DefWindowProc(window, message, wParam, lParam);
}

// Asks the control's thread; the answered record, or nothing.
std::optional<detail::ShellRecord> AskTree(HWND tree, std::uint32_t operation,
                                           std::vector<detail::ShellItem> items, Timeout timeout) {
  if (GetClassName(tree) != WC_TREEVIEW) {
    return std::nullopt;
  }
  detail::ShellRecord request;
  request.kind = detail::ShellKind::ControlRequest;
  request.process = detail::ThisProcess();
  request.owner = tree;
  request.id = operation;
  request.items = std::move(items);
  return detail::AskWindow(std::move(request), kControlRequest, timeout);
}

}  // namespace

void RegisterTreeViewClass() { RegisterClass(WC_TREEVIEW, TreeViewProcedure); }

HWND FindTreeView(std::uint32_t processId, std::u16string_view windowClass,
                  std::int32_t controlId) {
  struct Search {
    std::uint32_t process;
    std::u16string_view windowClass;
    std::int32_t controlId;
    HWND found = 0;
  } search{processId, windowClass, controlId};
  EnumWindows(
      [](HWND top, LPARAM into) {
        auto& wanted = *reinterpret_cast<Search*>(into);
        std::uint32_t process = 0;
        GetWindowThreadProcessId(top, &process);
        if (process != wanted.process || !detail::SameWindowName(GetClassName(top), wanted.windowClass)) {
          return true;
        }
        EnumChildWindows(
            top,
            [](HWND child, LPARAM searching) {
              auto& inner = *reinterpret_cast<Search*>(searching);
              if (GetDlgCtrlID(child) == inner.controlId && GetClassName(child) == WC_TREEVIEW) {
                inner.found = child;
                return false;
              }
              return true;
            },
            into);
        return wanted.found == 0;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool ClickTreeItem(HWND tree, std::span<const std::u16string> path, Timeout timeout) {
  std::vector<detail::ShellItem> entries;
  for (const std::u16string& text : path) {
    entries.push_back({0, text});
  }
  const std::optional<detail::ShellRecord> answer = AskTree(tree, kClickItem, std::move(entries), timeout);
  return answer && answer->answer == 1;
}

std::optional<std::vector<TreeItemLine>> ListTreeItems(HWND tree, Timeout timeout) {
  const std::optional<detail::ShellRecord> answer = AskTree(tree, kListItems, {}, timeout);
  if (!answer || answer->answer != 1) {
    return std::nullopt;
  }
  std::vector<TreeItemLine> lines;
  for (const detail::ShellItem& item : answer->items) {
    lines.push_back({static_cast<int>(item.command / 2), item.text, item.command % 2 == 1});
  }
  return lines;
}

}  // namespace platform
