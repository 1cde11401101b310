// Programs started through the shell's "open": their show command and words, their first wait
// for input, and the elevation that a manifest asks for.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/base/Text.h"
#include "platform/kernel/Root.h"
#include "platform/user/Shell.h"
#include "platform/user/ShellProcess.h"

namespace {

using namespace std::chrono_literals;

TEST(ShellManifest, OnlyTheAdministratorLevelAsksForElevation) {
  struct Case {
    const char* m_Manifest;
    bool m_bElevated;
  };
  for (const Case& l_Case : {
           Case{R"(<requestedExecutionLevel level="requireAdministrator" uiAccess="false"/>)", true},
           Case{"<requestedExecutionLevel level='requireAdministrator'/>", true},
           Case{R"(<requestedExecutionLevel level="asInvoker"/>)", false},
           Case{R"(<requestedExecutionLevel level="highestAvailable"/>)", false},
           Case{"", false},
       }) {
    EXPECT_EQ(platform::ManifestRequiresAdministrator(l_Case.m_Manifest), l_Case.m_bElevated)
        << l_Case.m_Manifest;
  }
}

// What the probe wrote, once it has.
std::string ProbeReport(const std::filesystem::path& p_Report) {
  const auto l_End = std::chrono::steady_clock::now() + 60s;
  while (std::chrono::steady_clock::now() < l_End) {
    std::ifstream l_In(p_Report);
    std::string l_Line;
    if (std::getline(l_In, l_Line) && !l_Line.empty()) return l_Line;
    std::this_thread::sleep_for(20ms);
  }
  return {};
}

class ShellStart : public ::testing::Test {
 protected:
  void SetUp() override {
    // A folder of each test's own: a probe of the test before may still run.
    m_Folder = platform::PlatformRoot() /
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::create_directories(m_Folder);
    std::filesystem::copy_file(SHELL_STARTED_PROBE, m_Folder / "Probe",
                               std::filesystem::copy_options::overwrite_existing);
  }
  // Opens the probe by its name with ".exe", hidden, with the report's path and a word.
  platform::SHELLEXECUTEINFO Open(const std::string& p_Report) const {
    platform::SHELLEXECUTEINFO l_Info;
    l_Info.fMask = SEE_MASK_NOCLOSEPROCESS;
    l_Info.lpVerb = u"open";
    l_Info.lpFile = platform::FromUtf8((m_Folder / "Probe.exe").string());
    l_Info.lpParameters = platform::FromUtf8(p_Report + " word");
    l_Info.nShow = SW_HIDE;
    return l_Info;
  }
  std::filesystem::path m_Folder;
};

TEST_F(ShellStart, AProgramStartsWithItsShowCommandAndWordsAndTellsWhenItWaitsForInput) {
  const std::filesystem::path l_Report = m_Folder / "report";
  platform::SHELLEXECUTEINFO l_Info = Open(l_Report.string());
  ASSERT_TRUE(platform::ShellExecuteEx(l_Info)) << platform::LastShellError();
  EXPECT_GT(l_Info.hInstApp, 32);
  ASSERT_TRUE(l_Info.hProcess);
  EXPECT_EQ(platform::WaitForInputIdle(l_Info.hProcess, platform::Timeout(60000)), WAIT_OBJECT_0);
  EXPECT_EQ(ProbeReport(l_Report), "show 0 word");
  EXPECT_EQ(platform::WaitForInputIdle({}, platform::Timeout(0)), WAIT_FAILED);
}

TEST_F(ShellStart, AProgramThatAsksForAdministratorRightsStartsElevated) {
  {
    std::ofstream l_Manifest(m_Folder / "Probe.manifest");
    l_Manifest << R"(<requestedExecutionLevel level="requireAdministrator"/>)";
  }
  const std::filesystem::path l_Report = m_Folder / "elevated";
  platform::SHELLEXECUTEINFO l_Info = Open(l_Report.string());
  const bool l_bStarted = platform::ShellExecuteEx(l_Info);
  if (geteuid() != 0 && !l_bStarted) {
    EXPECT_EQ(platform::LastShellError(), ERROR_CANCELLED) << "refused elevation is a cancel";
    return;
  }
  ASSERT_TRUE(l_bStarted);
  EXPECT_EQ(ProbeReport(l_Report), "show 0 word");
  EXPECT_EQ(platform::WaitForInputIdle(l_Info.hProcess, platform::Timeout(60000)), WAIT_OBJECT_0);
}

TEST_F(ShellStart, AnAddressThatIsNoProgramIsRecordedAsOpened) {
  for (const char16_t* l_pFile : {u"https://support.calvora.example/remote", u"/no/such/Program.exe"}) {
    platform::SHELLEXECUTEINFO l_Info;
    l_Info.lpVerb = u"open";
    l_Info.lpFile = l_pFile;
    ASSERT_TRUE(platform::ShellExecuteEx(l_Info));
    EXPECT_FALSE(l_Info.hProcess);
  }
}

}  // namespace
