#pragma once

// The callers' side of the root's service manager: open the manager, create, open, configure,
// delete, start, control and query services. Every request goes to the manager's control socket,
// which knows the caller's user from the kernel: the administrator (root) gets every right, any
// other user the rights of kManagerUserRights on the manager and, on a service, those of
// kServiceUserDefaultRights and what the service's access list adds.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/kernel/KernelHandle.h"
#include "platform/services/ServiceTypes.h"
#include "platform/sessions/ControlChannel.h"

namespace platform {

namespace detail {

// One caller's connection to the manager, shared by the handles opened through it; one request
// at a time, any thread.
class ScConnection {
 public:
  explicit ScConnection(ControlConnection connection) : connection_(std::move(connection)) {}
  // The answer's fields after "ok"; the error of an "error" answer, or ERROR_BROKEN_PIPE when the
  // manager has gone.
  std::uint32_t Ask(const std::vector<std::string>& request, std::vector<std::string>& answer);

 private:
  std::mutex mutex_;
  ControlConnection connection_;
};

}  // namespace detail

// Owns one handle of the service manager: the manager's or one service's. Closing it
// (CloseServiceHandle) lets the manager forget it. Move-only; any thread, one call at a time.
class ScHandle {
 public:
  ScHandle() = default;
  ScHandle(std::shared_ptr<detail::ScConnection> connection, std::uint32_t handle) noexcept
      : connection_(std::move(connection)), handle_(handle) {}
  ScHandle(ScHandle&& other) noexcept;
  ScHandle& operator=(ScHandle&& other) noexcept;
  ScHandle(const ScHandle&) = delete;
  ScHandle& operator=(const ScHandle&) = delete;
  ~ScHandle() { Close(); }

  explicit operator bool() const noexcept { return connection_ != nullptr; }
  void Close() noexcept;

  // The request with this handle as its second field.
  std::uint32_t Ask(const std::string& verb, std::vector<std::string> fields,
                    std::vector<std::string>& answer) const;
  const std::shared_ptr<detail::ScConnection>& Connection() const noexcept { return connection_; }

 private:
  std::shared_ptr<detail::ScConnection> connection_;
  std::uint32_t handle_ = 0;
};

struct ServiceConfig {
  std::u16string serviceName;
  std::u16string displayName;
  std::uint32_t serviceType = SERVICE_WIN32_OWN_PROCESS;
  std::uint32_t startType = SERVICE_DEMAND_START;
  std::uint32_t errorControl = SERVICE_ERROR_NORMAL;
  std::u16string binaryPathName;  // the program, in double quotes when its path has spaces
  std::u16string loadOrderGroup;
  std::vector<std::u16string> dependencies;
  std::u16string serviceStartName;  // the account; empty: the local system
  std::u16string description;
};

// What ChangeServiceConfig changes; nothing keeps the setting (SERVICE_NO_CHANGE).
struct ServiceConfigChange {
  std::optional<std::uint32_t> serviceType;
  std::optional<std::uint32_t> startType;
  std::optional<std::uint32_t> errorControl;
  std::optional<std::u16string> binaryPathName;
  std::optional<std::u16string> loadOrderGroup;
  std::optional<std::vector<std::u16string>> dependencies;
  std::optional<std::u16string> serviceStartName;
  std::optional<std::u16string> displayName;
};

struct ENUM_SERVICE_STATUS {
  std::u16string lpServiceName;
  std::u16string lpDisplayName;
  SERVICE_STATUS ServiceStatus;
};

// Each returns ERROR_SUCCESS or the manager's error; the handles are null on failure. A root
// whose manager does not run gives RPC_S_SERVER_UNAVAILABLE.
inline constexpr std::uint32_t RPC_S_SERVER_UNAVAILABLE = 1722;
inline constexpr std::uint32_t ERROR_DATABASE_DOES_NOT_EXIST = 1065;

// The machine must be empty (this machine); the database empty or "ServicesActive".
HandleResult<ScHandle> OpenSCManager(std::u16string_view machineName,
                                     std::u16string_view databaseName,
                                     std::uint32_t desiredAccess);
HandleResult<ScHandle> CreateService(const ScHandle& manager, const ServiceConfig& config,
                                     std::uint32_t desiredAccess);
HandleResult<ScHandle> OpenService(const ScHandle& manager, std::u16string_view serviceName,
                                   std::uint32_t desiredAccess);

std::uint32_t ChangeServiceConfig(const ScHandle& service, const ServiceConfigChange& change);
// SERVICE_CONFIG_DESCRIPTION: the service's description.
std::uint32_t ChangeServiceConfig2(const ScHandle& service, std::uint32_t infoLevel,
                                   std::u16string_view description);
std::uint32_t QueryServiceConfig(const ScHandle& service, ServiceConfig& config);
// Marks the service for deletion; it goes once it has stopped.
std::uint32_t DeleteService(const ScHandle& service);
// Starts the program; returns once its dispatcher has connected (state start-pending) or it
// failed to. The arguments reach the service's main after its name.
std::uint32_t StartService(const ScHandle& service,
                           const std::vector<std::u16string>& arguments = {});
// Delivers the control to the service's handler and returns its status after the handler.
std::uint32_t ControlService(const ScHandle& service, std::uint32_t control,
                             SERVICE_STATUS& status);
std::uint32_t QueryServiceStatus(const ScHandle& service, SERVICE_STATUS& status);
// Every service with its status, in the order of their names.
std::uint32_t EnumServicesStatus(const ScHandle& manager,
                                 std::vector<ENUM_SERVICE_STATUS>& services);
// The service's access list: what users who are not the administrator may do with it, beyond
// kServiceUserDefaultRights (for instance SERVICE_START | SERVICE_STOP). Needs WRITE_DAC.
std::uint32_t SetServiceUserRights(const ScHandle& service, std::uint32_t rights);
// Ends the manager: it stops every running service first. The administrator's alone.
std::uint32_t ShutdownServiceManager(const ScHandle& manager);

}  // namespace platform
