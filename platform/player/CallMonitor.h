#pragma once

// CallMonitor: records the player calls made and makes chosen calls fail, for tests.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Status.h"
#include "platform/com/Interface.h"

namespace platform::player {

// One call as it reached the player: the method and its in-arguments as texts (numbers in
// decimal, texts as they are, media and playlists by their names).
struct RecordedCall {
  const MethodInfo* method;
  std::vector<std::u16string> arguments;

  // "IWMPMediaCollection::getByAlbum"
  std::string Name() const;
};

// A test names methods by member pointer: monitor.Fail<&IWMPMediaCollection::getByAlbum>(E_FAIL).
// Used on the engine's thread only.
class CallMonitor {
 public:
  // From now on calls of the method fail with `failure` (a failure code): every call, or only
  // those whose first arguments equal `leading` (an index as its decimal text), and only the
  // next `times` of them when given. The earliest matching rule decides.
  template <auto Method>
  void Fail(HRESULT failure, std::vector<std::u16string> leading = {},
            std::optional<std::size_t> times = std::nullopt) {
    AddRule(MethodOf<Method>, failure, std::move(leading), times);
  }
  void ClearFailures() noexcept { m_rules.clear(); }

  // Recording is off until switched on (a large library's queries are not slowed by it).
  void Record(bool on) noexcept { m_recording = on; }
  const std::vector<RecordedCall>& Calls() const noexcept { return m_calls; }
  void ClearCalls() noexcept { m_calls.clear(); }
  template <auto Method>
  std::size_t CountCalls() const {
    return Count(MethodOf<Method>);
  }
  // The recorded calls as "IWMPMedia::getItemInfo(Album)" lines, in order.
  std::vector<std::string> CallLines() const;

  // Called by the player's objects on entry: records the call, answers the failure to return
  // or S_OK.
  HRESULT Enter(const MethodInfo& method, std::vector<std::u16string> arguments);

 private:
  struct Rule {
    const MethodInfo* method;
    HRESULT failure;
    std::vector<std::u16string> leading;
    std::optional<std::size_t> times;
  };

  void AddRule(const MethodInfo& method, HRESULT failure, std::vector<std::u16string> leading,
               std::optional<std::size_t> times);
  std::size_t Count(const MethodInfo& method) const noexcept;

  std::vector<Rule> m_rules;
  std::vector<RecordedCall> m_calls;
  bool m_recording = false;
};

}  // namespace platform::player
