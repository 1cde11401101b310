// A service program for the tests: reports its states, writes what it receives to the event log
// ("Service started", "arrival PATH", "removal PATH", "Service stopped"), and sets named events
// that a test waits on: "Global\TestServiceRunning" once it runs, "Global\TestServiceDevice"
// after each device event. Started with the argument "crash" it dies once it runs; with "hold"
// it stays start-pending until "Global\TestServiceGo" is set. A program started with the argument
// "slowstop" stays stop-pending for 3 seconds of the layer's clock before it reports stopped;
// "slowexit" reports stopped at once but its process ends 3 seconds of real time later.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string_view>
#include <thread>

#include "platform/base/Text.h"
#include "platform/kernel/Event.h"
#include "platform/kernel/Wait.h"
#include "platform/services/EventLog.h"
#include "platform/services/ServiceDispatcher.h"

namespace {

using namespace platform;

// Shared by the service's main and the handler on the dispatcher's thread.
std::mutex g_Mutex;
std::condition_variable g_Stop;
bool g_bStopping = false;
std::atomic<SERVICE_STATUS_HANDLE> g_hStatus;
bool g_bSlowStop = false;  // set before the dispatcher starts

void Report(std::uint32_t state, std::uint32_t accepted) {
  SERVICE_STATUS status;
  status.dwCurrentState = state;
  status.dwControlsAccepted = accepted;
  SetServiceStatus(g_hStatus.load(), status);
}

void Log(std::u16string text) {
  const std::u16string strings[] = {std::move(text)};
  ReportEvent(RegisterEventSource({}, u"TestService"), EVENTLOG_INFORMATION_TYPE, 0, 1, strings);
}

void Signal(std::u16string_view name) {
  const HandleResult<Event> event = Event::Create(EventReset::Auto, false, name);
  event.handle.Set();
}

std::uint32_t Handler(std::uint32_t control, std::uint32_t eventType, void* eventData, void*) {
  if (control == SERVICE_CONTROL_STOP) {
    Report(SERVICE_STOP_PENDING, 0);
    const std::lock_guard lock(g_Mutex);
    g_bStopping = true;
    g_Stop.notify_all();
  } else if (control == SERVICE_CONTROL_DEVICEEVENT) {
    const auto* header = static_cast<const DEV_BROADCAST_HDR*>(eventData);
    if (header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE) {
      const auto* device = static_cast<const DEV_BROADCAST_DEVICEINTERFACE*>(eventData);
      Log((eventType == DBT_DEVICEARRIVAL ? u"arrival " : u"removal ") +
          std::u16string(device->dbcc_name));
      Signal(u"Global\\TestServiceDevice");
    }
  }
  return 0;
}

void ServiceMain(std::uint32_t argumentCount, char16_t** arguments) {
  g_hStatus = RegisterServiceCtrlHandlerEx(arguments[0], Handler, nullptr);
  Report(SERVICE_START_PENDING, 0);
  DEV_BROADCAST_DEVICEINTERFACE filter;
  filter.dbcc_size = sizeof filter;
  filter.dbcc_classguid = GUID_DEVINTERFACE_HID;
  const ServiceDeviceNotification notification =
      RegisterDeviceNotification(g_hStatus.load(), filter, DEVICE_NOTIFY_SERVICE_HANDLE);
  const std::u16string_view argument = argumentCount > 1 ? arguments[1] : u"";
  if (argument == u"hold") {
    const HandleResult<Event> go = Event::Create(EventReset::Auto, false, u"Global\\TestServiceGo");
    WaitForObject(go.handle.Ref(), kInfinite);
  }
  Log(u"Service started");
  Report(SERVICE_RUNNING, SERVICE_ACCEPT_STOP);
  Signal(u"Global\\TestServiceRunning");
  if (argument == u"crash") {
    std::_Exit(3);
  }
  {
    std::unique_lock lock(g_Mutex);
    g_Stop.wait(lock, [] { return g_bStopping; });
  }
  if (g_bSlowStop) Sleep(Timeout(3000));
  UnregisterDeviceNotification(notification);
  Log(u"Service stopped");
  Report(SERVICE_STOPPED, 0);
}

}  // namespace

int main(int argumentCount, char** arguments) {
  const std::string_view mode = argumentCount > 1 ? arguments[1] : "";
  g_bSlowStop = mode == "slowstop";
  const SERVICE_TABLE_ENTRY table[] = {{u"TestService", ServiceMain}};
  const int result = static_cast<int>(StartServiceCtrlDispatcher(table));
  if (mode == "slowexit") std::this_thread::sleep_for(std::chrono::seconds(3));
  return result;
}
