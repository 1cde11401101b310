// Peskarin: the tray program of a user session.

#include "common/ProgramLogger.h"
#include "platform/base/Process.h"
#include "tray/TrayProgram.h"

NoDestructor<ProgramLogger> g_Logger(0x156u);

int main() { return TrayMain(platform::GetCommandLineW()); }
