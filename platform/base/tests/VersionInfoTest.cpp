#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/base/Process.h"
#include "platform/base/Status.h"
#include "platform/base/Text.h"
#include "platform/base/VersionInfo.h"

namespace platform {
namespace {

using namespace std::string_view_literals;

// The value, or what went wrong, as text.
std::u16string ReadValue(std::u16string_view file, std::u16string_view subBlock) {
  std::uint32_t error = 0;
  const std::uint32_t size = GetFileVersionInfoSize(file, &error);
  if (size == 0) {
    return u"error " + FromUtf8(std::to_string(error));
  }
  std::vector<std::byte> block(size);
  if (!GetFileVersionInfo(file, block)) {
    return u"no block";
  }
  const char16_t* value = nullptr;
  std::uint32_t length = 0;
  if (!VerQueryValue(block, subBlock, value, length)) {
    return u"no value";
  }
  EXPECT_EQ(std::u16string_view(value).size() + 1, length);
  return value;
}

// This test program declares its version in tests/CMakeLists.txt.
TEST(VersionInfo, ValuesOfTheProgramsOwnFileByNameAndByPath) {
  const std::u16string self = ModulePath();
  const struct {
    std::u16string file;
    std::u16string subBlock;
    std::u16string expected;
  } cases[] = {
      {u"platform_base_tests.exe", u"\\StringFileInfo\\040904e4\\ProductVersion", u"1.48"},
      {u"platform_base_tests.exe", u"\\StringFileInfo\\040904b0\\ProductVersion", u"1.48"},
      {u"platform_base_tests", u"\\StringFileInfo\\040904e4\\FileVersion", u"1.48.0.7"},
      {self, u"\\StringFileInfo\\040904b0\\ProductVersion", u"1.48"},
      {self, u"\\StringFileInfo\\040704b0\\ProductVersion", u"no value"},
      {self, u"\\StringFileInfo\\040904e4", u"no value"},
      {u"NoSuchProgram.exe", u"\\StringFileInfo\\040904e4\\ProductVersion",
       u"error " + FromUtf8(std::to_string(ERROR_FILE_NOT_FOUND))},
      {u"/bin/sh", u"\\StringFileInfo\\040904e4\\ProductVersion",
       u"error " + FromUtf8(std::to_string(ERROR_RESOURCE_TYPE_NOT_FOUND))},
  };
  for (const auto& test : cases) {
    EXPECT_EQ(ReadValue(test.file, test.subBlock), test.expected) << ToUtf8(test.file);
  }
}

TEST(VersionInfo, DamagedFilesReadAsFilesWithoutValues) {
  std::ifstream self(ToUtf8(ModulePath()), std::ios::binary);
  const std::vector<char> whole((std::istreambuf_iterator<char>(self)),
                                std::istreambuf_iterator<char>());
  const std::filesystem::path copy = std::filesystem::temp_directory_path() /
                                     ("version-test-" + std::to_string(CurrentProcessId()));
  for (const std::size_t length : {std::size_t{0}, std::size_t{10}, std::size_t{64},
                                   whole.size() / 2}) {
    std::ofstream(copy, std::ios::binary | std::ios::trunc).write(whole.data(),
                                                                   static_cast<std::streamsize>(length));
    std::uint32_t error = 0;
    EXPECT_EQ(GetFileVersionInfoSize(FromUtf8(copy.string()), &error), 0u) << length;
    EXPECT_EQ(error, ERROR_RESOURCE_TYPE_NOT_FOUND);
  }
  std::filesystem::remove(copy);
}

TEST(VersionInfo, QueryStaysInsideABlockWithoutItsEnd) {
  constexpr std::u16string_view text = u"\\A\0one\0\\B\0tw"sv;
  const std::span<const std::byte> block(reinterpret_cast<const std::byte*>(text.data()),
                                         text.size() * sizeof(char16_t));
  const char16_t* value = nullptr;
  std::uint32_t length = 0;
  ASSERT_TRUE(VerQueryValue(block, u"\\A", value, length));
  EXPECT_EQ(std::u16string_view(value, length - 1), u"one");
  EXPECT_FALSE(VerQueryValue(block, u"\\B", value, length));
}

}  // namespace
}  // namespace platform
