#include "platform/com/tests/TestSessions.h"

#include <thread>

#include "platform/sessions/SessionManager.h"

namespace {

class NoWindows final : public platform::SessionWindowDelivery {
 public:
  void PostSessionChange(std::uint32_t, std::uint32_t, std::uint32_t) override {}
  std::size_t EndSession(std::uint32_t) override { return 0; }
};

}  // namespace

struct TestSessions::State {
  std::unique_ptr<platform::SessionManager> manager;
  std::optional<platform::SessionControl> control;
  std::thread serving;
};

TestSessions::TestSessions() : m_state(std::make_unique<State>()) {
  m_state->manager = platform::SessionManager::Start(std::make_unique<NoWindows>());
  if (!m_state->manager) return;
  m_state->serving = std::thread([this] { m_state->manager->Run(); });
  m_state->control = platform::SessionControl::Connect();
}

TestSessions::~TestSessions() {
  if (!m_state->manager) return;
  m_state->manager->Stop();
  m_state->serving.join();
}

bool TestSessions::Running() const noexcept { return m_state->control.has_value(); }

std::optional<std::uint32_t> TestSessions::Logon(const std::string& user) {
  if (!m_state->control) return std::nullopt;
  const auto result = m_state->control->Logon(user, false);
  if (result.error != 0) return std::nullopt;
  return static_cast<std::uint32_t>(std::stoul(result.value));
}
