#include "platform/services/ServiceDispatcher.h"

#include <fcntl.h>

#include <cstddef>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/base/Text.h"
#include "platform/services/ServiceWire.h"
#include "platform/sessions/ControlChannel.h"
#include "platform/sessions/RecordText.h"

namespace platform {
namespace {

using detail::JoinRecordFields;
using detail::ParseRecordNumber;
using Fields = std::vector<std::string>;

// The process's one dispatcher; every member is guarded by the mutex. The channel is read by the
// dispatcher's thread alone and written by any thread under the mutex.
struct Dispatcher {
  std::mutex mutex;
  std::shared_ptr<ControlConnection> channel;  // while the dispatcher runs
  std::uintptr_t handle = 0;                   // the status handle of this run; 0 outside one
  std::uintptr_t nextHandle = 1;
  LPHANDLER_FUNCTION_EX handlerEx = nullptr;
  LPHANDLER_FUNCTION handler = nullptr;
  void* context = nullptr;
  SERVICE_STATUS status;
  std::uintptr_t nextNotification = 1;
  std::vector<std::uintptr_t> notifications;  // registered for HID interfaces
};

Dispatcher& TheDispatcher() {
  static Dispatcher dispatcher;
  return dispatcher;
}

bool SendLocked(Dispatcher& dispatcher, const Fields& message) {
  return dispatcher.channel && dispatcher.channel->Send(JoinRecordFields(message));
}

// The channel that the manager gave this program, taken once: a program that the service starts
// must not take it for its own.
std::optional<ControlConnection> TakeChannel() {
  const char* variable = std::getenv(detail::kServiceChannelVariable);
  int descriptor = -1;
  if (variable == nullptr || !ParseRecordNumber(variable, descriptor) || descriptor < 0 ||
      fcntl(descriptor, F_SETFD, FD_CLOEXEC) != 0) {
    return std::nullopt;
  }
  unsetenv(detail::kServiceChannelVariable);
  return ControlConnection(detail::UniqueFd(descriptor));
}

// Runs one control on the dispatcher's thread and answers with the status after it.
void RunControl(Dispatcher& dispatcher, const Fields& message) {
  std::uint32_t sequence = 0;
  std::uint32_t control = 0;
  std::uint32_t eventType = 0;
  if (message.size() != 5 || !ParseRecordNumber(message[1], sequence) ||
      !ParseRecordNumber(message[2], control) || !ParseRecordNumber(message[3], eventType)) {
    return;
  }
  DEV_BROADCAST_DEVICEINTERFACE device;
  void* eventData = nullptr;
  if (control == SERVICE_CONTROL_DEVICEEVENT) {
    const std::u16string path = FromUtf8(message[4]).substr(0, kMaxDeviceInterfaceName - 1);
    std::copy(path.begin(), path.end(), device.dbcc_name);
    device.dbcc_size = static_cast<std::uint32_t>(offsetof(DEV_BROADCAST_DEVICEINTERFACE, dbcc_name) +
                                                  (path.size() + 1) * sizeof(char16_t));
    device.dbcc_classguid = GUID_DEVINTERFACE_HID;
    eventData = &device;
  }
  LPHANDLER_FUNCTION_EX handlerEx = nullptr;
  LPHANDLER_FUNCTION handler = nullptr;
  void* context = nullptr;
  {
    const std::lock_guard lock(dispatcher.mutex);
    handlerEx = dispatcher.handlerEx;
    handler = dispatcher.handler;
    context = dispatcher.context;
  }
  if (handlerEx != nullptr) {
    handlerEx(control, eventType, eventData, context);
  } else if (handler != nullptr && control != SERVICE_CONTROL_DEVICEEVENT) {
    handler(control);
  }
  if (sequence != 0) {
    const std::lock_guard lock(dispatcher.mutex);
    Fields reply{"reply", std::to_string(sequence)};
    detail::AppendStatus(dispatcher.status, reply);
    SendLocked(dispatcher, reply);
  }
}

}  // namespace

std::uint32_t StartServiceCtrlDispatcher(std::span<const SERVICE_TABLE_ENTRY> services) {
  if (services.empty() || services.front().lpServiceProc == nullptr) {
    return ERROR_INVALID_PARAMETER;
  }
  std::optional<ControlConnection> taken = TakeChannel();
  if (!taken) {
    return ERROR_FAILED_SERVICE_CONTROLLER_CONNECT;
  }
  const auto channel = std::make_shared<ControlConnection>(std::move(*taken));
  Dispatcher& dispatcher = TheDispatcher();
  const std::optional<std::string> start =
      channel->Send("hello") ? channel->Receive() : std::nullopt;
  const Fields startFields = start ? detail::SplitRecordFields(*start) : Fields();
  if (startFields.size() < 2 || startFields.front() != "start") {
    return ERROR_FAILED_SERVICE_CONTROLLER_CONNECT;
  }
  {
    const std::lock_guard lock(dispatcher.mutex);
    dispatcher.channel = channel;
    dispatcher.handle = dispatcher.nextHandle++;
    dispatcher.status = SERVICE_STATUS{};
    dispatcher.status.dwCurrentState = SERVICE_START_PENDING;
  }
  // The name and the start's arguments, as the service's main takes them; an own-process
  // service runs whatever name the table gives it.
  std::vector<std::u16string> words;
  for (auto word = startFields.begin() + 1; word != startFields.end(); ++word) {
    words.push_back(FromUtf8(*word));
  }
  std::vector<char16_t*> arguments;
  for (std::u16string& word : words) {
    arguments.push_back(word.data());
  }
  arguments.push_back(nullptr);
  std::thread main([&services, &arguments] {
    services.front().lpServiceProc(static_cast<std::uint32_t>(arguments.size() - 1),
                                   arguments.data());
  });
  while (const std::optional<std::string> message = channel->Receive()) {
    const Fields fields = detail::SplitRecordFields(*message);
    if (fields.front() == "end") {
      break;
    }
    if (fields.front() == "control") {
      RunControl(dispatcher, fields);
    }
  }
  main.join();
  const std::lock_guard lock(dispatcher.mutex);
  dispatcher.channel.reset();
  dispatcher.handle = 0;
  dispatcher.handlerEx = nullptr;
  dispatcher.handler = nullptr;
  dispatcher.context = nullptr;
  dispatcher.notifications.clear();
  return ERROR_SUCCESS;
}

namespace {

// Installs one of the two kinds of handler (the other is cleared).
SERVICE_STATUS_HANDLE InstallHandler(std::u16string_view serviceName, LPHANDLER_FUNCTION_EX handlerEx,
                                     LPHANDLER_FUNCTION handler, void* context,
                                     std::uint32_t* error) {
  Dispatcher& dispatcher = TheDispatcher();
  const std::lock_guard lock(dispatcher.mutex);
  if (dispatcher.handle == 0 || serviceName.empty() || (handlerEx == nullptr && handler == nullptr)) {
    if (error != nullptr) {
      *error = ERROR_SERVICE_DOES_NOT_EXIST;
    }
    return {};
  }
  dispatcher.handlerEx = handlerEx;
  dispatcher.handler = handler;
  dispatcher.context = context;
  return SERVICE_STATUS_HANDLE{dispatcher.handle};
}

}  // namespace

SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerEx(std::u16string_view serviceName,
                                                   LPHANDLER_FUNCTION_EX handler, void* context,
                                                   std::uint32_t* error) {
  return handler == nullptr ? InstallHandler({}, nullptr, nullptr, nullptr, error)
                            : InstallHandler(serviceName, handler, nullptr, context, error);
}

SERVICE_STATUS_HANDLE RegisterServiceCtrlHandler(std::u16string_view serviceName,
                                                 LPHANDLER_FUNCTION handler,
                                                 std::uint32_t* error) {
  return handler == nullptr ? InstallHandler({}, nullptr, nullptr, nullptr, error)
                            : InstallHandler(serviceName, nullptr, handler, nullptr, error);
}

bool SetServiceStatus(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS& status) {
  Dispatcher& dispatcher = TheDispatcher();
  const std::lock_guard lock(dispatcher.mutex);
  if (!handle || handle.value != dispatcher.handle) {
    return false;
  }
  Fields message{"status"};
  detail::AppendStatus(status, message);
  if (!SendLocked(dispatcher, message)) {
    return false;
  }
  dispatcher.status = status;
  return true;
}

ServiceDeviceNotification RegisterDeviceNotification(SERVICE_STATUS_HANDLE recipient,
                                      const DEV_BROADCAST_DEVICEINTERFACE& filter,
                                      std::uint32_t flags) {
  Dispatcher& dispatcher = TheDispatcher();
  const std::lock_guard lock(dispatcher.mutex);
  if ((flags & DEVICE_NOTIFY_SERVICE_HANDLE) == 0 || !recipient ||
      recipient.value != dispatcher.handle ||
      filter.dbcc_devicetype != DBT_DEVTYP_DEVICEINTERFACE) {
    return {};
  }
  const std::uintptr_t notification = dispatcher.nextNotification++;
  // Only HID interfaces come and go in this layer; a filter of another class hears nothing.
  if (filter.dbcc_classguid == GUID_DEVINTERFACE_HID) {
    if (dispatcher.notifications.empty() && !SendLocked(dispatcher, {"devices", "1"})) {
      return {};
    }
    dispatcher.notifications.push_back(notification);
  }
  return ServiceDeviceNotification{notification};
}

bool UnregisterDeviceNotification(ServiceDeviceNotification notification) {
  Dispatcher& dispatcher = TheDispatcher();
  const std::lock_guard lock(dispatcher.mutex);
  if (!notification) {
    return false;
  }
  const bool removed = std::erase(dispatcher.notifications, notification.value) != 0;
  if (removed && dispatcher.notifications.empty()) {
    SendLocked(dispatcher, {"devices", "0"});
  }
  return removed || notification.value < dispatcher.nextNotification;
}

}  // namespace platform
