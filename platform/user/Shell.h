#pragma once

// The shell's pieces: notification-area icons with their callback message and tip, popup menus
// and their commands, message boxes, and the shell's "open" of an address. Nobody sits at this
// machine's desktop, so each is a record under the root that a control tool (platformctl) lists
// and acts on: it clicks an icon (its owner gets the callback message), picks a menu item or
// answers a box (the waiting call returns it), and reads what "open" was asked to open. A menu or
// box waits on the calling thread, serving its messages as a modal loop does.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/user/Messages.h"

inline constexpr UINT NIM_ADD = 0;
inline constexpr UINT NIM_MODIFY = 1;
inline constexpr UINT NIM_DELETE = 2;
inline constexpr UINT NIF_MESSAGE = 0x1;
inline constexpr UINT NIF_ICON = 0x2;
inline constexpr UINT NIF_TIP = 0x4;

// An icon's record: owner window and id name it; the flags say which of the rest count. The tip
// is UTF-16, or in the process's ANSI code page for NOTIFYICONDATAA.
template <class Char>
struct NotifyIconData {
  std::uint32_t cbSize = sizeof(NotifyIconData);
  HWND hWnd = 0;
  UINT uID = 0;
  UINT uFlags = 0;
  UINT uCallbackMessage = 0;
  std::uint32_t hIcon = 0;  // the icon's resource id
  Char szTip[128] = {};
};
using NOTIFYICONDATAW = NotifyIconData<char16_t>;
using NOTIFYICONDATAA = NotifyIconData<char>;

using HMENU = std::uint32_t;
inline constexpr UINT MF_STRING = 0x0000;
inline constexpr UINT MF_POPUP = 0x0010;
inline constexpr UINT TPM_RETURNCMD = 0x0100;

inline constexpr UINT MB_OK = 0x0;
inline constexpr UINT MB_OKCANCEL = 0x1;
inline constexpr UINT MB_YESNOCANCEL = 0x3;
inline constexpr UINT MB_YESNO = 0x4;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

namespace platform {

// NIM_ADD (fails when the icon is there), NIM_MODIFY and NIM_DELETE (fail when it is not).
bool Shell_NotifyIcon(UINT message, const NOTIFYICONDATAW& data);
bool Shell_NotifyIconA(UINT message, const NOTIFYICONDATAA& data);

// Popup menus of this process; one thread at a time uses a menu.
HMENU CreatePopupMenu();
// With MF_POPUP, `command` is the handle of the submenu the item opens; the menu then owns it.
bool AppendMenu(HMENU menu, UINT flags, UINT command, std::u16string_view text);
// The menu and its submenus.
bool DestroyMenu(HMENU menu);
// The submenu of the popup item at the position; 0 when that item opens none.
HMENU GetSubMenu(HMENU menu, int position);
// Shows the menu until the tool picks an item or dismisses it; the command chosen (0 for none) is
// returned with TPM_RETURNCMD, otherwise posted to the owner as WM_COMMAND (true when one was).
UINT TrackPopupMenu(HMENU menu, UINT flags, int x, int y, HWND owner);

// Shows the box until the tool answers it with one of its buttons; the button's id.
int MessageBox(HWND owner, std::u16string_view text, std::u16string_view caption, UINT type);

// Records the verb and address; more than 32 for success, as the shell answers.
std::intptr_t ShellExecute(HWND owner, std::u16string_view verb, std::u16string_view file,
                           std::u16string_view parameters, std::u16string_view directory,
                           int show);

// The control tool's side. Answer fails when the record is no open menu or box or the answer is
// not one of its commands or buttons; Click when it is no icon.
bool AnswerShellRecord(std::uint32_t handle, std::int32_t answer);
bool ClickIcon(std::uint32_t handle, UINT mouseMessage);

}  // namespace platform
