#pragma once

// The single-threaded apartment of one thread: a message-only window of the thread receives a
// message for each call delivered to the apartment and runs the call when the thread dispatches
// it. Internal to the layer.

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/com/Apartment.h"
#include "platform/kernel/Event.h"
#include "platform/user/Messages.h"

namespace platform::detail {

// Made and left on its thread (which alone waits); Deliver and Wake from any thread.
class SingleThreadedApartment final : public CallDispatcher {
 public:
  // The calling thread's new apartment; null when its window or wake event cannot be made.
  static std::shared_ptr<SingleThreadedApartment> Enter();

  SingleThreadedApartment(Event wake, std::uint32_t thread) noexcept;
  SingleThreadedApartment(const SingleThreadedApartment&) = delete;
  SingleThreadedApartment& operator=(const SingleThreadedApartment&) = delete;
  ~SingleThreadedApartment() override;

  void Deliver(std::function<void()> call) override;
  bool WaitServing(const std::function<bool()>& done) override;
  void Wake() override;

  // The apartment's thread, when it leaves the apartment: the window goes, the calls still
  // queued are dropped unrun and later ones too.
  void Leave();

 private:
  static LRESULT Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void RunQueued();
  // Drops every queued call (outside the lock) and refuses later ones.
  void Close();

  const Event m_wake;  // auto-reset: set by Wake, waited on by WaitServing
  const std::uint32_t m_thread;
  std::atomic<HWND> m_window{0};  // set once by Enter, kept after Leave so posts to it fail
  std::mutex m_mutex;
  std::deque<std::function<void()>> m_calls;  // guarded by m_mutex
  bool m_closed = false;                      // guarded by m_mutex
};

}  // namespace platform::detail
