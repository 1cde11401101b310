// Calls between processes: the test process and helper processes under one fresh root.

#include "platform/com/CallLayer.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "platform/base/Process.h"
#include "platform/com/DispatchSink.h"
#include "platform/com/tests/ApartmentThread.h"
#include "platform/com/tests/TestInterfaces.h"
#include "platform/kernel/Posix.h"
#include "platform/kernel/Root.h"
#include "platform/kernel/tests/Eventually.h"
#include "platform/kernel/tests/HelperProcess.h"
#include "platform/kernel/tests/OpenDescriptors.h"

namespace {

using platform::ComPtr;
using platform::IidOf;
using platform::MakeObject;
using platform::testing::ApartmentThread;
using platform::testing::CThreadNotingCounter;
using platform::testing::HelperProcess;
using platform::testing::Notice;

HelperProcess StartHelper() { return HelperProcess(PLATFORM_COM_CALL_HELPER, {}); }

class CNoticedCounter final : public platform::ComObject<ICounter> {
 public:
  explicit CNoticedCounter(Notice* destroyed) : m_destroyed(destroyed) {}
  ~CNoticedCounter() override {
    if (m_destroyed != nullptr) m_destroyed->Raise();
  }
  HRESULT Increment(std::int32_t by, std::int32_t* total) override {
    *total = m_total.fetch_add(by) + by;
    return S_OK;
  }

 private:
  Notice* m_destroyed;
  std::atomic<std::int32_t> m_total{0};
};

std::string Published(IUnknown* object, REFIID iid) {
  std::string text;
  EXPECT_EQ(platform::PublishReference(object, iid, text), S_OK);
  return text;
}

// A raw connection to the socket on which the calls of a published object come in, as any
// process of the root may open one.
platform::detail::UniqueFd ConnectToCallsOf(const std::string& published) {
  const std::string socketPath =
      (platform::PlatformRoot() / "com" / published.substr(0, published.find(' '))).string();
  platform::detail::UniqueFd raw(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  socketPath.copy(address.sun_path, socketPath.size());
  EXPECT_EQ(connect(raw.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  return raw;
}

TEST(Calls, APassedOnProxyCallsTheImplementingProcessAfterThePasserHasGone) {
  HelperProcess implementer = StartHelper();
  const std::string counter = implementer.Command("publish-counter");
  ComPtr<ICounter> passedOn;
  ComPtr<IKinds> holder;
  {
    HelperProcess passer = StartHelper();
    const std::string holderText = passer.Command("publish-holder");
    ASSERT_EQ(passer.Command("take-counter " + counter), "0");
    ASSERT_EQ(passer.Command("keep-counter"), "0");
    ASSERT_EQ(passer.Command("increment 2"), "2");
    ASSERT_EQ(platform::UnmarshalReference(holderText, IidOf<IKinds>, holder.put_void()), S_OK);
    ASSERT_EQ(holder->Keep(nullptr, passedOn.put()), S_OK);
    ASSERT_NE(passedOn, nullptr);
  }
  // The passer is gone: its own object fails at once, the implementer's still answers.
  ComPtr<ICounter> again;
  EXPECT_EQ(holder->Keep(nullptr, again.put()), RPC_E_DISCONNECTED);
  EXPECT_EQ(again, nullptr);
  std::int32_t total = 0;
  EXPECT_EQ(passedOn->Increment(3, &total), S_OK);
  EXPECT_EQ(total, 5);
}

TEST(Calls, AKilledServerFailsItsCallsAtOnce) {
  HelperProcess server = StartHelper();
  const std::string text = server.Command("publish-counter");
  ComPtr<ICounter> counter;
  ASSERT_EQ(platform::UnmarshalReference(text, IidOf<ICounter>, counter.put_void()), S_OK);
  std::int32_t total = 0;
  ASSERT_EQ(counter->Increment(1, &total), S_OK);
  server.Kill();
  EXPECT_EQ(counter->Increment(1, &total), RPC_E_DISCONNECTED);
  EXPECT_EQ(counter->Increment(1, &total), RPC_E_DISCONNECTED);
  ComPtr<ICounter> late;
  EXPECT_EQ(platform::UnmarshalReference(text, IidOf<ICounter>, late.put_void()),
            RPC_E_DISCONNECTED);
}

TEST(Calls, ObjectsAreReleasedByTheLastProxyAndByAClientThatDies) {
  Notice released;
  Notice killed;
  const std::string releasedText =
      Published(MakeObject<CNoticedCounter>(&released)->Identity(), IidOf<ICounter>);
  const std::string killedText =
      Published(MakeObject<CNoticedCounter>(&killed)->Identity(), IidOf<ICounter>);
  HelperProcess first = StartHelper();
  HelperProcess second = StartHelper();
  ASSERT_EQ(first.Command("take-counter " + releasedText), "0");
  ASSERT_EQ(second.Command("take-counter " + killedText), "0");
  ASSERT_EQ(platform::RevokeReference(releasedText), S_OK);
  ASSERT_EQ(platform::RevokeReference(killedText), S_OK);
  EXPECT_EQ(first.Command("increment 4"), "4");
  EXPECT_FALSE(released.Raised());
  EXPECT_EQ(first.Command("drop"), "dropped");
  EXPECT_TRUE(released.WaitFor());
  EXPECT_FALSE(killed.Raised());
  second.Kill();
  EXPECT_TRUE(killed.WaitFor());
  EXPECT_EQ(platform::ExportedObjectCount(), 0u);
}

// A server serves clients that come and go for as long as it runs: each one's connection must
// close when that client goes, not when the next client comes.
TEST(Calls, AGoneClientsConnectionClosesWithoutWaitingForTheNextClient) {
  const auto counter = MakeObject<CNoticedCounter>(nullptr);
  const std::string text = Published(counter->Identity(), IidOf<ICounter>);
  HelperProcess client = StartHelper();
  const int before = platform::testing::OpenDescriptorCount();
  ASSERT_EQ(client.Command("take-counter " + text), "0");
  EXPECT_EQ(client.Command("increment 1"), "1");
  EXPECT_EQ(client.Command("drop"), "dropped");
  EXPECT_TRUE(platform::testing::Eventually([&] {
    return platform::testing::OpenDescriptorCount() == before;
  })) << platform::testing::OpenDescriptorCount()
      << " descriptors open, " << before << " before the client called";
}

// Counts the events it receives, and calls back into the source while it handles one.
class CCallbackSink final : public platform::DispatchSink<CCallbackSink, _ITestEvents> {
 public:
  HRESULT OnCounted(std::int32_t count, BSTR name) {
    std::int32_t fired = 0;
    const HRESULT hr = source->get_fired(&fired);
    const std::scoped_lock lock(m_mutex);
    m_log.push_back(std::to_string(count) + ":" + std::to_string(SysStringLen(name)) + ":" +
                    std::to_string(fired) + ":" + std::to_string(hr));
    m_threads.push_back(platform::CurrentThreadId());
    return S_OK;
  }
  using SinkMap =
      platform::SinkMap<platform::SinkEntry<_ITestEvents::Counted, &CCallbackSink::OnCounted>>;
  std::vector<std::string> Log() {
    const std::scoped_lock lock(m_mutex);
    return m_log;
  }
  // The thread that handled each event.
  std::vector<std::uint32_t> Threads() {
    const std::scoped_lock lock(m_mutex);
    return m_threads;
  }

  ComPtr<ITestSource> source;

 private:
  std::mutex m_mutex;
  std::vector<std::string> m_log;
  std::vector<std::uint32_t> m_threads;
};

TEST(Calls, AnEventReachesARemoteSinkThatCallsBackDuringIt) {
  HelperProcess server = StartHelper();
  ComPtr<ITestSource> source;
  ASSERT_EQ(platform::UnmarshalReference(server.Command("publish-source"), IidOf<ITestSource>,
                                         source.put_void()),
            S_OK);
  const auto sink = MakeObject<CCallbackSink>();
  sink->source = source;
  ASSERT_EQ(sink->DispEventAdvise(source.get()), S_OK);
  const UniqueBstr name(SysAllocString(u"Album"));
  EXPECT_EQ(source->FireCounted(3, name.get()), S_OK);
  EXPECT_EQ(source->FireCounted(4, name.get()), S_OK);
  EXPECT_EQ(sink->Log(), (std::vector<std::string>{"3:5:1:0", "4:5:2:0"}));
  EXPECT_EQ(sink->DispEventUnadvise(source.get()), S_OK);
  EXPECT_EQ(source->FireCounted(5, name.get()), S_OK);
  EXPECT_EQ(sink->Log().size(), 2u);
  sink->source.Release();
}

TEST(Calls, AnApartmentsObjectRunsOnItsThreadOnlyWhenThatThreadPumps) {
  const auto counter = MakeObject<CThreadNotingCounter>();
  std::string text;
  ApartmentThread apartment([&] { text = Published(counter->Identity(), IidOf<ICounter>); }, [] {});
  HelperProcess client = StartHelper();
  ASSERT_EQ(client.Command("take-counter " + text), "0");
  client.Send("increment 2");
  EXPECT_EQ(client.Answer(std::chrono::milliseconds(300)), "no answer");
  EXPECT_EQ(counter->ranOn.load(), 0u);
  apartment.Pump();
  EXPECT_EQ(client.Answer(), "2");
  EXPECT_EQ(counter->ranOn.load(), apartment.Id());
}

TEST(Calls, TheLastReleaseOfAnApartmentsObjectRunsOnItsThread) {
  Notice released;
  std::string text;
  ApartmentThread apartment(
      [&] {
        text = Published(MakeObject<CNoticedCounter>(&released)->Identity(), IidOf<ICounter>);
      },
      [] {});
  apartment.Pump();
  HelperProcess client = StartHelper();
  ASSERT_EQ(client.Command("take-counter " + text), "0");
  ASSERT_EQ(platform::RevokeReference(text), S_OK);
  EXPECT_FALSE(released.Raised());
  EXPECT_EQ(client.Command("drop"), "dropped");
  EXPECT_TRUE(released.WaitFor());
  EXPECT_EQ(released.Raiser(), apartment.Id());
}

TEST(Calls, AnEventReachesASinkInAnApartmentWhenItPumpsAndTheSinkCallsBackDuringIt) {
  HelperProcess server = StartHelper();
  const std::string sourceText = server.Command("publish-source");
  const auto sink = MakeObject<CCallbackSink>();
  const UniqueBstr name(SysAllocString(u"Album"));
  HRESULT firedHere = E_FAIL;
  ApartmentThread apartment(
      [&] {
        ASSERT_EQ(
            platform::UnmarshalReference(sourceText, IidOf<ITestSource>, sink->source.put_void()),
            S_OK);
        ASSERT_EQ(sink->DispEventAdvise(sink->source.get()), S_OK);
        // The event comes back into this thread while it waits for its own call.
        firedHere = sink->source->FireCounted(3, name.get());
      },
      [&] {
        EXPECT_EQ(sink->DispEventUnadvise(sink->source.get()), S_OK);
        sink->source.Release();
      });
  EXPECT_EQ(firedHere, S_OK);
  EXPECT_EQ(sink->Log(), (std::vector<std::string>{"3:5:1:0"}));
  server.Send("fire 4");
  EXPECT_EQ(server.Answer(std::chrono::milliseconds(300)), "no answer");
  EXPECT_EQ(sink->Log().size(), 1u);
  apartment.Pump();
  EXPECT_EQ(server.Answer(), "0");
  EXPECT_EQ(sink->Log(), (std::vector<std::string>{"3:5:1:0", "4:5:2:0"}));
  EXPECT_EQ(sink->Threads(), (std::vector<std::uint32_t>{apartment.Id(), apartment.Id()}));
}

TEST(Calls, AKilledServerEndsACallInProgressAtOnce) {
  for (const bool inApartment : {true, false}) {
    SCOPED_TRACE(inApartment ? "single-threaded caller" : "caller outside apartments");
    HelperProcess server = StartHelper();
    ComPtr<ICounter> stuck;
    ASSERT_EQ(platform::UnmarshalReference(server.Command("publish-stuck-counter"), IidOf<ICounter>,
                                           stuck.put_void()),
              S_OK);
    std::atomic<HRESULT> result{S_OK};
    std::thread caller([&] {
      if (inApartment) {
        EXPECT_EQ(CoInitialize(nullptr), S_OK);
      }
      std::int32_t total = 0;
      result.store(stuck->Increment(1, &total));
      if (inApartment) CoUninitialize();
    });
    EXPECT_EQ(server.Answer(), "entered");
    server.Kill();
    caller.join();
    EXPECT_EQ(result.load(), RPC_E_DISCONNECTED);
  }
}

TEST(Calls, ASinkOfAKilledProcessLeavesItsConnectionPoint) {
  const auto source = MakeObject<CTestSource>();
  HelperProcess client = StartHelper();
  ASSERT_EQ(client.Command("advise " + Published(source->Identity(), IidOf<ITestSource>)), "0");
  const UniqueBstr name(SysAllocString(u"x"));
  EXPECT_EQ(source->FireCounted(1, name.get()), S_OK);
  EXPECT_EQ(source->Connections(), 1u);
  client.Kill();
  EXPECT_EQ(source->FireCounted(2, name.get()), RPC_E_DISCONNECTED);
  EXPECT_EQ(source->Connections(), 0u);
  EXPECT_EQ(source->FireCounted(3, name.get()), S_OK);
}

TEST(Calls, AMalformedMessageClosesOnlyItsConnection) {
  const auto counter = MakeObject<CNoticedCounter>(nullptr);
  const std::string text = Published(counter->Identity(), IidOf<ICounter>);
  HelperProcess client = StartHelper();
  ASSERT_EQ(client.Command("take-counter " + text), "0");
  for (const std::vector<std::uint8_t>& garbage :
       {std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 1},
        std::vector<std::uint8_t>{3, 0, 0, 0, 99, 1, 2},
        std::vector<std::uint8_t>{2, 0, 0, 0, 2, 0}}) {
    const platform::detail::UniqueFd raw = ConnectToCallsOf(text);
    ASSERT_EQ(send(raw.Get(), garbage.data(), garbage.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(garbage.size()));
    char byte = 0;
    EXPECT_EQ(recv(raw.Get(), &byte, 1, 0), 0);  // the layer closed it
  }
  EXPECT_EQ(client.Command("increment 2"), "2");
}

// A peer that stops inside a frame, and then closes, holds up no one: the other connections are
// served while the frame waits for its rest, and the close ends only its own connection.
TEST(Calls, APeerThatClosesMidMessageHoldsUpNoOne) {
  const auto counter = MakeObject<CNoticedCounter>(nullptr);
  const std::string text = Published(counter->Identity(), IidOf<ICounter>);
  HelperProcess client = StartHelper();
  ASSERT_EQ(client.Command("take-counter " + text), "0");
  int expected = 0;
  for (const std::vector<std::uint8_t>& cut :
       {std::vector<std::uint8_t>{40}, std::vector<std::uint8_t>{40, 0, 0},
        std::vector<std::uint8_t>{40, 0, 0, 0}, std::vector<std::uint8_t>{40, 0, 0, 0, 1, 2, 3}}) {
    {
      const platform::detail::UniqueFd raw = ConnectToCallsOf(text);
      ASSERT_EQ(send(raw.Get(), cut.data(), cut.size(), MSG_NOSIGNAL),
                static_cast<ssize_t>(cut.size()));
      expected += 1;
      EXPECT_EQ(client.Command("increment 1"), std::to_string(expected));
    }
    expected += 1;
    EXPECT_EQ(client.Command("increment 1"), std::to_string(expected));
  }
}

TEST(Calls, ACallerOfAnotherUserIsRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run a helper under another user";
  // The helper of the other user must reach the root's socket folder.
  chmod(platform::PlatformRoot().c_str(), 0755);
  const auto counter = MakeObject<CNoticedCounter>(nullptr);
  const std::string text = Published(counter->Identity(), IidOf<ICounter>);
  HelperProcess other = StartHelper();
  HelperProcess server = StartHelper();
  const std::string serverCounter = server.Command("publish-counter");
  ASSERT_EQ(other.Command("become 65534"), "became");
  // A user's process may call root's, but not another user's.
  EXPECT_EQ(other.Command("take-counter " + text), "0");
  EXPECT_EQ(other.Command("increment 1"), "1");
  ASSERT_EQ(server.Command("become 65533"), "became");
  EXPECT_EQ(other.Command("take-counter " + serverCounter), "80070005");
}

}  // namespace
