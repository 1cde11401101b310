// The helper process of the component call tests: one command a line on its standard input,
// one answer line for each. It plays the other processes of a test: the one that implements an
// object, the one that passes it on, a client that holds it, a caller of another user.

#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include <iostream>
#include <sstream>
#include <string>

#include "platform/base/Text.h"
#include "platform/com/Activation.h"
#include "platform/com/CallLayer.h"
#include "platform/com/DispatchSink.h"
#include "platform/com/tests/ApartmentThread.h"
#include "platform/com/tests/TestInterfaces.h"
#include "platform/services/ServiceDispatcher.h"

namespace {

using platform::ComPtr;
using platform::IidOf;

std::string Hex(HRESULT hr) {
  std::ostringstream text;
  text << std::hex << static_cast<std::uint32_t>(hr);
  return text.str();
}

// A sink that accepts the events and does nothing with them.
class CQuietSink final : public platform::DispatchSink<CQuietSink, _ITestEvents> {
 public:
  HRESULT OnCounted(std::int32_t, BSTR) { return S_OK; }
  using SinkMap =
      platform::SinkMap<platform::SinkEntry<_ITestEvents::Counted, &CQuietSink::OnCounted>>;
};

// A counter whose calls never return; each call says on standard output that it has begun.
class CStuckCounter final : public platform::ComObject<ICounter> {
 public:
  HRESULT Increment(std::int32_t, std::int32_t*) override {
    std::cout << "entered" << std::endl;
    std::unique_lock lock(m_mutex);
    m_never.wait(lock, [] { return false; });
    return E_UNEXPECTED;
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_never;
};

class Helper {
 public:
  std::string Run(const std::string& line) {
    const std::size_t space = line.find(' ');
    const std::string command = line.substr(0, space);
    const std::string argument = space == std::string::npos ? "" : line.substr(space + 1);
    if (command == "publish-counter")
      return Publish(platform::MakeObject<CCounter>(), IidOf<ICounter>);
    if (command == "publish-holder") {
      m_holder = platform::MakeObject<CKinds>();
      return Publish(m_holder, IidOf<IKinds>);
    }
    if (command == "publish-source") {
      m_source = platform::MakeObject<CTestSource>();
      return Publish(m_source, IidOf<ITestSource>);
    }
    if (command == "publish-stuck-counter")
      return Publish(platform::MakeObject<CStuckCounter>(), IidOf<ICounter>);
    if (command == "fire") {
      const UniqueBstr name(SysAllocString(u"fired"));
      return Hex(m_source->FireCounted(std::stoi(argument), name.get()));
    }
    if (command == "take-counter") {
      return Hex(platform::UnmarshalReference(argument, IidOf<ICounter>, m_counter.put_void()));
    }
    if (command == "take-holder") {
      return Hex(platform::UnmarshalReference(argument, IidOf<IKinds>, m_kinds.put_void()));
    }
    if (command == "keep-counter") {
      // The holder of this process keeps the counter proxy it was handed.
      ComPtr<ICounter> same;
      return Hex(m_holder->Keep(m_counter.get(), same.put()));
    }
    if (command == "increment") {
      std::int32_t total = 0;
      const HRESULT hr = m_counter->Increment(std::stoi(argument), &total);
      return FAILED(hr) ? Hex(hr) : std::to_string(total);
    }
    if (command == "drop") {
      m_counter.Release();
      m_kinds.Release();
      return "dropped";
    }
    if (command == "advise") return Advise(argument, m_sink);
    // The same, with the objects in a single-threaded apartment of their own that pumps.
    if (command == "advise-in-apartment") {
      return InApartment([this, argument] { return Advise(argument, m_apartmentSink); });
    }
    if (command == "publish-holder-in-apartment") {
      return InApartment([this] { return Publish(platform::MakeObject<CKinds>(), IidOf<IKinds>); });
    }
    if (command == "exported") return std::to_string(platform::ExportedObjectCount());
    if (command == "become") {
      return setgid(static_cast<gid_t>(std::stoul(argument))) == 0 &&
                     setuid(static_cast<uid_t>(std::stoul(argument))) == 0
                 ? "became"
                 : "refused";
    }
    return "unknown command";
  }

 private:
  std::string Advise(const std::string& text, ComPtr<CQuietSink>& sink) {
    ComPtr<ITestSource> source;
    if (const HRESULT hr = platform::UnmarshalReference(text, IidOf<ITestSource>, source.put_void());
        FAILED(hr)) {
      return Hex(hr);
    }
    sink = platform::MakeObject<CQuietSink>();
    return Hex(sink->DispEventAdvise(source.get()));
  }

  // Runs `setUp` on a new thread of a single-threaded apartment that pumps from then on.
  std::string InApartment(const std::function<std::string()>& setUp) {
    std::string answer = "cannot enter an apartment";
    m_apartments.push_back(std::make_unique<platform::testing::ApartmentThread>(
        [&answer, &setUp] { answer = setUp(); }, [] {}));
    m_apartments.back()->Pump();
    return answer;
  }

  template <class T>
  std::string Publish(const ComPtr<T>& object, REFIID iid) {
    m_published.push_back(object->Identity());
    std::string text;
    const HRESULT hr = platform::PublishReference(object->Identity(), iid, text);
    return FAILED(hr) ? Hex(hr) : text;
  }

  std::vector<ComPtr<IUnknown>> m_published;
  ComPtr<CKinds> m_holder;
  ComPtr<CTestSource> m_source;
  ComPtr<ICounter> m_counter;
  ComPtr<IKinds> m_kinds;
  ComPtr<CQuietSink> m_sink;
  ComPtr<CQuietSink> m_apartmentSink;
  // Last, so that the apartments' threads end first.
  std::vector<std::unique_ptr<platform::testing::ApartmentThread>> m_apartments;
};

}  // namespace

// Counts for the whole server process, so that a test sees which server its objects live in;
// its name is the server's process id. Each instance holds the server process.
std::atomic<std::int32_t> g_servedTotal{0};
std::mutex g_serverMutex;
std::condition_variable g_serverUnused;
bool g_serverDone = false;

class CServedCounter final : public CCounter {
 public:
  CServedCounter() { CoAddRefServerProcess(); }
  ~CServedCounter() override {
    if (CoReleaseServerProcess() == 0) {
      const std::scoped_lock lock(g_serverMutex);
      g_serverDone = true;
      g_serverUnused.notify_all();
    }
  }
  HRESULT Increment(std::int32_t by, std::int32_t* total) override {
    *total = g_servedTotal.fetch_add(by) + by;
    return S_OK;
  }
  HRESULT get_name(BSTR* name) override {
    *name = SysAllocString(platform::FromUtf8(std::to_string(getpid())).c_str());
    return S_OK;
  }
};

// The local server: registers its class object after `delay` and ends when its last object is
// released.
int Serve(std::chrono::milliseconds delay) {
  // A negative delay: a server that fails before it registers.
  if (delay.count() < 0) return 2;
  std::this_thread::sleep_for(delay);
  const auto factory = platform::MakeObject<platform::ClassFactory<CServedCounter>>();
  DWORD cookie = 0;
  if (FAILED(CoRegisterClassObject(kServedCounterClass, factory->Identity(), CLSCTX_LOCAL_SERVER,
                                   REGCLS_MULTIPLEUSE, &cookie))) {
    return 1;
  }
  std::unique_lock lock(g_serverMutex);
  g_serverUnused.wait(lock, [] { return g_serverDone; });
  CoRevokeClassObject(cookie);
  return 0;
}

// The service: serves kServiceCounterClass from its start until it is stopped.
namespace service {

using namespace platform;

std::atomic<SERVICE_STATUS_HANDLE> g_service;
bool g_serviceStopping = false;

void ReportService(std::uint32_t state, std::uint32_t accepted) {
  SERVICE_STATUS status;
  status.dwCurrentState = state;
  status.dwControlsAccepted = accepted;
  SetServiceStatus(g_service.load(), status);
}

std::uint32_t ServiceHandler(std::uint32_t control, std::uint32_t, void*, void*) {
  if (control == SERVICE_CONTROL_STOP) {
    ReportService(SERVICE_STOP_PENDING, 0);
    const std::scoped_lock lock(g_serverMutex);
    g_serviceStopping = true;
    g_serverUnused.notify_all();
  }
  return 0;
}

void ServiceMain(std::uint32_t, char16_t** arguments) {
  g_service = RegisterServiceCtrlHandlerEx(arguments[0], ServiceHandler, nullptr);
  const auto factory = platform::MakeObject<platform::ClassFactory<CServedCounter>>();
  DWORD cookie = 0;
  if (SUCCEEDED(CoRegisterClassObject(kServiceCounterClass, factory->Identity(),
                                      CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie))) {
    ReportService(SERVICE_RUNNING, SERVICE_ACCEPT_STOP);
    std::unique_lock lock(g_serverMutex);
    g_serverUnused.wait(lock, [] { return g_serviceStopping; });
    CoRevokeClassObject(cookie);
  }
  ReportService(SERVICE_STOPPED, 0);
}

}  // namespace service

int main(int argc, char** argv) {
  static_cast<void>(kTestCallsRegistered && kTestSourceRegistered);
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  if (!arguments.empty() && arguments.back() == "-Embedding") {
    const int delay = arguments.size() == 2 ? std::stoi(arguments[0]) : 0;
    return Serve(std::chrono::milliseconds(delay));
  }
  if (arguments.size() == 1 && arguments[0] == "service") {
    const platform::SERVICE_TABLE_ENTRY table[] = {{u"TestComService", service::ServiceMain}};
    return static_cast<int>(platform::StartServiceCtrlDispatcher(table));
  }
  Helper helper;
  std::string line;
  while (std::getline(std::cin, line)) std::cout << helper.Run(line) << std::endl;
  return 0;
}
