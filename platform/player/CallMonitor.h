#pragma once

// CallMonitor: records the player calls made and makes chosen calls fail, for tests.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/Status.h"
#include "platform/com/Interface.h"

namespace platform::player {

// One call as it reached the player: the method, the object called by its name (a media item's
// or playlist's name, a string collection's attribute, the name a playlist array was asked for;
// empty for the player, its collections, controls and settings) and the in-arguments as texts
// (numbers in decimal, texts as they are, media and playlists by their names).
struct RecordedCall {
  const MethodInfo* method;
  std::u16string receiver;
  std::vector<std::u16string> arguments;

  // "IWMPMediaCollection::getByAlbum"
  std::string Name() const;
  // "IWMPMedia::getItemInfo(Album) on Lanterns"
  std::string Line() const;
};

// Which calls of a method fail: those whose first arguments equal `arguments` (an index as its
// decimal text), made on the object named `on` when given, and only the next `times` of them
// when given.
struct CallMatch {
  std::vector<std::u16string> arguments = {};
  std::optional<std::u16string> on = std::nullopt;
  std::optional<std::size_t> times = std::nullopt;
};

// A test names methods by member pointer:
//   monitor.Fail<&IWMPMediaCollection::getByAlbum>(E_FAIL);
//   monitor.Fail<&IWMPPlaylist::get_item>(E_FAIL, {.arguments = {u"2"}, .on = u"Road Trip"});
// Used on the engine's thread only.
class CallMonitor {
 public:
  // From now on the matching calls of the method fail with `failure` (a failure code); the
  // earliest matching rule decides.
  template <auto Method>
  void Fail(HRESULT failure, CallMatch match = {}) {
    AddRule(QualifiedName(MethodOf<Method>), failure, std::move(match));
  }
  // The same with the method named as "IWMPPlayer4::get_playState", as a command line names it.
  void Fail(std::string_view qualifiedMethod, HRESULT failure, CallMatch match = {}) {
    AddRule(std::string(qualifiedMethod), failure, std::move(match));
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
  // The recorded calls' lines, in order.
  std::vector<std::string> CallLines() const;

  // "IWMPMediaCollection::getByAlbum"
  static std::string QualifiedName(const MethodInfo& method);

  // Called by the player's objects on entry: records the call, answers the failure to return
  // or S_OK.
  HRESULT Enter(const MethodInfo& method, std::u16string_view receiver,
                std::vector<std::u16string> arguments);

 private:
  struct Rule {
    std::string method;  // "Interface::method"
    HRESULT failure;
    CallMatch match;
  };

  void AddRule(std::string method, HRESULT failure, CallMatch match);
  std::size_t Count(const MethodInfo& method) const noexcept;

  std::vector<Rule> m_rules;
  std::vector<RecordedCall> m_calls;
  bool m_recording = false;
};

}  // namespace platform::player
