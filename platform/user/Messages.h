#pragma once

// The words of the windows layer: window handles, message words, the messages the system's code
// sends and handles, and the flags of retrieval and waiting.

#include <cstdint>

// A window (or hook, or device notification) as a 32-bit id that every process of the root knows;
// 0 is none.
using HWND = std::uint32_t;
using HHOOK = std::uint32_t;
using HDEVNOTIFY = std::uint32_t;
using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

// The parent of a message-only window: it receives messages but no enumeration or search of
// top-level windows finds it.
inline constexpr HWND HWND_MESSAGE = 0xFFFFFFFD;

// One queued message. Posted messages cross processes, so their words are plain integers there.
struct MSG {
  HWND hwnd = 0;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  std::uint32_t time = 0;  // the tick count when it was queued
};

inline constexpr UINT WM_NULL = 0x0000;
inline constexpr UINT WM_CREATE = 0x0001;
inline constexpr UINT WM_DESTROY = 0x0002;
inline constexpr UINT WM_PAINT = 0x000F;
inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_QUERYENDSESSION = 0x0011;
inline constexpr UINT WM_QUIT = 0x0012;
inline constexpr UINT WM_ENDSESSION = 0x0016;
inline constexpr UINT WM_NOTIFY = 0x004E;
inline constexpr UINT WM_NCLBUTTONDOWN = 0x00A1;
inline constexpr UINT WM_NCRBUTTONDOWN = 0x00A4;
inline constexpr UINT WM_KEYDOWN = 0x0100;
inline constexpr UINT WM_CHAR = 0x0102;
inline constexpr UINT WM_SYSKEYDOWN = 0x0104;
inline constexpr UINT WM_SYSCHAR = 0x0106;
inline constexpr UINT WM_COMMAND = 0x0111;
inline constexpr UINT WM_TIMER = 0x0113;
inline constexpr UINT WM_LBUTTONDOWN = 0x0201;
inline constexpr UINT WM_RBUTTONDOWN = 0x0204;
inline constexpr UINT WM_DEVICECHANGE = 0x0219;
inline constexpr UINT WM_WTSSESSION_CHANGE = 0x02B1;
inline constexpr UINT WM_USER = 0x0400;
inline constexpr UINT WM_APP = 0x8000;

// WM_QUERYENDSESSION and WM_ENDSESSION: lParam when the session's user logs off.
inline constexpr LPARAM ENDSESSION_LOGOFF = static_cast<LPARAM>(0x80000000u);

// WM_WTSSESSION_CHANGE: the change (wParam); lParam is the session id.
inline constexpr std::uint32_t WTS_CONSOLE_CONNECT = 1;
inline constexpr std::uint32_t WTS_CONSOLE_DISCONNECT = 2;
inline constexpr std::uint32_t WTS_REMOTE_CONNECT = 3;
inline constexpr std::uint32_t WTS_REMOTE_DISCONNECT = 4;
inline constexpr std::uint32_t WTS_SESSION_LOGON = 5;
inline constexpr std::uint32_t WTS_SESSION_LOGOFF = 6;
inline constexpr std::uint32_t WTS_SESSION_LOCK = 7;
inline constexpr std::uint32_t WTS_SESSION_UNLOCK = 8;
inline constexpr std::uint32_t WTS_SESSION_REMOTE_CONTROL = 9;

// PeekMessage: take the message out of the queue, or leave it there.
inline constexpr UINT PM_NOREMOVE = 0x0000;
inline constexpr UINT PM_REMOVE = 0x0001;

// MsgWaitForMultipleObjects: the kinds of input that end the wait.
inline constexpr UINT QS_SENDMESSAGE = 0x0040;
inline constexpr UINT QS_ALLINPUT = 0x04FF;

// Window styles the system's code gives.
inline constexpr std::uint32_t WS_OVERLAPPED = 0x00000000;
inline constexpr std::uint32_t WS_POPUP = 0x80000000;
inline constexpr std::uint32_t WS_CHILD = 0x40000000;
inline constexpr std::uint32_t WS_VISIBLE = 0x10000000;
inline constexpr std::uint32_t WS_OVERLAPPEDWINDOW = 0x00CF0000;

// Window hooks: the message hook and its one code.
inline constexpr int WH_GETMESSAGE = 3;
inline constexpr int HC_ACTION = 0;

// Device-change notices: wParam of WM_DEVICECHANGE, and the broadcast's device type.
inline constexpr WPARAM DBT_DEVICEARRIVAL = 0x8000;
inline constexpr WPARAM DBT_DEVICEQUERYREMOVE = 0x8001;
inline constexpr WPARAM DBT_DEVICEQUERYREMOVEFAILED = 0x8002;
inline constexpr WPARAM DBT_DEVICEREMOVEPENDING = 0x8003;
inline constexpr WPARAM DBT_DEVICEREMOVECOMPLETE = 0x8004;
inline constexpr std::uint32_t DBT_DEVTYP_DEVICEINTERFACE = 5;

// Errors of the windows layer.
inline constexpr std::uint32_t ERROR_INVALID_WINDOW_HANDLE = 1400;
inline constexpr std::uint32_t ERROR_INVALID_HOOK_HANDLE = 1404;
inline constexpr std::uint32_t ERROR_CLASS_ALREADY_EXISTS = 1410;
inline constexpr std::uint32_t ERROR_CLASS_DOES_NOT_EXIST = 1411;
inline constexpr std::uint32_t ERROR_INVALID_THREAD_ID = 1444;
inline constexpr std::uint32_t ERROR_NOT_ENOUGH_QUOTA = 1816;
