// The helper program of the multi-process tests and the benchmark: reads one command a line from
// its standard input, acts on the platform root it inherited, and answers with one line.

#include <cstdint>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include <chrono>
#include <cstring>

#include "platform/base/Text.h"
#include "platform/ipc/Pipe.h"
#include "platform/ipc/SharedSection.h"
#include "platform/kernel/Event.h"
#include "platform/kernel/Mutex.h"
#include "platform/kernel/ObjectTable.h"
#include "platform/kernel/Session.h"
#include "platform/kernel/Wait.h"

namespace platform {
namespace {

using Object = std::variant<Event, Mutex, SharedSection, PipeConnection, PipeServer>;

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
    if (command == "section") {
      std::string name;
      std::size_t size = 0;
      words >> name >> size;
      return Keep(SharedSection::Create(NameOf(name), size));
    }
    if (command == "connect") {
      std::string name;
      words >> name;
      return Keep(PipeConnection::Connect(NameOf(name)));
    }
    if (command == "serve") {
      std::string name;
      words >> name;
      return Keep(PipeServer::Create(NameOf(name)));
    }
    if (command == "wait") {
      std::string list, timeout;
      words >> list >> timeout;
      return Wait(list, timeout);
    }
    if (command == "session") {
      return std::to_string(ProcessSessionId());
    }
    if (command == "hold-table") {
      // Takes the table's lock and keeps it, so that a test can kill a holder of the lock.
      heldTable_.emplace(*detail::ObjectTable::Instance());
      return "holding";
    }
    if (command == "echo") {
      return Echo(words);
    }
    std::size_t index = 0;
    words >> index;
    if (index >= objects_.size()) {
      return "no such object";
    }
    Object& object = objects_[index];
    if (command == "close") {
      std::visit([](auto& held) { held = std::decay_t<decltype(held)>(); }, object);
      return "ok";
    }
    if (command == "set" || command == "reset") {
      const Event& event = std::get<Event>(object);
      return (command == "set" ? event.Set() : event.Reset()) ? "ok" : "false";
    }
    if (command == "release") {
      return std::get<Mutex>(object).Release() ? "ok" : "false";
    }
    if (command == "poke" || command == "peek") {
      std::size_t offset = 0;
      unsigned value = 0;
      words >> offset >> value;
      const std::span<std::byte> bytes = std::get<SharedSection>(object).Bytes();
      if (command == "peek") {
        return std::to_string(static_cast<unsigned>(bytes[offset]));
      }
      bytes[offset] = static_cast<std::byte>(value);
      return "ok";
    }
    if (command == "write") {
      std::string hex;
      words >> hex;
      const std::uint32_t error = std::get<PipeConnection>(object).Write(FromHex(hex), kInfinite);
      return error == ERROR_SUCCESS ? "ok" : "error " + std::to_string(error);
    }
    if (command == "read") {
      std::string timeout;
      words >> timeout;
      return Read(std::get<PipeConnection>(object), TimeoutOf(timeout));
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

  static Timeout TimeoutOf(const std::string& word) {
    return word == "inf" ? kInfinite : Timeout(std::stoll(word));
  }

  // "-" is the empty message; otherwise two hexadecimal digits a byte.
  static std::vector<std::byte> FromHex(const std::string& hex) {
    std::vector<std::byte> bytes;
    for (std::size_t at = 0; hex != "-" && at + 1 < hex.size(); at += 2) {
      bytes.push_back(static_cast<std::byte>(std::stoul(hex.substr(at, 2), nullptr, 16)));
    }
    return bytes;
  }

  static std::string Read(const PipeConnection& pipe, Timeout timeout) {
    const PipeRead read = pipe.Read(timeout);
    switch (read.status) {
      case PipeReadStatus::Message: {
        std::string answer = "message ";
        constexpr char kDigits[] = "0123456789abcdef";
        for (const std::byte byte : read.message) {
          answer += kDigits[static_cast<unsigned>(byte) >> 4];
          answer += kDigits[static_cast<unsigned>(byte) & 15];
        }
        return read.message.empty() ? answer + "-" : answer;
      }
      case PipeReadStatus::Disconnected:
        return "disconnected";
      case PipeReadStatus::TimedOut:
        return "timeout";
      case PipeReadStatus::Failed:
        break;
    }
    return "failed " + std::to_string(read.error);
  }

  // The far side of the wake-up benchmark: each time `wake` is set, stores the time it woke at
  // offset 8 of the section and sets `done`.
  std::string Echo(std::istringstream& words) {
    std::size_t wake = 0, done = 0, section = 0, rounds = 0;
    words >> wake >> done >> section >> rounds;
    const ObjectRef wakeRef = std::get<Event>(objects_.at(wake)).Ref();
    const Event& doneEvent = std::get<Event>(objects_.at(done));
    const std::span<std::byte> bytes = std::get<SharedSection>(objects_.at(section)).Bytes();
    for (std::size_t round = 0; round < rounds; ++round) {
      if (WaitForObject(wakeRef, kInfinite).status != WaitStatus::Signalled) {
        return "failed";
      }
      const std::int64_t now = std::chrono::steady_clock::now().time_since_epoch().count();
      std::memcpy(bytes.data() + 8, &now, sizeof now);
      doneEvent.Set();
    }
    return "done";
  }

  std::string Wait(const std::string& list, const std::string& timeout) {
    std::vector<ObjectRef> references;
    std::istringstream items(list);
    for (std::string item; std::getline(items, item, ',');) {
      const std::size_t index = std::stoul(item);
      if (index >= objects_.size()) {
        return "no such object";
      }
      if (const auto* event = std::get_if<Event>(&objects_[index])) {
        references.push_back(event->Ref());
      } else if (const auto* mutex = std::get_if<Mutex>(&objects_[index])) {
        references.push_back(mutex->Ref());
      } else {
        return "not waitable";
      }
    }
    const WaitResult result = WaitForObjects(references, TimeoutOf(timeout));
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
  std::optional<detail::ObjectTable::Lock> heldTable_;
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
