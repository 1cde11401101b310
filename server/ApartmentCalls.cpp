#include "server/ApartmentCalls.h"

#include "platform/base/Process.h"
#include "platform/user/Window.h"

namespace {

constexpr UINT WM_APARTMENT_CALL = WM_APP + 0x60;

}  // namespace

std::shared_ptr<CApartmentCalls> CApartmentCalls::InstallForThisThread() {
  auto l_pCalls = std::make_shared<CApartmentCalls>();
  if (!l_pCalls->Create(u"RuvelloApartmentCalls", WS_POPUP)) return nullptr;
  l_pCalls->m_hTarget = l_pCalls->Handle();
  const std::uint32_t l_nThread = platform::CurrentThreadId();
  const std::weak_ptr<CApartmentCalls> l_pWeak = l_pCalls;
  // Other threads of the process that enter an apartment run their calls where the layer does.
  platform::SetSingleThreadedDispatcherFactory(
      [l_nThread, l_pWeak]() -> std::shared_ptr<platform::CallDispatcher> {
        return platform::CurrentThreadId() == l_nThread ? l_pWeak.lock() : nullptr;
      });
  return l_pCalls;
}

void CApartmentCalls::Deliver(std::function<void()> p_Call) {
  {
    const std::lock_guard l_Guard(m_Lock);
    m_Calls.push_back(std::move(p_Call));
  }
  platform::PostMessage(m_hTarget.load(), WM_APARTMENT_CALL, 0, 0);
}

bool CApartmentCalls::ProcessWindowMessage(UINT p_nMessage, WPARAM /*p_wParam*/,
                                           LPARAM /*p_lParam*/, LRESULT& p_lResult) {
  if (p_nMessage != WM_APARTMENT_CALL) return false;
  std::function<void()> l_Call;
  {
    const std::lock_guard l_Guard(m_Lock);
    if (m_Calls.empty()) return true;
    l_Call = std::move(m_Calls.front());
    m_Calls.pop_front();
  }
  l_Call();
  p_lResult = 0;
  return true;
}
