// The service program with stand-ins for its five workers, for the tests of the service's life
// under the service manager: each stand-in ends after its terminate event and writes
// "<index> started" and "<index> ended" to the event log as source "TamsvardWorkers".

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "common/ProgramLogger.h"
#include "platform/kernel/Event.h"
#include "platform/kernel/Wait.h"
#include "platform/services/EventLog.h"
#include "service/host/TamsvardProgram.h"

NoDestructor<ProgramLogger> g_Logger(0x152u);

namespace {

void Note(std::size_t p_nIndex, std::u16string_view p_strWhat) {
  const std::u16string l_Strings[] = {std::u16string(1, static_cast<char16_t>(u'0' + p_nIndex)) +
                                      u" " + std::u16string(p_strWhat)};
  platform::ReportEvent(platform::RegisterEventSource({}, u"TamsvardWorkers"),
                        platform::EVENTLOG_INFORMATION_TYPE, 0, 0, l_Strings);
}

template <WorkerThread Worker>
std::uint32_t StandIn(void*) {
  constexpr auto kIndex = static_cast<std::size_t>(Worker);
  const auto l_Terminate = platform::Event::Open(kWorkerTerminateEvents[kIndex]);
  Note(kIndex, u"started");
  platform::WaitForObject(l_Terminate.handle.Ref(), platform::kInfinite);
  Note(kIndex, u"ended");
  return 0;
}

constexpr WorkerProcedures kStandIns = {
    StandIn<WorkerThread::SessionListener>, StandIn<WorkerThread::SimulatorInput>,
    StandIn<WorkerThread::SimulatorOutput>, StandIn<WorkerThread::DeviceInput>,
    StandIn<WorkerThread::DeviceOutput>};

}  // namespace

int main(int p_nArguments, char** p_pArguments) {
  const std::vector<std::string_view> l_Arguments(p_pArguments + 1, p_pArguments + p_nArguments);
  return _tWinMain(kStandIns, l_Arguments, 0);
}
