#include "platform/user/Resources.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <optional>
#include <utility>

#include "platform/base/NoDestructor.h"
#include "platform/user/LocalWindows.h"
#include "platform/user/Window.h"

namespace platform {
namespace {

// This process's declared resources and its loaded accelerator tables. Any thread.
class ProcessResources {
 public:
  void DeclareAccelerators(std::uint32_t id, std::vector<ACCEL> table) {
    std::lock_guard lock(lock_);
    accelerators_[id] = std::move(table);
  }
  void DeclareMenu(std::uint32_t id, std::uint16_t language, std::vector<MenuItemResource> items) {
    std::lock_guard lock(lock_);
    menus_[{id, language}] = std::move(items);
  }
  HACCEL LoadAccelerators(std::uint32_t id) {
    std::lock_guard lock(lock_);
    const auto found = accelerators_.find(id);
    if (found == accelerators_.end()) {
      return 0;
    }
    loaded_[++lastTable_] = found->second;
    return lastTable_;
  }
  std::optional<std::vector<ACCEL>> Table(HACCEL table) {
    std::lock_guard lock(lock_);
    const auto found = loaded_.find(table);
    return found == loaded_.end() ? std::nullopt : std::optional(found->second);
  }
  std::optional<std::vector<MenuItemResource>> Menu(std::uint32_t id, std::uint16_t language) {
    std::lock_guard lock(lock_);
    auto found = menus_.find({id, language});
    if (found == menus_.end()) {
      found = menus_.find({id, 0});
    }
    return found == menus_.end() ? std::nullopt : std::optional(found->second);
  }

 private:
  std::mutex lock_;
  std::map<std::uint32_t, std::vector<ACCEL>> accelerators_;                  // guarded by lock_
  std::map<std::pair<std::uint32_t, std::uint16_t>, std::vector<MenuItemResource>> menus_;  // guarded by lock_
  std::map<HACCEL, std::vector<ACCEL>> loaded_;                              // guarded by lock_
  HACCEL lastTable_ = 0;                                                     // guarded by lock_
};

ProcessResources& Resources() {
  static NoDestructor<ProcessResources> resources;
  return *resources;
}

// Builds the menu of the items into `menu`; false when a piece cannot be made.
bool Fill(HMENU menu, const std::vector<MenuItemResource>& items) {
  for (const MenuItemResource& item : items) {
    if (item.popup.empty()) {
      if (!AppendMenu(menu, MF_STRING, item.command, item.text)) {
        return false;
      }
      continue;
    }
    const HMENU popup = CreatePopupMenu();
    if (popup == 0 || !Fill(popup, item.popup) || !AppendMenu(menu, MF_POPUP, popup, item.text)) {
      DestroyMenu(popup);
      return false;
    }
  }
  return true;
}

bool Matches(const ACCEL& entry, const MSG& message) {
  if ((entry.fVirt & (FSHIFT | FCONTROL)) != 0 || entry.key != message.wParam) {
    return false;
  }
  const bool alt = (entry.fVirt & FALT) != 0;
  if ((entry.fVirt & FVIRTKEY) != 0) {
    return message.message == (alt ? WM_SYSKEYDOWN : WM_KEYDOWN);
  }
  return message.message == (alt ? WM_SYSCHAR : WM_CHAR);
}

}  // namespace

void DeclareAccelerators(std::uint32_t id, std::vector<ACCEL> table) {
  Resources().DeclareAccelerators(id, std::move(table));
}

void DeclareMenu(std::uint32_t id, std::uint16_t language, std::vector<MenuItemResource> items) {
  Resources().DeclareMenu(id, language, std::move(items));
}

HACCEL LoadAccelerators(std::uint32_t id) {
  const HACCEL table = Resources().LoadAccelerators(id);
  if (table == 0) {
    detail::SetLastWindowsError(ERROR_RESOURCE_NAME_NOT_FOUND);
  }
  return table;
}

HMENU LoadMenu(std::uint32_t id, std::uint16_t language) {
  const std::optional<std::vector<MenuItemResource>> items = Resources().Menu(id, language);
  if (!items) {
    detail::SetLastWindowsError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return 0;
  }
  const HMENU menu = CreatePopupMenu();
  if (menu == 0 || !Fill(menu, *items)) {
    DestroyMenu(menu);
    detail::SetLastWindowsError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  return menu;
}

int TranslateAccelerator(HWND window, HACCEL table, const MSG& message) {
  const std::optional<std::vector<ACCEL>> entries = Resources().Table(table);
  if (!entries) {
    detail::SetLastWindowsError(ERROR_INVALID_HANDLE);
    return 0;
  }
  const auto entry = std::find_if(entries->begin(), entries->end(),
                                  [&message](const ACCEL& candidate) { return Matches(candidate, message); });
  if (entry == entries->end() || window == 0) {
    return 0;
  }
  SendMessage(window, WM_COMMAND, (WPARAM{1} << 16) | entry->cmd, 0);
  return 1;
}

}  // namespace platform
