#include "platform/ipc/SharedSection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/kernel/Root.h"
#include "platform/kernel/tests/HelperProcess.h"

namespace platform {
namespace {

using testing::HelperProcess;

constexpr std::size_t kSnoopSize = 528;

bool AllZero(std::span<const std::byte> bytes) {
  return std::all_of(bytes.begin(), bytes.end(),
                     [](std::byte byte) { return byte == std::byte{0}; });
}

bool NoSectionFiles() {
  const std::filesystem::path folder = PlatformRoot() / "sections";
  return !std::filesystem::exists(folder) || std::filesystem::is_empty(folder);
}

TEST(SharedSection, TwoProcessesSeeOneZeroFilledSection) {
  auto section = SharedSection::Create(u"Global\\QuillombShared", kSnoopSize);
  ASSERT_TRUE(section.handle);
  EXPECT_FALSE(section.alreadyExisted);
  ASSERT_EQ(section.handle.Bytes().size(), kSnoopSize);
  EXPECT_TRUE(AllZero(section.handle.Bytes()));

  HelperProcess other;
  ASSERT_EQ(other.Command("section Global\\QuillombShared 528"), "existed 0");
  ASSERT_EQ(other.Command("poke 0 527 201"), "ok");
  EXPECT_EQ(section.handle.Bytes()[527], std::byte{201});
  section.handle.Bytes()[16] = std::byte{7};
  EXPECT_EQ(other.Command("peek 0 16"), "7");

  // Opening keeps the first size; asking for more than it has is refused.
  EXPECT_EQ(SharedSection::Open(u"Global\\QuillombShared").handle.Bytes().size(), kSnoopSize);
  EXPECT_EQ(SharedSection::Create(u"Global\\QuillombShared", kSnoopSize + 1).error,
            ERROR_INVALID_PARAMETER);
}

TEST(SharedSection, LivesWhileAnyProcessMapsIt) {
  auto section = SharedSection::Create(u"Kept", 64);
  ASSERT_TRUE(section.handle);
  HelperProcess other;
  ASSERT_EQ(other.Command("section Kept 64"), "existed 0");
  ASSERT_EQ(other.Command("poke 0 3 9"), "ok");
  section.handle.Close();
  auto again = SharedSection::Create(u"Kept", 64);
  ASSERT_TRUE(again.alreadyExisted);
  EXPECT_EQ(again.handle.Bytes()[3], std::byte{9});
  again.handle.Close();
  other.Kill();

  // The last holder was killed: the section is gone, and a new one starts from zero.
  auto fresh = SharedSection::Create(u"Kept", 64);
  EXPECT_FALSE(fresh.alreadyExisted);
  EXPECT_TRUE(AllZero(fresh.handle.Bytes()));
  fresh.handle.Close();
  EXPECT_TRUE(NoSectionFiles());
}

TEST(SharedSection, RefusesWhatItCannotBe) {
  EXPECT_EQ(SharedSection::Create(u"Empty", 0).error, ERROR_INVALID_PARAMETER);
  EXPECT_EQ(SharedSection::Open(u"Missing").error, ERROR_FILE_NOT_FOUND);
  SharedSection none;
  EXPECT_TRUE(none.Bytes().empty());
  none.Close();
}

}  // namespace
}  // namespace platform
