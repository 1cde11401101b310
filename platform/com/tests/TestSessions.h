#pragma once

// A session manager of the test's root in the test's own process, from construction until
// destruction (which logs every session off and joins the manager's thread). One thread.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class TestSessions {
 public:
  TestSessions();
  TestSessions(const TestSessions&) = delete;
  TestSessions& operator=(const TestSessions&) = delete;
  ~TestSessions();

  bool Running() const noexcept;
  // The new session of `user`; nothing when the logon failed.
  std::optional<std::uint32_t> Logon(const std::string& user);

 private:
  struct State;
  std::unique_ptr<State> m_state;
};
