#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "platform/base/Process.h"
#include "platform/com/Registry.h"
#include "platform/kernel/Event.h"
#include "platform/kernel/Wait.h"
#include "server/CommandLine.h"
#include "server/Registration.h"
#include "server/ServerTray.h"
#include "server/WMPProxyInterface.h"

namespace {

using platform::RegistryGetValue;
using platform::RegistryHive;

TEST(ServerCommandLine, WordsAfterADashOrSlashInAnyCase) {
  struct Case {
    std::vector<std::string_view> words;
    ServerRegistration registration;
    bool tray;
    bool stop;
    bool runs;
  };
  const Case kCases[] = {
      {{"-RegServer"}, ServerRegistration::Register, false, false, false},
      {{"/unregserver"}, ServerRegistration::Unregister, false, false, false},
      {{"-UnregServer", "/RegServer"}, ServerRegistration::Unregister, false, false, false},
      {{"-Stop"}, ServerRegistration::None, false, true, false},
      {{"-Tray", "/STOP"}, ServerRegistration::None, true, true, false},
      {{"/tray"}, ServerRegistration::None, true, false, true},
      {{"-Embedding"}, ServerRegistration::None, false, false, true},
      {{"Tray", "RegServer"}, ServerRegistration::None, false, false, true},
      {{"-Trays", "-RegServerX"}, ServerRegistration::None, false, false, true},
  };
  for (const Case& c : kCases) {
    const CServerCommandLine parsed = ParseServerCommandLine(c.words);
    SCOPED_TRACE(testing::Message() << c.words.front());
    EXPECT_EQ(parsed.registration, c.registration);
    EXPECT_EQ(parsed.tray, c.tray);
    EXPECT_EQ(parsed.stop, c.stop);
    EXPECT_EQ(parsed.Runs(), c.runs);
  }
}

TEST(ServerRegistration, RegistersTheClassToStartAsTheSessionsUserAndRemovesIt) {
  const std::u16string classKey = u"CLSID\\" + platform::FormatGuid(CLSID_WMPProxy);
  const std::u16string appId = platform::FormatGuid(APPID_Ruvello);
  ASSERT_TRUE(RegisterServer());
  EXPECT_EQ(RegistryGetValue(RegistryHive::ClassesRoot, classKey + u"\\LocalServer32", u""),
            platform::ModulePath());
  EXPECT_EQ(RegistryGetValue(RegistryHive::ClassesRoot, classKey, u"AppID"), appId);
  EXPECT_EQ(RegistryGetValue(RegistryHive::ClassesRoot, u"Ruvello.WMPProxy\\CurVer", u""),
            u"Ruvello.WMPProxy.1");
  EXPECT_EQ(RegistryGetValue(RegistryHive::ClassesRoot, u"AppID\\Ruvello.EXE", u"AppID"), appId);
  EXPECT_EQ(RegistryGetValue(RegistryHive::LocalMachine,
                             u"SOFTWARE\\Classes\\AppID\\" + appId, u"RunAs"),
            u"Interactive User");

  UnregisterServer();
  EXPECT_FALSE(RegistryGetValue(RegistryHive::ClassesRoot, classKey + u"\\LocalServer32", u""));
  EXPECT_FALSE(RegistryGetValue(RegistryHive::ClassesRoot, u"AppID\\" + appId, u""));
  EXPECT_FALSE(RegistryGetValue(RegistryHive::ClassesRoot, u"Ruvello.WMPProxy.1", u""));
}

TEST(ServerTray, TheProbeLooksAtItsSessionsEventWithoutTakingItsSignal) {
  EXPECT_FALSE(IsLogonInitializationComplete(false));
  const auto unsuffixed = platform::Event::Create(platform::EventReset::Auto, true,
                                                  u"Global\\WTS_LOGON_INITIALIZATION_COMPLETE");
  EXPECT_FALSE(IsLogonInitializationComplete(false)) << "another session's name is not ours";

  const auto ours = platform::Event::Create(platform::EventReset::Auto, true,
                                            u"Global\\WTS_LOGON_INITIALIZATION_COMPLETE0");
  EXPECT_TRUE(IsLogonInitializationComplete(false));
  EXPECT_TRUE(IsLogonInitializationComplete(true));
  EXPECT_EQ(platform::WaitForObject(ours.handle.Ref(), platform::Timeout(0)).status,
            platform::WaitStatus::Signalled)
      << "the tray's signal is still there";
}

TEST(ServerTray, TheTerminateEventIsThatOfItsSession) {
  EXPECT_EQ(ServerTerminateEventName(), u"Global\\WTS_SERVER_TERMINATE0");
}

}  // namespace
