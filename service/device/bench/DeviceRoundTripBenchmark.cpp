// The time from a button report that the virtual remote sends to the last packet of the page that
// answers it: the device input thread turns the report into the button event, a producer
// standing in for the session thread queues its page at once, the device output thread renders
// it and the writer sends it to the remote. Reports the median and the 99th percentile.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "common/MenuTexts.h"
#include "platform/kernel/Event.h"
#include "platform/kernel/Thread.h"
#include "platform/kernel/Wait.h"
#include "service/device/DeviceInput.h"
#include "service/device/DeviceOutput.h"
#include "service/device/DisplayState.h"
#include "service/device/PageLists.h"
#include "service/device/ServiceEvents.h"
#include "tools/virtual-remote/VirtualRemote.h"

namespace {

using Clock = std::chrono::steady_clock;

// A fresh platform root with virtual HID devices for this process, removed when it ends.
class FreshRoot {
 public:
  FreshRoot() {
    std::string l_Pattern =
        (std::filesystem::temp_directory_path() / "device-benchmark-XXXXXX").string();
    if (mkdtemp(l_Pattern.data()) != nullptr) {
      m_Root = l_Pattern;
      setenv("PLATFORM_ROOT", l_Pattern.c_str(), 1);
    }
    setenv("PLATFORM_HID", "virtual", 1);
  }
  ~FreshRoot() {
    std::error_code l_Ignored;
    std::filesystem::remove_all(m_Root, l_Ignored);
  }

 private:
  std::filesystem::path m_Root;
};

CDeviceData AnsweringPage() {
  CDeviceData l_Page;
  l_Page.SetTitle("Albums");
  for (const char* l_szLine : {"Abbey Road", "Blue Train", "Kind of Blue", "Low", "Remain in Light",
                               "Songs in the Key of Life"}) {
    l_Page.AddLine(l_szLine);
  }
  l_Page.SetSelectedLine(2);
  l_Page.SetPosition(2);
  l_Page.SetTotal(40);
  l_Page.SetScreenType(3);
  l_Page.SetUpdateMode(6);
  return l_Page;
}

// The device threads with the remote plugged in and its display awake, and the producer that
// answers every Down with the page. Made and ended by the benchmark's thread.
class RoundTrip {
 public:
  RoundTrip() {
    g_nLanguageIndex = kLanguageEnglish;
    g_nLinesPerPage = 6;
    g_nDevicePlayState = 1;
    m_Remote.Command("plug");
    m_Input = platform::Thread::Start(RemoteDeviceInput, nullptr);
    m_Output = platform::Thread::Start(RemoteDeviceOutput, nullptr);
    m_Producer = platform::Thread::Start([this] { return Produce(); });
    // The remote tells no one when it is opened.
    while (m_Remote.Command("handles") != "handles 2") {
      platform::Sleep(platform::Timeout(1));
    }
    // The first key only wakes the display, which answers with its init packet.
    m_Remote.Command("press 2");
    m_Remote.Command("reports 1");
  }
  ~RoundTrip() {
    m_ProducerTerminate.Set();
    CreateAutoResetEvent(kDeviceInputTerminateEvent).Set();
    CreateAutoResetEvent(kDeviceOutputTerminateEvent).Set();
    m_Producer.Join();
    m_Input.Join();
    m_Output.Join();
  }

  // Down, and the virtual remote's reports up to the end of the page that answers it; false
  // when the page does not come.
  bool PressDownForAPage() {
    m_Remote.Command("press 3");
    return !m_Remote.Command("screens " + std::to_string(++m_nPages)).starts_with("timeout");
  }

 private:
  std::uint32_t Produce() {
    const platform::Event l_Down = CreateAutoResetEvent(ServiceEventName(ServiceEvent::ButtonDown));
    const platform::Event l_Data = CreateAutoResetEvent(kDeviceOutputDataEvent);
    const CDeviceData l_Page = AnsweringPage();
    const std::array l_Waited{m_ProducerTerminate.Ref(), l_Down.Ref()};
    while (platform::WaitForObjects(l_Waited, platform::kInfinite).Signalled(1)) {
      AppendDeviceOutput(l_Page);
      l_Data.Set();
    }
    return 0;
  }

  const platform::Event m_ProducerTerminate = CreateAutoResetEvent();
  VirtualRemote m_Remote;
  int m_nPages = 0;
  platform::Thread m_Input;
  platform::Thread m_Output;
  platform::Thread m_Producer;
};

double Percentile(std::vector<double> p_Values, double p_nFraction) {
  std::sort(p_Values.begin(), p_Values.end());
  const auto l_nIndex =
      static_cast<std::size_t>(p_nFraction * static_cast<double>(p_Values.size() - 1));
  return p_Values[l_nIndex];
}

void BM_ReportToAnsweringPage(benchmark::State& p_State) {
  static const FreshRoot s_Root;
  RoundTrip l_RoundTrip;
  std::vector<double> l_Microseconds;
  for (auto _ : p_State) {
    const Clock::time_point l_Start = Clock::now();
    if (!l_RoundTrip.PressDownForAPage()) {
      p_State.SkipWithError("the page did not come");
      break;
    }
    const std::chrono::duration<double, std::micro> l_Elapsed = Clock::now() - l_Start;
    p_State.SetIterationTime(l_Elapsed.count() / 1e6);
    l_Microseconds.push_back(l_Elapsed.count());
  }
  if (!l_Microseconds.empty()) {
    p_State.counters["median_us"] = Percentile(l_Microseconds, 0.5);
    p_State.counters["p99_us"] = Percentile(l_Microseconds, 0.99);
  }
}
BENCHMARK(BM_ReportToAnsweringPage)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
