// Drennick: the elevated helper that starts, stops and restarts the service for the tray.

#include "common/ProgramLogger.h"
#include "platform/user/ShellProcess.h"
#include "proxy/ProxyProgram.h"

NoDestructor<ProgramLogger> g_Logger(0x156u);

int main() { return ProxyMain(platform::StartupShowCommand()); }
