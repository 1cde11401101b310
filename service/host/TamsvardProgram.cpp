#include "service/host/TamsvardProgram.h"

#include "common/ProgramLogger.h"
#include "platform/base/NoDestructor.h"

int _tWinMain(const WorkerProcedures& p_Workers, std::span<const std::string_view> p_Arguments,
              int p_nShowCmd) {
  // Never destroyed: workers that did not end in their time go on until the process ends.
  static NoDestructor<CTamsvardModule> s_Module(p_Workers);
  g_Logger->Log(LOG_TO_FILE, u"Enter _tWinMain");
  const HRESULT l_hr = s_Module->WinMain(p_nShowCmd, p_Arguments);
  g_Logger->Log(LOG_TO_FILE, u"Leave _tWinMain");
  return l_hr;
}
