#pragma once

// Where this build tree keeps the programs that run-system starts.

#include <string>

#include "tools/run-system/SystemRun.h"

// The programs of the first build, or of the second; the user's library is the sample library.
SystemPrograms BuiltPrograms(bool p_bSecondBuild, std::string p_User);
