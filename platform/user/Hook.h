#pragma once

// Window hooks. A message hook on a thread of another process is recorded under the root with
// the path of the library that holds the procedure and the procedure's exported name; the hooked
// thread's next message retrieval loads the library into its own process (its load-time code
// runs there) and from then on passes each message it retrieves to the procedure, which passes
// it on with CallNextHookEx. Unhooking unloads the library there at the next retrieval.

#include <cstdint>
#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "platform/kernel/ProcessIdentity.h"
#include "platform/user/Messages.h"

using HOOKPROC = LRESULT (*)(int code, WPARAM wParam, LPARAM lParam);

namespace platform {

// Hooks the thread `threadId` of any process of the root with `procedure`, which must be an
// exported function of a shared library (its path and name are what the hooked process loads).
// Only WH_GETMESSAGE; `module` is not needed here. 0 on failure: ERROR_INVALID_PARAMETER for
// another type, a procedure outside a library or a thread without a queue (or gone).
HHOOK SetWindowsHookEx(int type, HOOKPROC procedure, void* module, std::uint32_t threadId);
// False with ERROR_INVALID_HOOK_HANDLE for a hook that is not there.
bool UnhookWindowsHookEx(HHOOK hook);
// Called by a hook procedure on the hooked thread: the next hook's result, 0 after the last.
LRESULT CallNextHookEx(HHOOK hook, int code, WPARAM wParam, LPARAM lParam);

namespace detail {

// The hooks loaded on one thread, newest first. Its thread only.
class HookChain {
 public:
  // Loads the libraries of hooks set on the thread since the last refresh, unloads those of
  // hooks that are gone.
  void Refresh(const ProcessIdentity& process, std::uint32_t thread);
  // Passes a retrieved message to the first hook.
  void Call(bool removed, MSG& message);
  LRESULT CallNext(HHOOK after, int code, WPARAM wParam, LPARAM lParam);
  void Clear() noexcept { hooks_.clear(); }

 private:
  // Owns one dlopen reference to a library.
  struct LibraryCloser {
    void operator()(void* library) const noexcept;
  };
  using Library = std::unique_ptr<void, LibraryCloser>;
  struct Loaded {
    HHOOK handle = 0;
    Library library;
    HOOKPROC procedure = nullptr;
  };

  std::vector<Loaded> hooks_;
  std::optional<std::size_t> running_;  // the hook whose procedure runs; the chain stays as it is
};

}  // namespace detail
}  // namespace platform
