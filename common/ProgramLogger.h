#pragma once

// The one logger of the program. Each program defines it beside its entry point with its own
// construction flags, e.g. `NoDestructor<ProgramLogger> g_Logger(0x152u);`. It is never destroyed,
// so a thread that outlives the program's exit code can still log.

#include "common/Logger.h"
#include "platform/base/NoDestructor.h"

#if defined(NARROW_TEXT_PROGRAM)
using ProgramLogger = NarrowLogger;
#else
using ProgramLogger = Logger;
#endif

extern NoDestructor<ProgramLogger> g_Logger;
