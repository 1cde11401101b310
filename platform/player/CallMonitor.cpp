#include "platform/player/CallMonitor.h"

#include <algorithm>
#include <stdexcept>

#include "platform/base/Text.h"

namespace platform::player {

std::string RecordedCall::Name() const {
  return std::string(method->interfaceName) + "::" + std::string(method->methodName);
}

std::vector<std::string> CallMonitor::CallLines() const {
  std::vector<std::string> lines;
  lines.reserve(m_calls.size());
  for (const RecordedCall& call : m_calls) {
    std::string line = call.Name() + "(";
    for (std::size_t i = 0; i < call.arguments.size(); ++i) {
      if (i > 0) line += ", ";
      line += ToUtf8(call.arguments[i]);
    }
    lines.push_back(line + ")");
  }
  return lines;
}

void CallMonitor::AddRule(const MethodInfo& method, HRESULT failure,
                          std::vector<std::u16string> leading, std::optional<std::size_t> times) {
  if (!FAILED(failure)) throw std::invalid_argument("an injected result must be a failure");
  if (times == std::size_t{0}) return;
  m_rules.push_back({&method, failure, std::move(leading), times});
}

std::size_t CallMonitor::Count(const MethodInfo& method) const noexcept {
  return static_cast<std::size_t>(
      std::count_if(m_calls.begin(), m_calls.end(),
                    [&](const RecordedCall& call) { return call.method == &method; }));
}

HRESULT CallMonitor::Enter(const MethodInfo& method, std::vector<std::u16string> arguments) {
  HRESULT result = S_OK;
  for (auto rule = m_rules.begin(); rule != m_rules.end(); ++rule) {
    if (rule->method != &method || rule->leading.size() > arguments.size() ||
        !std::equal(rule->leading.begin(), rule->leading.end(), arguments.begin())) {
      continue;
    }
    result = rule->failure;
    if (rule->times && --*rule->times == 0) m_rules.erase(rule);
    break;
  }
  if (m_recording) m_calls.push_back({&method, std::move(arguments)});
  return result;
}

}  // namespace platform::player
