#include "tools/run-system/RemoteLink.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>

#include "tools/virtual-remote/VirtualRemote.h"

namespace {

// How long one read waits; Unplug ends a wait at once, so this only bounds it.
constexpr std::chrono::milliseconds kReadWait{60000};
// The display has gone quiet once no report has come for this long.
constexpr int kQuietMilliseconds = 300;
// How many screens' arrivals are kept.
constexpr std::size_t kScreenEndsKept = 64;
// A press that comes before the service has opened the remote is lost, as on a device that
// nobody reads; Plug waits this long (real time) for its reading and its writing handle.
constexpr std::chrono::milliseconds kOpenWait{10000};
constexpr std::chrono::milliseconds kOpenCheck{10};
constexpr std::size_t kServiceHandles = 2;

}  // namespace

RemoteLink::RemoteLink() : m_Wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

RemoteLink::~RemoteLink() { Unplug(); }

bool RemoteLink::Plug() {
  Unplug();
  m_pDevice = platform::VirtualHidDevice::Plug(RemoteDeviceDescription());
  if (!m_pDevice) {
    return false;
  }
  {
    const std::lock_guard l_Lock(m_Mutex);
    m_Model.Reset();
    m_nReports = 0;
    m_ScreenEnds.clear();
  }
  m_bUnplugging = false;
  m_Reader = std::thread([this] { ReadReports(); });
  // The device tells no opening, so its handles are counted until the service holds both.
  const auto l_Until = std::chrono::steady_clock::now() + kOpenWait;
  while (m_pDevice->OpenHandles() < kServiceHandles && std::chrono::steady_clock::now() < l_Until) {
    std::this_thread::sleep_for(kOpenCheck);
  }
  return true;
}

void RemoteLink::Unplug() {
  if (!m_pDevice) {
    return;
  }
  m_bUnplugging = true;
  m_pDevice->Unplug();
  m_Reader.join();
  m_pDevice.reset();
}

bool RemoteLink::Press(std::uint8_t p_byCode) {
  return m_pDevice && m_pDevice->SendInputReport(ButtonReport(p_byCode));
}

LcdScreen RemoteLink::Screen() const {
  const std::lock_guard l_Lock(m_Mutex);
  return m_Model.Screen();
}

std::uint64_t RemoteLink::Reports() const {
  const std::lock_guard l_Lock(m_Mutex);
  return m_nReports;
}

std::optional<std::chrono::steady_clock::time_point> RemoteLink::ScreenEndedAt(
    int p_nScreens) const {
  const std::lock_guard l_Lock(m_Mutex);
  for (const auto& [l_nScreens, l_Arrival] : m_ScreenEnds) {
    if (l_nScreens == p_nScreens) {
      return l_Arrival;
    }
  }
  return std::nullopt;
}

void RemoteLink::TakeWake() {
  std::uint64_t l_nCount = 0;
  static_cast<void>(read(m_Wake.Get(), &l_nCount, sizeof l_nCount));
}

void RemoteLink::ReadReports() {
  while (!m_bUnplugging) {
    // An unplugged device answers nothing at once.
    const std::optional<std::vector<std::uint8_t>> l_Report =
        m_pDevice->ReadOutputReport(kReadWait);
    if (!l_Report) {
      continue;
    }
    const auto l_Arrival = std::chrono::steady_clock::now();
    {
      const std::lock_guard l_Lock(m_Mutex);
      const int l_nScreensBefore = m_Model.Screen().m_nScreensEnded;
      m_Model.Receive(*l_Report);
      ++m_nReports;
      if (m_Model.Screen().m_nScreensEnded != l_nScreensBefore) {
        m_ScreenEnds.emplace_back(m_Model.Screen().m_nScreensEnded, l_Arrival);
        if (m_ScreenEnds.size() > kScreenEndsKept) {
          m_ScreenEnds.pop_front();
        }
      }
    }
    const std::uint64_t l_nOne = 1;
    static_cast<void>(write(m_Wake.Get(), &l_nOne, sizeof l_nOne));
  }
}

bool RemoteLink::WaitUntil(const std::function<bool()>& p_Done,
                           std::chrono::steady_clock::time_point p_By, int p_nStop) {
  using Clock = std::chrono::steady_clock;
  // The wake descriptor counts every report; it is read only to wait for the next one.
  while (!p_Done() && Clock::now() < p_By) {
    pollfd l_Watch[] = {{m_Wake.Get(), POLLIN, 0}, {p_nStop, POLLIN, 0}};
    const auto l_Left = std::chrono::duration_cast<std::chrono::milliseconds>(p_By - Clock::now());
    poll(l_Watch, std::size(l_Watch), static_cast<int>(std::max<std::int64_t>(l_Left.count(), 0)));
    if (l_Watch[1].revents != 0) {
      return false;
    }
    TakeWake();
  }
  return true;
}

bool RemoteLink::AwaitScreensEnded(int p_nScreens, int p_nMilliseconds, int p_nStop) {
  return WaitUntil([&] { return Screen().m_nScreensEnded > p_nScreens; },
                   std::chrono::steady_clock::now() + std::chrono::milliseconds(p_nMilliseconds),
                   p_nStop);
}

bool RemoteLink::Settle(std::uint64_t p_nReportsBefore, int p_nFirstMilliseconds, int p_nStop) {
  if (!WaitUntil([&] { return Reports() != p_nReportsBefore; },
                 std::chrono::steady_clock::now() + std::chrono::milliseconds(p_nFirstMilliseconds),
                 p_nStop)) {
    return false;
  }
  for (std::uint64_t l_nSeen = Reports();;) {
    pollfd l_Stop{p_nStop, POLLIN, 0};
    if (poll(&l_Stop, 1, kQuietMilliseconds) == 1) {
      return false;
    }
    const std::uint64_t l_nNow = Reports();
    if (l_nNow == l_nSeen) {
      TakeWake();
      return true;
    }
    l_nSeen = l_nNow;
  }
}
