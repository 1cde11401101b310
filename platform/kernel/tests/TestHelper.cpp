// The helper program of the multi-process tests and the benchmark: reads one command a line from
// its standard input, acts on the platform root it inherited, and answers with one line.

#include <cstdint>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "platform/base/Text.h"
#include "platform/kernel/Event.h"
#include "platform/kernel/Mutex.h"
#include "platform/kernel/Session.h"
#include "platform/kernel/Wait.h"

namespace platform {
namespace {

using Object = std::variant<Event, Mutex>;

class Helper {
 public:
  std::string Run(const std::string& line) {
    std::istringstream words(line);
    std::string command;
    words >> command;
    if (command == "event") {
      std::string name, reset, state;
      words >> name >> reset >> state;
      return Keep(Event::Create(reset == "manual" ? EventReset::Manual : EventReset::Auto,
                                state == "set", NameOf(name)));
    }
    if (command == "open-event") {
      std::string name;
      words >> name;
      return Keep(Event::Open(NameOf(name)));
    }
    if (command == "mutex") {
      std::string name, owned;
      words >> name >> owned;
      return Keep(Mutex::Create(owned == "owned", NameOf(name)));
    }
    if (command == "set" || command == "reset" || command == "release" || command == "close") {
      std::size_t index = 0;
      words >> index;
      if (index >= objects_.size()) {
        return "no such object";
      }
      return Act(command, objects_[index]) ? "ok" : "false";
    }
    if (command == "wait") {
      std::string list, timeout;
      words >> list >> timeout;
      return Wait(list, timeout);
    }
    if (command == "session") {
      return std::to_string(ProcessSessionId());
    }
    return "unknown command " + command;
  }

 private:
  static std::u16string NameOf(const std::string& word) {
    return word == "-" ? std::u16string() : FromUtf8(word);
  }

  template <class Handle>
  std::string Keep(HandleResult<Handle> result) {
    if (!result.handle) {
      return "error " + std::to_string(result.error);
    }
    objects_.emplace_back(std::move(result.handle));
    return std::string(result.alreadyExisted ? "existed " : "new ") +
           std::to_string(objects_.size() - 1);
  }

  static bool Act(const std::string& command, Object& object) {
    if (auto* event = std::get_if<Event>(&object)) {
      if (command == "close") {
        event->Close();
        return true;
      }
      return command == "set" ? event->Set() : command == "reset" && event->Reset();
    }
    auto& mutex = std::get<Mutex>(object);
    if (command == "close") {
      mutex.Close();
      return true;
    }
    return command == "release" && mutex.Release();
  }

  std::string Wait(const std::string& list, const std::string& timeout) {
    std::vector<ObjectRef> references;
    std::istringstream items(list);
    for (std::string item; std::getline(items, item, ',');) {
      const std::size_t index = std::stoul(item);
      if (index >= objects_.size()) {
        return "no such object";
      }
      references.push_back(
          std::visit([](const auto& held) { return held.Ref(); }, objects_[index]));
    }
    const Timeout limit = timeout == "inf" ? kInfinite : Timeout(std::stoll(timeout));
    const WaitResult result = WaitForObjects(references, limit);
    switch (result.status) {
      case WaitStatus::Signalled:
        return "signalled " + std::to_string(result.index);
      case WaitStatus::TimedOut:
        return "timeout";
      case WaitStatus::Failed:
        break;
    }
    return "failed " + std::to_string(result.error);
  }

  std::vector<Object> objects_;
};

}  // namespace
}  // namespace platform

int main() {
  platform::Helper helper;
  for (std::string line; std::getline(std::cin, line);) {
    std::cout << helper.Run(line) << std::endl;
  }
  return 0;
}
