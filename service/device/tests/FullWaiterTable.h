#pragma once

// Fills the object table's waiter records with waits parked on threads, so that every further
// wait that has to sleep fails for lack of resources until the table is released. The test's own
// thread makes, fills, releases and destroys it.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <initializer_list>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/tests/support/LogRecorder.h"

#include "platform/kernel/Event.h"
#include "platform/kernel/ObjectTable.h"
#include "platform/kernel/Wait.h"

class FullWaiterTable {
 public:
  FullWaiterTable() = default;
  FullWaiterTable(const FullWaiterTable&) = delete;
  FullWaiterTable& operator=(const FullWaiterTable&) = delete;
  ~FullWaiterTable() { Release(); }

  // Parks waits until one fails for lack of resources. The parked threads hold their records
  // until Release; a parker that found no record while the probe held one tries again.
  void Fill() {
    for (std::uint32_t i = 0; i < platform::detail::kWaiterCapacity; ++i) {
      m_Parked.emplace_back([this] {
        while (platform::WaitForObject(m_Release.Ref(), platform::kInfinite).error ==
                   ERROR_NO_SYSTEM_RESOURCES &&
               !m_bFull) {
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
      });
    }
    const platform::Event l_Never =
        platform::Event::Create(platform::EventReset::Auto, false).handle;
    const auto l_Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    bool l_bFull = Full(l_Never);
    while (!l_bFull && std::chrono::steady_clock::now() < l_Deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      l_bFull = Full(l_Never);
    }
    m_bFull = true;
    ASSERT_TRUE(l_bFull) << "the waiter table did not fill";
  }

  void Release() {
    m_Release.Set();
    m_Parked.clear();
  }

 private:
  static bool Full(const platform::Event& p_Never) {
    const platform::WaitResult l_Probe =
        platform::WaitForObject(p_Never.Ref(), platform::Timeout(50000));
    return l_Probe.status == platform::WaitStatus::Failed &&
           l_Probe.error == ERROR_NO_SYSTEM_RESOURCES;
  }

  const platform::Event m_Release =
      platform::Event::Create(platform::EventReset::Manual, false).handle;
  std::atomic<bool> m_bFull{false};
  std::vector<std::jthread> m_Parked;
};

// Every thread named has logged a retried wait; false when one has not within 20 seconds.
inline bool WaitsRetried(const LogRecorder& p_Log,
                         std::initializer_list<std::u16string_view> p_Threads) {
  const auto l_Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  for (;;) {
    const bool l_bAll = std::ranges::all_of(p_Threads, [&p_Log](std::u16string_view p_Thread) {
      return p_Log.Contains(std::u16string(p_Thread) +
                            u" wait fails for lack of resources, retrying");
    });
    if (l_bAll || std::chrono::steady_clock::now() > l_Deadline) {
      return l_bAll;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}
