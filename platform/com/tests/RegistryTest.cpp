// The registry's keys and values, and registration scripts applied and removed.

#include "platform/com/Registry.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <string>
#include <thread>

#include "platform/base/Text.h"
#include "platform/com/RegistryScript.h"
#include "platform/kernel/Posix.h"
#include "platform/kernel/Root.h"

namespace {

using platform::KeyLifetime;
using platform::RegistryKey;
using platform::RegistryScript;
using platform::ScriptKey;
using platform::ScriptValue;

constexpr GUID kAppId = platform::GuidLiteral(u"{5D763E8C-539E-4E80-8A69-E27BC0E59E4C}");
constexpr CLSID kClass = platform::GuidLiteral(u"{52CA7E0B-F5C4-4290-994F-D028D89DEBAF}");
constexpr GUID kTypeLib = platform::GuidLiteral(u"{36EA6C0F-53DF-4CEF-A766-C7FB9592DD2C}");
constexpr CLSID kOtherClass = platform::GuidLiteral(u"{C9BB4D75-ABB1-4EC6-BD32-DA93E4EE47E7}");

std::u16string Text(platform::RegistryHive hive, std::u16string_view key,
                    std::u16string_view name) {
  return platform::RegistryGetValue(hive, key, name).value_or(u"<none>");
}

bool KeyExists(platform::RegistryHive hive, std::u16string_view key) {
  RegistryKey opened;
  return opened.Open(hive, key, KEY_READ) == ERROR_SUCCESS;
}

TEST(RegistryKey, ValuesOfBothKindsAndTheErrorsOfEachCall) {
  RegistryKey key;
  EXPECT_EQ(key.Open(HKEY_CLASSES_ROOT, u"AppID\\{X}", KEY_READ), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(key.Create(HKEY_CLASSES_ROOT, u"AppID\\{X}", KEY_WRITE | KEY_READ), ERROR_SUCCESS);
  EXPECT_EQ(key.SetDWORDValue(u"AuthenticationLevel", 1), ERROR_SUCCESS);
  EXPECT_EQ(key.SetStringValue(u"RunAs", u"Interactive User"), ERROR_SUCCESS);
  EXPECT_EQ(key.SetStringValue(u"", u"Ruvello"), ERROR_SUCCESS);

  // The local machine's "SOFTWARE\Classes" is the classes root.
  RegistryKey machine;
  ASSERT_EQ(machine.Open(HKEY_LOCAL_MACHINE, u"software\\CLASSES\\appid\\{x}", KEY_READ),
            ERROR_SUCCESS);
  DWORD level = 0;
  std::u16string text;
  EXPECT_EQ(machine.QueryDWORDValue(u"authenticationlevel", level), ERROR_SUCCESS);
  EXPECT_EQ(level, 1u);
  EXPECT_EQ(machine.QueryStringValue(u"RUNAS", text), ERROR_SUCCESS);
  EXPECT_EQ(text, u"Interactive User");
  EXPECT_EQ(machine.QueryStringValue(u"", text), ERROR_SUCCESS);
  EXPECT_EQ(text, u"Ruvello");

  RegistryKey writeOnly;
  ASSERT_EQ(writeOnly.Open(HKEY_CLASSES_ROOT, u"AppID\\{X}", KEY_WRITE), ERROR_SUCCESS);
  struct Case {
    const char* what;
    LONG result;
    LONG expected;
  };
  const Case cases[] = {
      {"a text read as a DWORD", machine.QueryDWORDValue(u"RunAs", level), ERROR_INVALID_DATA},
      {"a DWORD read as a text", machine.QueryStringValue(u"AuthenticationLevel", text),
       ERROR_INVALID_DATA},
      {"a value that is not there", machine.QueryStringValue(u"LocalService", text),
       ERROR_FILE_NOT_FOUND},
      {"a write through a key opened to read", machine.SetStringValue(u"RunAs", u"x"),
       ERROR_ACCESS_DENIED},
      {"a read through a key opened to write", writeOnly.QueryStringValue(u"RunAs", text),
       ERROR_ACCESS_DENIED},
      {"a value deleted twice", (key.DeleteValue(u"RunAs"), key.DeleteValue(u"runas")),
       ERROR_FILE_NOT_FOUND},
      {"a key that was never opened", RegistryKey{}.SetDWORDValue(u"x", 1), ERROR_INVALID_HANDLE},
      {"an empty part", key.Create(HKEY_CLASSES_ROOT, u"AppID\\\\x"), ERROR_INVALID_NAME},
      {"a part that leaves the hive", key.Open(HKEY_CLASSES_ROOT, u"AppID\\..\\..\\x"),
       ERROR_INVALID_NAME},
      {"a part with a slash", key.Create(HKEY_LOCAL_MACHINE, u"a/b"), ERROR_INVALID_NAME},
  };
  for (const Case& each : cases) EXPECT_EQ(each.result, each.expected) << each.what;
  EXPECT_FALSE(key.IsOpen());

  // A key deleted while it is open.
  RegistryKey classes;
  ASSERT_EQ(classes.Open(HKEY_CLASSES_ROOT, u"AppID"), ERROR_SUCCESS);
  EXPECT_EQ(classes.RecurseDeleteKey(u"{X}"), ERROR_SUCCESS);
  EXPECT_EQ(classes.RecurseDeleteKey(u"{X}"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(machine.QueryDWORDValue(u"AuthenticationLevel", level), ERROR_KEY_DELETED);
  RegistryKey written;
  ASSERT_EQ(written.Create(HKEY_CLASSES_ROOT, u"AppID\\{Y}"), ERROR_SUCCESS);
  ASSERT_EQ(classes.RecurseDeleteKey(u"{y}"), ERROR_SUCCESS);
  EXPECT_EQ(written.SetStringValue(u"RunAs", u"x"), ERROR_KEY_DELETED);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, u"AppID\\{Y}"));
}

// Runs `body` in a child process under uid and gid 65534; its answers come back through a pipe.
template <std::size_t N, class Body>
std::array<LONG, N> AsAnotherUser(Body body) {
  std::array<LONG, N> answers{};
  int channel[2];
  if (pipe(channel) != 0) return answers;
  const platform::detail::UniqueFd reading(channel[0]);
  platform::detail::UniqueFd writing(channel[1]);
  const pid_t child = fork();
  if (child == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(1);
    const std::array<LONG, N> results = body();
    _exit(write(channel[1], results.data(), sizeof results) == sizeof results ? 0 : 1);
  }
  writing.Reset();
  EXPECT_EQ(read(reading.Get(), answers.data(), sizeof answers),
            static_cast<ssize_t>(sizeof answers));
  int status = 0;
  waitpid(child, &status, 0);
  return answers;
}

TEST(RegistryKey, AnotherUserReadsTheMachinesKeysAndCannotChangeThem) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run a process under another user";
  chmod(platform::PlatformRoot().c_str(), 0755);
  ASSERT_TRUE(platform::RegistrySetValue(HKEY_CLASSES_ROOT, u"AppID\\{Z}", u"RunAs", u"Me"));
  const auto answers = AsAnotherUser<5>([] {
    RegistryKey key;
    std::u16string text;
    return std::array<LONG, 5>{
        key.Open(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\AppID\\{Z}", KEY_WRITE),
        key.Open(HKEY_CLASSES_ROOT, u"AppID\\{Z}", KEY_READ),
        key.QueryStringValue(u"RunAs", text),
        key.Create(HKEY_CLASSES_ROOT, u"AppID\\{Z}\\Sub"),
        RegistryKey{}.Create(HKEY_CLASSES_ROOT, u"CLSID\\{Z}"),
    };
  });
  EXPECT_EQ(answers, (std::array<LONG, 5>{ERROR_ACCESS_DENIED, ERROR_SUCCESS, ERROR_SUCCESS,
                                          ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED}));
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, u"AppID\\{Z}", u"RunAs"), u"Me");
}

TEST(RegistryKey, ReadersAndAWriterKilledMidWriteSeeOnlyWholeKeys) {
  const std::u16string bigA(20000, u'a');
  const std::u16string bigB(20000, u'b');
  ASSERT_TRUE(platform::RegistrySetValue(HKEY_CLASSES_ROOT, u"Big", u"Kept", u"kept"));
  ASSERT_TRUE(platform::RegistrySetValue(HKEY_CLASSES_ROOT, u"Big", u"Payload", bigA));
  const auto whole = [&] {
    const std::u16string payload = Text(HKEY_CLASSES_ROOT, u"Big", u"Payload");
    return (payload == bigA || payload == bigB) &&
           Text(HKEY_CLASSES_ROOT, u"Big", u"Kept") == u"kept";
  };
  for (int round = 0; round < 4; ++round) {
    const pid_t writer = fork();
    if (writer == 0) {
      RegistryKey key;
      if (key.Open(HKEY_CLASSES_ROOT, u"Big") != ERROR_SUCCESS) _exit(1);
      for (int i = 0;; ++i) key.SetStringValue(u"Payload", i % 2 == 0 ? bigB : bigA);
    }
    int torn = 0;
    const auto until =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(100 + 50 * round);
    while (std::chrono::steady_clock::now() < until) torn += whole() ? 0 : 1;
    kill(writer, SIGKILL);
    waitpid(writer, nullptr, 0);
    EXPECT_EQ(torn, 0);
    EXPECT_TRUE(whole());
  }
  // A later writer is not held up by what a killed one left.
  EXPECT_TRUE(platform::RegistrySetValue(HKEY_CLASSES_ROOT, u"Big", u"Payload", u"small"));
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, u"Big", u"Payload"), u"small");
}

// The server's two scripts: its application id and its class.
RegistryScript ServerScript() {
  RegistryScript script = platform::ApplicationIdScript(u"Ruvello", u"Ruvello.EXE");
  const RegistryScript server = platform::LocalServerClassScript(
      {kClass, u"WMPProxy Class", u"Ruvello.WMPProxy.1", u"Ruvello.WMPProxy", kTypeLib});
  script.keys.insert(script.keys.end(), server.keys.begin(), server.keys.end());
  return script;
}

TEST(RegistryScript, RegisterReadBackAndUnregisterLeavingTheParentKeys) {
  const platform::Replacements replacements{{u"MODULE", u"\"/opt/x y/Ruvello\""},
                                            {u"APPID", platform::FormatGuid(kAppId)}};
  const std::u16string appId = u"AppID\\" + platform::FormatGuid(kAppId);
  const std::u16string classKey = u"CLSID\\" + platform::FormatGuid(kClass);
  // What another class registered stays through all of this.
  ASSERT_TRUE(platform::RegistrySetValue(
      HKEY_CLASSES_ROOT, u"CLSID\\" + platform::FormatGuid(kOtherClass), u"", u"Other"));
  // Left by an earlier registration: the class key is deleted first.
  ASSERT_TRUE(platform::RegistrySetValue(HKEY_CLASSES_ROOT, classKey + u"\\Stale", u"", u"x"));

  ASSERT_EQ(ServerScript().Register(replacements), S_OK);
  struct Expected {
    std::u16string key;
    std::u16string name;
    std::u16string value;
  };
  const Expected written[] = {
      {appId, u"", u"Ruvello"},
      {u"AppID\\Ruvello.EXE", u"AppID", platform::FormatGuid(kAppId)},
      {u"Ruvello.WMPProxy.1", u"", u"WMPProxy Class"},
      {u"Ruvello.WMPProxy.1\\CLSID", u"", platform::FormatGuid(kClass)},
      {u"Ruvello.WMPProxy", u"", u"WMPProxy Class"},
      {u"Ruvello.WMPProxy\\CLSID", u"", platform::FormatGuid(kClass)},
      {u"Ruvello.WMPProxy\\CurVer", u"", u"Ruvello.WMPProxy.1"},
      {classKey, u"", u"WMPProxy Class"},
      {classKey, u"AppID", platform::FormatGuid(kAppId)},
      {classKey + u"\\ProgID", u"", u"Ruvello.WMPProxy.1"},
      {classKey + u"\\VersionIndependentProgID", u"", u"Ruvello.WMPProxy"},
      {classKey + u"\\LocalServer32", u"", u"\"/opt/x y/Ruvello\""},
      {classKey + u"\\TypeLib", u"", platform::FormatGuid(kTypeLib)},
  };
  for (const Expected& each : written) {
    EXPECT_EQ(Text(HKEY_CLASSES_ROOT, each.key, each.name), each.value)
        << platform::ToUtf8(each.key);
  }
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, classKey + u"\\Programmable"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, classKey + u"\\Stale"));

  // What the server's own registration adds to its application id goes with it.
  RegistryKey dcom;
  ASSERT_EQ(dcom.Open(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\" + appId, KEY_WRITE),
            ERROR_SUCCESS);
  ASSERT_EQ(dcom.SetDWORDValue(u"AuthenticationLevel", 1), ERROR_SUCCESS);
  ASSERT_EQ(dcom.SetStringValue(u"RunAs", u"Interactive User"), ERROR_SUCCESS);

  ASSERT_EQ(ServerScript().Unregister(replacements), S_OK);
  for (const std::u16string& gone :
       {appId, std::u16string(u"AppID\\Ruvello.EXE"), classKey,
        std::u16string(u"Ruvello.WMPProxy.1"), std::u16string(u"Ruvello.WMPProxy")}) {
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, gone)) << platform::ToUtf8(gone);
  }
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, u"AppID"));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, u"CLSID"));
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, u"CLSID\\" + platform::FormatGuid(kOtherClass), u""), u"Other");
  // Unregistering what is not registered succeeds.
  EXPECT_EQ(ServerScript().Unregister(replacements), S_OK);
}

TEST(RegistryScript, ValuesOfNeverRemovedKeysAndBadReplacements) {
  const RegistryScript script{
      HKEY_CLASSES_ROOT,
      {ScriptKey{u"Shared",
                 KeyLifetime::NeverRemoved,
                 u"kept",
                 {ScriptValue{u"Ours", u"%NAME%"}, ScriptValue{u"Count", DWORD{7}},
                  ScriptValue{u"Percent", u"100%%"}},
                 {}}}};
  ASSERT_TRUE(platform::RegistrySetValue(HKEY_CLASSES_ROOT, u"Shared", u"Theirs", u"t"));
  ASSERT_EQ(script.Register({{u"NAME", u"n"}}), S_OK);
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, u"Shared", u"Ours"), u"n");
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, u"Shared", u"Percent"), u"100%");
  RegistryKey shared;
  DWORD count = 0;
  ASSERT_EQ(shared.Open(HKEY_CLASSES_ROOT, u"Shared", KEY_READ), ERROR_SUCCESS);
  EXPECT_EQ(shared.QueryDWORDValue(u"Count", count), ERROR_SUCCESS);
  EXPECT_EQ(count, 7u);

  ASSERT_EQ(script.Unregister({{u"NAME", u"n"}}), S_OK);
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, u"Shared", u""), u"kept");
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, u"Shared", u"Theirs"), u"t");
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, u"Shared", u"Ours"), u"<none>");
  EXPECT_EQ(shared.QueryDWORDValue(u"Count", count), ERROR_FILE_NOT_FOUND);

  // A replacement the list does not give writes nothing at all.
  const RegistryScript bad{HKEY_CLASSES_ROOT,
                           {ScriptKey{u"First", KeyLifetime::Removed, u"1", {}, {}},
                            ScriptKey{u"Second", KeyLifetime::Removed, u"%MISSING%", {}, {}}}};
  EXPECT_EQ(bad.Register({}), E_INVALIDARG);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, u"First"));
  const RegistryScript unclosed{HKEY_CLASSES_ROOT,
                                {ScriptKey{u"Third%", KeyLifetime::Removed, u"", {}, {}}}};
  EXPECT_EQ(unclosed.Register({}), E_INVALIDARG);
}

}  // namespace
