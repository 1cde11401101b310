#pragma once

// The object table of the platform root: one file that every process of the root maps, holding
// every kernel object and every process's handles to them. Internal to the layer; the public
// headers (Event.h, Mutex.h, Wait.h, ...) are what the system's code uses.
//
// One robust process-shared mutex guards the whole table; a process that dies while it holds the
// mutex hands it on. A wait that has to sleep takes a waiter record naming its objects and sleeps
// on the record's futex word; a change of an object moves the words of that object's waiters only,
// so a set wakes its own waiters and nobody else. (A process-shared condition variable would be
// simpler, but a waiter killed inside one can leave every later signaller blocked; a killed
// waiter's record only costs a futile wake until its process is reclaimed.)

#include <pthread.h>

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/kernel/KernelHandle.h"
#include "platform/kernel/Posix.h"
#include "platform/kernel/ProcessIdentity.h"

namespace platform::detail {

enum class ObjectKind : std::uint8_t { Free = 0, Event, Mutex, Section };

inline constexpr std::uint32_t kObjectCapacity = 1024;
inline constexpr std::uint32_t kReferenceCapacity = 4096;
inline constexpr std::uint32_t kWaiterCapacity = 256;
inline constexpr std::size_t kMaxWaiterObjects = 65;  // a wait's objects and its message input
inline constexpr std::size_t kMaxNameBytes = 255;
inline constexpr std::uint32_t kGlobalNamespace = 0xFFFFFFFFu;

// A name as the table keys it: the namespace (a session, or global) and the name's UTF-8 text.
struct ObjectName {
  std::uint32_t nameSpace = 0;
  std::string text;
};

// "Global\Name" is machine-wide; "Local\Name" and "Name" belong to this process's session.
// Returns ERROR_SUCCESS, ERROR_INVALID_NAME or ERROR_FILENAME_EXCED_RANGE.
std::uint32_t ParseObjectName(std::u16string_view name, ObjectName& parsed);

struct SharedObject {
  std::uint32_t generation;
  ObjectKind kind;
  bool manualReset;
  bool signalled;
  std::uint32_t handleCount;     // every process's handles together
  std::uint32_t firstReference;  // 1 + index of the first of its reference records; 0 for none
  std::uint32_t nameSpace;
  std::uint32_t nameLength;  // 0: unnamed
  char name[kMaxNameBytes];
  ProcessIdentity owner;  // a mutex's owning process; pid 0 while it is free
  std::uint32_t ownerThread;
  std::uint32_t recursion;
  std::uint64_t size;                           // a section's size in bytes
  std::uint64_t waiters[kWaiterCapacity / 64];  // bit i: waiter record i waits on this object
};

// The handles that one process holds to one object.
struct SharedReference {
  ProcessIdentity process;  // pid 0: a free record
  std::uint32_t object;
  std::uint32_t count;
  std::uint32_t next;  // 1 + index of the object's next record; 0 for none
};

// A sleeping wait: its thread's process, the futex word it sleeps on and the slots it waits on.
struct SharedWaiter {
  ProcessIdentity process;  // pid 0: a free record
  std::uint32_t wakeWord;
  std::uint32_t count;
  std::uint32_t slots[kMaxWaiterObjects];
};

struct SharedTable;

// What a new object is.
struct ObjectSpec {
  ObjectKind kind = ObjectKind::Event;
  bool manualReset = false;
  bool initiallySet = false;  // events: signalled; mutexes: owned by the creating thread
  std::uint64_t size = 0;
};

enum class Disposition { CreateOrOpen, OpenOnly };

// This process's view of its root's table. Any thread; every access to the shared contents goes
// through a Lock.
class ObjectTable {
 public:
  // The table of PlatformRoot(), opened at first use; null when it cannot be opened or created.
  static ObjectTable* Instance() noexcept;

  // Holds the table's mutex for its scope.
  class Lock {
   public:
    explicit Lock(ObjectTable& table) noexcept;
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    ~Lock();

    ObjectTable& Table() const noexcept { return table_; }
    // Records that the waiters of the object in `slot` must look again; they are woken when the
    // lock is left.
    void NoteChange(std::uint32_t slot) noexcept;
    // Leaves the mutex, sleeps until an object of the waiter record changes or the real deadline
    // passes (none: no limit), and takes the mutex again.
    void SleepUntilChange(
        std::uint32_t waiter,
        std::optional<std::chrono::steady_clock::time_point> realDeadline) noexcept;

   private:
    void Acquire() noexcept;
    void Release() noexcept;
    void WakePending() noexcept;

    ObjectTable& table_;
    std::array<std::uint32_t, kWaiterCapacity> pending_{};  // waiter records to wake
    std::size_t pendingCount_ = 0;
  };

  struct Opening {
    ObjectRef object;
    bool existed = false;
    std::uint32_t error = ERROR_SUCCESS;
  };
  // Creates an object, or opens the named one. A new object gets one handle of this process; so
  // does an opened one. `created` runs under the lock for a new object; its error undoes it.
  Opening Open(Lock& lock, const ObjectSpec& spec, const ObjectName* name, Disposition disposition,
               const std::function<std::uint32_t(ObjectRef)>& created = nullptr);

  // The live object of a reference, or null.
  SharedObject* Find(const Lock& lock, ObjectRef object) noexcept;

  // Closes one of this process's handles; the object dies with the last handle of any process.
  void CloseHandle(Lock& lock, ObjectRef object) noexcept;

  // When the mutex's owning process has died: releases everything that process held. True when it
  // had died.
  bool ReclaimOwnerIfDead(Lock& lock, SharedObject& mutex) noexcept;

  // A waiter record for a wait on these live objects; none when every record is taken.
  std::optional<std::uint32_t> AddWaiter(Lock& lock, std::span<const ObjectRef> objects) noexcept;
  void RemoveWaiter(Lock& lock, std::uint32_t waiter) noexcept;

  // The file behind a section object.
  std::filesystem::path SectionFile(ObjectRef object) const;

  ObjectTable(Mapping mapping, std::filesystem::path root) noexcept;

 private:
  std::optional<std::uint32_t> FindName(const ObjectName& name) noexcept;
  std::optional<std::uint32_t> AllocateObject(Lock& lock) noexcept;
  std::uint32_t AddHandle(Lock& lock, std::uint32_t slot) noexcept;
  std::optional<std::uint32_t> AllocateReference(Lock& lock) noexcept;
  std::optional<std::uint32_t> Allocate(Lock& lock, std::uint32_t capacity, std::uint32_t& next,
                                        const std::function<bool(std::uint32_t)>& isFree,
                                        std::string_view what) noexcept;
  void ReclaimDeadHolders(Lock& lock, std::uint32_t slot) noexcept;
  void ReclaimDeadProcesses(Lock& lock) noexcept;
  void ReclaimProcess(Lock& lock, const ProcessIdentity& process) noexcept;
  void DropReference(Lock& lock, std::uint32_t reference) noexcept;
  void FreeObject(Lock& lock, std::uint32_t slot) noexcept;

  Mapping mapping_;
  SharedTable* shared_;
  std::filesystem::path root_;
};

// Creates or opens an object with this process's handle to it: the common path of every kind.
HandleResult<KernelHandle> OpenObject(
    const ObjectSpec& spec, std::u16string_view name, Disposition disposition,
    const std::function<std::uint32_t(ObjectRef)>& created = nullptr);

// Runs `action` on the live object of `object` when it is of `kind`, under the table's lock.
// False when the reference is null, dead or of another kind.
bool WithObject(ObjectRef object, ObjectKind kind,
                const std::function<void(ObjectTable::Lock&, SharedObject&)>& action);

}  // namespace platform::detail
