#pragma once

// Dialogs from dialog resources declared in code. A dialog is a window of class "#32770" whose
// title is its caption, with one child window per item (class "Static" for a text, "Button" for a
// button; the item's id and text), so a control tool lists it and presses a button by posting
// WM_COMMAND with the button's id. The dialog's procedure gets WM_INITDIALOG before the dialog
// is returned, then the dialog's messages; answering false leaves a message to the default
// handling (WM_CLOSE: the cancel command). A dialog is a top-level window; its owner (`parent`)
// is not recorded. The calls run on the thread that owns the dialog.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/user/Messages.h"

using DLGPROC = std::intptr_t (*)(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

inline constexpr char16_t WC_DIALOG[] = u"#32770";
inline constexpr UINT WM_INITDIALOG = 0x0110;
inline constexpr WPARAM VK_RETURN = 0x0D;
inline constexpr WPARAM VK_ESCAPE = 0x1B;

struct DialogItemResource {
  std::int32_t id = 0;
  std::u16string text;
  bool button = false;
  bool defaultButton = false;  // the button that the Enter key presses
};
struct DialogResource {
  std::u16string caption;
  std::vector<DialogItemResource> items;
};

namespace platform {

// Declaring an id again replaces it. Any thread.
void DeclareDialog(std::uint32_t id, DialogResource dialog);

// A modeless dialog, hidden until shown; 0 when the resource is unknown or the procedure
// refuses it. DestroyWindow ends it.
HWND CreateDialogParam(std::uint32_t id, HWND parent, DLGPROC procedure, LPARAM initParam);
// Shows a modal dialog and serves the thread's messages until EndDialog; its result, or -1 when
// it cannot be made.
std::intptr_t DialogBoxParam(std::uint32_t id, HWND parent, DLGPROC procedure, LPARAM initParam);
// Ends a modal dialog with the result once its procedure returns; false for no dialog.
bool EndDialog(HWND dialog, std::intptr_t result);
// The answer of a dialog procedure for a dialog that its OK and cancel buttons end with their id
// and that has nothing else to do: true for WM_INITDIALOG and for those commands.
std::intptr_t EndOnOkOrCancel(HWND dialog, UINT message, WPARAM wParam);
// A message for the dialog or its items is handled here (Enter presses the default button,
// Escape cancels, everything else is dispatched): true; any other message: false.
bool IsDialogMessage(HWND dialog, const MSG& message);

}  // namespace platform
