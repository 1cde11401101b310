#include "platform/user/Shell.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>
#include <optional>

#include "platform/base/NoDestructor.h"
#include "platform/base/Text.h"
#include "platform/kernel/Event.h"
#include "platform/user/LocalWindows.h"
#include "platform/user/ShellRequest.h"
#include "platform/user/UserRegistry.h"
#include "platform/user/Window.h"

namespace platform {
namespace {

using detail::ShellItem;
using detail::ShellKind;
using detail::ShellRecord;
using detail::UserRegistry;

constexpr std::int32_t kDismissed = -1;  // a menu closed without a pick

ShellRecord NewRecord(std::uint32_t handle, ShellKind kind, HWND owner) {
  ShellRecord record;
  record.handle = handle;
  record.kind = kind;
  record.process = detail::ThisProcess();
  record.owner = owner;
  return record;
}

std::optional<ShellRecord> FindIcon(HWND owner, UINT id) {
  for (ShellRecord& record : UserRegistry::Instance().ShellRecords()) {
    if (record.kind == ShellKind::Icon && record.owner == owner && record.id == id) {
      return std::move(record);
    }
  }
  return std::nullopt;
}

// The event that tells a waiting menu or box that its record holds the answer.
std::u16string AnswerEventName(std::uint32_t handle) {
  char name[48];
  std::snprintf(name, sizeof name, "Global\\platform-shell-answer-%08x", handle);
  return FromUtf8(name);
}

// Gives the record a handle and publishes it with the event that tells its asker of the answer.
std::optional<Event> Publish(ShellRecord& record) {
  UserRegistry& registry = UserRegistry::Instance();
  record.handle = registry.AllocateHandle();
  Event answered = Event::Create(EventReset::Auto, false, AnswerEventName(record.handle)).handle;
  if (record.handle == 0 || !answered || !registry.WriteShell(record)) {
    detail::SetLastWindowsError(ERROR_NOT_ENOUGH_MEMORY);
    return std::nullopt;
  }
  return answered;
}

// Takes the answered record out of the registry.
std::optional<ShellRecord> TakeAnswer(std::uint32_t handle) {
  UserRegistry& registry = UserRegistry::Instance();
  std::optional<ShellRecord> answered = registry.ReadShell(handle);
  registry.RemoveShell(handle);
  return answered;
}

// Publishes the record, then runs the calling thread's messages until the tool answers it.
std::int32_t WaitForAnswer(ShellRecord record) {
  const std::optional<Event> answered = Publish(record);
  if (!answered) {
    return 0;
  }
  const ObjectRef answer = answered->Ref();
  for (;;) {
    const WaitResult result =
        MsgWaitForMultipleObjects(std::span(&answer, 1), false, kInfinite, QS_ALLINPUT);
    if (result.status != WaitStatus::Signalled) {
      break;
    }
    if (result.index == 0) {
      const std::optional<ShellRecord> answeredRecord = TakeAnswer(record.handle);
      return answeredRecord ? answeredRecord->answer : 0;
    }
    MSG message;
    while (PeekMessage(message, 0, 0, 0, PM_REMOVE)) {
      DispatchMessage(message);
    }
  }
  UserRegistry::Instance().RemoveShell(record.handle);
  return 0;
}

// This process's menus by handle; a popup item keeps its submenu's handle (0 for a command).
// Any thread.
class Menus {
 public:
  HMENU Create() {
    const HMENU menu = UserRegistry::Instance().AllocateHandle();
    std::lock_guard lock(lock_);
    if (menu != 0) {
      menus_[menu];
    }
    return menu;
  }
  bool Append(HMENU menu, ShellItem item, HMENU popup) {
    std::lock_guard lock(lock_);
    const auto found = menus_.find(menu);
    if (found == menus_.end() || (popup != 0 && !menus_.contains(popup))) {
      return false;
    }
    found->second.items.push_back(std::move(item));
    found->second.popups.push_back(popup);
    return true;
  }
  // The menu and its submenus.
  bool Destroy(HMENU menu) {
    std::lock_guard lock(lock_);
    return DestroyLocked(menu);
  }
  HMENU SubMenu(HMENU menu, int position) {
    std::lock_guard lock(lock_);
    const auto found = menus_.find(menu);
    if (found == menus_.end() || position < 0 ||
        static_cast<std::size_t>(position) >= found->second.popups.size()) {
      return 0;
    }
    return found->second.popups[static_cast<std::size_t>(position)];
  }
  std::optional<std::vector<ShellItem>> Items(HMENU menu) {
    std::lock_guard lock(lock_);
    const auto found = menus_.find(menu);
    return found == menus_.end() ? std::nullopt : std::optional(found->second.items);
  }

 private:
  struct Menu {
    std::vector<ShellItem> items;
    std::vector<HMENU> popups;
  };

  bool DestroyLocked(HMENU menu) {
    const auto found = menus_.find(menu);
    if (found == menus_.end()) {
      return false;
    }
    const std::vector<HMENU> popups = std::move(found->second.popups);
    menus_.erase(found);
    for (const HMENU popup : popups) {
      if (popup != 0) {
        DestroyLocked(popup);
      }
    }
    return true;
  }

  std::mutex lock_;
  std::map<HMENU, Menu> menus_;  // guarded by lock_
};

Menus& ProcessMenus() {
  static NoDestructor<Menus> menus;
  return *menus;
}

std::vector<ShellItem> Buttons(UINT type) {
  switch (type & 0xF) {
    case MB_OKCANCEL:
      return {{IDOK, u"OK"}, {IDCANCEL, u"Cancel"}};
    case MB_YESNOCANCEL:
      return {{IDYES, u"Yes"}, {IDNO, u"No"}, {IDCANCEL, u"Cancel"}};
    case MB_YESNO:
      return {{IDYES, u"Yes"}, {IDNO, u"No"}};
    default:
      return {{IDOK, u"OK"}};
  }
}

}  // namespace

bool Shell_NotifyIcon(UINT message, const NOTIFYICONDATAW& data) {
  UserRegistry& registry = UserRegistry::Instance();
  std::optional<ShellRecord> icon = FindIcon(data.hWnd, data.uID);
  if (message == NIM_DELETE && icon) {
    registry.RemoveShell(icon->handle);
    return true;
  }
  if ((message == NIM_ADD) == icon.has_value() || (message != NIM_ADD && message != NIM_MODIFY)) {
    detail::SetLastWindowsError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (!icon) {
    icon = NewRecord(registry.AllocateHandle(), ShellKind::Icon, data.hWnd);
    icon->id = data.uID;
  }
  if ((data.uFlags & NIF_MESSAGE) != 0) {
    icon->callbackMessage = data.uCallbackMessage;
  }
  if ((data.uFlags & NIF_ICON) != 0) {
    icon->icon = data.hIcon;
  }
  if ((data.uFlags & NIF_TIP) != 0) {
    icon->text.assign(data.szTip, TextLength(data.szTip));
  }
  return icon->handle != 0 && registry.WriteShell(*icon);
}

bool Shell_NotifyIconA(UINT message, const NOTIFYICONDATAA& data) {
  NOTIFYICONDATAW wide;
  wide.hWnd = data.hWnd;
  wide.uID = data.uID;
  wide.uFlags = data.uFlags;
  wide.uCallbackMessage = data.uCallbackMessage;
  wide.hIcon = data.hIcon;
  const std::u16string tip = FromAnsi(std::string_view(data.szTip, TextLength(data.szTip)));
  std::copy_n(tip.begin(), std::min(tip.size(), std::size(wide.szTip) - 1), wide.szTip);
  return Shell_NotifyIcon(message, wide);
}

HMENU CreatePopupMenu() { return ProcessMenus().Create(); }

bool AppendMenu(HMENU menu, UINT flags, UINT command, std::u16string_view text) {
  const bool popup = (flags & MF_POPUP) != 0;
  return ProcessMenus().Append(menu, {popup ? 0 : command, std::u16string(text)},
                               popup ? command : 0);
}

HMENU GetSubMenu(HMENU menu, int position) { return ProcessMenus().SubMenu(menu, position); }

bool DestroyMenu(HMENU menu) { return ProcessMenus().Destroy(menu); }

UINT TrackPopupMenu(HMENU menu, UINT flags, int, int, HWND owner) {
  std::optional<std::vector<ShellItem>> items = ProcessMenus().Items(menu);
  if (!items) {
    detail::SetLastWindowsError(ERROR_INVALID_HANDLE);
    return 0;
  }
  ShellRecord record = NewRecord(0, ShellKind::Menu, owner);
  record.items = std::move(*items);
  const std::int32_t picked = WaitForAnswer(std::move(record));
  const UINT command = picked == kDismissed ? 0 : static_cast<UINT>(picked);
  if ((flags & TPM_RETURNCMD) != 0) {
    return command;
  }
  return command != 0 && PostMessage(owner, WM_COMMAND, command, 0) ? 1 : 0;
}

int MessageBox(HWND owner, std::u16string_view text, std::u16string_view caption, UINT type) {
  ShellRecord record = NewRecord(0, ShellKind::MessageBox, owner);
  record.caption = caption;
  record.text = text;
  record.items = Buttons(type);
  return WaitForAnswer(std::move(record));
}

std::intptr_t ShellExecute(HWND owner, std::u16string_view verb, std::u16string_view file,
                           std::u16string_view, std::u16string_view, int) {
  UserRegistry& registry = UserRegistry::Instance();
  ShellRecord record = NewRecord(registry.AllocateHandle(), ShellKind::Open, owner);
  record.caption = verb;
  record.text = file;
  return record.handle != 0 && registry.WriteShell(record) ? 42 : 0;
}

bool AnswerShellRecord(std::uint32_t handle, std::int32_t answer) {
  UserRegistry& registry = UserRegistry::Instance();
  std::optional<ShellRecord> record = registry.ReadShell(handle);
  const bool waits =
      record && (record->kind == ShellKind::Menu || record->kind == ShellKind::MessageBox) &&
      record->answer == 0;
  const bool known =
      waits && ((record->kind == ShellKind::Menu && answer == kDismissed) ||
                std::any_of(record->items.begin(), record->items.end(), [answer](const ShellItem& item) {
                  return static_cast<std::int32_t>(item.command) == answer;
                }));
  if (!known || answer == 0) {
    return false;
  }
  record->answer = answer;
  return detail::AnswerRequest(*record);
}

bool ClickIcon(std::uint32_t handle, UINT mouseMessage) {
  const std::optional<ShellRecord> record = UserRegistry::Instance().ReadShell(handle);
  return record && record->kind == ShellKind::Icon &&
         PostMessage(record->owner, record->callbackMessage, record->id, mouseMessage);
}

namespace detail {

std::optional<ShellRecord> AskWindow(ShellRecord request, UINT message, Timeout timeout) {
  const std::optional<Event> answered = Publish(request);
  if (!answered) {
    return std::nullopt;
  }
  const bool asked = PostMessage(request.owner, message, request.handle, 0);
  const bool done = asked && WaitForObject(answered->Ref(), timeout).Signalled(0);
  std::optional<ShellRecord> answer = TakeAnswer(request.handle);
  return done ? answer : std::nullopt;
}

bool AnswerRequest(const ShellRecord& answered) {
  const Event asker = Event::Open(AnswerEventName(answered.handle)).handle;
  return asker && UserRegistry::Instance().WriteShell(answered) && asker.Set();
}

}  // namespace detail

}  // namespace platform
