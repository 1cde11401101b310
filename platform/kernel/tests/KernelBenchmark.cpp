// Cross-process wake-up latency of an event, and the cost of a wait on 25 objects.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "platform/ipc/SharedSection.h"
#include "platform/kernel/Event.h"
#include "platform/kernel/Wait.h"
#include "platform/kernel/tests/BenchmarkRoot.h"
#include "platform/kernel/tests/HelperProcess.h"

namespace platform {
namespace {

const testing::BenchmarkRoot kRoot;

constexpr int kRounds = 20000;

void CrossProcessSetToWake(benchmark::State& state) {
  const Event wake = Event::Create(EventReset::Auto, false, u"BenchWake").handle;
  const Event done = Event::Create(EventReset::Auto, false, u"BenchDone").handle;
  const SharedSection times = SharedSection::Create(u"BenchTimes", 16).handle;
  testing::HelperProcess far;
  if (!wake || !done || !times || far.Command("event BenchWake auto reset") != "existed 0" ||
      far.Command("event BenchDone auto reset") != "existed 1" ||
      far.Command("section BenchTimes 16") != "existed 2") {
    state.SkipWithError("cannot set up the far process");
    return;
  }
  // Other processes asleep in waits of their own, as the system's many threads are.
  std::vector<std::unique_ptr<testing::HelperProcess>> bystanders;
  for (std::int64_t count = 0; count < state.range(0); ++count) {
    bystanders.push_back(std::make_unique<testing::HelperProcess>());
    bystanders.back()->Command("event - auto reset");
    bystanders.back()->Send("wait 0 inf");
  }
  far.Send("echo 0 1 2 " + std::to_string(kRounds));
  std::vector<double> microseconds;
  microseconds.reserve(kRounds);
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now().time_since_epoch().count();
    wake.Set();
    WaitForObject(done.Ref(), kInfinite);
    std::int64_t woke = 0;
    std::memcpy(&woke, times.Bytes().data() + 8, sizeof woke);
    microseconds.push_back(static_cast<double>(woke - start) / 1000.0);
  }
  far.Answer();
  std::sort(microseconds.begin(), microseconds.end());
  state.counters["median_us"] = microseconds[microseconds.size() / 2];
  state.counters["p99_us"] = microseconds[microseconds.size() * 99 / 100];
}
BENCHMARK(CrossProcessSetToWake)
    ->ArgName("sleepers")
    ->Arg(0)
    ->Arg(8)
    ->Iterations(kRounds)
    ->Unit(benchmark::kMicrosecond);

class TwentyFiveEvents {
 public:
  TwentyFiveEvents() {
    for (std::size_t index = 0; index < events_.size(); ++index) {
      events_[index] = Event::Create(EventReset::Auto, false).handle;
      references_[index] = events_[index].Ref();
    }
  }
  const Event& Last() const { return events_.back(); }
  std::span<const ObjectRef> References() const { return references_; }

 private:
  std::array<Event, 25> events_;
  std::array<ObjectRef, 25> references_{};
};

void WaitOn25WithTheLastSet(benchmark::State& state) {
  const TwentyFiveEvents events;
  for (auto _ : state) {
    events.Last().Set();
    benchmark::DoNotOptimize(WaitForObjects(events.References(), kInfinite));
  }
}
BENCHMARK(WaitOn25WithTheLastSet);

void WaitOn25NoneSet(benchmark::State& state) {
  const TwentyFiveEvents events;
  for (auto _ : state) {
    benchmark::DoNotOptimize(WaitForObjects(events.References(), Timeout(0)));
  }
}
BENCHMARK(WaitOn25NoneSet);

}  // namespace
}  // namespace platform
