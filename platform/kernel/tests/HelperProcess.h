#pragma once

// A helper process of a test: the test helper program, spoken to one command line at a time. It
// inherits the test's platform root; it ends, killed by its id, when the object goes. One thread
// at a time speaks to it.

#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "platform/kernel/Posix.h"

namespace platform::testing {

using Environment = std::map<std::string, std::string>;

// The user as which a helper runs; only a test that runs as root can start one as another user.
struct RunAs {
  uid_t uid = 0;
};

class HelperProcess {
 public:
  // Starts the helper with these environment variables added to the test's.
  explicit HelperProcess(const Environment& environment = {});
  explicit HelperProcess(RunAs user, const Environment& environment = {});
  // Starts another program that answers the same way: one line for each command line.
  HelperProcess(const std::string& program, const std::vector<std::string>& arguments,
                const Environment& environment = {});
  HelperProcess(const HelperProcess&) = delete;
  HelperProcess& operator=(const HelperProcess&) = delete;
  ~HelperProcess();

  // Sends one command and returns its one-line answer; "no answer" when the helper gives none
  // within the real time given.
  std::string Command(const std::string& line,
                      std::chrono::milliseconds realLimit = std::chrono::seconds(30));
  // Sends a command whose answer Answer() reads later, while the helper works on it.
  void Send(const std::string& line);
  std::string Answer(std::chrono::milliseconds realLimit = std::chrono::seconds(30));

  // Ends the helper at once, as a crash would, and reaps it.
  void Kill();
  pid_t Pid() const noexcept { return pid_; }

 private:
  pid_t pid_ = -1;
  detail::UniqueFd toHelper_;
  detail::UniqueFd fromHelper_;
  std::string pending_;
};

// A fresh temporary folder as the platform root of this test process and its helpers, with the
// layer's clock running fast; removed after the tests. Registered once by FreshRoot.cpp.
inline constexpr double kTestTimeScale = 50.0;

}  // namespace platform::testing
