#pragma once

// The virtual remote that the person at the terminal holds: plugged into the platform root's
// virtual HID backend, it sends button reports and decodes every output report into the model
// of its display. A reader thread takes the output reports as they come, and tells the terminal's
// loop through a descriptor that becomes readable.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <mutex>
#include <thread>

#include "platform/hid/VirtualHidDevice.h"
#include "platform/kernel/Posix.h"
#include "tools/virtual-remote/LcdModel.h"

// The owning thread calls every member; the reader thread only shares the model and the counts,
// under the lock. The reader thread is joined
// by Unplug and the destructor.
class RemoteLink {
 public:
  RemoteLink();
  RemoteLink(const RemoteLink&) = delete;
  RemoteLink& operator=(const RemoteLink&) = delete;
  ~RemoteLink();

  // Plugs the remote in with its display as new, and returns once the service has opened it
  // (or after a while when nothing does); false when the backend refuses it.
  bool Plug();
  void Unplug();
  bool Plugged() const { return m_pDevice != nullptr; }
  // Sends the button's input report; false when not plugged.
  bool Press(std::uint8_t p_byCode);
  // How many handles of the system have the remote open now (0 when not plugged).
  std::size_t OpenHandles() const { return m_pDevice ? m_pDevice->OpenHandles() : 0; }

  // What the display shows now.
  LcdScreen Screen() const;
  // The output reports taken since plugging.
  std::uint64_t Reports() const;
  // When the end-of-screen packet that made the count of ended screens `p_nScreens` came; kept
  // for the last few screens only.
  std::optional<std::chrono::steady_clock::time_point> ScreenEndedAt(int p_nScreens) const;
  // Waits until a report has come after the first `p_nReportsBefore` (for up to
  // `p_nFirstMilliseconds`) and then none for a while; false when the descriptor `p_nStop`
  // (-1: none) became readable first.
  bool Settle(std::uint64_t p_nReportsBefore, int p_nFirstMilliseconds, int p_nStop);
  // Waits until more than `p_nScreens` screens have ended (for up to `p_nMilliseconds`); false
  // when the descriptor `p_nStop` (-1: none) became readable first.
  bool AwaitScreensEnded(int p_nScreens, int p_nMilliseconds, int p_nStop);
  // Readable after a report has come; TakeWake makes it quiet again.
  int WakeDescriptor() const { return m_Wake.Get(); }
  void TakeWake();

 private:
  void ReadReports();
  // Waits, taking the wakes, until `p_Done` holds or `p_By` has passed; false when the descriptor
  // `p_nStop` became readable first.
  bool WaitUntil(const std::function<bool()>& p_Done, std::chrono::steady_clock::time_point p_By,
                 int p_nStop);

  platform::detail::UniqueFd m_Wake;  // an eventfd, counted up per report
  std::unique_ptr<platform::VirtualHidDevice> m_pDevice;
  std::thread m_Reader;
  std::atomic<bool> m_bUnplugging = false;

  mutable std::mutex m_Mutex;
  LcdModel m_Model;             // guarded by m_Mutex
  std::uint64_t m_nReports = 0;  // guarded by m_Mutex
  // The arrivals of the last end-of-screen packets with the count each made; guarded by m_Mutex.
  std::deque<std::pair<int, std::chrono::steady_clock::time_point>> m_ScreenEnds;
};
