#include "platform/com/SingleThreadedApartment.h"

#include <optional>
#include <vector>

#include "platform/base/Process.h"
#include "platform/user/Window.h"

namespace platform::detail {

namespace {

constexpr char16_t kWindowClass[] = u"PlatformApartmentWindow";
// The one message of the apartment's window: calls are queued.
constexpr UINT kCallsQueued = WM_USER;

}  // namespace

std::shared_ptr<SingleThreadedApartment> SingleThreadedApartment::Enter() {
  static const bool registered =
      RegisterClass(kWindowClass, &SingleThreadedApartment::Procedure) ||
      LastWindowsError() == ERROR_CLASS_ALREADY_EXISTS;
  if (!registered) return nullptr;
  HandleResult<Event> wake = Event::Create(EventReset::Auto, false);
  if (!wake.handle) return nullptr;
  auto apartment =
      std::make_shared<SingleThreadedApartment>(std::move(wake.handle), CurrentThreadId());
  const HWND window = CreateWindow(kWindowClass, u"", 0, HWND_MESSAGE);
  if (window == 0) return nullptr;
  SetWindowUserData(window, apartment.get());
  apartment->m_window.store(window);
  return apartment;
}

SingleThreadedApartment::SingleThreadedApartment(Event wake, std::uint32_t thread) noexcept
    : m_wake(std::move(wake)), m_thread(thread) {}

SingleThreadedApartment::~SingleThreadedApartment() { Close(); }

LRESULT SingleThreadedApartment::Procedure(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
  if (message != kCallsQueued) return DefWindowProc(window, message, wParam, lParam);
  // The window lives no longer than its apartment: Leave destroys it on this thread.
  if (auto* apartment = static_cast<SingleThreadedApartment*>(GetWindowUserData(window))) {
    apartment->RunQueued();
  }
  return 0;
}

void SingleThreadedApartment::Deliver(std::function<void()> call) {
  {
    const std::scoped_lock lock(m_mutex);
    if (m_closed) return;  // `call` goes unrun
    m_calls.push_back(std::move(call));
  }
  // One message for each call, so that none waits for a later one; a window that is gone (its
  // thread ended without leaving) closes the apartment.
  const HWND window = m_window.load();
  if (!PostMessage(window, kCallsQueued, 0, 0) && !IsWindow(window)) Close();
}

void SingleThreadedApartment::RunQueued() {
  for (;;) {
    std::function<void()> call;
    {
      const std::scoped_lock lock(m_mutex);
      if (m_calls.empty()) return;
      call = std::move(m_calls.front());
      m_calls.pop_front();
    }
    call();
  }
}

bool SingleThreadedApartment::WaitServing(const std::function<bool()>& done) {
  // Thread messages have no window to run them and WM_QUIT belongs to the thread's own loop:
  // both are put back for that loop once the wait is over.
  std::vector<MSG> threadMessages;
  std::optional<int> quit;
  const ObjectRef wake = m_wake.Ref();
  bool waited = true;
  while (!done()) {
    const WaitResult woke = MsgWaitForMultipleObjects({&wake, 1}, false, kInfinite, QS_ALLINPUT);
    if (woke.status == WaitStatus::Failed) {
      waited = false;
      break;
    }
    MSG message;
    while (PeekMessage(message, 0, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        quit = static_cast<int>(message.wParam);
      } else if (message.hwnd == 0) {
        threadMessages.push_back(message);
      } else {
        DispatchMessage(message);
      }
    }
  }
  for (const MSG& message : threadMessages) {
    PostThreadMessage(m_thread, message.message, message.wParam, message.lParam);
  }
  if (quit) PostQuitMessage(*quit);
  return waited;
}

void SingleThreadedApartment::Wake() { m_wake.Set(); }

void SingleThreadedApartment::Leave() {
  DestroyWindow(m_window.load());
  Close();
}

void SingleThreadedApartment::Close() {
  std::deque<std::function<void()>> dropped;
  {
    const std::scoped_lock lock(m_mutex);
    m_closed = true;
    dropped.swap(m_calls);
  }
}

}  // namespace platform::detail
