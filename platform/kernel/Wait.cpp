#include "platform/kernel/Wait.h"

#include <array>
#include <optional>
#include <thread>

#include "platform/base/Process.h"
#include "platform/base/Time.h"
#include "platform/kernel/MessageInput.h"
#include "platform/kernel/ObjectTable.h"

namespace platform {
namespace {

using detail::ObjectKind;
using detail::ObjectTable;
using detail::SharedObject;
using Clock = std::chrono::steady_clock;

// How often a wait on a mutex that another process owns checks that the owner still runs.
constexpr auto kOwnerCheckPeriod = std::chrono::seconds(1);
// The longest a wait sleeps before it looks at its objects again, on the layer's clock. A
// process killed inside the table's lock may have changed an object without waking its waiters;
// the next process to take the lock wakes them all, so this look only matters when none takes it
// for that long. Every sleeping wait of every process wakes once a period, so it is long.
constexpr Timeout kLostWakePeriod(30000);

std::optional<Clock::time_point> RealDeadline(Timeout timeout) {
  if (timeout == kInfinite) {
    return std::nullopt;
  }
  return Clock::now() + RealDuration(timeout < Timeout::zero() ? Timeout::zero() : timeout);
}

static_assert(kMaxWaitObjects + 1 <= detail::kMaxWaiterObjects);

// Holds a waiter record while a wait sleeps; removed under the lock that the wait holds.
class WaiterRecord {
 public:
  WaiterRecord(ObjectTable::Lock& lock, std::uint32_t index) noexcept
      : lock_(lock), index_(index) {}
  WaiterRecord(const WaiterRecord&) = delete;
  WaiterRecord& operator=(const WaiterRecord&) = delete;
  ~WaiterRecord() { lock_.Table().RemoveWaiter(lock_, index_); }

  std::uint32_t Index() const noexcept { return index_; }

 private:
  ObjectTable::Lock& lock_;
  std::uint32_t index_;
};

enum class Probe { Signalled, NotYet, OwnedElsewhere, Invalid };

Probe TakeIfSignalled(SharedObject* object) {
  if (object == nullptr) {
    return Probe::Invalid;
  }
  switch (object->kind) {
    case ObjectKind::Event:
      if (!object->signalled) {
        return Probe::NotYet;
      }
      if (!object->manualReset) {
        object->signalled = false;
      }
      return Probe::Signalled;
    case ObjectKind::Mutex: {
      const detail::ProcessIdentity self = detail::ThisProcess();
      const std::uint32_t thread = CurrentThreadId();
      if (object->owner.pid == 0) {
        object->owner = self;
        detail::PassDeathPoint(detail::DeathPoint::MutexHalfTaken);
        object->ownerThread = thread;
        object->recursion = 1;
        return Probe::Signalled;
      }
      if (object->owner == self && object->ownerThread == thread) {
        ++object->recursion;
        return Probe::Signalled;
      }
      return object->owner == self ? Probe::NotYet : Probe::OwnedElsewhere;
    }
    default:
      return Probe::Invalid;
  }
}

// The one wait of the layer: `input`, when not null, is waited on after the objects.
WaitResult Wait(std::span<const ObjectRef> objects, ObjectRef input, bool withInput,
                Timeout timeout) {
  if (objects.size() > kMaxWaitObjects) {
    return {WaitStatus::Failed, 0, ERROR_INVALID_PARAMETER};
  }
  ObjectTable* table = ObjectTable::Instance();
  if (table == nullptr) {
    return {WaitStatus::Failed, 0, ERROR_INVALID_HANDLE};
  }
  std::array<ObjectRef, kMaxWaitObjects + 1> all{};
  std::copy(objects.begin(), objects.end(), all.begin());
  const std::size_t count = objects.size() + (withInput ? 1 : 0);
  if (withInput) {
    all[objects.size()] = input;
  }
  const std::optional<Clock::time_point> deadline = RealDeadline(timeout);
  Clock::time_point nextOwnerCheck = Clock::now();
  ObjectTable::Lock lock(*table);
  std::optional<WaiterRecord> record;  // taken only when the wait has to sleep
  for (;;) {
    bool ownedElsewhere = false;
    for (std::size_t index = 0; index < count; ++index) {
      switch (TakeIfSignalled(table->Find(lock, all[index]))) {
        case Probe::Signalled:
          return {WaitStatus::Signalled, index, ERROR_SUCCESS};
        case Probe::Invalid:
          return {WaitStatus::Failed, index, ERROR_INVALID_HANDLE};
        case Probe::OwnedElsewhere:
          ownedElsewhere = true;
          break;
        case Probe::NotYet:
          break;
      }
    }
    const Clock::time_point now = Clock::now();
    if (ownedElsewhere && now >= nextOwnerCheck) {
      bool released = false;
      for (std::size_t index = 0; index < count; ++index) {
        SharedObject* object = table->Find(lock, all[index]);
        if (object != nullptr && object->kind == ObjectKind::Mutex) {
          released = table->ReclaimOwnerIfDead(lock, *object) || released;
        }
      }
      nextOwnerCheck = now + kOwnerCheckPeriod;
      if (released) {
        continue;
      }
    }
    if (deadline && now >= *deadline) {
      return {WaitStatus::TimedOut, 0, ERROR_SUCCESS};
    }
    Clock::time_point wake =
        now + std::chrono::duration_cast<Clock::duration>(RealDuration(kLostWakePeriod));
    if (deadline && *deadline < wake) {
      wake = *deadline;
    }
    if (ownedElsewhere && nextOwnerCheck < wake) {
      wake = nextOwnerCheck;
    }
    if (!record) {
      const std::optional<std::uint32_t> index =
          table->AddWaiter(lock, std::span(all.data(), count));
      if (!index) {
        return {WaitStatus::Failed, 0, ERROR_NO_SYSTEM_RESOURCES};
      }
      record.emplace(lock, *index);
    }
    lock.SleepUntilChange(record->Index(), wake);
  }
}

}  // namespace

WaitResult WaitForObjects(std::span<const ObjectRef> objects, Timeout timeout) {
  return Wait(objects, {}, false, timeout);
}

WaitResult WaitForObject(ObjectRef object, Timeout timeout) {
  return Wait(std::span<const ObjectRef>(&object, 1), {}, false, timeout);
}

WaitResult WaitForObjectsOrInput(std::span<const ObjectRef> objects, Timeout timeout) {
  return Wait(objects, MessageInput::ForThisThread().Ref(), true, timeout);
}

void Sleep(Timeout duration) {
  if (duration <= Timeout::zero()) {
    std::this_thread::yield();
    return;
  }
  do {
    std::this_thread::sleep_for(RealDuration(duration));
  } while (duration == kInfinite);
}

}  // namespace platform
