#include "platform/com/Apartment.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/com/tests/ApartmentThread.h"
#include "platform/com/tests/TestInterfaces.h"

namespace {

int g_nSecurityDescriptor = 0;

using platform::ComPtr;
using platform::IidOf;
using platform::MakeObject;
using platform::testing::ApartmentThread;
using platform::testing::CThreadNotingCounter;

TEST(Apartment, InitialisationCountsPerThreadAndKeepsItsKind) {
  std::thread([] {
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    CoUninitialize();
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    CoUninitialize();
    // Left: the thread may enter the other kind now.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    CoUninitialize();
    CoUninitialize();  // one too many is harmless
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    CoUninitialize();
  }).join();
}

TEST(Apartment, AStreamCarriesOneInterfaceToAnotherThread) {
  bool destroyed = false;
  IStream* stream = nullptr;
  ICounter* original = nullptr;
  {
    const auto counter = platform::MakeObject<CCounter>(&destroyed);
    original = counter.get();
    ASSERT_EQ(CoMarshalInterThreadInterfaceInStream(IidOf<ICounter>, counter->Identity(), &stream),
              S_OK);
    IStream* refused = nullptr;
    EXPECT_EQ(
        CoMarshalInterThreadInterfaceInStream(IidOf<_ITestEvents>, counter->Identity(), &refused),
        E_NOINTERFACE);
    EXPECT_EQ(refused, nullptr);
  }
  EXPECT_FALSE(destroyed);  // the stream holds the object
  std::thread([&] {
    ComPtr<ICounter> counter;
    ASSERT_EQ(CoGetInterfaceAndReleaseStream(stream, IidOf<ICounter>, counter.put_void()), S_OK);
    EXPECT_EQ(counter.get(), original);  // outside apartments, the object itself travels
    std::int32_t total = 0;
    EXPECT_EQ(counter->Increment(2, &total), S_OK);
    EXPECT_EQ(total, 2);
  }).join();
  EXPECT_TRUE(destroyed);
}

// A set-up for an apartment's thread: it marshals `object` out of the apartment into `stream`.
std::function<void()> MarshalsInto(IUnknown* object, const IID& iid, IStream*& stream) {
  return [object, iid, &stream] {
    EXPECT_EQ(CoMarshalInterThreadInterfaceInStream(iid, object, &stream), S_OK);
  };
}

// The kinds of thread that take an object of a single-threaded apartment out of a stream.
enum class Taker { OutsideApartments, MultiThreaded, SingleThreaded };

TEST(Apartment, AStreamedObjectOfASingleThreadedApartmentRunsOnItsThreadWhenThatThreadPumps) {
  for (const Taker taker : {Taker::OutsideApartments, Taker::MultiThreaded, Taker::SingleThreaded}) {
    SCOPED_TRACE(static_cast<int>(taker));
    const auto counter = MakeObject<CThreadNotingCounter>();
    IStream* stream = nullptr;
    ApartmentThread home(
        MarshalsInto(counter->Identity(), IidOf<ICounter>, stream),
        [] {});
    std::atomic<HRESULT> result{E_FAIL};  // until the call returns
    std::atomic<std::int32_t> total{0};
    std::thread caller([&] {
      if (taker != Taker::OutsideApartments) {
        EXPECT_EQ(CoInitializeEx(nullptr, taker == Taker::SingleThreaded ? COINIT_APARTMENTTHREADED
                                                                         : COINIT_MULTITHREADED),
                  S_OK);
      }
      ComPtr<ICounter> proxy;
      EXPECT_EQ(CoGetInterfaceAndReleaseStream(stream, IidOf<ICounter>, proxy.put_void()), S_OK);
      std::int32_t answer = 0;
      result.store(proxy->Increment(4, &answer));
      total.store(answer);
      proxy.Release();
      if (taker != Taker::OutsideApartments) CoUninitialize();
    });
    // The call waits for the apartment's thread to pump.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(result.load(), E_FAIL);
    EXPECT_EQ(counter->ranOn.load(), 0u);
    home.Pump();
    caller.join();
    EXPECT_EQ(result.load(), S_OK);
    EXPECT_EQ(total.load(), 4);
    EXPECT_EQ(counter->ranOn.load(), home.Id());
  }
}

TEST(Apartment, AnInterfacePassedIntoAnotherApartmentComesBackAsItself) {
  const auto holder = MakeObject<CKinds>();
  IStream* stream = nullptr;
  ApartmentThread home(
      MarshalsInto(holder->Identity(), IidOf<IKinds>, stream),
      [&] { holder->kept.Release(); });
  home.Pump();
  std::thread([&] {
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    {
      ComPtr<IKinds> kinds;
      ASSERT_EQ(CoGetInterfaceAndReleaseStream(stream, IidOf<IKinds>, kinds.put_void()), S_OK);
      const auto counter = MakeObject<CThreadNotingCounter>();
      ComPtr<ICounter> same;
      ASSERT_EQ(kinds->Keep(counter.get(), same.put()), S_OK);
      EXPECT_EQ(same.get(), static_cast<ICounter*>(counter.get()));
      // The holder's apartment keeps a proxy: the counter belongs to this thread's apartment.
      EXPECT_NE(holder->kept.get(), static_cast<ICounter*>(counter.get()));
    }
    CoUninitialize();
  }).join();
}

TEST(Apartment, ACallIntoAnApartmentThatHasEndedFailsAtOnce) {
  const auto counter = MakeObject<CThreadNotingCounter>();
  IStream* stream = nullptr;
  {
    ApartmentThread home(
        MarshalsInto(counter->Identity(), IidOf<ICounter>, stream),
        [] {});
  }
  ComPtr<ICounter> proxy;
  ASSERT_EQ(CoGetInterfaceAndReleaseStream(stream, IidOf<ICounter>, proxy.put_void()), S_OK);
  std::int32_t total = 0;
  EXPECT_EQ(proxy->Increment(1, &total), RPC_E_DISCONNECTED);
  EXPECT_EQ(counter->ranOn.load(), 0u);
}

TEST(Apartment, TheProcessCallSecurityIsSetOnceAndKept) {
  EXPECT_EQ(CoInitializeSecurity(&g_nSecurityDescriptor, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_NONE,
                                 RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr),
            E_INVALIDARG);
  EXPECT_FALSE(platform::ProcessSecurity());
  ASSERT_EQ(CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_NONE,
                                 RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr),
            S_OK);
  EXPECT_EQ(CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_CONNECT,
                                 RPC_C_IMP_LEVEL_IDENTIFY, nullptr, EOAC_NONE, nullptr),
            RPC_E_TOO_LATE);
  const auto security = platform::ProcessSecurity();
  ASSERT_TRUE(security);
  EXPECT_EQ(security->authenticationLevel, RPC_C_AUTHN_LEVEL_NONE);
  EXPECT_EQ(security->impersonationLevel, RPC_C_IMP_LEVEL_IMPERSONATE);
}

}  // namespace
