#include "service/device/PageLists.h"

#include <limits>
#include <utility>

NoDestructor<DeviceDataList> g_DeviceOutputList;
NoDestructor<platform::CriticalSection> g_DeviceOutputListLock;
NoDestructor<DeviceDataList> g_SimulatorOutputList;
NoDestructor<platform::CriticalSection> g_SimulatorOutputListLock;

namespace {

void Append(DeviceDataList& p_List, platform::CriticalSection& p_Lock, CDeviceData p_Page,
            std::size_t p_nLimit) {
  std::optional<CDeviceData> l_Dropped;
  {
    platform::CriticalSectionLock l_Lock(p_Lock);
    if (p_List.size() >= p_nLimit) {
      l_Dropped = std::move(p_List.front());
      p_List.pop_front();
    }
    p_List.push_back(std::move(p_Page));
  }
}

std::optional<CDeviceData> TakeFirst(DeviceDataList& p_List, platform::CriticalSection& p_Lock) {
  platform::CriticalSectionLock l_Lock(p_Lock);
  if (p_List.empty()) {
    return std::nullopt;
  }
  std::optional<CDeviceData> l_Page(std::move(p_List.front()));
  p_List.pop_front();
  return l_Page;
}

}  // namespace

void AppendDeviceOutput(CDeviceData p_Page) {
  Append(*g_DeviceOutputList, *g_DeviceOutputListLock, std::move(p_Page),
         std::numeric_limits<std::size_t>::max());
}

std::optional<CDeviceData> TakeFirstDeviceOutput() {
  return TakeFirst(*g_DeviceOutputList, *g_DeviceOutputListLock);
}

void AppendSimulatorOutput(CDeviceData p_Page) {
  Append(*g_SimulatorOutputList, *g_SimulatorOutputListLock, std::move(p_Page),
         kSimulatorOutputListLimit);
}

std::optional<CDeviceData> TakeFirstSimulatorOutput() {
  return TakeFirst(*g_SimulatorOutputList, *g_SimulatorOutputListLock);
}
