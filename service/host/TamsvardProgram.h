#pragma once

// The service program's entry: one module for the whole process, given the workers' thread
// procedures, and the process's exit code. The program's first thread; once.

#include <span>
#include <string_view>

#include "service/host/TamsvardModule.h"

// The arguments after the program's name; the module's result (an HRESULT) as the exit code.
int _tWinMain(const WorkerProcedures& p_Workers, std::span<const std::string_view> p_Arguments,
              int p_nShowCmd);
