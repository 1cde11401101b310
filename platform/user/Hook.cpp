#include "platform/user/Hook.h"

#include <dlfcn.h>

#include <algorithm>

#include "platform/user/LocalWindows.h"
#include "platform/user/MessageQueue.h"
#include "platform/user/UserRegistry.h"

namespace platform {
namespace {

using detail::HookRecord;
using detail::UserRegistry;

// Tells the hooked thread to look at its hooks again at its next retrieval.
std::uint32_t NotifyHookedThread(std::uint32_t thread) {
  detail::QueueWire wire;
  wire.kind = detail::kWireHooksChanged;
  return detail::DeliverToThread(thread, wire);
}

}  // namespace

HHOOK SetWindowsHookEx(int type, HOOKPROC procedure, void* /*module*/, std::uint32_t threadId) {
  Dl_info where{};
  const auto address = reinterpret_cast<void*>(procedure);
  UserRegistry& registry = UserRegistry::Instance();
  const std::optional<detail::QueueRecord> queue = registry.ReadQueue(threadId);
  if (type != WH_GETMESSAGE || procedure == nullptr || ::dladdr(address, &where) == 0 ||
      where.dli_sname == nullptr || where.dli_fname == nullptr || where.dli_saddr != address ||
      !queue) {
    detail::SetLastWindowsError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const HookRecord record{registry.AllocateHandle(), detail::ThisProcess(), queue->process,
                          threadId, type, where.dli_fname, where.dli_sname};
  if (record.handle == 0 || !registry.WriteHook(record)) {
    detail::SetLastWindowsError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  if (NotifyHookedThread(threadId) != ERROR_SUCCESS) {
    registry.RemoveHook(record.handle);
    detail::SetLastWindowsError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return record.handle;
}

bool UnhookWindowsHookEx(HHOOK hook) {
  UserRegistry& registry = UserRegistry::Instance();
  const std::optional<HookRecord> record = registry.ReadHook(hook);
  if (!record) {
    detail::SetLastWindowsError(ERROR_INVALID_HOOK_HANDLE);
    return false;
  }
  registry.RemoveHook(hook);
  NotifyHookedThread(record->thread);
  return true;
}

LRESULT CallNextHookEx(HHOOK hook, int code, WPARAM wParam, LPARAM lParam) {
  detail::ThreadQueue* queue = detail::ThreadQueue::IfExists();
  return queue == nullptr ? 0 : queue->Hooks().CallNext(hook, code, wParam, lParam);
}

namespace detail {

void HookChain::LibraryCloser::operator()(void* library) const noexcept { ::dlclose(library); }

void HookChain::Refresh(const ProcessIdentity& process, std::uint32_t thread) {
  if (running_) {
    return;
  }
  std::vector<Loaded> refreshed;
  for (const HookRecord& record : UserRegistry::Instance().HooksOn(process, thread)) {
    const auto kept = std::find_if(hooks_.begin(), hooks_.end(), [&](const Loaded& loaded) {
      return loaded.handle == record.handle;
    });
    if (kept != hooks_.end()) {
      refreshed.push_back(std::move(*kept));
      continue;
    }
    Library library(::dlopen(record.library.c_str(), RTLD_NOW | RTLD_LOCAL));
    void* procedure = library ? ::dlsym(library.get(), record.procedure.c_str()) : nullptr;
    if (procedure != nullptr) {
      refreshed.push_back(
          {record.handle, std::move(library), reinterpret_cast<HOOKPROC>(procedure)});
    }
  }
  hooks_ = std::move(refreshed);
}

void HookChain::Call(bool removed, MSG& message) {
  if (hooks_.empty() || running_) {
    return;
  }
  running_ = 0;
  hooks_.front().procedure(HC_ACTION, removed ? PM_REMOVE : PM_NOREMOVE,
                           reinterpret_cast<LPARAM>(&message));
  running_.reset();
}

// A procedure that does not know its own hook passes it on from wherever the chain is.
LRESULT HookChain::CallNext(HHOOK after, int code, WPARAM wParam, LPARAM lParam) {
  if (!running_) {
    return 0;
  }
  const auto named = std::find_if(hooks_.begin(), hooks_.end(),
                                  [after](const Loaded& loaded) { return loaded.handle == after; });
  const std::size_t next =
      (named != hooks_.end() ? static_cast<std::size_t>(named - hooks_.begin()) : *running_) + 1;
  if (next >= hooks_.size()) {
    return 0;
  }
  const std::size_t caller = *running_;
  running_ = next;
  const LRESULT result = hooks_[next].procedure(code, wParam, lParam);
  running_ = caller;
  return result;
}

}  // namespace detail
}  // namespace platform
