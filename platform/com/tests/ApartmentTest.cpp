#include "platform/com/Apartment.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/com/tests/TestInterfaces.h"

namespace {

using platform::ComPtr;
using platform::IidOf;

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
  {
    const auto counter = platform::MakeObject<CCounter>(&destroyed);
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
    std::int32_t total = 0;
    EXPECT_EQ(counter->Increment(2, &total), S_OK);
    EXPECT_EQ(total, 2);
  }).join();
  EXPECT_TRUE(destroyed);
}

}  // namespace
