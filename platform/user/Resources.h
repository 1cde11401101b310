#pragma once

// A program's resources as it declares them in code at its start: accelerator tables and menus
// by id, a menu's texts per language. Loading one gives this process's handle to it. Any thread.

#include <cstdint>
#include <vector>

#include "platform/user/Messages.h"
#include "platform/user/Shell.h"

using HACCEL = std::uint32_t;  // 0: none

// An accelerator: the character (or, with FVIRTKEY, the key code) and the command it gives.
// Nobody sits at this machine's keyboard, so its state is unknown: FSHIFT and FCONTROL entries
// never match; FALT ones match the messages of keys pressed with Alt (WM_SYSCHAR, WM_SYSKEYDOWN).
inline constexpr std::uint8_t FVIRTKEY = 0x01;
inline constexpr std::uint8_t FSHIFT = 0x04;
inline constexpr std::uint8_t FCONTROL = 0x08;
inline constexpr std::uint8_t FALT = 0x10;
struct ACCEL {
  std::uint8_t fVirt = 0;
  std::uint16_t key = 0;
  std::uint16_t cmd = 0;
};

// One item of a menu resource: a command with its text, or (with items of its own) a popup.
struct MenuItemResource {
  UINT command = 0;
  std::u16string text;
  std::vector<MenuItemResource> popup;
};

inline constexpr std::uint32_t ERROR_RESOURCE_NAME_NOT_FOUND = 1814;

namespace platform {

// Declaring an id again replaces what it held.
void DeclareAccelerators(std::uint32_t id, std::vector<ACCEL> table);
// The menu's items in one language; language 0 serves every language that has none of its own.
void DeclareMenu(std::uint32_t id, std::uint16_t language, std::vector<MenuItemResource> items);

// 0 with ERROR_RESOURCE_NAME_NOT_FOUND for an id never declared.
HACCEL LoadAccelerators(std::uint32_t id);
// A new menu (its popups are its submenus), in the language's texts; DestroyMenu ends it.
HMENU LoadMenu(std::uint32_t id, std::uint16_t language = 0);

// The thread that owns the window: a key message that an entry of the table matches becomes
// WM_COMMAND to the window (wParam: 1 in the high word, the command in the low), answered before
// this returns; 1 when the message was taken so, else 0.
int TranslateAccelerator(HWND window, HACCEL table, const MSG& message);

}  // namespace platform
