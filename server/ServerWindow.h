#pragma once

// The base of the server's hidden windows: a window of a class of its own whose messages go to
// the object that made it.

#include <cstdint>
#include <string_view>

#include "platform/user/Messages.h"


// Made, used and destroyed on one thread, which owns the window.
class CServerWindow {
 public:
  CServerWindow() = default;
  CServerWindow(const CServerWindow&) = delete;
  CServerWindow& operator=(const CServerWindow&) = delete;
  virtual ~CServerWindow();

  // Creates the window (never shown) of class `p_ClassName`; false when it cannot be.
  bool Create(std::u16string_view p_ClassName, std::uint32_t p_nStyle);
  void DestroyWindow();
  HWND Handle() const noexcept { return m_hWnd; }

 protected:
  // True when the message was handled, with its result.
  virtual bool ProcessWindowMessage(UINT p_nMessage, WPARAM p_wParam, LPARAM p_lParam,
                                    LRESULT& p_lResult) = 0;

 private:
  static LRESULT WindowProcedure(HWND p_hWnd, UINT p_nMessage, WPARAM p_wParam, LPARAM p_lParam);

  HWND m_hWnd = 0;
};
