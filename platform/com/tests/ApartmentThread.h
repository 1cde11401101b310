#pragma once

// What the apartment tests, the call helper and the benchmark share: a flag to wait for, a
// thread in a single-threaded apartment, and a counter that notes where it runs.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/base/Process.h"
#include "platform/com/Apartment.h"
#include "platform/com/tests/TestInterfaces.h"
#include "platform/user/Window.h"

namespace platform::testing {

// A flag that one thread raises and another waits for.
class Notice {
 public:
  void Raise() {
    const std::scoped_lock lock(m_mutex);
    m_raised = true;
    m_raiser = CurrentThreadId();
    m_changed.notify_all();
  }
  bool WaitFor(std::chrono::seconds limit = std::chrono::seconds(20)) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, limit, [this] { return m_raised; });
  }
  bool Raised() {
    const std::scoped_lock lock(m_mutex);
    return m_raised;
  }
  // The thread that raised it.
  std::uint32_t Raiser() {
    const std::scoped_lock lock(m_mutex);
    return m_raiser;
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_raised = false;
  std::uint32_t m_raiser = 0;
};

// A thread in a single-threaded apartment: it runs `setUp` there, pumps its queue once its owner
// lets it, and runs `tearDown` there when its owner ends it (neither runs when the thread cannot
// enter the apartment). The destructor joins it.
class ApartmentThread {
 public:
  ApartmentThread(std::function<void()> setUp, std::function<void()> tearDown)
      : m_thread([this, setUp = std::move(setUp), tearDown = std::move(tearDown)] {
          m_id.store(CurrentThreadId());
          if (FAILED(CoInitialize(nullptr))) {
            m_ready.Raise();
            return;
          }
          setUp();
          m_ready.Raise();
          m_pumping.WaitFor();
          MSG message;
          while (GetMessage(message, 0, 0, 0) > 0) DispatchMessage(message);
          tearDown();
          CoUninitialize();
        }) {
    m_ready.WaitFor();
  }
  ApartmentThread(const ApartmentThread&) = delete;
  ApartmentThread& operator=(const ApartmentThread&) = delete;
  ~ApartmentThread() {
    Pump();
    PostThreadMessage(m_id.load(), WM_QUIT, 0, 0);
    m_thread.join();
  }

  void Pump() { m_pumping.Raise(); }
  std::uint32_t Id() const noexcept { return m_id.load(); }

 private:
  Notice m_ready;
  Notice m_pumping;
  std::atomic<std::uint32_t> m_id{0};
  std::thread m_thread;
};

// Notes the thread of its last call.
class CThreadNotingCounter final : public ComObject<ICounter> {
 public:
  HRESULT Increment(std::int32_t by, std::int32_t* total) override {
    ranOn.store(CurrentThreadId());
    *total = m_total.fetch_add(by) + by;
    return S_OK;
  }

  std::atomic<std::uint32_t> ranOn{0};

 private:
  std::atomic<std::int32_t> m_total{0};
};

}  // namespace platform::testing
