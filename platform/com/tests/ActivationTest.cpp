// Registration and activation of a local server: the call helper serves kServedCounterClass.

#include "platform/com/Activation.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/Text.h"
#include "platform/com/Registry.h"
#include "platform/com/tests/TestInterfaces.h"
#include "platform/com/tests/TestSessions.h"
#include "platform/kernel/Posix.h"
#include "platform/kernel/Root.h"
#include "platform/kernel/tests/HelperProcess.h"
#include "platform/services/ServiceControl.h"

namespace {

using platform::ComPtr;
using platform::IidOf;
using platform::RegistryHive;

TEST(Registry, ValuesByKeyAndNameWithoutRegardToCase) {
  const std::u16string key = u"CLSID\\{52CA7E0B-F5C4-4290-994F-D028D89DEBAF}\\LocalServer32";
  ASSERT_TRUE(platform::RegistrySetValue(RegistryHive::ClassesRoot, key, u"", u"\"/a b/c\" -x"));
  ASSERT_TRUE(platform::RegistrySetValue(RegistryHive::ClassesRoot, key, u"Line", u"1\n\t2\\"));
  ASSERT_TRUE(platform::RegistrySetValue(RegistryHive::ClassesRoot, key, u"line", u"3"));
  EXPECT_EQ(platform::RegistryGetValue(
                RegistryHive::ClassesRoot,
                u"clsid\\{52ca7e0b-f5c4-4290-994f-d028d89debaf}\\localserver32", u""),
            u"\"/a b/c\" -x");
  EXPECT_EQ(platform::RegistryGetValue(RegistryHive::ClassesRoot, key, u"LINE"), u"3");
  EXPECT_EQ(platform::RegistryGetValue(RegistryHive::LocalMachine, key, u""), std::nullopt);
  EXPECT_EQ(platform::RegistryGetValue(RegistryHive::ClassesRoot, key, u"RunAs"), std::nullopt);

  ASSERT_TRUE(platform::RegistrySetValue(RegistryHive::ClassesRoot, u"Multi", u"v", u"1\n\t2\\"));
  EXPECT_EQ(platform::RegistryGetValue(RegistryHive::ClassesRoot, u"Multi", u"v"), u"1\n\t2\\");
  for (const std::u16string_view bad : {u"", u"a\\\\b", u"..\\x", u"a\\..", u".hidden", u"a/b"}) {
    EXPECT_FALSE(platform::RegistrySetValue(RegistryHive::ClassesRoot, bad, u"", u"x"));
  }
  EXPECT_TRUE(platform::RegistryDeleteKey(RegistryHive::ClassesRoot, u"CLSID"));
  EXPECT_EQ(platform::RegistryGetValue(RegistryHive::ClassesRoot, key, u""), std::nullopt);
  EXPECT_FALSE(platform::RegistryDeleteKey(RegistryHive::ClassesRoot, u"CLSID"));
  // Nothing of a write is left beside the key.
  for (const auto& entry :
       std::filesystem::recursive_directory_iterator(platform::PlatformRoot() / "registry")) {
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos);
  }
}

TEST(SessionMoniker, ParsesTheSessionAndTheClass) {
  const ComPtr<IBindCtx> context = [] {
    ComPtr<IBindCtx> made;
    EXPECT_EQ(CreateBindCtx(0, made.put()), S_OK);
    return made;
  }();
  ULONG eaten = 0;
  ComPtr<IMoniker> moniker;
  for (const char16_t* good : {u"Session:3!clsid:52CA7E0B-F5C4-4290-994F-D028D89DEBAF",
                               u"session:12!CLSID:{52ca7e0b-f5c4-4290-994f-d028d89debaf}"}) {
    EXPECT_EQ(MkParseDisplayNameEx(context.get(), good, &eaten, moniker.put()), S_OK);
    EXPECT_EQ(eaten, std::u16string_view(good).size());
    EXPECT_NE(moniker, nullptr);
  }
  for (const auto& [bad, read] :
       {std::pair{u"Sessio:3!clsid:52CA7E0B-F5C4-4290-994F-D028D89DEBAF", 0u},
        std::pair{u"Session:!clsid:52CA7E0B-F5C4-4290-994F-D028D89DEBAF", 8u},
        std::pair{u"Session:99999999999!clsid:52CA7E0B-F5C4-4290-994F-D028D89DEBAF", 18u},
        std::pair{u"Session:3?clsid:52CA7E0B-F5C4-4290-994F-D028D89DEBAF", 9u},
        std::pair{u"Session:3!clsid:52CA7E0B-F5C4-4290-994F", 16u}}) {
    EXPECT_EQ(MkParseDisplayNameEx(context.get(), bad, &eaten, moniker.put()), MK_E_SYNTAX);
    EXPECT_EQ(eaten, read) << std::u16string_view(bad).size();
    EXPECT_EQ(moniker, nullptr);
  }
}

std::u16string HelperCommand(int delayMs) {
  std::u16string command(1, u'"');
  command += platform::FromUtf8(PLATFORM_COM_CALL_HELPER);
  command += u"\" ";
  command += platform::FromUtf8(std::to_string(delayMs));
  return command;
}

// Waits for a process that is not this one's child to end; false after the limit.
bool WaitForExit(pid_t pid) {
  const platform::detail::UniqueFd handle(static_cast<int>(syscall(SYS_pidfd_open, pid, 0)));
  if (!handle) return true;  // already gone
  pollfd watch{handle.Get(), POLLIN, 0};
  return poll(&watch, 1, 20000) == 1;
}

// The server process behind a counter of the served class.
pid_t ServerOf(ICounter* counter) {
  ComPtr<INamed> named;
  EXPECT_EQ(counter->QueryInterface(IidOf<INamed>, named.put_void()), S_OK);
  UniqueBstr name;
  EXPECT_EQ(named->get_name(name.out()), S_OK);
  return static_cast<pid_t>(
      std::stol(platform::ToUtf8(std::u16string_view(name.get(), SysStringLen(name.get())))));
}

// Binds the served class in `session` until the server has registered; how many answers said
// it was still starting.
int BindUntilReady(std::uint32_t session, ComPtr<IClassFactory>& factory,
                   REFCLSID clsid = kServedCounterClass) {
  ComPtr<IBindCtx> context;
  CreateBindCtx(0, context.put());
  ComPtr<IMoniker> moniker;
  ULONG eaten = 0;
  const std::u16string name = u"Session:" + platform::FromUtf8(std::to_string(session)) +
                              u"!clsid:" + platform::FormatGuid(clsid);
  EXPECT_EQ(MkParseDisplayNameEx(context.get(), name.c_str(), &eaten, moniker.put()), S_OK);
  int starting = 0;
  for (int attempt = 0; attempt < 500; ++attempt) {
    const HRESULT hr =
        moniker->BindToObject(context.get(), nullptr, IidOf<IClassFactory>, factory.put_void());
    if (hr != kServerStarting) {
      EXPECT_EQ(hr, S_OK);
      return starting;
    }
    ++starting;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ADD_FAILURE() << "the server never registered";
  return starting;
}

class Activation : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(kTestCallsRegistered);
    ASSERT_TRUE(platform::RegisterLocalServer(kServedCounterClass, HelperCommand(300),
                                              u"Test.ServedCounter", kServedCounterClass));
  }
  // A server the test started ends with it, whatever the test's outcome.
  void TearDown() override {
    for (const pid_t pid : m_servers) {
      if (!WaitForExit(pid)) kill(pid, SIGKILL);
    }
  }
  std::vector<pid_t> m_servers;
};

TEST_F(Activation, ABindStartsTheServerInItsSessionAndTheServerEndsWithItsLastObject) {
  ComPtr<IClassFactory> factory;
  EXPECT_GT(BindUntilReady(7, factory), 0);
  ComPtr<ICounter> counter;
  ASSERT_EQ(factory->CreateInstance(nullptr, IidOf<ICounter>, counter.put_void()), S_OK);
  const pid_t server = ServerOf(counter.get());
  m_servers.push_back(server);
  std::int32_t total = 0;
  EXPECT_EQ(counter->Increment(2, &total), S_OK);
  // The class object stands in session 7 only.
  ComPtr<IClassFactory> again;
  EXPECT_EQ(
      platform::BindClassObject(7, kServedCounterClass, IidOf<IClassFactory>, again.put_void()),
      S_OK);
  EXPECT_TRUE(std::filesystem::exists(platform::PlatformRoot() / "classes" / "7"));
  factory.Release();
  again.Release();
  counter.Release();
  EXPECT_TRUE(WaitForExit(server));
}

TEST_F(Activation, BindsAtOnceStartOneServerAndLeaveNoOtherBehind) {
  // A server that registers at once, so that binders race its registration.
  ASSERT_TRUE(platform::RegisterLocalServer(kServedCounterClass, HelperCommand(0),
                                            u"Test.ServedCounter", kServedCounterClass));
  std::vector<ComPtr<IClassFactory>> factories(4);
  std::vector<std::thread> binders;
  for (std::size_t i = 1; i < factories.size(); ++i) {
    binders.emplace_back([&, i] { BindUntilReady(8, factories[i]); });
  }
  BindUntilReady(8, factories[0]);
  for (std::thread& binder : binders) binder.join();
  // The counters hold the server while the test compares them.
  std::vector<ComPtr<ICounter>> counters;
  const auto serverOf = [&counters](const ComPtr<IClassFactory>& factory) {
    counters.emplace_back();
    EXPECT_EQ(factory->CreateInstance(nullptr, IidOf<ICounter>, counters.back().put_void()), S_OK);
    return counters.back() ? ServerOf(counters.back().get()) : -1;
  };
  m_servers.push_back(serverOf(factories[0]));
  for (const auto& factory : factories) EXPECT_EQ(serverOf(factory), m_servers.front());
  factories.clear();
  counters.clear();
  ASSERT_TRUE(WaitForExit(m_servers.front()));
  // With the one server gone, nothing of the class is registered: the next bind starts anew.
  ComPtr<IClassFactory> next;
  const HRESULT hr =
      platform::BindClassObject(8, kServedCounterClass, IidOf<IClassFactory>, next.put_void());
  EXPECT_EQ(hr, kServerStarting);
  if (hr == kServerStarting) BindUntilReady(8, next);
  if (next) m_servers.push_back(serverOf(next));
}

TEST_F(Activation, AServerThatCannotStartAndAClassNotRegistered) {
  constexpr CLSID kBroken = platform::GuidLiteral(u"{0D3E1C52-6B7A-4E89-9F01-23456789ABCD}");
  ASSERT_TRUE(
      platform::RegisterLocalServer(kBroken, u"/nonexistent/server", u"Test.Broken", kBroken));
  ComPtr<IClassFactory> factory;
  // The bind's retry loop compares this word.
  EXPECT_EQ(static_cast<std::uint32_t>(CO_E_SERVER_EXEC_FAILURE), 0x8000401Au);
  EXPECT_EQ(platform::BindClassObject(9, kBroken, IidOf<IClassFactory>, factory.put_void()),
            CO_E_SERVER_EXEC_FAILURE);
  EXPECT_EQ(platform::BindClassObject(9, kBroken, IidOf<IClassFactory>, factory.put_void()),
            CO_E_SERVER_EXEC_FAILURE);
  constexpr CLSID kUnknown = platform::GuidLiteral(u"{1D3E1C52-6B7A-4E89-9F01-23456789ABCD}");
  EXPECT_EQ(platform::BindClassObject(9, kUnknown, IidOf<IClassFactory>, factory.put_void()),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(factory, nullptr);
}

TEST_F(Activation, CreateInstanceStartsALocalServerInTheCallersSession) {
  ComPtr<ICounter> counter;
  ASSERT_EQ(CoCreateInstance(kServedCounterClass, nullptr, CLSCTX_LOCAL_SERVER, IidOf<ICounter>,
                             counter.put_void()),
            S_OK);
  m_servers.push_back(ServerOf(counter.get()));
  std::int32_t total = 0;
  EXPECT_EQ(counter->Increment(1, &total), S_OK);
  EXPECT_EQ(total, 1);
}

TEST_F(Activation, AStaleStartingMarkerHoldsNoBindBack) {
  // What a binder or a server killed while starting leaves: a marker naming a process that has
  // gone, or (from a torn write) naming none.
  const pid_t gone = fork();
  if (gone == 0) _exit(0);
  waitpid(gone, nullptr, 0);
  const auto marker = platform::PlatformRoot() / "classes" / "11" /
                      (platform::ToUtf8(platform::FormatGuid(kServedCounterClass)) + ".starting");
  for (const std::string& stale : {std::to_string(gone), std::string(), std::string("12ab")}) {
    std::filesystem::create_directories(marker.parent_path());
    ASSERT_TRUE(platform::ReplaceFileAtomically(marker.string(), stale));
    ComPtr<IClassFactory> factory;
    EXPECT_GT(BindUntilReady(11, factory), 0) << stale;
    ComPtr<ICounter> counter;
    ASSERT_EQ(factory->CreateInstance(nullptr, IidOf<ICounter>, counter.put_void()), S_OK);
    const pid_t server = ServerOf(counter.get());
    m_servers.push_back(server);
    // The next round's bind must not find this round's server on its way out.
    counter = nullptr;
    factory = nullptr;
    ASSERT_TRUE(WaitForExit(server)) << stale;
  }
}

TEST_F(Activation, CreateInstanceFailsOnceTheStartedServerEndsWithoutRegistering) {
  ASSERT_TRUE(platform::RegisterLocalServer(kServedCounterClass, HelperCommand(-1),
                                            u"Test.ServedCounter", kServedCounterClass));
  ComPtr<ICounter> counter;
  EXPECT_EQ(CoCreateInstance(kServedCounterClass, nullptr, CLSCTX_LOCAL_SERVER, IidOf<ICounter>,
                             counter.put_void()),
            CO_E_SERVER_EXEC_FAILURE);
  EXPECT_EQ(counter, nullptr);
}

constexpr GUID kInteractiveAppId = platform::GuidLiteral(u"{5D763E8C-0000-4E80-8A69-E27BC0E59E4C}");

TEST_F(Activation, AnInteractiveUserServerRunsAsTheSessionsUserWhenItIsAnAccountHere) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to start a server as another user";
  // The other user's server reaches the root's folders and the kernel's table.
  chmod(platform::PlatformRoot().c_str(), 0755);
  TestSessions sessions;
  ASSERT_TRUE(sessions.Running());
  ASSERT_TRUE(platform::RegisterLocalServer(kServedCounterClass, HelperCommand(0),
                                            u"Test.ServedCounter", kInteractiveAppId));
  platform::RegistryKey appId;
  ASSERT_EQ(appId.Create(HKEY_LOCAL_MACHINE,
                         u"SOFTWARE\\Classes\\AppID\\" + platform::FormatGuid(kInteractiveAppId),
                         KEY_WRITE),
            ERROR_SUCCESS);
  ASSERT_EQ(appId.SetStringValue(u"RunAs", u"Interactive User"), ERROR_SUCCESS);
  // A user who is no account of this machine: the server runs as the caller.
  for (const auto& [user, uid] :
       {std::pair{"nobody", uid_t{65534}}, std::pair{"no-such-account-here", geteuid()}}) {
    const auto session = sessions.Logon(user);
    ASSERT_TRUE(session);
    ComPtr<IClassFactory> factory;
    BindUntilReady(*session, factory);
    ASSERT_NE(factory, nullptr) << user;
    ComPtr<ICounter> counter;
    ASSERT_EQ(factory->CreateInstance(nullptr, IidOf<ICounter>, counter.put_void()), S_OK);
    const pid_t server = ServerOf(counter.get());
    m_servers.push_back(server);
    struct stat process {};
    ASSERT_EQ(stat(("/proc/" + std::to_string(server)).c_str(), &process), 0);
    EXPECT_EQ(process.st_uid, uid) << user;
  }
}

// A service manager of the test's root in a process of its own, with the call helper installed
// as the service "TestComService" that serves kServiceCounterClass.
class ServiceActivation : public Activation {
 protected:
  void SetUp() override {
    Activation::SetUp();
    m_manager = std::make_unique<platform::testing::HelperProcess>(SERVICE_MANAGER_PROBE,
                                                                   std::vector<std::string>{});
    ASSERT_EQ(m_manager->Answer(), "ready");
    auto manager = platform::OpenSCManager({}, u"ServicesActive", platform::SC_MANAGER_ALL_ACCESS);
    ASSERT_EQ(manager.error, ERROR_SUCCESS);
    m_scm = std::move(manager.handle);
    platform::ServiceConfig config;
    config.serviceName = u"TestComService";
    config.displayName = u"Test component service";
    config.binaryPathName = u"\"" + platform::FromUtf8(PLATFORM_COM_CALL_HELPER) + u"\" service";
    ASSERT_EQ(platform::CreateService(m_scm, config, platform::SERVICE_ALL_ACCESS).error,
              ERROR_SUCCESS);
  }
  void TearDown() override {
    if (m_scm) {
      // The next test of this process finds a root without the test's service.
      const auto installed =
          platform::OpenService(m_scm, u"TestComService", platform::SERVICE_ALL_ACCESS);
      EXPECT_EQ(platform::DeleteService(installed.handle), ERROR_SUCCESS);
      EXPECT_EQ(platform::ShutdownServiceManager(m_scm), ERROR_SUCCESS);
      EXPECT_EQ(m_manager->Answer(), "no answer");
    }
    Activation::TearDown();
  }
  static void RegisterServiceClass(std::u16string_view service) {
    const std::u16string appId = platform::FormatGuid(kServiceAppId);
    ASSERT_TRUE(platform::RegistrySetValue(HKEY_CLASSES_ROOT,
                                           u"CLSID\\" + platform::FormatGuid(kServiceCounterClass),
                                           u"AppID", appId));
    ASSERT_TRUE(platform::RegistrySetValue(HKEY_CLASSES_ROOT, u"AppID\\" + appId, u"LocalService",
                                           service));
  }

  static constexpr GUID kServiceAppId =
      platform::GuidLiteral(u"{1800BF5D-0000-4272-BCD9-12246FA968FE}");
  std::unique_ptr<platform::testing::HelperProcess> m_manager;
  platform::ScHandle m_scm;
};

TEST_F(ServiceActivation, AServiceClassIsStartedThroughTheServiceManagerForEverySession) {
  RegisterServiceClass(u"TestComService");
  ComPtr<IClassFactory> fromSession;
  EXPECT_GT(BindUntilReady(4, fromSession, kServiceCounterClass), 0);
  ASSERT_NE(fromSession, nullptr);
  ComPtr<ICounter> counter;
  ASSERT_EQ(fromSession->CreateInstance(nullptr, IidOf<ICounter>, counter.put_void()), S_OK);
  const pid_t service = ServerOf(counter.get());
  // The one service serves the callers of every session.
  ComPtr<ICounter> created;
  ASSERT_EQ(CoCreateInstance(kServiceCounterClass, nullptr, CLSCTX_LOCAL_SERVER, IidOf<ICounter>,
                             created.put_void()),
            S_OK);
  EXPECT_EQ(ServerOf(created.get()), service);
  const auto opened =
      platform::OpenService(m_scm, u"TestComService", platform::SERVICE_QUERY_STATUS);
  platform::SERVICE_STATUS status;
  ASSERT_EQ(platform::QueryServiceStatus(opened.handle, status), ERROR_SUCCESS);
  EXPECT_EQ(status.dwCurrentState, platform::SERVICE_RUNNING);
}

TEST_F(ServiceActivation, AServiceThatIsNotInstalledCannotStart) {
  RegisterServiceClass(u"NoSuchService");
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(
      platform::BindClassObject(4, kServiceCounterClass, IidOf<IClassFactory>, factory.put_void()),
      CO_E_SERVER_EXEC_FAILURE);
}

}  // namespace
