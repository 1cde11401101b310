// Ruvello: the per-session server that hosts the player for the service.

#include <string_view>
#include <vector>

#include "common/ProgramLogger.h"
#include "server/ServerModule.h"
#include "server/ServerResources.h"

NoDestructor<ProgramLogger> g_Logger(0x152u);

int main(int p_nArguments, char** p_pArguments) {
  DeclareServerResources();
  const std::vector<std::string_view> l_Arguments(p_pArguments + 1, p_pArguments + p_nArguments);
  CServerModule l_Module;
  return l_Module.WinMain(l_Arguments);
}
