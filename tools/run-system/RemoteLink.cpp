#include "tools/run-system/RemoteLink.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include "tools/virtual-remote/VirtualRemote.h"

namespace {

// How long one read waits; Unplug ends a wait at once, so this only bounds it.
constexpr std::chrono::milliseconds kReadWait{60000};

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
  }
  m_bUnplugging = false;
  m_Reader = std::thread([this] { ReadReports(); });
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
    {
      const std::lock_guard l_Lock(m_Mutex);
      m_Model.Receive(*l_Report);
      ++m_nReports;
    }
    const std::uint64_t l_nOne = 1;
    static_cast<void>(write(m_Wake.Get(), &l_nOne, sizeof l_nOne));
  }
}
