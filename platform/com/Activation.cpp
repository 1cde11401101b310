#include "platform/com/Activation.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/Text.h"
#include "platform/com/CallLayer.h"
#include "platform/com/Object.h"
#include "platform/com/Registry.h"
#include "platform/com/RegistryScript.h"
#include "platform/kernel/Posix.h"
#include "platform/kernel/Root.h"
#include "platform/kernel/Session.h"

extern char** environ;

namespace platform {

namespace {

std::filesystem::path ClassFolder(std::uint32_t session) {
  return PlatformRoot() / "classes" / std::to_string(session);
}
std::filesystem::path ObjectFile(std::uint32_t session, REFCLSID clsid) {
  return ClassFolder(session) / (ToUtf8(FormatGuid(clsid)) + ".object");
}
std::filesystem::path StartingFile(std::uint32_t session, REFCLSID clsid) {
  return ClassFolder(session) / (ToUtf8(FormatGuid(clsid)) + ".starting");
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream file(path);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

bool ProcessAlive(pid_t pid) { return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM); }

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

// Starts `words` with the embedding switch in `session`, detached from this process (so that
// it is never this process's zombie); its id, or -1 when it could not be started.
pid_t StartServer(std::vector<std::string> words, std::uint32_t session) {
  if (words.empty()) return -1;
  words.push_back("-Embedding");
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (std::string_view(*entry).starts_with("PLATFORM_SESSION=")) continue;
    environment.emplace_back(*entry);
  }
  environment.push_back("PLATFORM_SESSION=" + std::to_string(session));
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);

  int channel[2];
  if (pipe2(channel, O_CLOEXEC) != 0) return -1;
  detail::UniqueFd reading(channel[0]);
  detail::UniqueFd writing(channel[1]);
  const pid_t middle = fork();
  if (middle < 0) return -1;
  if (middle == 0) {
    // Only async-signal-safe calls from here on: the parent has other threads.
    setsid();
    const pid_t server = fork();
    if (server == 0) {
      execve(argv[0], argv.data(), envp.data());
      const int error = errno;
      static_cast<void>(write(channel[1], &error, sizeof error));
      _exit(127);
    }
    static_cast<void>(write(channel[1], &server, sizeof server));
    _exit(0);
  }
  writing.Reset();
  waitpid(middle, nullptr, 0);
  pid_t server = -1;
  if (read(reading.Get(), &server, sizeof server) != sizeof server || server <= 0) return -1;
  int error = 0;
  // The exec closes the channel; a failed one writes its error first.
  if (read(reading.Get(), &error, sizeof error) == sizeof error) return -1;
  return server;
}

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
  *object = nullptr;
  const std::filesystem::path objectFile = ObjectFile(session, clsid);
  if (const std::string text = ReadFile(objectFile); !text.empty()) {
    const HRESULT hr = UnmarshalReference(text, iid, object);
    if (hr != RPC_E_DISCONNECTED) return hr;
    // Its server has gone without revoking it.
    if (ReadFile(objectFile) == text) std::filesystem::remove(objectFile);
  }
  const std::filesystem::path starting = StartingFile(session, clsid);
  if (const std::string pid = ReadFile(starting); !pid.empty()) {
    if (ProcessAlive(static_cast<pid_t>(std::stol(pid)))) return kServerStarting;
    std::filesystem::remove(starting);
  }
  const auto command = RegistryGetValue(RegistryHive::ClassesRoot,
                                        u"CLSID\\" + FormatGuid(clsid) + u"\\LocalServer32", u"");
  if (!command) return REGDB_E_CLASSNOTREG;
  std::error_code ignored;
  std::filesystem::create_directories(ClassFolder(session), ignored);
  // The first binder to create the marker starts the server; the others wait for it.
  const detail::UniqueFd marker(
      open(starting.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
  if (!marker) return kServerStarting;
  const pid_t server = StartServer(CommandWords(ToUtf8(*command)), session);
  if (server < 0) {
    std::filesystem::remove(starting);
    return CO_E_SERVER_EXEC_FAILURE;
  }
  const std::string pid = std::to_string(server);
  static_cast<void>(write(marker.Get(), pid.data(), pid.size()));
  return kServerStarting;
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
  std::error_code ignored;
  std::filesystem::create_directories(platform::ClassFolder(session), ignored);
  const std::filesystem::path file = platform::ObjectFile(session, clsid);
  if (!platform::ReplaceFileAtomically(file.string(), text)) {
    platform::RevokeReference(text);
    return E_ACCESSDENIED;
  }
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
  HRESULT hr = E_FAIL;
  // A starting server registers within moments; the caller waits for it, not forever.
  for (int attempt = 0; attempt < 600; ++attempt) {
    hr = platform::BindClassObject(platform::ProcessSessionId(), clsid,
                                   platform::IidOf<IClassFactory>, factory.put_void());
    if (hr != kServerStarting) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (FAILED(hr)) return hr;
  return factory->CreateInstance(nullptr, iid, object);
}
