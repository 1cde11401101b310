// A session manager for the tests: the real manager, with a window delivery that writes each
// notice and each end of session as a line of its standard output, so that a test sees what the
// windows would have received and in which order. Prints "ready" once the table is made, and ends
// when asked to shut down.

#include <signal.h>
#include <sys/prctl.h>

#include <iostream>
#include <string_view>
#include <mutex>

#include "platform/sessions/RootProcesses.h"
#include "platform/sessions/SessionManager.h"

namespace {

// Called on the manager's threads; each line is written whole under its own lock.
class RecordingDelivery final : public platform::SessionWindowDelivery {
 public:
  void PostSessionChange(std::uint32_t window, std::uint32_t changeType,
                         std::uint32_t sessionId) override {
    Write("post " + std::to_string(window) + " " + std::to_string(changeType) + " " +
          std::to_string(sessionId));
  }
  // Says how many of the session's processes still run when the messages would go out.
  std::size_t EndSession(std::uint32_t sessionId) override {
    std::size_t running = 0;
    for (const auto& process : platform::detail::ListRootProcesses()) {
      running += process.sessionId == sessionId ? 1 : 0;
    }
    Write("end-session " + std::to_string(sessionId) + " running " + std::to_string(running));
    return 0;
  }

 private:
  void Write(const std::string& line) {
    const std::lock_guard lock(mutex_);
    std::cout << line << std::endl;
  }

  std::mutex mutex_;
};

}  // namespace

int main(int argumentCount, char** arguments) {
  // Ends with the test that started it, whatever way the test ends.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  // With "--windows" the notices go to the windows layer's windows instead.
  const bool windows = argumentCount == 2 && std::string_view(arguments[1]) == "--windows";
  auto manager = platform::SessionManager::Start(
      windows ? platform::MakeWindowDelivery() : std::make_unique<RecordingDelivery>());
  if (!manager) {
    std::cout << "failed" << std::endl;
    return 1;
  }
  std::cout << "ready" << std::endl;
  manager->Run();
  return 0;
}
