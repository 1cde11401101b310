// Registration and activation of a local server: the call helper serves kServedCounterClass.

#include "platform/com/Activation.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/base/Text.h"
#include "platform/com/Registry.h"
#include "platform/com/tests/TestInterfaces.h"
#include "platform/kernel/Posix.h"
#include "platform/kernel/Root.h"

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
int BindUntilReady(std::uint32_t session, ComPtr<IClassFactory>& factory) {
  ComPtr<IBindCtx> context;
  CreateBindCtx(0, context.put());
  ComPtr<IMoniker> moniker;
  ULONG eaten = 0;
  const std::u16string name = u"Session:" + platform::FromUtf8(std::to_string(session)) +
                              u"!clsid:" + platform::FormatGuid(kServedCounterClass);
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

TEST_F(Activation, TwoBindsAtOnceStartOneServer) {
  ComPtr<IClassFactory> first;
  ComPtr<IClassFactory> second;
  std::thread other([&] { BindUntilReady(8, second); });
  BindUntilReady(8, first);
  other.join();
  ComPtr<ICounter> one;
  ComPtr<ICounter> two;
  ASSERT_EQ(first->CreateInstance(nullptr, IidOf<ICounter>, one.put_void()), S_OK);
  ASSERT_EQ(second->CreateInstance(nullptr, IidOf<ICounter>, two.put_void()), S_OK);
  m_servers.push_back(ServerOf(one.get()));
  EXPECT_EQ(ServerOf(two.get()), m_servers.front());
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

}  // namespace
