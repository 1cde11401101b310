#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/kernel/Root.h"

extern char** environ;

namespace {

struct Outcome {
  int code = -1;
  std::string out;
  std::string err;
};

// Runs platformctl with the test's environment and these changes, as the user `uid` (when the
// test runs as root), and waits for it.
Outcome RunTool(std::vector<std::string> words, const std::map<std::string, std::string>& changes = {},
            int uid = -1) {
  std::vector<std::string> variables;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string variable(*entry);
    if (!changes.contains(variable.substr(0, variable.find('=')))) {
      variables.push_back(variable);
    }
  }
  for (const auto& [name, value] : changes) {
    variables.push_back(name + "=" + value);
  }
  words.insert(words.begin(), PLATFORMCTL);
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
    return {};
  }
  const pid_t child = fork();
  if (child == 0) {
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    if (uid >= 0 && (setgid(static_cast<gid_t>(uid)) != 0 || setuid(static_cast<uid_t>(uid)) != 0)) {
      _exit(126);
    }
    std::vector<char*> argv, envp;
    for (std::string& word : words) argv.push_back(word.data());
    for (std::string& variable : variables) envp.push_back(variable.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    execve(PLATFORMCTL, argv.data(), envp.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  Outcome outcome;
  pollfd streams[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* texts[2] = {&outcome.out, &outcome.err};
  int open = 2;
  while (open > 0 && poll(streams, 2, 60000) > 0) {
    for (int at = 0; at < 2; ++at) {
      if (streams[at].revents != 0) {
        char buffer[512];
        const ssize_t count = read(streams[at].fd, buffer, sizeof buffer);
        if (count <= 0) {
          streams[at].fd = -1;
          --open;
        } else {
          texts[at]->append(buffer, static_cast<std::size_t>(count));
        }
      }
    }
  }
  close(out[0]);
  close(err[0]);
  int status = 0;
  waitpid(child, &status, 0);
  outcome.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

TEST(PlatformCtl, HelpListsTheCommandsAndBadCommandLinesExitWithTwo) {
  const Outcome help = RunTool({"--help"});
  EXPECT_EQ(help.code, 0);
  for (const char* command : {"start", "logon", "logoff", "sessions", "processes", "services",
                              "start-service", "stop-service", "eventlog", "plug-remote"}) {
    const std::size_t at = help.out.find(std::string("\n  ") + command);
    ASSERT_NE(at, std::string::npos) << command;
    const char after = help.out[at + 3 + std::strlen(command)];
    EXPECT_TRUE(after == ' ' || after == '\n') << command;
  }
  EXPECT_EQ(help.out.find("run-session-manager"), std::string::npos);
  EXPECT_EQ(RunTool({}).code, 2);
  EXPECT_EQ(RunTool({"no-such-command"}).code, 2);
  EXPECT_EQ(RunTool({"logoff", "x"}).code, 2);
}

TEST(PlatformCtl, EachCommandSaysWhatWentWrongAndExitsWithOne) {
  const std::string missing = (platform::PlatformRoot() / "missing").string();
  for (const char* command : {"sessions", "logon", "services", "eventlog", "unplug-remote"}) {
    std::vector<std::string> words{command};
    if (std::string(command) == "logon") {
      words.push_back("alice");
    }
    const Outcome outcome = RunTool(words, {{"PLATFORM_ROOT", missing}});
    EXPECT_EQ(outcome.code, 1) << command;
    EXPECT_NE(outcome.err.find("no platform root at " + missing), std::string::npos) << outcome.err;
  }
  // A root whose managers do not run.
  const Outcome logon = RunTool({"logon", "alice"});
  EXPECT_EQ(logon.code, 1);
  EXPECT_NE(logon.err.find("no session manager runs"), std::string::npos) << logon.err;
  const Outcome services = RunTool({"services"});
  EXPECT_EQ(services.code, 1);
  EXPECT_NE(services.err.find("no service manager runs"), std::string::npos) << services.err;
}

// One root driven from start to shutdown as a person would.
TEST(PlatformCtl, DrivesSessionsAndServicesOfARoot) {
  ASSERT_EQ(RunTool({"start", "--virtual-hid"}).code, 0);
  const Outcome alice = RunTool({"logon", "alice", "--console"});
  ASSERT_EQ(alice.code, 0) << alice.err;
  EXPECT_EQ(alice.out, "1\n");
  EXPECT_EQ(RunTool({"logon", "bob"}).out, "2\n");
  EXPECT_EQ(RunTool({"sessions"}).out,
            "0 WTSIdle Services -\n1 WTSActive Console alice console\n2 WTSActive RDP-Tcp#2 bob\n");
  EXPECT_EQ(RunTool({"console", "2"}).code, 0);
  EXPECT_EQ(RunTool({"sessions"}).out,
            "0 WTSIdle Services -\n1 WTSDisconnected - alice\n2 WTSActive Console bob console\n");
  const Outcome noSession = RunTool({"lock", "9"});
  EXPECT_EQ(noSession.code, 1);
  EXPECT_NE(noSession.err.find("session 9: no such session"), std::string::npos) << noSession.err;
  EXPECT_EQ(RunTool({"processes", "9"}).code, 1);

  ASSERT_EQ(RunTool({"install-service", "TestService", TEST_SERVICE}).code, 0);
  const Outcome started = RunTool({"start-service", "TestService"});
  EXPECT_EQ(started.code, 0) << started.err;
  EXPECT_EQ(RunTool({"start-service", "TestService"}).code, 1);
  const Outcome plugged = RunTool({"plug-remote"});
  ASSERT_EQ(plugged.code, 0) << plugged.err;
  EXPECT_NE(plugged.out.find("VID_FFFE&PID_0003"), std::string::npos) << plugged.out;
  EXPECT_EQ(RunTool({"plug-remote"}).code, 1);
  EXPECT_EQ(RunTool({"unplug-remote"}).code, 0);
  EXPECT_EQ(RunTool({"unplug-remote"}).code, 1);

  if (geteuid() == 0) {
    chmod(platform::PlatformRoot().c_str(), 0755);
    const Outcome denied = RunTool({"logoff", "1"}, {}, 65534);
    EXPECT_EQ(denied.code, 1);
    EXPECT_NE(denied.err.find("access denied"), std::string::npos) << denied.err;
    const Outcome stopDenied = RunTool({"stop-service", "TestService"}, {}, 65534);
    EXPECT_EQ(stopDenied.code, 1);
    EXPECT_NE(stopDenied.err.find("access denied"), std::string::npos) << stopDenied.err;
  }
  const Outcome stopped = RunTool({"stop-service", "TestService"});
  EXPECT_EQ(stopped.code, 0) << stopped.err;
  const Outcome log = RunTool({"eventlog"});
  EXPECT_NE(log.out.find("TestService information 1 Service started"), std::string::npos) << log.out;
  EXPECT_NE(log.out.find("arrival \\\\?\\HID#VID_FFFE&PID_0003#"), std::string::npos) << log.out;

  EXPECT_EQ(RunTool({"logoff", "1"}).code, 0);
  EXPECT_EQ(RunTool({"shutdown"}).code, 0);
  EXPECT_EQ(RunTool({"sessions"}).code, 1);
}

}  // namespace
