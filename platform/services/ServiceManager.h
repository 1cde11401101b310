#pragma once

// The service manager of a platform root: it keeps the service records under the root, answers
// the callers of ServiceControl.h on its control socket with the rights their users have, starts
// service programs in the services' session as process groups of their own with a control
// channel each, follows their reported status (a process that dies is reported stopped), delivers
// controls and the HID layer's device arrivals and removals to them, and starts the
// automatic-start services when it starts.

#include <filesystem>
#include <memory>

namespace platform {

// Owns the records' runtime, the control socket, the device watch, the services' channels and
// every thread that serves them, which Run joins. Made and run by one thread; Stop from any.
class ServiceManager {
 public:
  // Loads the records and listens; nothing when another manager of the root runs. Then starts
  // the automatic-start services.
  static std::unique_ptr<ServiceManager> Start();
  ServiceManager(const ServiceManager&) = delete;
  ServiceManager& operator=(const ServiceManager&) = delete;
  ~ServiceManager();

  // Serves callers until Stop or an administrator's shutdown request, then stops every running
  // service (a service that does not stop in time is ended).
  void Run();
  void Stop();

  static std::filesystem::path SocketPath();

  class Impl;

 private:
  explicit ServiceManager(std::unique_ptr<Impl> impl);

  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
