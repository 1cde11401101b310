// From a post in this process to its dispatch by a window of another process.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "platform/base/Process.h"
#include "platform/kernel/tests/BenchmarkRoot.h"
#include "platform/kernel/tests/HelperProcess.h"
#include "platform/user/Window.h"

namespace platform {
namespace {

const testing::BenchmarkRoot kRoot;

constexpr int kRounds = 20000;
constexpr UINT kBenchPing = WM_APP + 0x101;
constexpr UINT kBenchAnswer = WM_APP + 0x102;

void PostToDispatchInAnotherProcess(benchmark::State& state) {
  EnsureMessageQueue();
  testing::HelperProcess far(USER_TEST_HELPER, {});
  const std::string window = far.Command("bench-answer " + std::to_string(CurrentThreadId()));
  if (window.empty() || window.find_first_not_of("0123456789") != std::string::npos) {
    state.SkipWithError("cannot set up the far process");
    return;
  }
  const auto target = static_cast<HWND>(std::stoul(window));
  std::vector<double> microseconds;
  microseconds.reserve(kRounds);
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now().time_since_epoch().count();
    PostMessage(target, kBenchPing, 0, static_cast<LPARAM>(start));
    MSG answer;
    while (GetMessage(answer, 0, kBenchAnswer, kBenchAnswer) > 0 &&
           answer.message != kBenchAnswer) {
    }
    microseconds.push_back(static_cast<double>(answer.lParam) / 1000.0);
  }
  std::sort(microseconds.begin(), microseconds.end());
  state.counters["median_us"] = microseconds[microseconds.size() / 2];
  state.counters["p99_us"] = microseconds[microseconds.size() * 99 / 100];
}
BENCHMARK(PostToDispatchInAnotherProcess)->Iterations(kRounds)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace platform
