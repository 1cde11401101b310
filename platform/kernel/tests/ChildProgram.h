#pragma once

// A program that a test starts as a child process, with the test's environment and some variables
// changed or added; its standard output is kept for the test. Ended by its id when the test
// leaves it running. The test's thread.

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace platform::testing {

class ChildProgram {
 public:
  // The program's path and its arguments.
  ChildProgram(std::vector<std::string> words, const std::map<std::string, std::string>& changes);
  ChildProgram(const ChildProgram&) = delete;
  ChildProgram& operator=(const ChildProgram&) = delete;
  ~ChildProgram();

  // The exit code once it has ended within the real time given; nothing when it still runs.
  std::optional<int> Wait(std::chrono::milliseconds limit);
  // What it wrote so far; programs it started may hold the pipe open after it has ended.
  std::string Output();
  pid_t Pid() const noexcept { return pid_; }

 private:
  pid_t pid_ = 0;
  int output_ = -1;
  bool ended_ = false;
  int code_ = -1;
};

}  // namespace platform::testing
