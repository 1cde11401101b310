#pragma once

// A program that a test starts as a child process, with the test's environment and some variables
// changed or added; its standard output (and, when asked, its errors) is kept for the test. Ended
// by its id when the test leaves it running. The test's thread.

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace platform::testing {

class ChildProgram {
 public:
  // The program's path and its arguments; `withErrors`: its errors go to the same pipe.
  ChildProgram(std::vector<std::string> words, const std::map<std::string, std::string>& changes,
               bool withErrors = false);
  ChildProgram(const ChildProgram&) = delete;
  ChildProgram& operator=(const ChildProgram&) = delete;
  ~ChildProgram();

  // The exit code once it has ended within the real time given; nothing when it still runs.
  std::optional<int> Wait(std::chrono::milliseconds limit);
  // What it wrote so far; programs it started may hold the pipe open after it has ended.
  std::string Output();
  // Reads until what it wrote holds `text`; false when it does not within the real time given.
  bool WaitForOutput(const std::string& text, std::chrono::milliseconds limit);
  pid_t Pid() const noexcept { return pid_; }

 private:
  // Reads what is there, waiting up to `milliseconds` for it; false at the pipe's end or when
  // nothing came.
  bool Read(int milliseconds);

  pid_t pid_ = 0;
  int output_ = -1;
  std::string written_;
  bool ended_ = false;
  int code_ = -1;
};

}  // namespace platform::testing
