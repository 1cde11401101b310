#include "common/Logger.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <thread>
#include <vector>

#include "platform/base/DebugOutput.h"
#include "platform/base/MessageBox.h"
#include "platform/base/Process.h"
#include "platform/base/Text.h"

namespace {

namespace fs = std::filesystem;

TEST(LoggerFlags, Normalisation) {
  struct Case {
    std::uint32_t given;
    std::uint32_t normalised;
  };
  const Case cases[] = {
      {0x152, 0x152}, {0x146, 0x156}, {0x156, 0x156}, {0x12, 0x32},
      {0x00, 0x30},   {0x28, 0x30},   {0x48, 0x48},   {0x101, 0x131},
  };
  for (const Case& testCase : cases) {
    EXPECT_EQ(NormaliseLoggerFlags(testCase.given), testCase.normalised)
        << std::hex << testCase.given;
    EXPECT_EQ(Logger(testCase.given).GetFlags(), testCase.normalised);
  }
}

TEST(LoggerFileName, FollowsTheNamingRules) {
  const std::u16string pid = platform::Format(u"%d", platform::CurrentProcessId());
  EXPECT_EQ(LogFilePath(0x152, u"/opt/calvora/Tamsvard"), u"/opt/calvora/Tamsvard.Log");
  EXPECT_EQ(LogFilePath(0x156, u"/opt/calvora/Ruvello"), u"/opt/calvora/Ruvello[" + pid + u"].Log");
  EXPECT_EQ(LogFilePath(0x5E, u"/opt/calvora/Peskarin.bin"),
            u"/opt/calvora/Peskarin.Log");  // 0x08 hides the id
  EXPECT_EQ(LogFilePath(0x52, u"/opt/v1.2/tool"), u"/opt/v1.2/tool.Log");
  const std::u16string stamped = LogFilePath(0x32, u"/usr/bin/player");
  EXPECT_TRUE(
      std::regex_match(platform::ToUtf8(stamped), std::regex(R"(/usr/bin/player_\d{14}\.Log)")))
      << platform::ToUtf8(stamped);
}

// A fresh folder for one test's log files: the logger writes into the temporary folder beside
// the local application-data folder named by XDG_DATA_HOME.
class LoggerFile : public ::testing::Test {
 protected:
  void SetUp() override {
    m_root = fs::temp_directory_path() /
             ("logger-test-" + std::to_string(platform::CurrentProcessId()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_root);
    fs::create_directories(m_root / "Temp");
    setenv("XDG_DATA_HOME", (m_root / "share").c_str(), 1);
    m_previousSink = platform::SetDebugOutputSink(
        [this](std::u16string_view text) { m_debugLines.emplace_back(text); });
  }
  void TearDown() override {
    platform::SetDebugOutputSink(std::move(m_previousSink));
    fs::remove_all(m_root);
  }

  // LOG_IN_TEMP_FOLDER, no stamp, a new file.
  static constexpr std::uint32_t kFlags = 0x51;

  fs::path LogPath() const {
    return fs::path(
        platform::ToUtf8(LogFilePath(NormaliseLoggerFlags(kFlags), platform::ModulePath())));
  }

  std::u16string ReadUtf16File() const {
    std::ifstream file(LogPath(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    std::u16string text;
    for (std::size_t index = 0; index + 1 < bytes.size(); index += 2) {
      text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[index]) |
                                           static_cast<unsigned char>(bytes[index + 1]) << 8));
    }
    return text;
  }

  fs::path m_root;
  std::vector<std::u16string> m_debugLines;
  platform::DebugOutputSink m_previousSink;
};

TEST_F(LoggerFile, WritesPrefixedUtf16LinesWithoutByteOrderMark) {
  {
    Logger logger(kFlags);
    logger.Log(0xA0, u"CoCreateInstance fails with %x in %s", 0x80004005, u"Künstler");
    logger.Log(0xA0, u"ends with its own line feed\n");
    logger.Log(0xA0, u"");
  }
  const std::u16string text = ReadUtf16File();
  ASSERT_FALSE(text.empty());
  EXPECT_NE(text.front(), u'\uFEFF');
  const std::string pid = std::to_string(platform::CurrentProcessId());
  const std::regex line(R"(\d\d:\d\d:\d\d:[ \d]{3}\[)" + pid + R"(\] )");
  const std::string utf8 = platform::ToUtf8(text);
  const std::vector<std::string> expectedTails{
      "CoCreateInstance fails with 80004005 in Künstler\r\n", "ends with its own line feed\n",
      "\r\n"};
  std::size_t offset = 0;
  for (const std::string& tail : expectedTails) {
    std::smatch match;
    const std::string rest = utf8.substr(offset);
    ASSERT_TRUE(std::regex_search(rest, match, line)) << rest;
    ASSERT_EQ(match.position(0), 0) << rest;
    EXPECT_EQ(rest.substr(static_cast<std::size_t>(match.length(0)), tail.size()), tail);
    offset += static_cast<std::size_t>(match.length(0)) + tail.size();
  }
  EXPECT_EQ(offset, utf8.size());
  ASSERT_FALSE(m_debugLines.empty());
  EXPECT_NE(
      m_debugLines.front().find(LogFilePath(NormaliseLoggerFlags(kFlags), platform::ModulePath())),
      std::u16string::npos);
}

TEST_F(LoggerFile, CallsWithoutTheWriteBitTouchNothing) {
  Logger logger(kFlags);
  int messageBoxes = 0;
  auto previous = platform::SetMessageBoxSink(
      [&](std::u16string_view, std::u16string_view) { ++messageBoxes; });
  logger.Log(0x80, u"never written %d", 1);
  logger.Log(0xC0, u"never shown");
  platform::SetMessageBoxSink(std::move(previous));
  EXPECT_FALSE(fs::exists(LogPath()));
  EXPECT_EQ(messageBoxes, 0);
  EXPECT_TRUE(m_debugLines.empty());
}

TEST_F(LoggerFile, CreateAlwaysEmptiesTheOldFileAtFirstWriteAndAppendKeepsIt) {
  {
    std::ofstream old(LogPath());
    old << "old contents";
  }
  Logger logger(kFlags);
  EXPECT_EQ(fs::file_size(LogPath()), 12u);  // construction does not open the file
  logger.Log(0xA0, u"x");
  EXPECT_EQ(ReadUtf16File().find(u"old"), std::u16string::npos);

  NarrowLogger appending(0x49);  // temp folder, append, no stamp
  const fs::path path(platform::ToUtf8(LogFilePath(appending.GetFlags(), platform::ModulePath())));
  const auto before = fs::file_size(path);
  appending.Log(0xA0, "appended %s", "line");
  EXPECT_GT(fs::file_size(path), before);
}

TEST_F(LoggerFile, LongTextsAreCutAtTheBuffer) {
  {
    Logger wide(kFlags);
    wide.Log(0xA0, u"%s", std::u16string(5000, u'w'));
  }
  const std::u16string text = ReadUtf16File();
  EXPECT_EQ(text.size() - text.find(u'w'), 2047u + 2u);
  EXPECT_EQ(text.substr(text.size() - 3), u"w\r\n");

  NarrowLogger narrow(kFlags);
  narrow.Log(0xA0, "%s", std::string(3000, 'n'));
  std::ifstream file(LogPath(), std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes.size() - bytes.find('n'), 1023u + 2u);
}

TEST_F(LoggerFile, ManyThreadsNeverInterleave) {
  constexpr int kThreads = 8;
  constexpr int kLines = 100;
  {
    Logger logger(kFlags | LOG_PREFIX_THREAD_ID);
    std::vector<std::thread> threads;
    for (int thread = 0; thread < kThreads; ++thread) {
      threads.emplace_back([&logger, thread] {
        for (int line = 0; line < kLines; ++line) {
          logger.Log(0xA0, u"thread %d line %d %s", thread, line,
                     std::u16string(200, static_cast<char16_t>(u'a' + thread)));
        }
      });
    }
    for (std::thread& thread : threads) {
      thread.join();
    }
  }
  const std::string text = platform::ToUtf8(ReadUtf16File());
  const std::regex line(
      R"(\d\d:\d\d:\d\d:[ \d]{3}\[\d+\]\[\d+\] thread (\d) line (\d+) ([a-h])\3{199}\r\n)");
  std::set<std::pair<int, int>> seen;
  std::size_t offset = 0;
  std::smatch match;
  std::string rest = text;
  while (std::regex_search(rest, match, line, std::regex_constants::match_continuous)) {
    seen.emplace(std::stoi(match[1]), std::stoi(match[2]));
    offset += static_cast<std::size_t>(match.length(0));
    rest = match.suffix();
  }
  EXPECT_EQ(offset, text.size());
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kLines));
}

TEST_F(LoggerFile, FailedOpenIsRetriedAndReportedEachTime) {
  fs::remove_all(m_root / "Temp");
  Logger logger(kFlags);
  logger.Log(0xA0, u"first");
  logger.Log(0xA0, u"second");
  int failures = 0;
  for (const std::u16string& line : m_debugLines) {
    failures += line.find(u"CreateFile returns error 2") != std::u16string::npos ? 1 : 0;
  }
  EXPECT_EQ(failures, 2);
  fs::create_directories(m_root / "Temp");
  logger.Log(0xA0, u"third");
  EXPECT_NE(ReadUtf16File().find(u"third\r\n"), std::u16string::npos);
}

TEST_F(LoggerFile, MessageBoxCaptionAndText) {
  std::vector<std::pair<std::u16string, std::u16string>> boxes;
  auto previous =
      platform::SetMessageBoxSink([&](std::u16string_view caption, std::u16string_view text) {
        boxes.emplace_back(caption, text);
      });
  Logger logger(kFlags);
  logger.Log(0x60, u"Could not start service");
  platform::SetMessageBoxSink(std::move(previous));
  ASSERT_EQ(boxes.size(), 1u);
  // The test program's name has no '.', so the caption is the logger's own.
  EXPECT_EQ(boxes[0].first, u"Logger");
  EXPECT_EQ(boxes[0].second, u"Could not start service\r\n");
  EXPECT_FALSE(fs::exists(LogPath()));
}

}  // namespace

namespace {

TEST(LoggerObserver, SeesCallsThatAreNeverWritten) {
  Logger logger(0x152);
  std::vector<std::pair<std::uint32_t, std::u16string>> calls;
  logger.SetObserver(
      [&](std::uint32_t flags, std::u16string_view text) { calls.emplace_back(flags, text); });
  logger.Log(0x80, u"CMusicLibrary::OnButtonUp sees CWMPException %s", u"get_count fails");
  logger.SetObserver({});
  logger.Log(0x80, u"after the observer left");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].first, 0x80u);
  EXPECT_EQ(calls[0].second, u"CMusicLibrary::OnButtonUp sees CWMPException get_count fails");
}

}  // namespace
