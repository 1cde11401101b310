#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "platform/sessions/ProcessLaunch.h"

namespace platform {
namespace {

// A program started while another thread has a file open without close-on-exec (a device file
// it is reading, say) must not keep that file: only what it is given passes to it.
TEST(ProcessLaunch, AProgramGetsOnlyTheDescriptorsItIsGiven) {
  const detail::UniqueFd devNull(open("/dev/null", O_RDONLY | O_CLOEXEC));
  ASSERT_TRUE(devNull);
  const detail::UniqueFd stray(fcntl(devNull.Get(), F_DUPFD, 10));  // no close-on-exec
  ASSERT_TRUE(stray);
  int answer[2];
  ASSERT_EQ(pipe2(answer, O_CLOEXEC), 0);
  const detail::UniqueFd reading(answer[0]);
  detail::UniqueFd writing(answer[1]);
  detail::LaunchSpec spec;
  const std::string strayPath = "/proc/self/fd/" + std::to_string(stray.Get());
  spec.arguments = {"/bin/sh", "-c",
                    "if [ -e " + strayPath + " ]; then echo open >&3; else echo closed >&3; fi"};
  spec.inherited = writing.Get();
  spec.detached = true;
  spec.quiet = true;
  const detail::Launched launched = detail::LaunchProgram(spec);
  writing.Reset();
  ASSERT_EQ(launched.error, 0u);
  std::string text;
  char buffer[16];
  for (ssize_t got; (got = read(reading.Get(), buffer, sizeof buffer)) > 0;) {
    text.append(buffer, static_cast<std::size_t>(got));
  }
  EXPECT_EQ(text, "closed\n");
}

}  // namespace
}  // namespace platform
