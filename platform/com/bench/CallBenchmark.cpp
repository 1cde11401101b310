// Round trips of component calls to another process: a call with a BSTR (to an object on the
// layer's threads and to one in a single-threaded apartment), a call that passes an interface
// pointer, and an event fired to a sink in the other process (on the layer's threads and in a
// single-threaded apartment that pumps). Prints the median and the 99th percentile of each.

#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/com/CallLayer.h"
#include "platform/com/tests/TestInterfaces.h"
#include "platform/kernel/tests/HelperProcess.h"

namespace {

using platform::ComPtr;
using platform::IidOf;
using Clock = std::chrono::steady_clock;

constexpr int kRounds = 5000;

template <class Step>
void Measure(const char* what, Step step) {
  for (int i = 0; i < 200; ++i) step();  // connections made, caches warm
  std::vector<double> micros;
  micros.reserve(kRounds);
  for (int i = 0; i < kRounds; ++i) {
    const auto start = Clock::now();
    step();
    micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  std::sort(micros.begin(), micros.end());
  std::printf("%-44s median %8.1f us   p99 %8.1f us\n", what, micros[micros.size() / 2],
              micros[micros.size() * 99 / 100]);
}

}  // namespace

int main() {
  std::string pattern = (std::filesystem::temp_directory_path() / "platform-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) return 1;
  setenv("PLATFORM_ROOT", pattern.c_str(), 1);
  static_cast<void>(kTestCallsRegistered && kTestSourceRegistered);
  {
    platform::testing::HelperProcess server(PLATFORM_COM_CALL_HELPER, {});
    ComPtr<IKinds> kinds;
    ComPtr<IKinds> apartmentKinds;
    if (FAILED(platform::UnmarshalReference(server.Command("publish-holder"), IidOf<IKinds>,
                                            kinds.put_void())) ||
        FAILED(platform::UnmarshalReference(server.Command("publish-holder-in-apartment"),
                                            IidOf<IKinds>, apartmentKinds.put_void()))) {
      return 1;
    }
    const UniqueBstr name(SysAllocString(u"All Music \\ Road Trip"));
    const auto echo = [&name](IKinds& target) {
      std::int32_t number = 0;
      double real = 0;
      VARIANT_BOOL flag = VARIANT_FALSE;
      UniqueBstr text;
      target.Echo(1, 2.0, VARIANT_TRUE, name.get(), &number, &real, &flag, text.out());
    };
    Measure("call with a BSTR in and out", [&] { echo(*kinds); });
    Measure("BSTR call into a single-threaded apartment", [&] { echo(*apartmentKinds); });
    const auto counter = platform::MakeObject<CCounter>();
    Measure("call passing an interface pointer in and out", [&] {
      ComPtr<ICounter> same;
      kinds->Keep(counter.get(), same.put());
    });

    const auto source = platform::MakeObject<CTestSource>();
    std::string text;
    platform::PublishReference(source->Identity(), IidOf<ITestSource>, text);
    if (server.Command("advise " + text) != "0") return 1;
    Measure("event fired to a sink in another process",
            [&] { source->FireCounted(1, name.get()); });
    const auto apartmentSource = platform::MakeObject<CTestSource>();
    platform::PublishReference(apartmentSource->Identity(), IidOf<ITestSource>, text);
    if (server.Command("advise-in-apartment " + text) != "0") return 1;
    Measure("event to a single-threaded apartment's sink",
            [&] { apartmentSource->FireCounted(1, name.get()); });
  }
  std::error_code ignored;
  std::filesystem::remove_all(pattern, ignored);
  return 0;
}
