// The ids of the running process and thread, which the layer keeps once asked.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <thread>

#include "platform/base/Process.h"

namespace platform {
namespace {

TEST(ProcessIds, EachThreadHasItsOwnAndAForkedChildAsksAgain) {
  const std::uint32_t process = CurrentProcessId();
  const std::uint32_t thread = CurrentThreadId();
  EXPECT_EQ(process, static_cast<std::uint32_t>(getpid()));
  EXPECT_EQ(thread, static_cast<std::uint32_t>(gettid()));
  EXPECT_EQ(CurrentThreadId(), thread);

  std::uint32_t other = 0;
  std::uint32_t otherProcess = 0;
  std::thread([&] {
    other = CurrentThreadId();
    otherProcess = CurrentProcessId();
  }).join();
  EXPECT_NE(other, thread);
  EXPECT_EQ(otherProcess, process);

  // The child reports by its exit status: 0 when both ids are its own.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const bool own = CurrentProcessId() == static_cast<std::uint32_t>(getpid()) &&
                     CurrentThreadId() == static_cast<std::uint32_t>(gettid()) &&
                     CurrentProcessId() != process && CurrentThreadId() != thread;
    _exit(own ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(CurrentProcessId(), process);
  EXPECT_EQ(CurrentThreadId(), thread);
}

}  // namespace
}  // namespace platform
