#include "platform/kernel/tests/ChildProgram.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

extern char** environ;

namespace platform::testing {

ChildProgram::ChildProgram(std::vector<std::string> words,
                           const std::map<std::string, std::string>& changes) {
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
  std::vector<char*> argv, envp;
  for (std::string& word : words) argv.push_back(word.data());
  for (std::string& variable : variables) envp.push_back(variable.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  EXPECT_EQ(posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  output_ = out[0];
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

std::string ChildProgram::Output() {
  fcntl(output_, F_SETFL, O_NONBLOCK);
  std::string text;
  char buffer[512];
  for (ssize_t got; (got = read(output_, buffer, sizeof buffer)) > 0;) {
    text.append(buffer, static_cast<std::size_t>(got));
  }
  return text;
}

}  // namespace platform::testing
