#include "proxy/ServiceEventThread.h"

#include <algorithm>

#include "common/ProgramLogger.h"
#include "platform/kernel/Security.h"
#include "platform/kernel/Session.h"
#include "platform/kernel/Wait.h"
#include "platform/sessions/Sessions.h"
#include "platform/user/Window.h"
#include "proxy/ProxyResources.h"

namespace {

constexpr std::array<const char16_t*, 4> kEventNames{
    u"WMP_START_SERVICE", u"WMP_STOP_SERVICE", u"WMP_RESTART_SERVICE", u"WMP_PROXY_TERMINATE"};
constexpr std::array<UINT, 3> kRequestMessages{WM_PROXY_START, WM_PROXY_STOP, WM_PROXY_RESTART};
constexpr std::size_t kTerminate = 3;

// The user of this session: its account, or, where the session's user is no account of this
// machine (a test's root), the user as which the root's programs run, which is this one's.
platform::Sid SessionUser() {
  const std::uint32_t l_nSession = platform::ProcessSessionId();
  if (const auto l_Sessions = platform::WTSEnumerateSessions()) {
    for (const platform::WTS_SESSION_INFO& l_Session : *l_Sessions) {
      if (l_Session.SessionId != l_nSession) continue;
      if (const std::optional<platform::Sid> l_User = platform::LookupAccountName(l_Session.UserName)) {
        return *l_User;
      }
    }
  }
  return platform::CurrentUserSid();
}

// The session's user may set the requests; Drennick's own user keeps every right; nobody else
// may open them.
platform::SecurityDescriptor RequestSecurity() {
  platform::Acl l_List;
  l_List.AddAccessAllowedAce(platform::EVENT_MODIFY_STATE | platform::SYNCHRONIZE, SessionUser());
  l_List.AddAccessAllowedAce(platform::EVENT_ALL_ACCESS, platform::CurrentUserSid());
  return platform::SecurityDescriptor::WithDacl(std::move(l_List));
}

}  // namespace

CServiceRequestEvents::CServiceRequestEvents() {
  const platform::SecurityDescriptor l_Security = RequestSecurity();
  for (std::size_t l_nEvent = 0; l_nEvent < kEventNames.size(); ++l_nEvent) {
    m_Events[l_nEvent] = platform::Event::Create(platform::EventReset::Manual, false,
                                                 kEventNames[l_nEvent], &l_Security)
                             .handle;
  }
}

bool CServiceRequestEvents::Complete() const noexcept {
  return std::ranges::all_of(m_Events, [](const platform::Event& p_Event) {
    return static_cast<bool>(p_Event);
  });
}

platform::Thread StartServiceEventThread(HWND p_hWindow, const CServiceRequestEvents& p_Events) {
  return platform::Thread::Start([p_hWindow, &p_Events] {
    const std::array<platform::Event, 4>& l_Events = p_Events.Events();
    const std::array<platform::ObjectRef, 4> l_Refs{l_Events[0].Ref(), l_Events[1].Ref(),
                                                    l_Events[2].Ref(), l_Events[3].Ref()};
    for (;;) {
      const platform::WaitResult l_Result = platform::WaitForObjects(l_Refs, platform::kInfinite);
      if (l_Result.status != platform::WaitStatus::Signalled || l_Result.index == kTerminate) {
        // A wait that fails would fail again at once: end, and the window with it.
        if (l_Result.status != platform::WaitStatus::Signalled) {
          g_Logger->Log(LOG_TO_FILE, u"ServiceEventThread wait fails with %d", l_Result.error);
        }
        l_Events[kTerminate].Reset();
        platform::PostMessage(p_hWindow, WM_CLOSE, 0, 0);
        return std::uint32_t{0};
      }
      platform::SendMessage(p_hWindow, kRequestMessages[l_Result.index], 0, 0);
      l_Events[l_Result.index].Reset();
    }
  });
}
