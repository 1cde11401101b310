#pragma once

// The object table of the platform root: one file that every process of the root maps, holding
// every kernel object and every process's handles to them. Internal to the layer; the public
// headers (Event.h, Mutex.h, Wait.h, ...) are what the system's code uses.
//
// One robust process-shared mutex guards the whole table; a process that dies while it holds the
// mutex hands it on, at any step of any change. What is true is kept apart from what is derived:
// the handle records, the waiter records, the objects and a mutex's owner are the truth; each
// object's handle count and record list, the slots' keys and the objects' waiter bits are derived.
// The next holder after a death, and every reclaim of a dead process, drops the dead processes'
// records and derives the rest again from the truth, so no step needs to leave the table whole.
// A wait that has to sleep takes a waiter record naming its objects and sleeps
// on the record's futex word; a change of an object moves the words of that object's waiters only,
// so a set wakes its own waiters and nobody else. (A process-shared condition variable would be
// simpler, but a waiter killed inside one can leave every later signaller blocked; a killed
// waiter's record only costs a futile wake until its process is reclaimed.) The wakes are sent
// before the mutex is left, so that a change whose waiters were never woken always means a death
// inside the lock, which the next holder answers by waking every sleeping wait.

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
#include <vector>

#include "platform/kernel/KernelHandle.h"
#include "platform/kernel/Posix.h"
#include "platform/kernel/ProcessIdentity.h"
#include "platform/kernel/Security.h"

namespace platform::detail {

// A new kind adds its enumerator here and its payload to SharedObject (set from ObjectSpec in
// Initialise); when waitable, its signalled state to TakeIfSignalled in Wait.cpp; when its payload
// names a process (as a mutex's owner), what a dead process leaves there is released in Rebuild;
// a resource outside the table is made by the `created` callback and removed in FreeObject.
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

// One entry of an object's access list.
struct SharedAce {
  std::uint32_t uid;
  std::uint32_t rights;
};

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
  std::uint32_t creator;                        // the creating process's user id
  SecurityDescriptor::Dacl dacl;
  std::uint32_t aceCount;  // of a given list
  SharedAce aces[Acl::kCapacity];
  std::uint64_t waiters[kWaiterCapacity / 64];  // bit i: waiter record i waits on this object
};

// The handles that one process holds to one object.
struct SharedReference {
  ProcessIdentity process;  // pid 0: a free record
  std::uint32_t object;
  std::uint32_t generation;  // of the object, so that a stale record never counts for a later one
  std::uint32_t count;
  std::uint32_t next;    // 1 + index of the object's next record; 0 for none
  std::uint32_t access;  // the rights of the process's handles: what each opening was given
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
  const SecurityDescriptor* security = nullptr;  // null: the default list
  std::uint32_t access = 0;  // the rights asked for; 0: every right of the kind
};

enum class Disposition { CreateOrOpen, OpenOnly };

// The steps of a change of the table at which a test can make this process die, so that each
// window between two writes is shown to be recoverable. All are inside the lock.
enum class DeathPoint : std::uint8_t {
  None,
  LockTaken,             // before the holder is recorded
  CreateBeforeHandle,    // a new object without its handle record
  CreateAfterCallback,   // a new object made whole by its kind (a section's file)
  RecordWrittenUnlinked, // a new handle record in no object's list
  RecordLinkedUncounted, // linked, the object's handle count not yet raised
  RecordCountRaised,     // an existing record raised, the object's count not yet
  CloseBetweenCounts,    // a record lowered, the object's count not yet
  DropUnlinked,          // the last handle's record unlinked, the count not yet lowered
  DropCountLowered,      // the count lowered, the record not yet cleared
  DropRecordCleared,     // the record cleared, the object not yet freed
  FreeFileRemoved,       // a dying section's file gone, the slot still taken
  FreeKindCleared,       // the slot marked free, its key not yet cleared
  WaiterHalfAdded,       // a waiter record on some of its objects
  WaiterHalfRemoved,     // a waiter record off some of its objects
  MutexHalfTaken,        // a mutex's owner written, its thread not yet
  MutexHalfReleased,     // a mutex's recursion lowered, its owner not yet cleared
  EventSetUnwoken,       // an event set, its waiters not yet woken
  WakesUnsent,           // a change's waiters not yet woken, as the lock is left
  RebuildRecordsDropped, // a reclaim after dropping the dead's records, before deriving the rest
  RebuildCounted,        // a reclaim after counting, before freeing what nobody holds
  Count,
};

// Test hook: the process raises SIGKILL on its next pass through `point`.
void ArmDeathPoint(DeathPoint point) noexcept;
// Marks a step; does nothing unless a test armed that point.
void PassDeathPoint(DeathPoint point) noexcept;

// A named object of the table and the processes that hold handles to it.
struct NamedObjectCensus {
  std::uint32_t nameSpace = 0;  // a session, or kGlobalNamespace
  std::string name;
  std::vector<ProcessIdentity> holders;
};

// What the table holds, and every way in which its derived state disagrees with its truth.
struct TableCensus {
  std::uint32_t objects = 0;
  std::uint32_t sections = 0;
  std::uint32_t references = 0;
  std::uint32_t waiters = 0;
  std::uint32_t recordsOfDeadProcesses = 0;
  std::vector<NamedObjectCensus> named;  // in slot order
  std::vector<std::string> faults;
};

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
    // Records that every sleeping wait must look again (a dead holder may have left its wakes
    // undone).
    void NoteEveryWaiter() noexcept;
    // Leaves the mutex, sleeps until an object of the waiter record changes or the real deadline
    // passes, and takes the mutex again.
    void SleepUntilChange(std::uint32_t waiter,
                          std::chrono::steady_clock::time_point realDeadline) noexcept;

   private:
    void Acquire() noexcept;
    void Release() noexcept;
    void NoteWaiter(std::uint32_t waiter) noexcept;
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
  // Creates an object, or opens the named one. A new object gets one handle of this process with
  // the rights asked for; so does an opened one when its list allows this process's user those
  // rights (else ERROR_ACCESS_DENIED). `created` runs under the lock for a new object; its error
  // undoes it.
  Opening Open(Lock& lock, const ObjectSpec& spec, const ObjectName* name, Disposition disposition,
               const std::function<std::uint32_t(ObjectRef)>& created = nullptr);

  // The live object of a reference, or null.
  SharedObject* Find(const Lock& lock, ObjectRef object) noexcept;
  // The rights of this process's handles to the object; 0 when it holds none.
  std::uint32_t HandleAccess(const Lock& lock, ObjectRef object) noexcept;

  // Closes one of this process's handles; the object dies with the last handle of any process.
  void CloseHandle(Lock& lock, ObjectRef object) noexcept;

  // When the mutex's owning process has died: releases everything that process held. True when it
  // had died.
  bool ReclaimOwnerIfDead(Lock& lock, SharedObject& mutex) noexcept;
  // Releases everything that dead processes hold.
  void ReclaimDeadProcesses(Lock& lock) noexcept;
  // Counts what the table holds and checks its derived state against its records (for tests).
  TableCensus Census(const Lock& lock) const;

  // A waiter record for a wait on these live objects; none when every record is taken.
  std::optional<std::uint32_t> AddWaiter(Lock& lock, std::span<const ObjectRef> objects) noexcept;
  void RemoveWaiter(Lock& lock, std::uint32_t waiter) noexcept;

  // The file behind a section object.
  std::filesystem::path SectionFile(ObjectRef object) const;

  ObjectTable(Mapping mapping, std::filesystem::path root) noexcept;

 private:
  std::optional<std::uint32_t> FindName(const ObjectName& name) noexcept;
  std::optional<std::uint32_t> AllocateObject(Lock& lock) noexcept;
  // Gives this process one more handle to the object in `slot`, in its record of it or else in
  // the spare record.
  std::uint32_t AddHandle(std::uint32_t slot, std::optional<std::uint32_t> spareRecord,
                          std::uint32_t access) noexcept;
  std::optional<std::uint32_t> AllocateReference(Lock& lock) noexcept;
  std::optional<std::uint32_t> Allocate(Lock& lock, std::uint32_t capacity, std::uint32_t& next,
                                        const std::function<bool(std::uint32_t)>& isFree,
                                        std::string_view what) noexcept;
  void ReclaimDeadHolders(Lock& lock, std::uint32_t slot) noexcept;
  // Drops every record of a dead process (and of `died`, which may not look dead yet), then
  // derives the counts, lists, keys and waiter bits again from the records and frees the objects
  // that nobody holds. Completes what any step left half done; a death inside it is recovered by
  // running it again.
  void Rebuild(Lock& lock, const ProcessIdentity& died = {}) noexcept;
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

// Runs `action` on the live object of `object` when it is of `kind` and this process's handles to
// it have the rights `needs`, under the table's lock. False when the reference is null, dead or of
// another kind, or the rights are missing.
bool WithObject(ObjectRef object, ObjectKind kind,
                const std::function<void(ObjectTable::Lock&, SharedObject&)>& action,
                std::uint32_t needs = 0);

}  // namespace platform::detail
