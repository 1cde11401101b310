// The helper program of the multi-process tests and the benchmark: reads one command a line from
// its standard input, acts on the platform root it inherited, and answers with one line.

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <span>
#include <sstream>
#include <string>
#include <thread>
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
#include "platform/kernel/tests/ActAsUser.h"

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
      std::uint32_t access = EVENT_ALL_ACCESS;
      words >> name >> std::hex >> access;
      return Keep(Event::Open(NameOf(name), access));
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
    if (command == "die-at") {
      // The helper kills itself at its next pass through that step of the table.
      unsigned point = 0;
      words >> point;
      detail::ArmDeathPoint(static_cast<detail::DeathPoint>(point));
      return "armed";
    }
    if (command == "kill-run") {
      std::size_t children = 0;
      long long kills = 0, seconds = 0;
      unsigned seed = 0;
      words >> children >> kills >> seconds >> seed;
      return KillRun(children, kills, std::chrono::seconds(seconds), seed);
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

  // Keeps `children` forked children churning and kills one of them by its id at a random moment,
  // then forks another, until `kills` kills or `limit` have passed; answers "<n> kills". Only as
  // the helper's first command: the helper itself never uses the layer, so that each child starts
  // as a process of its own there. A child dies with the helper.
  static std::string KillRun(std::size_t children, long long kills,
                             std::chrono::seconds limit, unsigned seed) {
    std::mt19937 random(seed);
    const auto fork = [&random]() -> pid_t {
      const auto childSeed = static_cast<unsigned>(random());
      const pid_t parent = getpid();
      const pid_t child = ::fork();
      if (child == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) {
          _exit(1);
        }
        // Busy children yield to the killer, so that forks and kills keep their pace.
        if (nice(10) == -1) {
          _exit(1);
        }
        Churn(childSeed);
      }
      return child;
    };
    std::vector<pid_t> running;
    for (std::size_t count = 0; count < children; ++count) {
      running.push_back(fork());
    }
    // A killed child is reaped later, so that its exit overlaps the next child's start.
    std::vector<pid_t> dying;
    const auto end = std::chrono::steady_clock::now() + limit;
    long long killed = 0;
    for (; killed < kills && std::chrono::steady_clock::now() < end; ++killed) {
      std::this_thread::sleep_for(std::chrono::microseconds(random() % 1000));
      pid_t& victim = running[random() % running.size()];
      kill(victim, SIGKILL);
      dying.push_back(victim);
      victim = fork();
      std::erase_if(dying, [](pid_t child) { return waitpid(child, nullptr, WNOHANG) != 0; });
    }
    for (const pid_t child : running) {
      kill(child, SIGKILL);
      dying.push_back(child);
    }
    for (const pid_t child : dying) {
      waitpid(child, nullptr, 0);
    }
    return std::to_string(killed) + " kills";
  }

  // Creates, opens, sets, waits on and closes objects at random until the process is killed: the
  // named ones "Churn0".."Churn5", "ChurnData0".."ChurnData5", "ChurnLock" and "Kept", unnamed
  // events, and waits of up to 2 ms.
  [[noreturn]] static void Churn(unsigned seed) {
    std::mt19937 random(seed);
    const auto pick = [&random](std::size_t count) {
      return static_cast<std::size_t>(random() % static_cast<unsigned>(count));
    };
    const auto numbered = [&pick](const char* stem) {
      return FromUtf8(stem + std::to_string(pick(6)));
    };
    std::vector<Event> events;
    std::vector<Mutex> mutexes;
    std::vector<SharedSection> sections;
    for (;;) {
      switch (pick(8)) {
        case 0:
          events.push_back(Event::Create(EventReset::Auto, false, numbered("Churn")).handle);
          break;
        case 1:
          events.push_back(Event::Open(u"Kept").handle);
          break;
        case 2:
          events.push_back(Event::Create(EventReset::Manual, false).handle);
          break;
        case 3: {
          Mutex mutex = Mutex::Create(false, u"ChurnLock").handle;
          if (WaitForObject(mutex.Ref(), Timeout(1)).Signalled(0)) {
            mutex.Release();
          }
          mutexes.push_back(std::move(mutex));
          break;
        }
        case 4:
          sections.push_back(SharedSection::Create(numbered("ChurnData"), 64).handle);
          break;
        case 5:
          if (!events.empty()) {
            const std::array<ObjectRef, 3> objects{events[pick(events.size())].Ref(),
                                                   events[pick(events.size())].Ref(),
                                                   mutexes.empty() ? ObjectRef{}
                                                                   : mutexes.back().Ref()};
            WaitForObjects(std::span(objects).first(mutexes.empty() ? 2 : 3),
                           Timeout(static_cast<std::int64_t>(pick(3))));
          }
          break;
        case 6:
          if (!events.empty()) {
            events[pick(events.size())].Set();
          }
          break;
        default:
          if (!events.empty()) {
            events.erase(events.begin() + static_cast<std::ptrdiff_t>(pick(events.size())));
          }
          if (!mutexes.empty() && pick(2) == 0) {
            mutexes.pop_back();
          }
          if (!sections.empty() && pick(2) == 0) {
            sections.erase(sections.begin());
          }
          break;
      }
      if (events.size() > 24) {
        events.erase(events.begin());
      }
      if (mutexes.size() > 4) {
        mutexes.erase(mutexes.begin());
      }
      if (sections.size() > 4) {
        sections.erase(sections.begin());
      }
    }
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

int main(int argc, char** argv) {
  if (!platform::testing::ActAsUserOfArguments(argc, argv)) {
    return 127;
  }
  platform::Helper helper;
  for (std::string line; std::getline(std::cin, line);) {
    std::cout << helper.Run(line) << std::endl;
  }
  return 0;
}
