// Tamsvard: the service that owns the remote, watches the users' sessions and drives each
// session's player from the remote's buttons.

#include <string_view>
#include <vector>

#include "common/ProgramLogger.h"
#include "service/device/DeviceInput.h"
#include "service/device/DeviceOutput.h"
#include "service/device/Simulator.h"
#include "service/host/SessionListener.h"
#include "service/host/TamsvardProgram.h"

NoDestructor<ProgramLogger> g_Logger(0x152u);

namespace {

constexpr WorkerProcedures kWorkers = {WTSLogonListener, SimulateDeviceInput, SimulateDeviceOutput,
                                       RemoteDeviceInput, RemoteDeviceOutput};

}  // namespace

int main(int p_nArguments, char** p_pArguments) {
  const std::vector<std::string_view> l_Arguments(p_pArguments + 1, p_pArguments + p_nArguments);
  return _tWinMain(kWorkers, l_Arguments, 0);
}
