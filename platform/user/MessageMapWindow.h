#pragma once

// Windows that each belong to one object with a message map: WM_CREATE's parameters name the
// object, which then receives every message of its window.

#include <cstdint>
#include <string_view>

#include "platform/user/Window.h"

namespace platform {

// `Owner` has `bool ProcessWindowMessage(HWND, UINT, WPARAM, LPARAM, LRESULT& result)`, true
// when it handled the message; what it leaves goes to the default procedure. Runs on the
// window's thread.
template <class Owner>
LRESULT MessageMapProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* owner = static_cast<Owner*>(
      message == WM_CREATE ? reinterpret_cast<const CREATESTRUCT*>(lParam)->lpCreateParams
                           : GetWindowUserData(window));
  if (message == WM_CREATE) {
    SetWindowUserData(window, owner);
  }
  LRESULT result = 0;
  if (owner != nullptr && owner->ProcessWindowMessage(window, message, wParam, lParam, result)) {
    return result;
  }
  return DefWindowProc(window, message, wParam, lParam);
}

// The base of such an object: its window, made of a class of this process that is registered at
// the first creation. Made, used and destroyed on the window's thread; the derived destructor
// destroys the window, while its message map still exists.
template <class Owner>
class MessageMapWindow {
 public:
  MessageMapWindow(const MessageMapWindow&) = delete;
  MessageMapWindow& operator=(const MessageMapWindow&) = delete;

  // A hidden top-level window without a title; 0 when it cannot be made.
  HWND CreateOfClass(std::u16string_view className, std::uint32_t style) {
    RegisterClass(className, MessageMapProcedure<Owner>);
    m_hWnd = CreateWindow(className, u"", style, 0, 0, static_cast<Owner*>(this));
    return m_hWnd;
  }
  // Destroys the window, when there is one.
  void DestroyWindow() {
    if (m_hWnd != 0) {
      platform::DestroyWindow(m_hWnd);
      m_hWnd = 0;
    }
  }

  HWND m_hWnd = 0;

 protected:
  MessageMapWindow() = default;
  ~MessageMapWindow() = default;
};

}  // namespace platform
