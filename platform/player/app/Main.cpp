// The player application: one per session, the user's media library shown in its main window's
// tree, its player served to the controls of its session.
//
//   wmplayer [--library <file>] [--newer-names] [--fail <Interface::method>=<hr>]... [-Embedding]
//
// Without --library it loads "MediaPlayer/library.json" in the user's local application-data
// folder (an empty library when there is none). --newer-names gives the tree the newer player's
// names. --fail makes every call of that player method fail with the failure code (a test's
// registration of the application names it). -Embedding is the switch with which activation
// starts it.

#include <filesystem>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/KnownFolders.h"
#include "platform/base/Text.h"
#include "platform/com/Activation.h"
#include "platform/com/Apartment.h"
#include "platform/kernel/Mutex.h"
#include "platform/player/PlayerApplication.h"
#include "platform/player/PlayerApplicationControl.h"
#include "platform/player/app/ApplicationControl.h"
#include "platform/player/app/PlayerWindow.h"
#include "platform/user/Window.h"

namespace {

using namespace platform;
using namespace platform::player;

// Held while the application runs: its session's one instance.
constexpr std::u16string_view kInstanceName = u"Local\\WMPlayerAppInstance";

struct InjectedFailure {
  std::string method;
  HRESULT failure;
};

struct CommandLine {
  std::optional<std::filesystem::path> library;
  bool newerNames = false;
  std::vector<InjectedFailure> failures;
};

// "IWMPPlayer4::get_playState=0x80004005"; nothing unless the code is a failure.
std::optional<InjectedFailure> ParseFailure(std::string_view word) {
  const std::size_t equals = word.find('=');
  if (equals == std::string_view::npos || equals == 0) return std::nullopt;
  const std::string code(word.substr(equals + 1));
  try {
    std::size_t used = 0;
    const auto value = static_cast<HRESULT>(std::stoul(code, &used, 0));
    if (used != code.size() || !FAILED(value)) return std::nullopt;
    return InjectedFailure{std::string(word.substr(0, equals)), value};
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::optional<CommandLine> Parse(const std::vector<std::string_view>& words) {
  CommandLine line;
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (words[i] == "--library" && i + 1 < words.size()) {
      line.library = std::filesystem::path(words[++i]);
    } else if (words[i] == "--newer-names") {
      line.newerNames = true;
    } else if (words[i] == "--fail" && i + 1 < words.size()) {
      const std::optional<InjectedFailure> failure = ParseFailure(words[++i]);
      if (!failure) return std::nullopt;
      line.failures.push_back(*failure);
    } else if (words[i] != "-Embedding" && words[i] != "/Embedding") {
      return std::nullopt;
    }
  }
  return line;
}

// The library the command line names, or the user's; an empty one when the user has none.
Library LoadLibrary(const CommandLine& line) {
  if (line.library) return Library::FromFile(*line.library);
  const std::optional<std::filesystem::path> file = UserLibraryPath();
  return file && std::filesystem::exists(*file) ? Library::FromFile(*file) : Library();
}

// The class object of the session, registered while it lives.
class ClassRegistration {
 public:
  explicit ClassRegistration(IUnknown* classObject) {
    m_result = CoRegisterClassObject(CLSID_PlayerApplication, classObject, CLSCTX_LOCAL_SERVER,
                                     REGCLS_MULTIPLEUSE, &m_cookie);
  }
  ClassRegistration(const ClassRegistration&) = delete;
  ClassRegistration& operator=(const ClassRegistration&) = delete;
  ~ClassRegistration() {
    if (SUCCEEDED(m_result)) CoRevokeClassObject(m_cookie);
  }
  HRESULT Result() const noexcept { return m_result; }

 private:
  HRESULT m_result = E_FAIL;
  DWORD m_cookie = 0;
};

// The apartment of the user-interface thread, left when it ends.
class Apartment {
 public:
  Apartment() : m_result(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  Apartment(const Apartment&) = delete;
  Apartment& operator=(const Apartment&) = delete;
  ~Apartment() {
    if (SUCCEEDED(m_result)) CoUninitialize();
  }
  HRESULT Result() const noexcept { return m_result; }

 private:
  HRESULT m_result;
};

// Incoming calls into the player arrive as messages of this queue too.
int RunLoop() {
  MSG message;
  for (int got; (got = GetMessage(message, 0, 0, 0)) != 0;) {
    if (got < 0) return 1;
    DispatchMessage(message);
  }
  return static_cast<int>(message.wParam);
}

int Run(const CommandLine& line) {
  const HandleResult<Mutex> instance = Mutex::Create(true, kInstanceName);
  if (!instance.handle) {
    std::cerr << "wmplayer: cannot make the instance mutex (error " << instance.error << ")\n";
    return 1;
  }
  if (instance.alreadyExisted) return 0;  // the session's player runs already

  std::optional<Library> library;
  try {
    library = LoadLibrary(line);
  } catch (const LibraryError& error) {
    std::cerr << "wmplayer: " << error.what() << "\n";
    return 1;
  }

  const Apartment apartment;
  if (FAILED(apartment.Result()) || !EnsureMessageQueue()) {
    std::cerr << "wmplayer: the user-interface thread cannot take calls\n";
    return 1;
  }
  const std::shared_ptr<Engine> engine = Engine::Create(std::move(*library));
  for (const InjectedFailure& failure : line.failures) {
    engine->Monitor().Fail(failure.method, failure.failure);
  }
  // Registered before the window shows, so that whoever finds the window finds the player too;
  // calls that come meanwhile wait in the queue for the loop.
  const ComPtr<IUnknown> classObject(
      MakeObject<CPlayerClassObject>(engine->Player(), MakeObject<CApplicationControl>(engine))
          ->Identity());
  const ClassRegistration registration(classObject.get());
  if (FAILED(registration.Result())) {
    std::cerr << "wmplayer: cannot register the player in the session (hr " << std::hex
              << registration.Result() << ")\n";
    return 1;
  }
  const std::unique_ptr<PlayerWindow> window =
      PlayerWindow::Create(engine, line.newerNames ? TreeNames::Newer() : TreeNames{});
  if (!window) {
    std::cerr << "wmplayer: cannot make the main window\n";
    return 1;
  }
  return RunLoop();
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<CommandLine> line =
      Parse(std::vector<std::string_view>(argv + 1, argv + argc));
  if (!line) {
    std::cerr << "usage: wmplayer [--library <file>] [--newer-names] "
                 "[--fail <Interface::method>=<hr>]... [-Embedding]\n";
    return 2;
  }
  return Run(*line);
}
