#include "platform/kernel/tests/ChildProgram.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

extern char** environ;

namespace platform::testing {

ChildProgram::ChildProgram(std::vector<std::string> words,
                           const std::map<std::string, std::string>& changes, bool withErrors) {
  std::vector<std::string> variables;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string variable(*entry);
    if (!changes.contains(variable.substr(0, variable.find('=')))) {
      variables.push_back(variable);
    }
  }
  for (const auto& [name, value] : changes) variables.push_back(name + "=" + value);
  int out[2];
  EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  if (withErrors) posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
  std::vector<char*> argv, envp;
  for (std::string& word : words) argv.push_back(word.data());
  for (std::string& variable : variables) envp.push_back(variable.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  EXPECT_EQ(posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  output_ = out[0];
  fcntl(output_, F_SETFL, O_NONBLOCK);
}

ChildProgram::~ChildProgram() {
  if (!ended_) {
    kill(pid_, SIGKILL);
    Wait(std::chrono::seconds(20));
  }
  close(output_);
}

std::optional<int> ChildProgram::Wait(std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!ended_) {
    int status = 0;
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      ended_ = true;
      code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      break;
    }
    if (std::chrono::steady_clock::now() > end) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return code_;
}

bool ChildProgram::Read(int milliseconds) {
  pollfd readable{output_, POLLIN, 0};
  char buffer[512];
  const ssize_t got = poll(&readable, 1, milliseconds) == 1 ? read(output_, buffer, sizeof buffer) : 0;
  if (got <= 0) return false;
  written_.append(buffer, static_cast<std::size_t>(got));
  return true;
}

std::string ChildProgram::Output() {
  while (Read(0)) {
  }
  return written_;
}

bool ChildProgram::WaitForOutput(const std::string& text, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (written_.find(text) == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !Read(static_cast<int>(left.count()))) {
      return written_.find(text) != std::string::npos;
    }
  }
  return true;
}

}  // namespace platform::testing
