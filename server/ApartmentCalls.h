#pragma once

// Incoming calls of the server's single-threaded apartment, delivered to its main thread through
// a hidden window's queue, so that COM calls and window messages take turns on that thread.

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/com/Apartment.h"
#include "server/ServerWindow.h"

// Made, run and destroyed on the apartment's thread; Deliver may be called from any thread.
class CApartmentCalls final : public CServerWindow, public platform::CallDispatcher {
 public:
  // The dispatcher of the calling thread, installed for it before it enters its apartment.
  static std::shared_ptr<CApartmentCalls> InstallForThisThread();

  void Deliver(std::function<void()> p_Call) override;

 private:
  bool ProcessWindowMessage(UINT p_nMessage, WPARAM p_wParam, LPARAM p_lParam,
                            LRESULT& p_lResult) override;

  std::atomic<HWND> m_hTarget{0};  // the window, set once it exists
  std::mutex m_Lock;
  std::deque<std::function<void()>> m_Calls;  // guarded by m_Lock
};
