#pragma once

// Windows and their messages. A window belongs to the thread that creates it and is known to
// every process of the root by its handle, class name, title, parent, control id and style; a
// process's window classes are its own. Messages are posted to a window or thread of any process
// of the root and sent within a process; the thread that owns a window retrieves and dispatches
// them. Unless a function says otherwise, any thread may call it; the ones that retrieve or wait
// act on the calling thread's queue, which each thread gets at its first window or first ask.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/kernel/KernelHandle.h"
#include "platform/kernel/Wait.h"
#include "platform/user/Messages.h"

using WNDPROC = LRESULT (*)(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
using WNDENUMPROC = bool (*)(HWND hwnd, LPARAM lParam);

// What WM_CREATE's lParam points at.
struct CREATESTRUCT {
  void* lpCreateParams = nullptr;
  HWND hwndParent = 0;
  std::int32_t controlId = 0;
  std::uint32_t style = 0;
  std::u16string_view className;
  std::u16string_view title;
};

namespace platform {

// The error of the calling thread's last failed call of this layer.
std::uint32_t LastWindowsError() noexcept;

// A class of this process; names compare without regard to letter case. False with
// ERROR_CLASS_ALREADY_EXISTS for a name it has already.
bool RegisterClass(std::u16string_view className, WNDPROC procedure);
// False with ERROR_CLASS_DOES_NOT_EXIST.
bool UnregisterClass(std::u16string_view className);

// Creates a window of a class of this process on the calling thread, runs its WM_CREATE (lParam
// points at the CREATESTRUCT) before it returns, and gives 0 when WM_CREATE answers -1 or the
// class is unknown.
HWND CreateWindow(std::u16string_view className, std::u16string_view title, std::uint32_t style,
                  HWND parent = 0, std::int32_t controlId = 0, void* createParams = nullptr);
// The owning thread only: WM_DESTROY to the window, then its children, then it is gone.
bool DestroyWindow(HWND window);
// WM_CLOSE destroys the window; everything else answers 0.
LRESULT DefWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

bool IsWindow(HWND window);
// The owning thread's id (0 for no window) and, when asked, its process id.
std::uint32_t GetWindowThreadProcessId(HWND window, std::uint32_t* processId = nullptr);
std::u16string GetClassName(HWND window);
std::u16string GetWindowText(HWND window);
bool SetWindowText(HWND window, std::u16string_view title);
std::int32_t GetDlgCtrlID(HWND window);
HWND GetParent(HWND window);
// A word that this process keeps with a window of its own, for its procedure.
void* GetWindowUserData(HWND window);
bool SetWindowUserData(HWND window, void* data);

// The newest top-level window of the class and title, compared without regard to letter case; a
// null text matches any.
HWND FindWindow(const char16_t* className, const char16_t* title);
// Top-level windows of every process, newest first, until the callback answers false.
bool EnumWindows(WNDENUMPROC callback, LPARAM lParam);
// The top-level windows of one thread.
bool EnumThreadWindows(std::uint32_t threadId, WNDENUMPROC callback, LPARAM lParam);
// Every descendant of the window.
bool EnumChildWindows(HWND parent, WNDENUMPROC callback, LPARAM lParam);

// Queues the message for the window's thread; window 0 posts to the calling thread.
bool PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
bool PostThreadMessage(std::uint32_t threadId, UINT message, WPARAM wParam, LPARAM lParam);
// Runs the window's procedure on its thread (the calling thread waits for the other thread to
// serve it) and returns its result; a window of another process gives 0 with
// ERROR_ACCESS_DENIED.
LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The calling thread's queue, made now when it has none; false when it cannot be made.
bool EnsureMessageQueue();
// Serves sent messages and takes the next message that passes the filter (window 0: any; range
// 0..0: any), leaving it queued with PM_NOREMOVE.
bool PeekMessage(MSG& message, HWND window, UINT first, UINT last, UINT remove);
// Waits for the next message: 1, or 0 for WM_QUIT, or -1 when the queue cannot be made or waited
// on.
int GetMessage(MSG& message, HWND window, UINT first, UINT last);
LRESULT DispatchMessage(const MSG& message);
// WM_QUIT for the calling thread, once its queued messages are taken.
void PostQuitMessage(int exitCode);
// WM_TIMER to a window of the calling thread every `elapse` milliseconds of the layer's clock (10
// at the least);
// 0 when the window is not the calling thread's.
std::uintptr_t SetTimer(HWND window, std::uintptr_t id, std::uint32_t elapse);
bool KillTimer(HWND window, std::uintptr_t id);
// Waits, serving sent messages, for one of the objects (its index) or, for a non-zero wake mask,
// for input that arrived since the thread last looked at its queue, or with QS_SENDMESSAGE for
// messages sent to it that the wait served (index objects.size()). Only
// a wait for any one object; waitAll fails with ERROR_INVALID_PARAMETER.
WaitResult MsgWaitForMultipleObjects(std::span<const ObjectRef> objects, bool waitAll,
                                     Timeout timeout, UINT wakeMask);

// Keeps `attachment` alive until the window (of this process) is destroyed; false for no such
// window.
bool AttachToWindow(HWND window, std::shared_ptr<void> attachment);
// Ends one attachment before the window goes.
void DetachFromWindow(HWND window, const void* attachment);

}  // namespace platform
