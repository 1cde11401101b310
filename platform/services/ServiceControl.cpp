#include "platform/services/ServiceControl.h"

#include "platform/base/Text.h"
#include "platform/services/ServiceManager.h"
#include "platform/services/ServiceWire.h"
#include "platform/sessions/RecordText.h"

namespace platform {
namespace {

using detail::ParseRecordNumber;
using Fields = std::vector<std::string>;

std::string JoinNames(const std::vector<std::u16string>& names) {
  std::string joined;
  for (const std::u16string& name : names) {
    if (!joined.empty()) {
      joined += '/';
    }
    joined += ToUtf8(name);
  }
  return joined;
}

// A changed field of a configuration request: "=" and the new value.
std::string ChangedField(std::string_view value) {
  std::string field(1, '=');
  field += value;
  return field;
}

std::vector<std::u16string> SplitNames(const std::string& joined) {
  std::vector<std::u16string> names;
  std::size_t start = 0;
  while (start < joined.size()) {
    const std::size_t end = joined.find('/', start);
    names.push_back(FromUtf8(joined.substr(start, end - start)));
    start = end == std::string::npos ? joined.size() : end + 1;
  }
  return names;
}

// A handle from an answer's first field.
HandleResult<ScHandle> HandleFrom(std::uint32_t error, const Fields& answer,
                                  const std::shared_ptr<detail::ScConnection>& connection) {
  std::uint32_t id = 0;
  if (error != ERROR_SUCCESS || answer.empty() || !ParseRecordNumber(answer[0], id)) {
    return {ScHandle(), false, error == ERROR_SUCCESS ? ERROR_INVALID_PARAMETER : error};
  }
  return {ScHandle(connection, id), false, ERROR_SUCCESS};
}

std::uint32_t StatusFrom(std::uint32_t error, const Fields& answer, SERVICE_STATUS& status) {
  if (error != ERROR_SUCCESS) {
    return error;
  }
  const std::optional<SERVICE_STATUS> parsed = detail::ParseStatus(answer, 0);
  if (!parsed) {
    return ERROR_INVALID_PARAMETER;
  }
  status = *parsed;
  return ERROR_SUCCESS;
}

}  // namespace

std::uint32_t detail::ScConnection::Ask(const Fields& request, Fields& answer) {
  const std::lock_guard lock(mutex_);
  const std::optional<std::string> reply = connection_.Request(JoinRecordFields(request));
  if (!reply) {
    return ERROR_BROKEN_PIPE;
  }
  Fields fields = SplitRecordFields(*reply);
  if (fields.front() == "ok") {
    answer.assign(fields.begin() + 1, fields.end());
    return ERROR_SUCCESS;
  }
  std::uint32_t error = ERROR_INVALID_PARAMETER;
  return fields.size() >= 2 && ParseRecordNumber(fields[1], error) ? error
                                                                   : ERROR_INVALID_PARAMETER;
}

ScHandle::ScHandle(ScHandle&& other) noexcept
    : connection_(std::move(other.connection_)), handle_(std::exchange(other.handle_, 0)) {}

ScHandle& ScHandle::operator=(ScHandle&& other) noexcept {
  if (this != &other) {
    Close();
    connection_ = std::move(other.connection_);
    handle_ = std::exchange(other.handle_, 0);
  }
  return *this;
}

void ScHandle::Close() noexcept {
  if (connection_) {
    Fields ignored;
    connection_->Ask({"close", std::to_string(handle_)}, ignored);
    connection_.reset();
    handle_ = 0;
  }
}

std::uint32_t ScHandle::Ask(const std::string& verb, Fields fields, Fields& answer) const {
  if (!connection_) {
    return ERROR_INVALID_HANDLE;
  }
  fields.insert(fields.begin(), {verb, std::to_string(handle_)});
  return connection_->Ask(fields, answer);
}

HandleResult<ScHandle> OpenSCManager(std::u16string_view machineName,
                                     std::u16string_view databaseName,
                                     std::uint32_t desiredAccess) {
  if (!machineName.empty()) {
    return {ScHandle(), false, RPC_S_SERVER_UNAVAILABLE};
  }
  if (!databaseName.empty() && databaseName != u"ServicesActive") {
    return {ScHandle(), false, ERROR_DATABASE_DOES_NOT_EXIST};
  }
  ControlConnection connection = ControlConnection::Connect(ServiceManager::SocketPath());
  if (!connection) {
    return {ScHandle(), false, RPC_S_SERVER_UNAVAILABLE};
  }
  auto shared = std::make_shared<detail::ScConnection>(std::move(connection));
  Fields answer;
  const std::uint32_t error =
      shared->Ask({"open-manager", std::to_string(desiredAccess)}, answer);
  return HandleFrom(error, answer, shared);
}

HandleResult<ScHandle> CreateService(const ScHandle& manager, const ServiceConfig& config,
                                     std::uint32_t desiredAccess) {
  Fields answer;
  const std::uint32_t error = manager.Ask(
      "create",
      {std::to_string(desiredAccess), ToUtf8(config.serviceName), ToUtf8(config.displayName),
       std::to_string(config.serviceType), std::to_string(config.startType),
       std::to_string(config.errorControl), ToUtf8(config.binaryPathName),
       ToUtf8(config.loadOrderGroup), JoinNames(config.dependencies),
       ToUtf8(config.serviceStartName), ToUtf8(config.description)},
      answer);
  return HandleFrom(error, answer, manager.Connection());
}

HandleResult<ScHandle> OpenService(const ScHandle& manager, std::u16string_view serviceName,
                                   std::uint32_t desiredAccess) {
  Fields answer;
  const std::uint32_t error =
      manager.Ask("open", {ToUtf8(serviceName), std::to_string(desiredAccess)}, answer);
  return HandleFrom(error, answer, manager.Connection());
}

std::uint32_t ChangeServiceConfig(const ScHandle& service, const ServiceConfigChange& change) {
  const auto number = [](const std::optional<std::uint32_t>& value) {
    return value && *value != SERVICE_NO_CHANGE ? ChangedField(std::to_string(*value))
                                                : std::string();
  };
  const auto text = [](const std::optional<std::u16string>& value) {
    return value ? ChangedField(ToUtf8(*value)) : std::string();
  };
  Fields answer;
  return service.Ask(
      "config",
      {number(change.serviceType), number(change.startType), number(change.errorControl),
       text(change.binaryPathName), text(change.loadOrderGroup),
       change.dependencies ? ChangedField(JoinNames(*change.dependencies)) : std::string(),
       text(change.serviceStartName), text(change.displayName)},
      answer);
}

std::uint32_t ChangeServiceConfig2(const ScHandle& service, std::uint32_t infoLevel,
                                   std::u16string_view description) {
  if (infoLevel != SERVICE_CONFIG_DESCRIPTION) {
    return ERROR_INVALID_PARAMETER;
  }
  Fields answer;
  return service.Ask("describe", {ToUtf8(description)}, answer);
}

std::uint32_t QueryServiceConfig(const ScHandle& service, ServiceConfig& config) {
  Fields answer;
  const std::uint32_t error = service.Ask("query-config", {}, answer);
  if (error != ERROR_SUCCESS) {
    return error;
  }
  if (answer.size() != 10 || !ParseRecordNumber(answer[2], config.serviceType) ||
      !ParseRecordNumber(answer[3], config.startType) ||
      !ParseRecordNumber(answer[4], config.errorControl)) {
    return ERROR_INVALID_PARAMETER;
  }
  config.serviceName = FromUtf8(answer[0]);
  config.displayName = FromUtf8(answer[1]);
  config.binaryPathName = FromUtf8(answer[5]);
  config.loadOrderGroup = FromUtf8(answer[6]);
  config.dependencies = SplitNames(answer[7]);
  config.serviceStartName = FromUtf8(answer[8]);
  config.description = FromUtf8(answer[9]);
  return ERROR_SUCCESS;
}

std::uint32_t DeleteService(const ScHandle& service) {
  Fields answer;
  return service.Ask("delete", {}, answer);
}

std::uint32_t StartService(const ScHandle& service, const std::vector<std::u16string>& arguments) {
  Fields words;
  for (const std::u16string& argument : arguments) {
    words.push_back(ToUtf8(argument));
  }
  Fields answer;
  return service.Ask("start", words, answer);
}

std::uint32_t ControlService(const ScHandle& service, std::uint32_t control,
                             SERVICE_STATUS& status) {
  Fields answer;
  const std::uint32_t error = service.Ask("control", {std::to_string(control)}, answer);
  return StatusFrom(error, answer, status);
}

std::uint32_t QueryServiceStatus(const ScHandle& service, SERVICE_STATUS& status) {
  Fields answer;
  const std::uint32_t error = service.Ask("query", {}, answer);
  return StatusFrom(error, answer, status);
}

std::uint32_t EnumServicesStatus(const ScHandle& manager,
                                 std::vector<ENUM_SERVICE_STATUS>& services) {
  Fields answer;
  const std::uint32_t error = manager.Ask("list", {}, answer);
  if (error != ERROR_SUCCESS) {
    return error;
  }
  constexpr std::size_t kFieldsEach = 9;
  if (answer.size() % kFieldsEach != 0) {
    return ERROR_INVALID_PARAMETER;
  }
  services.clear();
  for (std::size_t at = 0; at < answer.size(); at += kFieldsEach) {
    ENUM_SERVICE_STATUS entry{FromUtf8(answer[at]), FromUtf8(answer[at + 1]), {}};
    const Fields status(answer.begin() + static_cast<std::ptrdiff_t>(at + 2),
                        answer.begin() + static_cast<std::ptrdiff_t>(at + kFieldsEach));
    if (StatusFrom(ERROR_SUCCESS, status, entry.ServiceStatus) != ERROR_SUCCESS) {
      return ERROR_INVALID_PARAMETER;
    }
    services.push_back(std::move(entry));
  }
  return ERROR_SUCCESS;
}

std::uint32_t SetServiceUserRights(const ScHandle& service, std::uint32_t rights) {
  Fields answer;
  return service.Ask("allow", {std::to_string(rights)}, answer);
}

std::uint32_t ShutdownServiceManager(const ScHandle& manager) {
  Fields answer;
  return manager.Ask("shutdown", {}, answer);
}

}  // namespace platform
