// The player control in one process: which sites give it an engine of its own, over which
// library, and what a remote mode without an application to reach answers.

#include "platform/player/PlayerControl.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/com/CallInterface.h"
#include "platform/kernel/Root.h"
#include "platform/player/tests/HostedControl.h"
#include "platform/player/tests/PlayerFixture.h"

namespace player_test {
namespace {

using platform::ComPtr;
using platform::MakeObject;

class PlayerControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_data = platform::PlatformRoot() / "data";
    std::filesystem::create_directories(m_data / "MediaPlayer");
    ASSERT_EQ(setenv("XDG_DATA_HOME", m_data.c_str(), 1), 0);
  }
  std::filesystem::path LibraryFile() const { return m_data / "MediaPlayer" / "library.json"; }
  void CopySample() const {
    std::filesystem::copy_file(PLAYER_SAMPLE_LIBRARY, LibraryFile(),
                               std::filesystem::copy_options::overwrite_existing);
  }
  static std::int32_t Albums(IWMPPlayer4* player) {
    ComPtr<IWMPMediaCollection> media;
    ComPtr<IWMPStringCollection> albums;
    std::int32_t count = -1;
    EXPECT_EQ(player->get_mediaCollection(media.put()), S_OK);
    EXPECT_EQ(media->getAttributeStringCollection(B(u"Album").get(), B(u"audio").get(),
                                                  albums.put()),
              S_OK);
    EXPECT_EQ(albums->get_count(&count), S_OK);
    return count;
  }
  static bool IsProxy(IWMPPlayer4* player) {
    ComPtr<platform::IRemoteIdentity> remote;
    return SUCCEEDED(player->QueryInterface(platform::IidOf<platform::IRemoteIdentity>,
                                            remote.put_void()));
  }

  std::filesystem::path m_data;
};

TEST_F(PlayerControlTest, SitesThatAskForNoRemoteModeGetAnEngineOverTheUsersLibrary) {
  CopySample();
  const struct {
    const char* name;
    ComPtr<IUnknown> site;
  } cases[] = {
      {"no services", MakeObject<CPlainSite>()->Identity()},
      {"service type Local", MakeObject<CTestSite>(u"Local")->Identity()},
      {"empty service type", MakeObject<CTestSite>(u"")->Identity()},
      {"service type remote", MakeObject<CTestSite>(u"remote")->Identity()},
      {"service type Remote and more", MakeObject<CTestSite>(u"Remote ")->Identity()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(platform::player::AsksForRemoteMode(c.site.get()));
    HostedControl control;
    ASSERT_EQ(control.Host(c.site.get()), S_OK);
    const ComPtr<IWMPPlayer4> player = control.Player();
    ASSERT_NE(player, nullptr);
    EXPECT_FALSE(IsProxy(player.get()));
    EXPECT_EQ(Albums(player.get()), 8);
  }
  EXPECT_TRUE(platform::player::AsksForRemoteMode(MakeObject<CTestSite>(u"Remote")->Identity()));
}

TEST_F(PlayerControlTest, AUserWithoutALibraryFileHasAnEmptyLibrary) {
  HostedControl control;
  ASSERT_EQ(control.Host(MakeObject<CPlainSite>()->Identity()), S_OK);
  EXPECT_EQ(Albums(control.Player().get()), 0);
}

TEST_F(PlayerControlTest, AnUnreadableLibraryFileHostsNoControlAndStaysAsItWas) {
  const std::string broken = R"({"tracks": [{"Name": "half)";
  std::ofstream(LibraryFile()) << broken;
  HostedControl control;
  EXPECT_EQ(control.Host(MakeObject<CPlainSite>()->Identity()),
            HRESULT_FROM_WIN32(ERROR_FILE_CORRUPT));
  ComPtr<IWMPPlayer4> player;
  std::ifstream file(LibraryFile());
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), broken);
}

TEST_F(PlayerControlTest, TheRemoteModeWithoutARegisteredApplicationFails) {
  CopySample();
  HostedControl control;
  EXPECT_EQ(control.Host(MakeObject<CTestSite>(u"Remote")->Identity()), REGDB_E_CLASSNOTREG);
}

TEST_F(PlayerControlTest, TheControlLetsItsPlayerGoWithItsWindow) {
  CopySample();
  HostedControl control;
  ASSERT_EQ(control.Host(MakeObject<CPlainSite>()->Identity()), S_OK);
  const ComPtr<IWMPPlayer4> player = control.Player();
  ASSERT_NE(player, nullptr);
  const ULONG held = player->AddRef();
  player->Release();
  control.Close();
  const ULONG left = player->AddRef();
  player->Release();
  EXPECT_EQ(left, held - 1);
}

}  // namespace
}  // namespace player_test
