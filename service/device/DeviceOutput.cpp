#include "service/device/DeviceOutput.h"

#include <array>
#include <optional>
#include <utility>

#include "common/ProgramLogger.h"
#include "platform/kernel/Event.h"
#include "platform/kernel/Wait.h"
#include "service/device/DeviceWait.h"
#include "service/device/DisplayState.h"
#include "service/device/HeldRemote.h"
#include "service/device/PageLists.h"
#include "service/device/PageRenderer.h"
#include "service/device/PlugEventsWindow.h"
#include "service/device/RemoteDevice.h"
#include "service/device/ReportWriter.h"
#include "service/device/ServiceEvents.h"
#include "service/device/Simulator.h"

namespace {

// The write side of the remote: the record and the writer that sends from it. The writer is
// stopped and joined before the record is closed or opened again. The device output thread's.
class DeviceWriter {
 public:
  DeviceWriter() = default;
  ~DeviceWriter() { Close(); }
  DeviceWriter(const DeviceWriter&) = delete;
  DeviceWriter& operator=(const DeviceWriter&) = delete;

  bool HeldPresent() const { return HeldRemotePresent(m_Record); }

  // Closes what is held and opens the remote present now. False when none is, or when the
  // writer cannot be stopped and so still uses the record.
  bool Open() {
    if (!Close() || !OpenRemoteDevice(m_Record, platform::HidAccess::Write)) {
      return false;
    }
    m_Writer.Start(m_Record);
    return true;
  }
  // Once the remote has gone, what waits in the ring was meant for it: the display sleeps and
  // the ring empties, so that a remote plugged in next gets nothing before its first key. False
  // when the writer cannot be stopped: the record stays as it is for it.
  bool Close() {
    if (!m_Writer.Stop()) {
      return false;
    }
    if (m_Record.m_hDevice) {
      HidCloseDevice(m_Record);
      g_bDisplayAwake = false;
      g_LcdPacketRing->Clear();
    }
    return true;
  }

 private:
  HidDeviceRecord m_Record;
  CAsynchWriter m_Writer;
};

}  // namespace

void RenderDeviceOutput(PageRenderer& p_Renderer, const platform::Event& p_SimulatorData) {
  g_Logger->Log(LOG_TO_FILE, u"RemoteDeviceOutput Output data ready");
  while (std::optional<CDeviceData> l_Page = TakeFirstDeviceOutput()) {
    if (p_Renderer.Render(*l_Page)) {
      AppendSimulatorOutput(std::move(*l_Page));
    }
  }
  p_SimulatorData.Set();
}

std::uint32_t RemoteDeviceOutput(void*) {
  g_Logger->Log(LOG_TO_FILE, u"RemoteDeviceOutput Starts");
  const platform::Event l_Terminate = CreateAutoResetEvent(kDeviceOutputTerminateEvent);
  const platform::Event l_Data = CreateAutoResetEvent(kDeviceOutputDataEvent);
  const platform::Event l_Arrives = CreateAutoResetEvent(kOutputDeviceArrivesEvent);
  const platform::Event l_Removed = CreateAutoResetEvent(kOutputDeviceRemovedEvent);
  const platform::Event l_SimulatorData = CreateAutoResetEvent(kSimulatorOutputDataEvent);
  g_bDisplayAwake = false;
  g_LcdPacketRing->Clear();

  PageRenderer l_Renderer(*g_LcdProtocol, [] { SetServiceEvent(ServiceEvent::ButtonHome); });
  DeviceWriter l_Writer;
  if (l_Writer.Open()) {
    g_Logger->Log(LOG_TO_FILE, u"RemoteDeviceOutput Output data pipe open");
  }
  const std::array l_Waited{l_Terminate.Ref(), l_Data.Ref(), l_Arrives.Ref(), l_Removed.Ref()};
  for (bool l_bRunning = true; l_bRunning;) {
    const platform::WaitResult l_Wait =
        WaitForObjectsRetrying(l_Waited, platform::kInfinite, u"RemoteDeviceOutput");
    if (l_Wait.status != platform::WaitStatus::Signalled) {
      g_Logger->Log(LOG_TO_FILE, u"RemoteDeviceOutput sees wait failed with error %d",
                    l_Wait.error);
      break;
    }
    switch (l_Wait.index) {
      case 0:
        g_Logger->Log(LOG_TO_FILE, u"RemoteDeviceOutput sees thread terminate");
        l_bRunning = false;
        break;
      case 1:
        RenderDeviceOutput(l_Renderer, l_SimulatorData);
        break;
      case 2:
        if (!l_Writer.HeldPresent()) {
          if (l_Writer.Open()) {
            g_Logger->Log(LOG_TO_FILE, u"RemoteDeviceOutput device arrival Output data pipe open");
          }
        }
        break;
      default:
        g_Logger->Log(LOG_TO_FILE, u"RemoteDeviceOutput device removed");
        if (!l_Writer.HeldPresent()) {
          l_Writer.Close();
        }
        break;
    }
  }
  l_Writer.Close();
  g_Logger->Log(LOG_TO_FILE, u"RemoteDeviceOutput Ends");
  return 0;
}
