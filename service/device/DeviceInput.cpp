#include "service/device/DeviceInput.h"

#include <array>
#include <string>
#include <utility>

#include "common/ProgramLogger.h"
#include "platform/kernel/Wait.h"
#include "service/device/DeviceWait.h"
#include "service/device/DisplayState.h"
#include "service/device/HeldRemote.h"
#include "service/device/IdleTimeout.h"
#include "service/device/PlugEventsWindow.h"
#include "service/device/RemoteDevice.h"
#include "service/device/ReportWriter.h"
#include "service/menu/CurrentTrack.h"

namespace {

// The read side of the remote: the record, its one read in flight and the read's completion.
// The device input thread's.
class DeviceReader {
 public:
  DeviceReader() : m_ReadDone(CreateAutoResetEvent()) {}
  ~DeviceReader() { HidCloseDevice(m_Record); }
  DeviceReader(const DeviceReader&) = delete;
  DeviceReader& operator=(const DeviceReader&) = delete;

  bool IsOpen() const { return static_cast<bool>(m_Record.m_hDevice); }
  bool HeldPresent() const { return HeldRemotePresent(m_Record); }
  platform::ObjectRef ReadDone() const { return m_ReadDone.Ref(); }

  // Opens the remote for reading and starts the first read.
  bool Open() {
    if (!OpenRemoteDevice(m_Record, platform::HidAccess::Read)) {
      return false;
    }
    BeginRead();
    return true;
  }
  void Close() { HidCloseDevice(m_Record); }

  // Once the read completed: the report it took, empty when it took none (a failed read, a
  // device gone, a completion left from a device closed since); the next read is started unless
  // the device has gone.
  std::span<const std::uint8_t> EndRead() {
    if (!IsOpen()) {
      return {};
    }
    const platform::HidReport l_Report = m_Record.m_hDevice.EndRead(m_Record.m_InputReport);
    if (l_Report.error == ERROR_DEVICE_NOT_CONNECTED) {
      return {};
    }
    BeginRead();
    if (l_Report.error != ERROR_SUCCESS) {
      return {};
    }
    return std::span<const std::uint8_t>(m_Record.m_InputReport).first(l_Report.length);
  }

 private:
  void BeginRead() {
    if (m_Record.m_hDevice.BeginRead(m_ReadDone) != ERROR_IO_PENDING) {
      g_Logger->Log(LOG_TO_FILE, u"RemoteDeviceInput ReadFile error");
    }
  }

  HidDeviceRecord m_Record;
  const platform::Event m_ReadDone;
};

}  // namespace

DeviceInputState ReadDeviceInputState() {
  return {g_bDisplayAwake, g_bPlayerScreenShown, g_bCurrentlyPlayingDisplayed, g_nDevicePlayState,
          g_bLcdInitialised};
}

void ResetDeviceDisplayState(LcdProtocol& p_Protocol, FirmwareUpload& p_Upload) {
  g_bDisplayAwake = false;
  g_bForceLcdWrite = false;
  g_bLcdInitialised = false;
  g_bPlayerScreenShown = false;
  p_Upload.Stop();
  p_Protocol.Reset();
}

DeviceInputActions::DeviceInputActions(LcdProtocol& p_Protocol, FirmwareUpload& p_Upload,
                                       const ServiceEvents& p_Events,
                                       std::filesystem::path p_FirmwareImage)
    : m_Protocol(p_Protocol),
      m_Upload(p_Upload),
      m_Events(p_Events),
      m_FirmwareImage(std::move(p_FirmwareImage)) {}

void DeviceInputActions::HandleReport(std::span<const std::uint8_t> p_Report) {
  // Only the remote's own report is a key; reports too short to act on are none.
  if (p_Report.size() < kRemoteInputReportMinLength || p_Report[0] != kRemoteReportId) {
    return;
  }
  g_Logger->Log(LOG_TO_FILE, u"RemoteDeviceInput sees button press %d", p_Report[1]);
  Apply(DecideDeviceInput(p_Report[1], ReadDeviceInputState()));
}

void DeviceInputActions::Apply(const std::vector<InputStep>& p_Steps) {
  for (const InputStep& l_Step : p_Steps) {
    switch (l_Step.m_Kind) {
      case InputStepKind::ResetRing:
        m_Protocol.Reset();
        break;
      case InputStepKind::StopUpload:
        m_Upload.Stop();
        break;
      case InputStepKind::StartUpload:
        // The image is read whole here, so a file changed later leaves the upload as it began.
        if (const std::string l_Error = m_Upload.Start(m_FirmwareImage); !l_Error.empty()) {
          g_Logger->Log(LOG_TO_FILE, u"RemoteDeviceInput cannot upload the firmware: %s", l_Error);
        }
        break;
      case InputStepKind::SetEvent:
        m_Events.Set(l_Step.m_Event);
        break;
      case InputStepKind::IdleRecord:
        QueuePlayerIdleTimeout(m_Events);
        break;
      case InputStepKind::DisplayAwake:
        g_bDisplayAwake = true;
        break;
      case InputStepKind::DisplayAsleep:
        g_bDisplayAwake = false;
        break;
      case InputStepKind::ForceLcdWrite:
        g_bForceLcdWrite = true;
        break;
      case InputStepKind::ClearPlayerScreen:
        g_bPlayerScreenShown = false;
        break;
      case InputStepKind::CursorRowToZero:
        g_nLcdCursorRow = 0;
        break;
      case InputStepKind::SendInit:
        m_Protocol.SendLcdInit();
        break;
      case InputStepKind::SendCommand:
        m_Protocol.SendLcdCommand(l_Step.m_byCommand);
        break;
    }
  }
}

std::uint32_t RemoteDeviceInput(void*) {
  g_Logger->Log(LOG_TO_FILE, u"RemoteDeviceInput Starts");
  const ServiceEvents l_Events;
  const platform::Event l_Terminate = CreateAutoResetEvent(kDeviceInputTerminateEvent);
  const platform::Event l_Arrives = CreateAutoResetEvent(kInputDeviceArrivesEvent);
  const platform::Event l_Removed = CreateAutoResetEvent(kInputDeviceRemovedEvent);
  DeviceInputActions l_Actions(*g_LcdProtocol, *g_FirmwareUpload, l_Events, kFirmwareImageName);
  DeviceReader l_Reader;
  if (l_Reader.Open()) {
    ResetDeviceDisplayState(*g_LcdProtocol, *g_FirmwareUpload);
  }

  const std::array l_Waited{l_Terminate.Ref(), l_Reader.ReadDone(), l_Arrives.Ref(),
                            l_Removed.Ref()};
  for (bool l_bRunning = true; l_bRunning;) {
    g_Logger->Log(LOG_TO_FILE, u"RemoteDeviceInput Waiting for input");
    const platform::WaitResult l_Wait =
        WaitForObjectsRetrying(l_Waited, platform::kInfinite, u"RemoteDeviceInput");
    if (l_Wait.status != platform::WaitStatus::Signalled) {
      g_Logger->Log(LOG_TO_FILE, u"RemoteDeviceInput sees wait failed with error %d", l_Wait.error);
      break;
    }
    switch (l_Wait.index) {
      case 0:
        g_Logger->Log(LOG_TO_FILE, u"RemoteDeviceInput sees thread terminate");
        l_bRunning = false;
        break;
      case 1:
        l_Actions.HandleReport(l_Reader.EndRead());
        break;
      case 2:
        g_Logger->Log(LOG_TO_FILE, u"RemoteDeviceInput Device Arrived");
        if (!l_Reader.HeldPresent()) {
          l_Reader.Close();
          if (l_Reader.Open()) {
            ResetDeviceDisplayState(*g_LcdProtocol, *g_FirmwareUpload);
          }
        }
        break;
      default:
        g_Logger->Log(LOG_TO_FILE, u"RemoteDeviceInput Device Removed");
        if (!l_Reader.HeldPresent()) {
          l_Reader.Close();
        }
        break;
    }
  }
  l_Reader.Close();
  g_Logger->Log(LOG_TO_FILE, u"RemoteDeviceInput Ends");
  return 0;
}
