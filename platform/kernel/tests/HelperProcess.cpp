#include "platform/kernel/tests/HelperProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <vector>

extern char** environ;

namespace platform::testing {

HelperProcess::HelperProcess(const Environment& environment)
    : HelperProcess(PLATFORM_TEST_HELPER, {}, environment) {}

HelperProcess::HelperProcess(RunAs user, const Environment& environment)
    : HelperProcess(PLATFORM_TEST_HELPER, {"--as-user", std::to_string(user.uid)}, environment) {}

HelperProcess::HelperProcess(const std::string& program, const std::vector<std::string>& arguments,
                             const Environment& environment) {
  int input[2];
  int output[2];
  if (pipe2(input, O_CLOEXEC) != 0 || pipe2(output, O_CLOEXEC) != 0) {
    throw std::runtime_error("helper pipes");
  }
  detail::UniqueFd helperInput(input[0]);
  toHelper_ = detail::UniqueFd(input[1]);
  fromHelper_ = detail::UniqueFd(output[0]);
  detail::UniqueFd helperOutput(output[1]);

  std::vector<std::string> variables;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string variable(*entry);
    if (environment.find(variable.substr(0, variable.find('='))) == environment.end()) {
      variables.push_back(variable);
    }
  }
  for (const auto& [name, value] : environment) {
    variables.push_back(name + "=" + value);
  }
  std::vector<char*> environmentPointers;
  for (std::string& variable : variables) {
    environmentPointers.push_back(variable.data());
  }
  environmentPointers.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, helperInput.Get(), STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, helperOutput.Get(), STDOUT_FILENO);
  std::vector<std::string> words{program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argumentPointers;
  for (std::string& word : words) {
    argumentPointers.push_back(word.data());
  }
  argumentPointers.push_back(nullptr);
  const int error = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argumentPointers.data(),
                                environmentPointers.data());
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    pid_ = -1;
    throw std::runtime_error("cannot start " + program);
  }
}

HelperProcess::~HelperProcess() { Kill(); }

void HelperProcess::Kill() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
}

void HelperProcess::Send(const std::string& line) {
  const std::string text = line + "\n";
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t count = write(toHelper_.Get(), text.data() + written, text.size() - written);
    if (count <= 0) {
      return;
    }
    written += static_cast<std::size_t>(count);
  }
}

std::string HelperProcess::Answer(std::chrono::milliseconds realLimit) {
  const auto deadline = std::chrono::steady_clock::now() + realLimit;
  for (;;) {
    if (const std::size_t end = pending_.find('\n'); end != std::string::npos) {
      std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      return line;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd ready{fromHelper_.Get(), POLLIN, 0};
    if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0) {
      return "no answer";
    }
    char buffer[256];
    const ssize_t count = read(fromHelper_.Get(), buffer, sizeof buffer);
    if (count <= 0) {
      return "no answer";
    }
    pending_.append(buffer, static_cast<std::size_t>(count));
  }
}

std::string HelperProcess::Command(const std::string& line, std::chrono::milliseconds realLimit) {
  Send(line);
  return Answer(realLimit);
}

}  // namespace platform::testing
