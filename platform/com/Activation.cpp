#include "platform/com/Activation.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/base/Text.h"
#include "platform/com/CallLayer.h"
#include "platform/com/Object.h"
#include "platform/com/Registry.h"
#include "platform/com/RegistryScript.h"
#include "platform/kernel/Posix.h"
#include "platform/kernel/Root.h"
#include "platform/kernel/Session.h"
#include "platform/services/ServiceControl.h"
#include "platform/sessions/ProcessLaunch.h"
#include "platform/sessions/SessionRecords.h"
#include "platform/sessions/Sessions.h"

namespace platform {

namespace {

std::filesystem::path ClassesFolder() { return PlatformRoot() / "classes"; }
std::filesystem::path ClassFolder(std::uint32_t session) {
  return ClassesFolder() / std::to_string(session);
}
std::filesystem::path ObjectFile(std::uint32_t session, REFCLSID clsid) {
  return ClassFolder(session) / (ToUtf8(FormatGuid(clsid)) + ".object");
}
// Stands while a server of the class starts: the id of the process that starts it, then the
// server's.
std::filesystem::path StartingFile(std::uint32_t session, REFCLSID clsid) {
  return ClassFolder(session) / (ToUtf8(FormatGuid(clsid)) + ".starting");
}

// Makes the session's class folder; every user's servers register in a folder of its own
// session, so the folder above is open to all (each keeps to its own files).
void MakeClassFolder(std::uint32_t session) {
  std::error_code ignored;
  if (std::filesystem::create_directories(ClassesFolder(), ignored)) {
    chmod(ClassesFolder().c_str(), 01777);
  }
  std::filesystem::create_directory(ClassFolder(session), ignored);
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream file(path);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

// The process a starting marker names; nothing for a text that names none.
std::optional<pid_t> MarkedProcess(const std::string& text) {
  pid_t pid = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), pid);
  if (error != std::errc{} || end != text.data() + text.size() || pid <= 0) return std::nullopt;
  return pid;
}

bool ProcessAlive(pid_t pid) { return kill(pid, 0) == 0 || errno == EPERM; }

// Creates `path` holding `content` when there is no such file, never showing a half-written one.
bool CreateFileExclusively(const std::filesystem::path& path, std::string_view content) {
  const std::string aside = path.string() + ".new" + std::to_string(getpid());
  if (!ReplaceFileAtomically(aside, content)) return false;
  const bool created = link(aside.c_str(), path.c_str()) == 0;
  unlink(aside.c_str());
  return created;
}

// The program and arguments of a registered command: a quoted or plain program, then words.
std::vector<std::string> CommandWords(const std::string& command) {
  std::vector<std::string> words;
  std::size_t at = command.find_first_not_of(' ');
  if (at != std::string::npos && command[at] == '"') {
    const std::size_t close = command.find('"', at + 1);
    if (close == std::string::npos) return {};
    words.push_back(command.substr(at + 1, close - at - 1));
    at = close + 1;
  }
  std::istringstream rest(at == std::string::npos ? "" : command.substr(at));
  for (std::string word; rest >> word;) words.push_back(word);
  return words;
}

// What the registry says of a class's server.
struct ServerRegistration {
  std::u16string command;  // its "LocalServer32"
  // Its application id's "LocalService": the class lives in that service.
  std::optional<std::u16string> localService;
  // Its application id's "RunAs" = "Interactive User": the server runs as the session's user.
  bool runAsInteractiveUser = false;
};

std::optional<ServerRegistration> ReadRegistration(REFCLSID clsid) {
  const std::u16string classKey = u"CLSID\\" + FormatGuid(clsid);
  ServerRegistration registration;
  if (const auto appId = RegistryGetValue(RegistryHive::ClassesRoot, classKey, u"AppID")) {
    const std::u16string appIdKey = u"AppID\\" + *appId;
    registration.localService =
        RegistryGetValue(RegistryHive::ClassesRoot, appIdKey, u"LocalService");
    registration.runAsInteractiveUser =
        RegistryGetValue(RegistryHive::ClassesRoot, appIdKey, u"RunAs") == u"Interactive User";
  }
  auto command = RegistryGetValue(RegistryHive::ClassesRoot, classKey + u"\\LocalServer32", u"");
  if (!command && !registration.localService) return std::nullopt;
  registration.command = std::move(command).value_or(u"");
  return registration;
}

// The session in which the class's object is registered: a service's is the services' session.
std::uint32_t HomeSession(const std::optional<ServerRegistration>& registration,
                          std::uint32_t session) {
  return registration && registration->localService ? kServicesSession : session;
}

// The account as which a server started in `session` runs: the session's user when the server
// runs as the interactive user and this process may switch to that user (it runs as root and
// the user is an account of this machine). Otherwise the server runs as this process's user.
std::optional<std::string> ServerAccount(const ServerRegistration& registration,
                                         std::uint32_t session) {
  if (!registration.runAsInteractiveUser || geteuid() != 0) return std::nullopt;
  const auto sessions = WTSEnumerateSessions();
  if (!sessions) return std::nullopt;
  const auto found = std::find_if(sessions->begin(), sessions->end(),
                                  [&](const auto& each) { return each.SessionId == session; });
  if (found == sessions->end() || found->UserName.empty()) return std::nullopt;
  std::string user = ToUtf8(found->UserName);
  const auto account = detail::AccountOf(user);
  if (!account) return std::nullopt;
  // The server listens in the layer's socket folder and registers its class object in the
  // session's folder.
  MakeSocketFolder();
  if (chown(ClassFolder(session).c_str(), account->uid, account->gid) != 0) return std::nullopt;
  return user;
}

// Starts the registered command with the embedding switch in `session`, detached from this
// process (so that it is never this process's zombie); its id, or nothing when it could not be
// started.
std::optional<pid_t> StartServer(const ServerRegistration& registration, std::uint32_t session) {
  detail::LaunchSpec spec;
  spec.arguments = CommandWords(ToUtf8(registration.command));
  if (spec.arguments.empty()) return std::nullopt;
  spec.arguments.push_back("-Embedding");
  spec.sessionId = session;
  spec.ownProcessGroup = true;
  spec.detached = true;
  spec.user = ServerAccount(registration, session);
  detail::Launched launched;
  // No server starts into a session that has been logged off.
  if (!detail::StartWhileSessionStands(session,
                                       [&] { launched = detail::LaunchProgram(spec); })) {
    return std::nullopt;
  }
  if (launched.error != ERROR_SUCCESS || launched.pid <= 0) return std::nullopt;
  return launched.pid;
}

// Asks the service manager to start the service that holds the class. The caller needs the
// right to start it (the administrator has it).
HRESULT StartLocalService(std::u16string_view name) {
  const auto manager = OpenSCManager(u"", u"", SC_MANAGER_CONNECT);
  if (manager.error != ERROR_SUCCESS) return CO_E_SERVER_EXEC_FAILURE;
  const auto service = OpenService(manager.handle, name, SERVICE_START);
  if (service.error != ERROR_SUCCESS) return CO_E_SERVER_EXEC_FAILURE;
  const std::uint32_t error = StartService(service.handle);
  return error == ERROR_SUCCESS || error == ERROR_SERVICE_ALREADY_RUNNING
             ? kServerStarting
             : CO_E_SERVER_EXEC_FAILURE;
}

// The class object registered in `session`; REGDB_E_CLASSNOTREG when none is (a registration
// whose server has gone is removed).
HRESULT BindRegistered(std::uint32_t session, REFCLSID clsid, REFIID iid, void** object) {
  const std::filesystem::path objectFile = ObjectFile(session, clsid);
  const std::string text = ReadFile(objectFile);
  if (text.empty()) return REGDB_E_CLASSNOTREG;
  const HRESULT hr = UnmarshalReference(text, iid, object);
  if (hr != RPC_E_DISCONNECTED) return hr;
  std::error_code ignored;
  if (ReadFile(objectFile) == text) std::filesystem::remove(objectFile, ignored);
  return REGDB_E_CLASSNOTREG;
}

// Binds the class object in its home session, starting its server when none is registered.
HRESULT BindOrStart(std::uint32_t session, REFCLSID clsid, REFIID iid, void** object,
                    std::uint32_t& home) {
  *object = nullptr;
  const auto registration = ReadRegistration(clsid);
  home = HomeSession(registration, session);
  if (const HRESULT hr = BindRegistered(home, clsid, iid, object); hr != REGDB_E_CLASSNOTREG) {
    return hr;
  }
  if (!registration) return REGDB_E_CLASSNOTREG;
  // The service manager starts a service once, however many ask.
  if (registration->localService) return StartLocalService(*registration->localService);
  MakeClassFolder(session);
  const std::filesystem::path starting = StartingFile(session, clsid);
  // The first binder to create the marker starts the server; the others wait for it. A marker
  // whose process has gone (or that names none) is stale.
  if (!CreateFileExclusively(starting, std::to_string(getpid()))) {
    const std::string marked = ReadFile(starting);
    const auto pid = MarkedProcess(marked);
    if (pid && ProcessAlive(*pid)) return kServerStarting;
    std::error_code ignored;
    if (ReadFile(starting) == marked) std::filesystem::remove(starting, ignored);
    if (!CreateFileExclusively(starting, std::to_string(getpid()))) return kServerStarting;
  }
  std::error_code ignored;
  // The server that held the marker before may have registered just before it went.
  if (const HRESULT hr = BindRegistered(session, clsid, iid, object); hr != REGDB_E_CLASSNOTREG) {
    std::filesystem::remove(starting, ignored);
    return hr;
  }
  const auto server = StartServer(*registration, session);
  if (!server) {
    std::filesystem::remove(starting, ignored);
    return CO_E_SERVER_EXEC_FAILURE;
  }
  // A server that registered at once has removed the marker already.
  if (std::filesystem::exists(starting, ignored)) {
    ReplaceFileAtomically(starting.string(), std::to_string(*server));
  }
  return kServerStarting;
}

// Wakes a binder waiting for a starting server: something changed among the class objects of
// the session (a server registered, a marker came or went) or the starting server ended. Made,
// used and destroyed by one thread.
class StartWatch {
 public:
  explicit StartWatch(std::uint32_t session)
      : m_session(session), m_changes(inotify_init1(IN_CLOEXEC | IN_NONBLOCK)) {
    MakeClassFolder(session);
    if (m_changes) {
      inotify_add_watch(m_changes.Get(), ClassFolder(session).c_str(),
                        IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_CLOSE_WRITE | IN_MOVED_FROM);
    }
  }
  enum class Outcome { Changed, ServerEnded, TimedOut };
  Outcome Wait(REFCLSID clsid, std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return Outcome::TimedOut;
    const auto pid = MarkedProcess(ReadFile(StartingFile(m_session, clsid)));
    const detail::UniqueFd server(pid ? static_cast<int>(syscall(SYS_pidfd_open, *pid, 0)) : -1);
    if (pid && !server && errno == ESRCH) return Outcome::ServerEnded;
    pollfd watched[2] = {{m_changes.Get(), POLLIN, 0}, {server.Get(), POLLIN, 0}};
    poll(watched, 2, static_cast<int>(left.count()));
    char events[4096];
    while (read(m_changes.Get(), events, sizeof events) > 0) {
    }
    return (watched[1].revents & POLLIN) != 0 ? Outcome::ServerEnded : Outcome::Changed;
  }

 private:
  std::uint32_t m_session;
  detail::UniqueFd m_changes;
};

// The class objects this process registered, by cookie.
class RegisteredClasses {
 public:
  static RegisteredClasses& Instance() {
    static RegisteredClasses classes;
    return classes;
  }
  DWORD Add(std::filesystem::path file, std::string text) {
    const std::scoped_lock lock(m_mutex);
    m_entries.emplace(++m_lastCookie, Entry{std::move(file), std::move(text)});
    return m_lastCookie;
  }
  bool Remove(DWORD cookie, std::filesystem::path& file, std::string& text) {
    const std::scoped_lock lock(m_mutex);
    const auto found = m_entries.find(cookie);
    if (found == m_entries.end()) return false;
    file = std::move(found->second.file);
    text = std::move(found->second.text);
    m_entries.erase(found);
    return true;
  }

 private:
  struct Entry {
    std::filesystem::path file;
    std::string text;
  };
  std::mutex m_mutex;
  std::map<DWORD, Entry> m_entries;
  DWORD m_lastCookie = 0;
};

std::atomic<ULONG> g_serverLocks{0};

class CBindCtx final : public ComObject<IBindCtx> {};

// "Session:<id>!clsid:<guid>": binds to the class object of the class in that session.
class CSessionMoniker final : public ComObject<IMoniker> {
 public:
  CSessionMoniker(std::uint32_t session, const CLSID& clsid) : m_session(session), m_clsid(clsid) {}
  HRESULT BindToObject(IBindCtx* /*context*/, IMoniker* left, REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (left != nullptr) return E_INVALIDARG;
    return BindClassObject(m_session, m_clsid, iid, object);
  }

 private:
  std::uint32_t m_session;
  CLSID m_clsid;
};

bool StartsWithFolded(std::u16string_view text, std::u16string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    const auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c; };
    if (fold(text[i]) != fold(prefix[i])) return false;
  }
  return true;
}

}  // namespace

HRESULT BindClassObject(std::uint32_t session, REFCLSID clsid, REFIID iid, void** object) {
  std::uint32_t home = session;
  return BindOrStart(session, clsid, iid, object, home);
}

bool RegisterLocalServer(REFCLSID clsid, std::u16string_view command, std::u16string_view progId,
                         REFGUID appId) {
  const RegistryScript script =
      LocalServerClassScript({clsid, std::u16string(progId), std::u16string(progId), {}, IID_NULL});
  return SUCCEEDED(
      script.Register({{u"MODULE", std::u16string(command)}, {u"APPID", FormatGuid(appId)}}));
}

}  // namespace platform

HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown* object, DWORD /*context*/, DWORD flags,
                              DWORD* cookie) {
  if (object == nullptr || cookie == nullptr) return E_POINTER;
  *cookie = 0;
  if (flags != REGCLS_MULTIPLEUSE) return E_INVALIDARG;
  std::string text;
  if (const HRESULT hr = platform::PublishReference(object, platform::IidOf<IClassFactory>, text);
      FAILED(hr)) {
    return hr;
  }
  const std::uint32_t session = platform::ProcessSessionId();
  platform::MakeClassFolder(session);
  const std::filesystem::path file = platform::ObjectFile(session, clsid);
  if (!platform::ReplaceFileAtomically(file.string(), text)) {
    platform::RevokeReference(text);
    return E_ACCESSDENIED;
  }
  std::error_code ignored;
  std::filesystem::remove(platform::StartingFile(session, clsid), ignored);
  *cookie = platform::RegisteredClasses::Instance().Add(file, text);
  return S_OK;
}

HRESULT CoRevokeClassObject(DWORD cookie) {
  std::filesystem::path file;
  std::string text;
  if (!platform::RegisteredClasses::Instance().Remove(cookie, file, text)) return E_INVALIDARG;
  // Another server of the class may have registered since: its file stays.
  std::error_code ignored;
  if (platform::ReadFile(file) == text) std::filesystem::remove(file, ignored);
  return platform::RevokeReference(text);
}

ULONG CoAddRefServerProcess() { return platform::g_serverLocks.fetch_add(1) + 1; }
ULONG CoReleaseServerProcess() { return platform::g_serverLocks.fetch_sub(1) - 1; }

HRESULT CreateBindCtx(DWORD /*reserved*/, IBindCtx** context) {
  if (context == nullptr) return E_POINTER;
  *context = platform::MakeObject<platform::CBindCtx>().Detach();
  return S_OK;
}

HRESULT MkParseDisplayNameEx(IBindCtx* /*context*/, const OLECHAR* name, ULONG* eaten,
                             IMoniker** moniker) {
  if (name == nullptr || eaten == nullptr || moniker == nullptr) return E_POINTER;
  *moniker = nullptr;
  *eaten = 0;
  const std::u16string_view text(name, platform::TextLength(name));
  constexpr std::u16string_view kSession = u"Session:";
  constexpr std::u16string_view kClass = u"!clsid:";
  if (!platform::StartsWithFolded(text, kSession)) return MK_E_SYNTAX;
  std::size_t at = kSession.size();
  std::uint64_t session = 0;
  const std::size_t digits = at;
  while (at < text.size() && text[at] >= u'0' && text[at] <= u'9' && session <= 0xFFFFFFFFu) {
    session = session * 10 + static_cast<std::uint64_t>(text[at++] - u'0');
  }
  if (at == digits || session > 0xFFFFFFFFu) {
    *eaten = static_cast<ULONG>(at);
    return MK_E_SYNTAX;
  }
  if (!platform::StartsWithFolded(text.substr(at), kClass)) {
    *eaten = static_cast<ULONG>(at);
    return MK_E_SYNTAX;
  }
  at += kClass.size();
  std::u16string guid(text.substr(at));
  if (!guid.starts_with(u'{')) guid = u"{" + guid + u"}";
  const auto clsid = platform::ParseGuid(guid);
  if (!clsid) {
    *eaten = static_cast<ULONG>(at);
    return MK_E_SYNTAX;
  }
  *eaten = static_cast<ULONG>(text.size());
  *moniker =
      platform::MakeObject<platform::CSessionMoniker>(static_cast<std::uint32_t>(session), *clsid)
          .Detach();
  return S_OK;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid,
                         void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if ((context & CLSCTX_LOCAL_SERVER) == 0) return REGDB_E_CLASSNOTREG;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  platform::ComPtr<IClassFactory> factory;
  const std::uint32_t session = platform::ProcessSessionId();
  std::uint32_t home = session;
  HRESULT hr = platform::BindOrStart(session, clsid, platform::IidOf<IClassFactory>,
                                     factory.put_void(), home);
  if (hr == kServerStarting) {
    // A starting server registers within moments; the caller waits for it, not forever.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    platform::StartWatch watch(home);
    using Outcome = platform::StartWatch::Outcome;
    while ((hr = platform::BindOrStart(session, clsid, platform::IidOf<IClassFactory>,
                                       factory.put_void(), home)) == kServerStarting) {
      const Outcome outcome = watch.Wait(clsid, deadline);
      if (outcome == Outcome::TimedOut) return CO_E_SERVER_EXEC_FAILURE;
      // A server that ended without registering is not started again for this caller.
      if (outcome == Outcome::ServerEnded) {
        hr = platform::BindRegistered(home, clsid, platform::IidOf<IClassFactory>,
                                      factory.put_void());
        if (hr == REGDB_E_CLASSNOTREG) return CO_E_SERVER_EXEC_FAILURE;
        break;
      }
    }
  }
  if (FAILED(hr)) return hr;
  return factory->CreateInstance(nullptr, iid, object);
}
