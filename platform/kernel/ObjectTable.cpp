#include "platform/kernel/ObjectTable.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/base/DebugOutput.h"
#include "platform/base/Process.h"
#include "platform/base/Text.h"
#include "platform/kernel/Root.h"
#include "platform/kernel/Session.h"

namespace platform::detail {

struct SharedTable {
  std::uint32_t magic;
  std::uint32_t version;
  pthread_mutex_t mutex;
  ProcessIdentity lockHolder;  // the process inside the mutex, so that its death names it
  std::uint32_t nextObject;
  std::uint32_t nextReference;
  std::uint32_t nextWaiter;
  // Per slot, for fast scans: 0 free, 1 unnamed, else the name's hash with the top bit set.
  std::uint32_t slotKeys[kObjectCapacity];
  SharedObject objects[kObjectCapacity];
  SharedReference references[kReferenceCapacity];
  SharedWaiter waiters[kWaiterCapacity];
};

namespace {

constexpr std::uint32_t kMagic = 0x4B4F424Au;
constexpr std::uint32_t kVersion = 4;  // 4: access lists
constexpr std::uint32_t kUnnamedKey = 1;

std::atomic_ref<std::uint32_t> Word(std::uint32_t& word) noexcept {
  return std::atomic_ref<std::uint32_t>(word);
}

long Futex(std::uint32_t* word, int operation, std::uint32_t value,
           const timespec* timeout) noexcept {
  return syscall(SYS_futex, word, operation, value, timeout, nullptr, 0);
}

constinit std::atomic<DeathPoint> armedDeathPoint{DeathPoint::None};

std::uint32_t NameKey(std::uint32_t nameSpace, std::string_view text) noexcept {
  std::uint32_t hash = 2166136261u;
  const auto mix = [&hash](unsigned char byte) {
    hash ^= byte;
    hash *= 16777619u;
  };
  for (int shift = 0; shift < 32; shift += 8) {
    mix(static_cast<unsigned char>(nameSpace >> shift));
  }
  for (const char character : text) {
    mix(static_cast<unsigned char>(character));
  }
  return hash | 0x80000000u;
}

// The key that a slot's object gives it: 0 free, kUnnamedKey, or its name's.
std::uint32_t KeyOf(const SharedObject& object) noexcept {
  if (object.kind == ObjectKind::Free) {
    return 0;
  }
  if (object.nameLength == 0) {
    return kUnnamedKey;
  }
  return NameKey(object.nameSpace,
                 std::string_view(object.name, std::min<std::size_t>(object.nameLength,
                                                                     kMaxNameBytes)));
}

std::uint32_t EveryRightOf(ObjectKind kind) noexcept {
  switch (kind) {
    case ObjectKind::Event:
      return EVENT_ALL_ACCESS;
    case ObjectKind::Mutex:
      return MUTEX_ALL_ACCESS;
    case ObjectKind::Section:
      return SECTION_ALL_ACCESS;
    case ObjectKind::Free:
      break;
  }
  return 0;
}

std::uint32_t Requested(const ObjectSpec& spec) noexcept {
  return spec.access != 0 ? spec.access : EveryRightOf(spec.kind);
}

// The rights that the object's list allows the user.
std::uint32_t AllowedTo(const SharedObject& object, std::uint32_t uid) noexcept {
  switch (object.dacl) {
    case SecurityDescriptor::Dacl::Null:
      return EveryRightOf(object.kind);
    case SecurityDescriptor::Dacl::Default:
      return uid == object.creator || uid == kAdministratorsSid.uid ? EveryRightOf(object.kind) : 0;
    case SecurityDescriptor::Dacl::Given:
      break;
  }
  std::uint32_t rights = 0;
  for (std::uint32_t entry = 0; entry < std::min<std::uint32_t>(object.aceCount, Acl::kCapacity);
       ++entry) {
    rights |= object.aces[entry].uid == uid ? object.aces[entry].rights : 0;
  }
  return rights;
}

void InitialiseSecurity(SharedObject& object, const SecurityDescriptor* security) noexcept {
  object.creator = CurrentUserSid().uid;
  object.dacl = security != nullptr ? security->Kind() : SecurityDescriptor::Dacl::Default;
  object.aceCount = 0;
  if (security != nullptr && security->Kind() == SecurityDescriptor::Dacl::Given) {
    for (const AccessAllowedAce& entry : security->List().Entries()) {
      object.aces[object.aceCount++] = {entry.user.uid, entry.rights};
    }
  }
}

// Makes a free slot's object new, field by field: its generation never goes back, not even for a
// moment, so that a death here never lets a reference to an old object reach the new one.
void Initialise(SharedObject& object, std::uint32_t generation, const ObjectSpec& spec,
                const ObjectName* name) noexcept {
  object.generation = generation;
  object.manualReset = spec.manualReset;
  object.signalled = spec.kind == ObjectKind::Event && spec.initiallySet;
  object.handleCount = 0;
  object.firstReference = 0;
  object.nameSpace = name != nullptr ? name->nameSpace : 0;
  object.nameLength = name != nullptr ? static_cast<std::uint32_t>(name->text.size()) : 0;
  if (name != nullptr) {
    std::memcpy(object.name, name->text.data(), name->text.size());
  }
  const bool owned = spec.kind == ObjectKind::Mutex && spec.initiallySet;
  object.owner = owned ? ThisProcess() : ProcessIdentity{};
  object.ownerThread = owned ? CurrentThreadId() : 0;
  object.recursion = owned ? 1 : 0;
  object.size = spec.size;
  InitialiseSecurity(object, spec.security);
  std::fill(std::begin(object.waiters), std::end(object.waiters), 0);
  object.kind = spec.kind;
}

// Which processes of the table still run, each looked up once: `died` counts as dead whatever its
// state says, this process as alive.
class Liveness {
 public:
  explicit Liveness(const ProcessIdentity& died) : died_(died) {}

  bool Alive(const ProcessIdentity& process) {
    if (process == ThisProcess()) {
      return true;
    }
    if (process.pid == 0 || process == died_) {
      return false;
    }
    for (const auto& [known, alive] : known_) {
      if (known == process) {
        return alive;
      }
    }
    const bool alive = IsAlive(process);
    known_.emplace_back(process, alive);
    return alive;
  }

 private:
  ProcessIdentity died_;
  std::vector<std::pair<ProcessIdentity, bool>> known_;
};

bool InitializeMutex(pthread_mutex_t& mutex) noexcept {
  pthread_mutexattr_t attributes;
  if (pthread_mutexattr_init(&attributes) != 0) {
    return false;
  }
  const bool ready = pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED) == 0 &&
                     pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST) == 0 &&
                     pthread_mutex_init(&mutex, &attributes) == 0;
  pthread_mutexattr_destroy(&attributes);
  return ready;
}

void ReportTableFault(std::string_view what, const std::filesystem::path& path) {
  OutputDebugText(std::string("platform object table ") + path.string() + ": " + std::string(what));
}

// Opens the root's table file, creating and initialising it when no process has yet; the file
// lock orders the first processes of a root.
std::unique_ptr<ObjectTable> OpenTable() {
  const std::filesystem::path& root = PlatformRoot();
  const std::filesystem::path path = root / "objects";
  const UniqueFd file(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
  if (!file || flock(file.Get(), LOCK_EX) != 0) {
    ReportTableFault(std::strerror(errno), path);
    return nullptr;
  }
  struct stat status {};
  fstat(file.Get(), &status);
  // Every user's processes of the root share the table; the objects' access lists keep them apart.
  if (status.st_size == 0 &&
      (fchmod(file.Get(), 0666) != 0 || ftruncate(file.Get(), sizeof(SharedTable)) != 0)) {
    ReportTableFault(std::strerror(errno), path);
    return nullptr;
  }
  if (status.st_size != 0 && static_cast<std::size_t>(status.st_size) != sizeof(SharedTable)) {
    ReportTableFault("has another layout", path);
    return nullptr;
  }
  Mapping mapping = Mapping::Shared(file.Get(), sizeof(SharedTable));
  if (!mapping) {
    ReportTableFault(std::strerror(errno), path);
    return nullptr;
  }
  auto* shared = static_cast<SharedTable*>(mapping.Address());
  if (Word(shared->magic).load() != kMagic) {
    if (!InitializeMutex(shared->mutex)) {
      ReportTableFault("cannot make its mutex", path);
      return nullptr;
    }
    shared->version = kVersion;
    Word(shared->magic).store(kMagic);
  } else if (shared->version != kVersion) {
    ReportTableFault("has another version", path);
    return nullptr;
  }
  flock(file.Get(), LOCK_UN);
  return std::make_unique<ObjectTable>(std::move(mapping), root);
}

}  // namespace

void ArmDeathPoint(DeathPoint point) noexcept { armedDeathPoint.store(point); }

void PassDeathPoint(DeathPoint point) noexcept {
  if (armedDeathPoint.load(std::memory_order_relaxed) == point) [[unlikely]] {
    raise(SIGKILL);
  }
}

std::uint32_t ParseObjectName(std::u16string_view name, ObjectName& parsed) {
  constexpr std::u16string_view kGlobal = u"Global\\";
  constexpr std::u16string_view kLocal = u"Local\\";
  parsed.nameSpace = ProcessSessionId();
  if (name.starts_with(kGlobal)) {
    parsed.nameSpace = kGlobalNamespace;
    name.remove_prefix(kGlobal.size());
  } else if (name.starts_with(kLocal)) {
    name.remove_prefix(kLocal.size());
  }
  if (name.empty() || name.find(u'\\') != std::u16string_view::npos ||
      name.find(u'\0') != std::u16string_view::npos) {
    return ERROR_INVALID_NAME;
  }
  parsed.text = ToUtf8(name);
  return parsed.text.size() > kMaxNameBytes ? ERROR_FILENAME_EXCED_RANGE : ERROR_SUCCESS;
}

ObjectTable* ObjectTable::Instance() noexcept {
  // Kept mapped until the process ends: handles held in globals close during static destruction,
  // in any order relative to this function's own statics.
  static ObjectTable* const table = OpenTable().release();
  return table;
}

ObjectTable::ObjectTable(Mapping mapping, std::filesystem::path root) noexcept
    : mapping_(std::move(mapping)),
      shared_(static_cast<SharedTable*>(mapping_.Address())),
      root_(std::move(root)) {}

ObjectTable::Lock::Lock(ObjectTable& table) noexcept : table_(table) { Acquire(); }

ObjectTable::Lock::~Lock() {
  WakePending();
  Release();
}

void ObjectTable::Lock::Acquire() noexcept {
  SharedTable& shared = *table_.shared_;
  const bool holderDied = pthread_mutex_lock(&shared.mutex) == EOWNERDEAD;
  PassDeathPoint(DeathPoint::LockTaken);
  const ProcessIdentity died = shared.lockHolder;
  shared.lockHolder = ThisProcess();
  if (holderDied) {
    // The holder may have died between any two writes. It is dead, though it may not look so yet
    // while it exits: everything it held goes now, and the rest is derived again.
    pthread_mutex_consistent(&shared.mutex);
    table_.Rebuild(*this, died == ThisProcess() ? ProcessIdentity{} : died);
  }
}

void ObjectTable::Lock::Release() noexcept {
  table_.shared_->lockHolder = {};
  pthread_mutex_unlock(&table_.shared_->mutex);
}

void ObjectTable::Lock::NoteChange(std::uint32_t slot) noexcept {
  const std::uint64_t* words = table_.shared_->objects[slot].waiters;
  for (std::uint32_t word = 0; word < kWaiterCapacity / 64; ++word) {
    for (std::uint64_t bits = words[word]; bits != 0; bits &= bits - 1) {
      NoteWaiter(word * 64 + static_cast<std::uint32_t>(std::countr_zero(bits)));
    }
  }
}

void ObjectTable::Lock::NoteEveryWaiter() noexcept {
  for (std::uint32_t waiter = 0; waiter < kWaiterCapacity; ++waiter) {
    if (table_.shared_->waiters[waiter].process.pid != 0) {
      NoteWaiter(waiter);
    }
  }
}

void ObjectTable::Lock::NoteWaiter(std::uint32_t waiter) noexcept {
  Word(table_.shared_->waiters[waiter].wakeWord).fetch_add(1);
  const auto pendingEnd = pending_.begin() + static_cast<std::ptrdiff_t>(pendingCount_);
  if (std::find(pending_.begin(), pendingEnd, waiter) == pendingEnd) {
    pending_[pendingCount_++] = waiter;
  }
}

void ObjectTable::Lock::WakePending() noexcept {
  // Woken before the mutex is left, so that a process killed between a change and its wakes dies
  // inside the lock and the next holder wakes every waiter (Rebuild): no wake is lost outside it.
  // A woken waiter rarely finds the mutex still held, as the wake-up takes longer than the rest.
  if (pendingCount_ != 0) {
    PassDeathPoint(DeathPoint::WakesUnsent);
  }
  for (std::size_t index = 0; index < pendingCount_; ++index) {
    Futex(&table_.shared_->waiters[pending_[index]].wakeWord, FUTEX_WAKE, INT_MAX, nullptr);
  }
  pendingCount_ = 0;
}

void ObjectTable::Lock::SleepUntilChange(
    std::uint32_t waiter, std::chrono::steady_clock::time_point realDeadline) noexcept {
  SharedTable& shared = *table_.shared_;
  std::uint32_t& word = shared.waiters[waiter].wakeWord;
  const std::uint32_t seen = Word(word).load();
  WakePending();
  Release();
  const auto remaining = std::chrono::duration_cast<std::chrono::nanoseconds>(
      realDeadline - std::chrono::steady_clock::now());
  if (remaining.count() > 0) {
    const timespec timeout{static_cast<time_t>(remaining.count() / 1'000'000'000),
                           static_cast<long>(remaining.count() % 1'000'000'000)};
    Futex(&word, FUTEX_WAIT, seen, &timeout);
  }
  Acquire();
}

ObjectTable::Opening ObjectTable::Open(Lock& lock, const ObjectSpec& spec, const ObjectName* name,
                                       Disposition disposition,
                                       const std::function<std::uint32_t(ObjectRef)>& created) {
  // Finding a free handle record may reclaim dead processes' objects, so it comes before the
  // object is found or made; it is taken only when this process has no record of the object yet.
  const std::optional<std::uint32_t> spareRecord = AllocateReference(lock);
  if (name != nullptr) {
    if (const std::optional<std::uint32_t> slot = FindName(*name)) {
      ReclaimDeadHolders(lock, *slot);
      const SharedObject& object = shared_->objects[*slot];
      if (object.kind != ObjectKind::Free) {
        if (object.kind != spec.kind) {
          return {{}, true, ERROR_INVALID_HANDLE};
        }
        if ((Requested(spec) & ~AllowedTo(object, CurrentUserSid().uid)) != 0) {
          return {{}, true, ERROR_ACCESS_DENIED};
        }
        const std::uint32_t error = AddHandle(*slot, spareRecord, Requested(spec));
        return error == ERROR_SUCCESS ? Opening{{*slot, object.generation}, true, error}
                                      : Opening{{}, true, error};
      }
    }
  }
  if (disposition == Disposition::OpenOnly) {
    return {{}, false, ERROR_FILE_NOT_FOUND};
  }
  if (!spareRecord) {
    return {{}, false, ERROR_NO_SYSTEM_RESOURCES};
  }
  const std::optional<std::uint32_t> slot = AllocateObject(lock);
  if (!slot) {
    return {{}, false, ERROR_NO_SYSTEM_RESOURCES};
  }
  SharedObject& object = shared_->objects[*slot];
  const std::uint32_t generation = object.generation + 1 == 0 ? 1 : object.generation + 1;
  Initialise(object, generation, spec, name);
  shared_->slotKeys[*slot] = KeyOf(object);
  PassDeathPoint(DeathPoint::CreateBeforeHandle);
  AddHandle(*slot, spareRecord, Requested(spec));
  const ObjectRef reference{*slot, generation};
  if (created) {
    if (const std::uint32_t error = created(reference); error != ERROR_SUCCESS) {
      CloseHandle(lock, reference);
      return {{}, false, error};
    }
  }
  PassDeathPoint(DeathPoint::CreateAfterCallback);
  return {reference, false, ERROR_SUCCESS};
}

SharedObject* ObjectTable::Find(const Lock&, ObjectRef object) noexcept {
  if (object.IsNull() || object.slot >= kObjectCapacity) {
    return nullptr;
  }
  SharedObject& candidate = shared_->objects[object.slot];
  return candidate.kind != ObjectKind::Free && candidate.generation == object.generation
             ? &candidate
             : nullptr;
}

std::uint32_t ObjectTable::HandleAccess(const Lock& lock, ObjectRef object) noexcept {
  const SharedObject* target = Find(lock, object);
  if (target == nullptr) {
    return 0;
  }
  const ProcessIdentity self = ThisProcess();
  for (std::uint32_t link = target->firstReference; link != 0;
       link = shared_->references[link - 1].next) {
    if (shared_->references[link - 1].process == self) {
      return shared_->references[link - 1].access;
    }
  }
  return 0;
}

void ObjectTable::CloseHandle(Lock& lock, ObjectRef object) noexcept {
  SharedObject* target = Find(lock, object);
  if (target == nullptr) {
    return;
  }
  const ProcessIdentity self = ThisProcess();
  for (std::uint32_t link = target->firstReference; link != 0;
       link = shared_->references[link - 1].next) {
    SharedReference& reference = shared_->references[link - 1];
    if (reference.process != self) {
      continue;
    }
    if (reference.count > 1) {
      --reference.count;
      PassDeathPoint(DeathPoint::CloseBetweenCounts);
      --target->handleCount;
    } else {
      DropReference(lock, link - 1);
    }
    return;
  }
}

bool ObjectTable::ReclaimOwnerIfDead(Lock& lock, SharedObject& mutex) noexcept {
  const ProcessIdentity owner = mutex.owner;
  if (owner.pid == 0 || owner == ThisProcess() || IsAlive(owner)) {
    return false;
  }
  Rebuild(lock);
  return true;
}

std::optional<std::uint32_t> ObjectTable::AddWaiter(Lock& lock,
                                                    std::span<const ObjectRef> objects) noexcept {
  const std::optional<std::uint32_t> index = Allocate(
      lock, kWaiterCapacity, shared_->nextWaiter,
      [this](std::uint32_t waiter) { return shared_->waiters[waiter].process.pid == 0; },
      "waiter records");
  if (!index) {
    return std::nullopt;
  }
  SharedWaiter& waiter = shared_->waiters[*index];
  waiter.process = ThisProcess();
  waiter.count = 0;
  for (const ObjectRef object : objects.first(std::min(objects.size(), kMaxWaiterObjects))) {
    if (SharedObject* target = Find(lock, object)) {
      target->waiters[*index / 64] |= std::uint64_t{1} << (*index % 64);
      waiter.slots[waiter.count++] = object.slot;
      PassDeathPoint(DeathPoint::WaiterHalfAdded);
    }
  }
  return index;
}

void ObjectTable::RemoveWaiter(Lock&, std::uint32_t index) noexcept {
  SharedWaiter& waiter = shared_->waiters[index];
  for (std::uint32_t at = 0; at < waiter.count; ++at) {
    shared_->objects[waiter.slots[at]].waiters[index / 64] &= ~(std::uint64_t{1} << (index % 64));
    PassDeathPoint(DeathPoint::WaiterHalfRemoved);
  }
  waiter.process = {};
  waiter.count = 0;
}

std::filesystem::path ObjectTable::SectionFile(ObjectRef object) const {
  return root_ / "sections" /
         (std::to_string(object.slot) + "-" + std::to_string(object.generation));
}

std::optional<std::uint32_t> ObjectTable::FindName(const ObjectName& name) noexcept {
  const std::uint32_t key = NameKey(name.nameSpace, name.text);
  for (std::uint32_t slot = 0; slot < kObjectCapacity; ++slot) {
    if (shared_->slotKeys[slot] != key) {
      continue;
    }
    const SharedObject& object = shared_->objects[slot];
    if (object.nameSpace == name.nameSpace && object.nameLength == name.text.size() &&
        std::memcmp(object.name, name.text.data(), name.text.size()) == 0) {
      return slot;
    }
  }
  return std::nullopt;
}

std::optional<std::uint32_t> ObjectTable::AllocateObject(Lock& lock) noexcept {
  return Allocate(
      lock, kObjectCapacity, shared_->nextObject,
      [this](std::uint32_t slot) { return shared_->slotKeys[slot] == 0; }, "objects");
}

std::uint32_t ObjectTable::AddHandle(std::uint32_t slot, std::optional<std::uint32_t> spareRecord,
                                     std::uint32_t access) noexcept {
  SharedObject& object = shared_->objects[slot];
  const ProcessIdentity self = ThisProcess();
  for (std::uint32_t link = object.firstReference; link != 0;
       link = shared_->references[link - 1].next) {
    SharedReference& reference = shared_->references[link - 1];
    if (reference.process == self) {
      reference.access |= access;
      ++reference.count;
      PassDeathPoint(DeathPoint::RecordCountRaised);
      ++object.handleCount;
      return ERROR_SUCCESS;
    }
  }
  if (!spareRecord) {
    return ERROR_NO_SYSTEM_RESOURCES;
  }
  shared_->references[*spareRecord] =
      SharedReference{self, slot, object.generation, 1, object.firstReference, access};
  PassDeathPoint(DeathPoint::RecordWrittenUnlinked);
  object.firstReference = *spareRecord + 1;
  PassDeathPoint(DeathPoint::RecordLinkedUncounted);
  ++object.handleCount;
  return ERROR_SUCCESS;
}

std::optional<std::uint32_t> ObjectTable::AllocateReference(Lock& lock) noexcept {
  return Allocate(
      lock, kReferenceCapacity, shared_->nextReference,
      [this](std::uint32_t index) { return shared_->references[index].process.pid == 0; },
      "handle records");
}

std::optional<std::uint32_t> ObjectTable::Allocate(Lock& lock, std::uint32_t capacity,
                                                   std::uint32_t& next,
                                                   const std::function<bool(std::uint32_t)>& isFree,
                                                   std::string_view what) noexcept {
  // The records of dead processes are taken back only when nothing is free.
  for (int attempt = 0; attempt < 2; ++attempt) {
    for (std::uint32_t step = 0; step < capacity; ++step) {
      const std::uint32_t index = (next + step) % capacity;
      if (isFree(index)) {
        next = (index + 1) % capacity;
        return index;
      }
    }
    if (attempt == 0) {
      ReclaimDeadProcesses(lock);
    }
  }
  OutputDebugText("platform object table is full: all " + std::to_string(capacity) + " " +
                  std::string(what) + " are in use");
  return std::nullopt;
}

void ObjectTable::ReclaimDeadHolders(Lock& lock, std::uint32_t slot) noexcept {
  const ProcessIdentity self = ThisProcess();
  const SharedObject& object = shared_->objects[slot];
  const auto departed = [&self](const ProcessIdentity& holder) {
    return holder.pid != 0 && holder != self && !IsAlive(holder);
  };
  bool anyDeparted = object.kind == ObjectKind::Mutex && departed(object.owner);
  for (std::uint32_t link = object.firstReference; link != 0 && !anyDeparted;
       link = shared_->references[link - 1].next) {
    anyDeparted = departed(shared_->references[link - 1].process);
  }
  if (anyDeparted) {
    Rebuild(lock);
  }
}

void ObjectTable::ReclaimDeadProcesses(Lock& lock) noexcept { Rebuild(lock); }

void ObjectTable::Rebuild(Lock& lock, const ProcessIdentity& died) noexcept {
  Liveness liveness(died);
  for (SharedReference& reference : shared_->references) {
    if (reference.process.pid != 0 && !liveness.Alive(reference.process)) {
      reference.process.pid = 0;
    }
  }
  for (SharedWaiter& waiter : shared_->waiters) {
    if (waiter.process.pid != 0 && !liveness.Alive(waiter.process)) {
      waiter.process.pid = 0;
    }
  }
  PassDeathPoint(DeathPoint::RebuildRecordsDropped);

  for (SharedObject& object : shared_->objects) {
    object.handleCount = 0;
    object.firstReference = 0;
    std::fill(std::begin(object.waiters), std::end(object.waiters), 0);
  }
  for (std::uint32_t index = 0; index < kReferenceCapacity; ++index) {
    SharedReference& reference = shared_->references[index];
    if (reference.process.pid == 0) {
      continue;
    }
    SharedObject* object =
        reference.object < kObjectCapacity ? &shared_->objects[reference.object] : nullptr;
    if (object == nullptr || object->kind == ObjectKind::Free ||
        object->generation != reference.generation || reference.count == 0) {
      // A record of an object that has gone: it must never count for a later one.
      reference.process.pid = 0;
      continue;
    }
    reference.next = object->firstReference;
    object->firstReference = index + 1;
    object->handleCount += reference.count;
  }
  for (std::uint32_t index = 0; index < kWaiterCapacity; ++index) {
    SharedWaiter& waiter = shared_->waiters[index];
    if (waiter.process.pid == 0) {
      continue;
    }
    waiter.count = std::min<std::uint32_t>(waiter.count, kMaxWaiterObjects);
    for (std::uint32_t at = 0; at < waiter.count; ++at) {
      if (waiter.slots[at] < kObjectCapacity) {
        shared_->objects[waiter.slots[at]].waiters[index / 64] |= std::uint64_t{1} << (index % 64);
      }
    }
  }
  PassDeathPoint(DeathPoint::RebuildCounted);

  for (std::uint32_t slot = 0; slot < kObjectCapacity; ++slot) {
    SharedObject& object = shared_->objects[slot];
    if (object.kind == ObjectKind::Mutex && object.owner.pid != 0 &&
        !liveness.Alive(object.owner)) {
      object.owner = {};
      object.ownerThread = 0;
      object.recursion = 0;
      lock.NoteChange(slot);
    }
    if (object.kind != ObjectKind::Free && object.handleCount == 0) {
      FreeObject(lock, slot);
    }
    shared_->slotKeys[slot] = KeyOf(object);
  }
  // A dead holder may have changed objects without waking their waiters.
  lock.NoteEveryWaiter();
}

void ObjectTable::DropReference(Lock& lock, std::uint32_t index) noexcept {
  SharedReference& reference = shared_->references[index];
  SharedObject& object = shared_->objects[reference.object];
  std::uint32_t* link = &object.firstReference;
  while (*link != 0 && *link != index + 1) {
    link = &shared_->references[*link - 1].next;
  }
  if (*link == index + 1) {
    *link = reference.next;
  }
  PassDeathPoint(DeathPoint::DropUnlinked);
  object.handleCount -= reference.count;
  PassDeathPoint(DeathPoint::DropCountLowered);
  const std::uint32_t slot = reference.object;
  reference = SharedReference{};
  PassDeathPoint(DeathPoint::DropRecordCleared);
  if (object.handleCount == 0) {
    FreeObject(lock, slot);
  }
}

void ObjectTable::FreeObject(Lock& lock, std::uint32_t slot) noexcept {
  SharedObject& object = shared_->objects[slot];
  if (object.kind == ObjectKind::Section) {
    std::error_code ignored;
    std::filesystem::remove(SectionFile({slot, object.generation}), ignored);
    PassDeathPoint(DeathPoint::FreeFileRemoved);
  }
  object.kind = ObjectKind::Free;
  PassDeathPoint(DeathPoint::FreeKindCleared);
  object.nameLength = 0;
  object.firstReference = 0;
  object.owner = {};
  shared_->slotKeys[slot] = 0;
  lock.NoteChange(slot);
}

TableCensus ObjectTable::Census(const Lock&) const {
  TableCensus census;
  const auto fault = [&census](std::uint32_t index, const std::string& what) {
    census.faults.push_back(std::to_string(index) + ": " + what);
  };
  Liveness liveness({});
  std::vector<std::array<std::uint64_t, kWaiterCapacity / 64>> waiterBits(kObjectCapacity);
  for (std::uint32_t index = 0; index < kWaiterCapacity; ++index) {
    const SharedWaiter& waiter = shared_->waiters[index];
    if (waiter.process.pid == 0) {
      continue;
    }
    ++census.waiters;
    census.recordsOfDeadProcesses += liveness.Alive(waiter.process) ? 0u : 1u;
    for (std::uint32_t at = 0; at < std::min<std::uint32_t>(waiter.count, kMaxWaiterObjects);
         ++at) {
      waiterBits[waiter.slots[at] % kObjectCapacity][index / 64] |= std::uint64_t{1}
                                                                     << (index % 64);
    }
  }
  std::uint32_t linked = 0;
  for (std::uint32_t slot = 0; slot < kObjectCapacity; ++slot) {
    const SharedObject& object = shared_->objects[slot];
    if (shared_->slotKeys[slot] != KeyOf(object)) {
      fault(slot, "slot key disagrees with its object");
    }
    if (object.kind == ObjectKind::Free) {
      continue;
    }
    ++census.objects;
    census.sections += object.kind == ObjectKind::Section ? 1u : 0u;
    if (object.kind == ObjectKind::Mutex && object.owner.pid != 0 &&
        !liveness.Alive(object.owner)) {
      ++census.recordsOfDeadProcesses;
    }
    if (!std::equal(std::begin(object.waiters), std::end(object.waiters),
                    waiterBits[slot].begin())) {
      fault(slot, "waiter bits disagree with the waiter records");
    }
    NamedObjectCensus named{object.nameSpace,
                            std::string(object.name, std::min<std::size_t>(object.nameLength,
                                                                           kMaxNameBytes)),
                            {}};
    std::uint64_t handles = 0;
    std::uint32_t steps = 0;
    for (std::uint32_t link = object.firstReference; link != 0 && steps <= kReferenceCapacity;
         link = shared_->references[link - 1].next, ++steps) {
      const SharedReference& reference = shared_->references[link - 1];
      if (reference.process.pid == 0 || reference.object != slot ||
          reference.generation != object.generation) {
        fault(slot, "lists a record of something else");
      }
      handles += reference.count;
      named.holders.push_back(reference.process);
    }
    if (object.nameLength != 0) {
      census.named.push_back(std::move(named));
    }
    linked += steps;
    if (handles != object.handleCount || object.handleCount == 0) {
      fault(slot, "handle count " + std::to_string(object.handleCount) + ", records " +
                      std::to_string(handles));
    }
  }
  for (const SharedReference& reference : shared_->references) {
    if (reference.process.pid != 0) {
      ++census.references;
      census.recordsOfDeadProcesses += liveness.Alive(reference.process) ? 0u : 1u;
    }
  }
  if (linked != census.references) {
    fault(0, std::to_string(census.references - linked) + " handle records in no list");
  }
  return census;
}

HandleResult<KernelHandle> OpenObject(const ObjectSpec& spec, std::u16string_view name,
                                      Disposition disposition,
                                      const std::function<std::uint32_t(ObjectRef)>& created) {
  HandleResult<KernelHandle> result;
  ObjectName parsed;
  if (!name.empty()) {
    result.error = ParseObjectName(name, parsed);
  } else if (disposition == Disposition::OpenOnly) {
    result.error = ERROR_INVALID_PARAMETER;
  }
  ObjectTable* table = ObjectTable::Instance();
  if (table == nullptr && result.error == ERROR_SUCCESS) {
    result.error = ERROR_NO_SYSTEM_RESOURCES;
  }
  if (result.error != ERROR_SUCCESS) {
    return result;
  }
  ObjectTable::Lock lock(*table);
  const ObjectTable::Opening opening =
      table->Open(lock, spec, name.empty() ? nullptr : &parsed, disposition, created);
  result.handle = KernelHandle(opening.object);
  result.alreadyExisted = opening.existed;
  result.error = opening.error;
  return result;
}

bool WithObject(ObjectRef object, ObjectKind kind,
                const std::function<void(ObjectTable::Lock&, SharedObject&)>& action,
                std::uint32_t needs) {
  ObjectTable* table = object.IsNull() ? nullptr : ObjectTable::Instance();
  if (table == nullptr) {
    return false;
  }
  ObjectTable::Lock lock(*table);
  SharedObject* target = table->Find(lock, object);
  if (target == nullptr || target->kind != kind ||
      (needs != 0 && (table->HandleAccess(lock, object) & needs) != needs)) {
    return false;
  }
  action(lock, *target);
  return true;
}

}  // namespace platform::detail

namespace platform {

KernelHandle::KernelHandle(KernelHandle&& other) noexcept
    : object_(std::exchange(other.object_, ObjectRef{})) {}

KernelHandle& KernelHandle::operator=(KernelHandle&& other) noexcept {
  if (this != &other) {
    Close();
    object_ = std::exchange(other.object_, ObjectRef{});
  }
  return *this;
}

KernelHandle::~KernelHandle() { Close(); }

void KernelHandle::Close() noexcept {
  if (object_.IsNull()) {
    return;
  }
  if (detail::ObjectTable* table = detail::ObjectTable::Instance()) {
    detail::ObjectTable::Lock lock(*table);
    table->CloseHandle(lock, object_);
  }
  object_ = ObjectRef{};
}

}  // namespace platform
