#include "platform/player/CallMonitor.h"

#include <algorithm>
#include <stdexcept>

#include "platform/base/Text.h"

namespace platform::player {

std::string RecordedCall::Name() const { return CallMonitor::QualifiedName(*method); }

std::string RecordedCall::Line() const {
  std::string line = Name() + "(";
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (i > 0) line += ", ";
    line += ToUtf8(arguments[i]);
  }
  line += ")";
  if (!receiver.empty()) line += " on " + ToUtf8(receiver);
  return line;
}

std::vector<std::string> CallMonitor::CallLines() const {
  std::vector<std::string> lines;
  lines.reserve(m_calls.size());
  for (const RecordedCall& call : m_calls) lines.push_back(call.Line());
  return lines;
}

std::string CallMonitor::QualifiedName(const MethodInfo& method) {
  return std::string(method.interfaceName) + "::" + std::string(method.methodName);
}

void CallMonitor::AddRule(std::string method, HRESULT failure, CallMatch match) {
  if (!FAILED(failure)) throw std::invalid_argument("an injected result must be a failure");
  if (match.times == std::size_t{0}) return;
  m_rules.push_back({std::move(method), failure, std::move(match)});
}

std::size_t CallMonitor::Count(const MethodInfo& method) const noexcept {
  return static_cast<std::size_t>(
      std::count_if(m_calls.begin(), m_calls.end(),
                    [&](const RecordedCall& call) { return call.method == &method; }));
}

HRESULT CallMonitor::Enter(const MethodInfo& method, std::u16string_view receiver,
                           std::vector<std::u16string> arguments) {
  HRESULT result = S_OK;
  const std::string name = m_rules.empty() ? std::string() : QualifiedName(method);
  for (auto rule = m_rules.begin(); rule != m_rules.end(); ++rule) {
    const CallMatch& match = rule->match;
    if (rule->method != name || (match.on && *match.on != receiver) ||
        match.arguments.size() > arguments.size() ||
        !std::equal(match.arguments.begin(), match.arguments.end(), arguments.begin())) {
      continue;
    }
    result = rule->failure;
    if (rule->match.times && --*rule->match.times == 0) m_rules.erase(rule);
    break;
  }
  if (m_recording) m_calls.push_back({&method, std::u16string(receiver), std::move(arguments)});
  return result;
}

}  // namespace platform::player
