// A hook library for the tests: it writes a line into the file HOOK_PROBE_TRACE names when it is
// loaded, for each message its procedure sees, and when it is unloaded, each line with the id of
// the process it runs in. It needs nothing of the layer but CallNextHookEx, which the hooked
// program exports.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform/user/Hook.h"

namespace {

void Trace(const char* what, unsigned long value) {
  const char* path = std::getenv("HOOK_PROBE_TRACE");
  if (path == nullptr) {
    return;
  }
  if (FILE* trace = std::fopen(path, "a")) {
    std::fprintf(trace, "%s %ld %lu\n", what, static_cast<long>(getpid()), value);
    std::fclose(trace);
  }
}

__attribute__((constructor)) void Loaded() { Trace("loaded", 0); }
__attribute__((destructor)) void Unloaded() { Trace("unloaded", 0); }

}  // namespace

extern "C" __attribute__((visibility("default"))) LRESULT ProbeHookProc(int code, WPARAM wParam,
                                                                        LPARAM lParam) {
  if (code == HC_ACTION && wParam == PM_REMOVE) {
    Trace("message", reinterpret_cast<const MSG*>(lParam)->message);
  }
  return platform::CallNextHookEx(0, code, wParam, lParam);
}
