#include "platform/user/Dialog.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/base/NoDestructor.h"
#include "platform/user/LocalWindows.h"
#include "platform/user/Resources.h"
#include "platform/user/Shell.h"
#include "platform/user/Window.h"

namespace platform {
namespace {

inline constexpr char16_t kTextClass[] = u"Static";
inline constexpr char16_t kButtonClass[] = u"Button";

// What a dialog's window keeps: its procedure, and the result once EndDialog was called. The
// dialog's thread only, apart from the handles.
struct DialogState {
  DLGPROC procedure = nullptr;
  std::int32_t defaultButton = IDOK;
  std::optional<std::intptr_t> ended;
};

// This process's dialog resources, and its dialogs while they live. Any thread.
class ProcessDialogs {
 public:
  void Declare(std::uint32_t id, DialogResource dialog) {
    std::lock_guard lock(lock_);
    resources_[id] = std::move(dialog);
  }
  std::optional<DialogResource> Resource(std::uint32_t id) {
    std::lock_guard lock(lock_);
    const auto found = resources_.find(id);
    return found == resources_.end() ? std::nullopt : std::optional(found->second);
  }
  void Add(HWND dialog, const std::shared_ptr<DialogState>& state) {
    std::lock_guard lock(lock_);
    dialogs_[dialog] = state;
  }
  void Remove(HWND dialog) {
    std::lock_guard lock(lock_);
    dialogs_.erase(dialog);
  }
  std::shared_ptr<DialogState> Find(HWND dialog) {
    std::lock_guard lock(lock_);
    const auto found = dialogs_.find(dialog);
    return found == dialogs_.end() ? nullptr : found->second.lock();
  }

 private:
  std::mutex lock_;
  std::map<std::uint32_t, DialogResource> resources_;       // guarded by lock_
  std::map<HWND, std::weak_ptr<DialogState>> dialogs_;     // guarded by lock_; the window owns each
};

ProcessDialogs& Dialogs() {
  static NoDestructor<ProcessDialogs> dialogs;
  return *dialogs;
}

// A button tells its dialog of a click as the command of its id.
LRESULT ItemProcedure(HWND item, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_LBUTTONDOWN && GetClassName(item) == kButtonClass) {
    SendMessage(GetParent(item), WM_COMMAND, static_cast<WPARAM>(GetDlgCtrlID(item)),
                static_cast<LPARAM>(item));
    return 0;
  }
  return DefWindowProc(item, message, wParam, lParam);
}

LRESULT DialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCT*>(lParam);
    const auto& state = *static_cast<const std::shared_ptr<DialogState>*>(create->lpCreateParams);
    Dialogs().Add(dialog, state);
    AttachToWindow(dialog, state);
    return 0;
  }
  const std::shared_ptr<DialogState> state = Dialogs().Find(dialog);
  if (!state) {
    return DefWindowProc(dialog, message, wParam, lParam);
  }
  const bool handled = state->procedure(dialog, message, wParam, lParam) != 0;
  if (message == WM_DESTROY) {
    Dialogs().Remove(dialog);
  } else if (message == WM_CLOSE && !handled) {
    SendMessage(dialog, WM_COMMAND, IDCANCEL, 0);
  }
  return 0;
}

// The dialog with its items, after its procedure's WM_INITDIALOG; 0 when it cannot be made.
HWND MakeDialog(std::uint32_t id, DLGPROC procedure, LPARAM initParam, std::uint32_t style) {
  const std::optional<DialogResource> resource = Dialogs().Resource(id);
  if (!resource || procedure == nullptr) {
    detail::SetLastWindowsError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return 0;
  }
  RegisterClass(WC_DIALOG, DialogProcedure);
  RegisterClass(kTextClass, ItemProcedure);
  RegisterClass(kButtonClass, ItemProcedure);
  auto state = std::make_shared<DialogState>();
  state->procedure = procedure;
  std::shared_ptr<DialogState> creating = state;
  // A dialog is a top-level window that its owner does not contain; the owner is not recorded.
  const HWND dialog = CreateWindow(WC_DIALOG, resource->caption, style, 0, 0, &creating);
  if (dialog == 0) {
    return 0;
  }
  for (const DialogItemResource& item : resource->items) {
    if (CreateWindow(item.button ? kButtonClass : kTextClass, item.text, WS_CHILD | WS_VISIBLE,
                     dialog, item.id) == 0) {
      DestroyWindow(dialog);
      return 0;
    }
    if (item.defaultButton) {
      state->defaultButton = item.id;
    }
  }
  procedure(dialog, WM_INITDIALOG, 0, initParam);
  return dialog;
}

bool IsWithin(HWND window, HWND dialog) {
  for (; window != 0; window = GetParent(window)) {
    if (window == dialog) {
      return true;
    }
  }
  return false;
}

}  // namespace

void DeclareDialog(std::uint32_t id, DialogResource dialog) {
  Dialogs().Declare(id, std::move(dialog));
}

HWND CreateDialogParam(std::uint32_t id, HWND, DLGPROC procedure, LPARAM initParam) {
  return MakeDialog(id, procedure, initParam, WS_OVERLAPPED);
}

std::intptr_t DialogBoxParam(std::uint32_t id, HWND, DLGPROC procedure, LPARAM initParam) {
  const HWND dialog = MakeDialog(id, procedure, initParam, WS_OVERLAPPED | WS_VISIBLE);
  const std::shared_ptr<DialogState> state = Dialogs().Find(dialog);
  if (!state) {
    return -1;
  }
  MSG message;
  while (!state->ended) {
    const int got = GetMessage(message, 0, 0, 0);
    if (got <= 0) {
      if (got == 0) {
        PostQuitMessage(static_cast<int>(message.wParam));  // the thread's loop ends too
      }
      break;
    }
    if (!IsDialogMessage(dialog, message)) {
      DispatchMessage(message);
    }
  }
  DestroyWindow(dialog);
  return state->ended.value_or(0);
}

std::intptr_t EndOnOkOrCancel(HWND dialog, UINT message, WPARAM wParam) {
  if (message == WM_INITDIALOG) return true;
  const auto id = static_cast<std::intptr_t>(wParam & 0xFFFF);
  if (message == WM_COMMAND && (id == IDOK || id == IDCANCEL)) {
    EndDialog(dialog, id);
    return true;
  }
  return false;
}

bool EndDialog(HWND dialog, std::intptr_t result) {
  const std::shared_ptr<DialogState> state = Dialogs().Find(dialog);
  if (!state) {
    detail::SetLastWindowsError(ERROR_INVALID_WINDOW_HANDLE);
    return false;
  }
  state->ended = result;
  return true;
}

bool IsDialogMessage(HWND dialog, const MSG& message) {
  const std::shared_ptr<DialogState> state = Dialogs().Find(dialog);
  if (!state || !IsWithin(message.hwnd, dialog)) {
    return false;
  }
  if (message.message == WM_KEYDOWN && (message.wParam == VK_RETURN || message.wParam == VK_ESCAPE)) {
    const auto command = static_cast<WPARAM>(message.wParam == VK_RETURN ? state->defaultButton : IDCANCEL);
    SendMessage(dialog, WM_COMMAND, command, 0);
  } else {
    DispatchMessage(message);
  }
  return true;
}

}  // namespace platform
