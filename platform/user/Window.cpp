#include "platform/user/Window.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/base/NoDestructor.h"
#include "platform/base/Process.h"
#include "platform/base/Time.h"
#include "platform/user/LocalWindows.h"
#include "platform/user/MessageQueue.h"
#include "platform/user/UserRegistry.h"

namespace platform {
namespace {

using detail::ThreadQueue;
using detail::UserRegistry;
using detail::WindowRecord;

thread_local std::uint32_t t_lastError = ERROR_SUCCESS;

// Class names and titles compare without regard to letter case, as the platform's do.
std::u16string FoldCase(std::u16string_view text) {
  std::u16string folded(text);
  for (char16_t& unit : folded) {
    if ((unit >= u'A' && unit <= u'Z') || (unit >= 0xC0 && unit <= 0xDE && unit != 0xD7)) {
      unit = static_cast<char16_t>(unit + 0x20);
    }
  }
  return folded;
}

bool Fail(std::uint32_t error) {
  detail::SetLastWindowsError(error);
  return false;
}

// This process's classes and windows. Any thread.
class ProcessWindows {
 public:
  struct Local {
    WNDPROC procedure = nullptr;
    std::uint32_t thread = 0;
    void* userData = nullptr;
    std::vector<std::shared_ptr<void>> attachments;
  };

  struct Class {
    std::u16string name;  // as registered
    WNDPROC procedure = nullptr;
  };

  bool AddClass(std::u16string_view name, WNDPROC procedure) {
    std::lock_guard lock(lock_);
    return classes_.emplace(FoldCase(name), Class{std::u16string(name), procedure}).second;
  }
  bool RemoveClass(std::u16string_view name) {
    std::lock_guard lock(lock_);
    return classes_.erase(FoldCase(name)) != 0;
  }
  std::optional<Class> FindClass(std::u16string_view name) {
    std::lock_guard lock(lock_);
    const auto found = classes_.find(FoldCase(name));
    return found == classes_.end() ? std::nullopt : std::optional(found->second);
  }

  void Add(HWND window, Local local) {
    std::lock_guard lock(lock_);
    windows_[window] = std::move(local);
  }
  // The window's entry, taken out; its attachments end when the caller drops it.
  std::optional<Local> Take(HWND window) {
    std::lock_guard lock(lock_);
    const auto found = windows_.find(window);
    if (found == windows_.end()) {
      return std::nullopt;
    }
    Local local = std::move(found->second);
    windows_.erase(found);
    return local;
  }
  std::vector<Local> TakeThread(std::uint32_t thread, std::vector<HWND>& handles) {
    std::vector<Local> taken;
    std::lock_guard lock(lock_);
    for (auto window = windows_.begin(); window != windows_.end();) {
      if (window->second.thread == thread) {
        handles.push_back(window->first);
        taken.push_back(std::move(window->second));
        window = windows_.erase(window);
      } else {
        ++window;
      }
    }
    return taken;
  }
  // The procedure and thread of a window of this process.
  std::optional<std::pair<WNDPROC, std::uint32_t>> Find(HWND window) {
    std::lock_guard lock(lock_);
    const auto found = windows_.find(window);
    if (found == windows_.end()) {
      return std::nullopt;
    }
    return std::pair(found->second.procedure, found->second.thread);
  }
  template <class Action>
  bool With(HWND window, Action action) {
    std::lock_guard lock(lock_);
    const auto found = windows_.find(window);
    if (found == windows_.end()) {
      return false;
    }
    action(found->second);
    return true;
  }

 private:
  std::mutex lock_;
  std::map<std::u16string, Class> classes_;  // by folded name; guarded by lock_
  std::map<HWND, Local> windows_;              // guarded by lock_
};

ProcessWindows& Windows() {
  static NoDestructor<ProcessWindows> windows;
  return *windows;
}

std::uint32_t Deliver(std::uint32_t thread, HWND window, UINT message, WPARAM wParam,
                      LPARAM lParam) {
  detail::QueueWire wire;
  wire.kind = detail::kWirePosted;
  wire.hwnd = window;
  wire.message = message;
  wire.time = TickCount();
  wire.wParam = wParam;
  wire.lParam = lParam;
  return detail::DeliverToThread(thread, wire);
}

// The threads of the windows this process posts to, so that a post reads no record while the
// window stays. A post to a window whose process died fails at its queue and reads the record
// again, which reclaims it. Any thread.
class PostTargets {
 public:
  std::optional<std::uint32_t> ThreadOf(HWND window) {
    UserRegistry& registry = UserRegistry::Instance();
    {
      std::lock_guard lock(lock_);
      const auto found = threads_.find(window);
      if (found != threads_.end()) {
        if (registry.WindowRecorded(window)) {
          return found->second;
        }
        threads_.erase(found);
      }
    }
    const std::optional<WindowRecord> record = registry.ReadWindow(window);
    if (!record) {
      return std::nullopt;
    }
    std::lock_guard lock(lock_);
    threads_[window] = record->thread;
    return record->thread;
  }
  void Forget(HWND window) {
    std::lock_guard lock(lock_);
    threads_.erase(window);
  }

 private:
  std::mutex lock_;
  std::map<HWND, std::uint32_t> threads_;  // guarded by lock_
};

PostTargets& Targets() {
  static NoDestructor<PostTargets> targets;
  return *targets;
}

// Walks the live windows that `selected` picks, until the callback answers false.
template <class Selected>
bool EnumSelected(Selected selected, WNDENUMPROC callback, LPARAM lParam) {
  for (const WindowRecord& record : UserRegistry::Instance().Windows()) {
    if (selected(record) && !callback(record.handle, lParam)) {
      return false;
    }
  }
  return true;
}

bool IsDescendant(HWND window, HWND ancestor) {
  UserRegistry& registry = UserRegistry::Instance();
  for (std::optional<WindowRecord> record = registry.ReadWindow(window); record && record->parent;
       record = registry.ReadWindow(record->parent)) {
    if (record->parent == ancestor) {
      return true;
    }
  }
  return false;
}

}  // namespace

namespace detail {

void SetLastWindowsError(std::uint32_t error) noexcept { t_lastError = error; }

bool SameWindowName(std::u16string_view first, std::u16string_view second) {
  return FoldCase(first) == FoldCase(second);
}

LRESULT CallWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto local = Windows().Find(window);
  return local ? local->first(window, message, wParam, lParam) : 0;
}

void ForgetThreadWindows(std::uint32_t thread) {
  std::vector<HWND> handles;
  const std::vector<ProcessWindows::Local> taken = Windows().TakeThread(thread, handles);
  for (const HWND window : handles) {
    UserRegistry::Instance().RemoveWindow(window);
  }
}

}  // namespace detail

std::uint32_t LastWindowsError() noexcept { return t_lastError; }

bool RegisterClass(std::u16string_view className, WNDPROC procedure) {
  if (className.empty() || procedure == nullptr) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  return Windows().AddClass(className, procedure) || Fail(ERROR_CLASS_ALREADY_EXISTS);
}

bool UnregisterClass(std::u16string_view className) {
  return Windows().RemoveClass(className) || Fail(ERROR_CLASS_DOES_NOT_EXIST);
}

HWND CreateWindow(std::u16string_view className, std::u16string_view title, std::uint32_t style,
                  HWND parent, std::int32_t controlId, void* createParams) {
  const std::optional<ProcessWindows::Class> windowClass = Windows().FindClass(className);
  if (!windowClass) {
    Fail(ERROR_CLASS_DOES_NOT_EXIST);
    return 0;
  }
  ThreadQueue* queue = ThreadQueue::ForThisThread();
  UserRegistry& registry = UserRegistry::Instance();
  const HWND window = queue == nullptr ? 0 : registry.AllocateHandle();
  const WNDPROC procedure = windowClass->procedure;
  const WindowRecord record{window,    detail::ThisProcess(), CurrentThreadId(),
                            parent,    controlId,             style,
                            windowClass->name, std::u16string(title)};
  if (window == 0 || !registry.WriteWindow(record)) {
    Fail(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  Windows().Add(window, {procedure, CurrentThreadId(), nullptr, {}});
  CREATESTRUCT create{createParams, parent, controlId, style, windowClass->name, title};
  if (procedure(window, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
    DestroyWindow(window);
    Fail(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return window;
}

bool DestroyWindow(HWND window) {
  const auto local = Windows().Find(window);
  if (!local) {
    return Fail(ERROR_INVALID_WINDOW_HANDLE);
  }
  if (local->second != CurrentThreadId()) {
    return Fail(ERROR_ACCESS_DENIED);
  }
  local->first(window, WM_DESTROY, 0, 0);
  std::vector<HWND> children;
  EnumSelected([window](const WindowRecord& record) { return record.parent == window; },
               [](HWND child, LPARAM list) {
                 reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
                 return true;
               },
               reinterpret_cast<LPARAM>(&children));
  for (const HWND child : children) {
    DestroyWindow(child);
  }
  UserRegistry::Instance().RemoveWindow(window);
  if (ThreadQueue* queue = ThreadQueue::IfExists()) {
    queue->ForgetWindow(window);
  }
  Windows().Take(window);
  return true;
}

LRESULT DefWindowProc(HWND window, UINT message, WPARAM, LPARAM) {
  if (message == WM_CLOSE) {
    DestroyWindow(window);
  }
  return 0;
}

bool IsWindow(HWND window) {
  return window != 0 && UserRegistry::Instance().ReadWindow(window).has_value();
}

std::uint32_t GetWindowThreadProcessId(HWND window, std::uint32_t* processId) {
  // A handle is never handed out twice, so a window of this process is answered without reading
  // its record: the poll of a window's owner stays cheap.
  if (const auto local = Windows().Find(window)) {
    if (processId != nullptr) {
      *processId = CurrentProcessId();
    }
    return local->second;
  }
  const std::optional<WindowRecord> record = UserRegistry::Instance().ReadWindow(window);
  if (processId != nullptr) {
    *processId = record ? static_cast<std::uint32_t>(record->process.pid) : 0;
  }
  return record ? record->thread : 0;
}

std::u16string GetClassName(HWND window) {
  const std::optional<WindowRecord> record = UserRegistry::Instance().ReadWindow(window);
  return record ? record->className : std::u16string();
}

std::u16string GetWindowText(HWND window) {
  const std::optional<WindowRecord> record = UserRegistry::Instance().ReadWindow(window);
  return record ? record->title : std::u16string();
}

bool SetWindowText(HWND window, std::u16string_view title) {
  UserRegistry& registry = UserRegistry::Instance();
  std::optional<WindowRecord> record = registry.ReadWindow(window);
  if (!record) {
    return Fail(ERROR_INVALID_WINDOW_HANDLE);
  }
  record->title = title;
  return registry.WriteWindow(*record) || Fail(ERROR_NOT_ENOUGH_MEMORY);
}

std::int32_t GetDlgCtrlID(HWND window) {
  const std::optional<WindowRecord> record = UserRegistry::Instance().ReadWindow(window);
  return record ? record->controlId : 0;
}

HWND GetParent(HWND window) {
  const std::optional<WindowRecord> record = UserRegistry::Instance().ReadWindow(window);
  return record ? record->parent : 0;
}

void* GetWindowUserData(HWND window) {
  void* data = nullptr;
  Windows().With(window, [&data](const ProcessWindows::Local& local) { data = local.userData; });
  return data;
}

bool SetWindowUserData(HWND window, void* data) {
  return Windows().With(window, [data](ProcessWindows::Local& local) { local.userData = data; }) ||
         Fail(ERROR_INVALID_WINDOW_HANDLE);
}

bool AttachToWindow(HWND window, std::shared_ptr<void> attachment) {
  return Windows().With(window,
                        [&attachment](ProcessWindows::Local& local) {
                          local.attachments.push_back(std::move(attachment));
                        }) ||
         Fail(ERROR_INVALID_WINDOW_HANDLE);
}

void DetachFromWindow(HWND window, const void* attachment) {
  std::shared_ptr<void> detached;  // ends here, outside the lock
  Windows().With(window, [&](ProcessWindows::Local& local) {
    const auto found =
        std::find_if(local.attachments.begin(), local.attachments.end(),
                     [attachment](const std::shared_ptr<void>& kept) { return kept.get() == attachment; });
    if (found != local.attachments.end()) {
      detached = std::move(*found);
      local.attachments.erase(found);
    }
  });
}

HWND FindWindow(const char16_t* className, const char16_t* title) {
  HWND found = 0;
  EnumSelected(
      [&](const WindowRecord& record) {
        return record.parent == 0 &&
               (className == nullptr || FoldCase(record.className) == FoldCase(className)) &&
               (title == nullptr || FoldCase(record.title) == FoldCase(title));
      },
      [](HWND window, LPARAM into) {
        *reinterpret_cast<HWND*>(into) = window;
        return false;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

bool EnumWindows(WNDENUMPROC callback, LPARAM lParam) {
  return EnumSelected([](const WindowRecord& record) { return record.parent == 0; }, callback,
                      lParam);
}

bool EnumThreadWindows(std::uint32_t threadId, WNDENUMPROC callback, LPARAM lParam) {
  return EnumSelected(
      [threadId](const WindowRecord& record) {
        return record.parent == 0 && record.thread == threadId;
      },
      callback, lParam);
}

bool EnumChildWindows(HWND parent, WNDENUMPROC callback, LPARAM lParam) {
  return EnumSelected(
      [parent](const WindowRecord& record) { return IsDescendant(record.handle, parent); },
      callback, lParam);
}

bool PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (window == 0) {
    if (ThreadQueue::ForThisThread() == nullptr) {
      return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    const std::uint32_t error = Deliver(CurrentThreadId(), 0, message, wParam, lParam);
    return error == ERROR_SUCCESS || Fail(error);
  }
  for (int attempt = 0; attempt < 2; ++attempt) {
    const std::optional<std::uint32_t> thread = Targets().ThreadOf(window);
    if (!thread) {
      break;
    }
    const std::uint32_t error = Deliver(*thread, window, message, wParam, lParam);
    if (error != ERROR_INVALID_THREAD_ID) {
      return error == ERROR_SUCCESS || Fail(error);
    }
    Targets().Forget(window);
  }
  return Fail(ERROR_INVALID_WINDOW_HANDLE);
}

bool PostThreadMessage(std::uint32_t threadId, UINT message, WPARAM wParam, LPARAM lParam) {
  const std::uint32_t error = Deliver(threadId, 0, message, wParam, lParam);
  return error == ERROR_SUCCESS || Fail(error);
}

LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto local = Windows().Find(window);
  if (!local) {
    Fail(IsWindow(window) ? ERROR_ACCESS_DENIED : ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (local->second == CurrentThreadId()) {
    return local->first(window, message, wParam, lParam);
  }
  const std::shared_ptr<ThreadQueue> owner = ThreadQueue::OfThread(local->second);
  return owner ? owner->Send(window, message, wParam, lParam, ThreadQueue::IfExists()) : 0;
}

bool EnsureMessageQueue() {
  return ThreadQueue::ForThisThread() != nullptr || Fail(ERROR_NOT_ENOUGH_MEMORY);
}

bool PeekMessage(MSG& message, HWND window, UINT first, UINT last, UINT remove) {
  ThreadQueue* queue = ThreadQueue::ForThisThread();
  if (queue == nullptr) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
  const std::optional<MSG> taken = queue->Retrieve(window, first, last, (remove & PM_REMOVE) != 0);
  if (taken) {
    message = *taken;
  }
  return taken.has_value();
}

int GetMessage(MSG& message, HWND window, UINT first, UINT last) {
  ThreadQueue* queue = ThreadQueue::ForThisThread();
  if (queue == nullptr) {
    Fail(ERROR_NOT_ENOUGH_MEMORY);
    return -1;
  }
  return queue->Get(message, window, first, last);
}

LRESULT DispatchMessage(const MSG& message) {
  return detail::CallWindowProcedure(message.hwnd, message.message, message.wParam,
                                     message.lParam);
}

void PostQuitMessage(int exitCode) {
  if (ThreadQueue* queue = ThreadQueue::ForThisThread()) {
    queue->PostQuit(exitCode);
  }
}

std::uintptr_t SetTimer(HWND window, std::uintptr_t id, std::uint32_t elapse) {
  const auto local = Windows().Find(window);
  ThreadQueue* queue = ThreadQueue::ForThisThread();
  if (!local || local->second != CurrentThreadId() || queue == nullptr) {
    Fail(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  queue->SetTimer(window, id, elapse);
  return id;
}

bool KillTimer(HWND window, std::uintptr_t id) {
  ThreadQueue* queue = ThreadQueue::IfExists();
  return (queue != nullptr && queue->KillTimer(window, id)) || Fail(ERROR_INVALID_PARAMETER);
}

WaitResult MsgWaitForMultipleObjects(std::span<const ObjectRef> objects, bool waitAll,
                                     Timeout timeout, UINT wakeMask) {
  ThreadQueue* queue = ThreadQueue::ForThisThread();
  if (waitAll || queue == nullptr) {
    return {WaitStatus::Failed, 0, waitAll ? ERROR_INVALID_PARAMETER : ERROR_NOT_ENOUGH_MEMORY};
  }
  return queue->Wait(objects, timeout, wakeMask);
}

}  // namespace platform
