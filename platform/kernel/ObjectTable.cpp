#include "platform/kernel/ObjectTable.h"

#include <fcntl.h>
#include <linux/futex.h>
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
constexpr std::uint32_t kVersion = 2;
constexpr std::uint32_t kUnnamedKey = 1;

std::atomic_ref<std::uint32_t> Word(std::uint32_t& word) noexcept {
  return std::atomic_ref<std::uint32_t>(word);
}

long Futex(std::uint32_t* word, int operation, std::uint32_t value,
           const timespec* timeout) noexcept {
  return syscall(SYS_futex, word, operation, value, timeout, nullptr, 0);
}

std::uint32_t NameKey(const ObjectName& name) noexcept {
  std::uint32_t hash = 2166136261u;
  const auto mix = [&hash](unsigned char byte) {
    hash ^= byte;
    hash *= 16777619u;
  };
  for (int shift = 0; shift < 32; shift += 8) {
    mix(static_cast<unsigned char>(name.nameSpace >> shift));
  }
  for (const char character : name.text) {
    mix(static_cast<unsigned char>(character));
  }
  return hash | 0x80000000u;
}

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
  if (status.st_size == 0 && ftruncate(file.Get(), sizeof(SharedTable)) != 0) {
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
  Release();
  WakePending();
}

void ObjectTable::Lock::Acquire() noexcept {
  SharedTable& shared = *table_.shared_;
  const bool holderDied = pthread_mutex_lock(&shared.mutex) == EOWNERDEAD;
  const ProcessIdentity died = shared.lockHolder;
  shared.lockHolder = ThisProcess();
  if (holderDied) {
    // The holder left the table as it was at its last step, and each step leaves it whole. It is
    // dead, though it may not look so yet while it exits: everything it held goes now.
    pthread_mutex_consistent(&shared.mutex);
    if (died.pid != 0 && died != ThisProcess()) {
      table_.ReclaimProcess(*this, died);
    }
  }
}

void ObjectTable::Lock::Release() noexcept {
  table_.shared_->lockHolder = {};
  pthread_mutex_unlock(&table_.shared_->mutex);
}

void ObjectTable::Lock::NoteChange(std::uint32_t slot) noexcept {
  SharedTable& shared = *table_.shared_;
  const std::uint64_t* words = shared.objects[slot].waiters;
  for (std::uint32_t word = 0; word < kWaiterCapacity / 64; ++word) {
    for (std::uint64_t bits = words[word]; bits != 0; bits &= bits - 1) {
      const auto waiter = word * 64 + static_cast<std::uint32_t>(std::countr_zero(bits));
      Word(shared.waiters[waiter].wakeWord).fetch_add(1);
      const auto pendingEnd = pending_.begin() + static_cast<std::ptrdiff_t>(pendingCount_);
      if (std::find(pending_.begin(), pendingEnd, waiter) == pendingEnd) {
        pending_[pendingCount_++] = waiter;
      }
    }
  }
}

void ObjectTable::Lock::WakePending() noexcept {
  for (std::size_t index = 0; index < pendingCount_; ++index) {
    Futex(&table_.shared_->waiters[pending_[index]].wakeWord, FUTEX_WAKE, INT_MAX, nullptr);
  }
  pendingCount_ = 0;
}

void ObjectTable::Lock::SleepUntilChange(
    std::uint32_t waiter,
    std::optional<std::chrono::steady_clock::time_point> realDeadline) noexcept {
  SharedTable& shared = *table_.shared_;
  std::uint32_t& word = shared.waiters[waiter].wakeWord;
  const std::uint32_t seen = Word(word).load();
  Release();
  WakePending();
  timespec timeout{};
  bool sleep = true;
  if (realDeadline) {
    const auto remaining = *realDeadline - std::chrono::steady_clock::now();
    const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(remaining);
    sleep = nanoseconds.count() > 0;
    timeout.tv_sec = static_cast<time_t>(nanoseconds.count() / 1'000'000'000);
    timeout.tv_nsec = static_cast<long>(nanoseconds.count() % 1'000'000'000);
  }
  if (sleep) {
    Futex(&word, FUTEX_WAIT, seen, realDeadline ? &timeout : nullptr);
  }
  Acquire();
}

ObjectTable::Opening ObjectTable::Open(Lock& lock, const ObjectSpec& spec, const ObjectName* name,
                                       Disposition disposition,
                                       const std::function<std::uint32_t(ObjectRef)>& created) {
  if (name != nullptr) {
    if (const std::optional<std::uint32_t> slot = FindName(*name)) {
      ReclaimDeadHolders(lock, *slot);
      const SharedObject& object = shared_->objects[*slot];
      if (object.kind != ObjectKind::Free) {
        if (object.kind != spec.kind) {
          return {{}, true, ERROR_INVALID_HANDLE};
        }
        const std::uint32_t error = AddHandle(lock, *slot);
        return error == ERROR_SUCCESS ? Opening{{*slot, object.generation}, true, error}
                                      : Opening{{}, true, error};
      }
    }
  }
  if (disposition == Disposition::OpenOnly) {
    return {{}, false, ERROR_FILE_NOT_FOUND};
  }
  const std::optional<std::uint32_t> slot = AllocateObject(lock);
  if (!slot) {
    return {{}, false, ERROR_NO_SYSTEM_RESOURCES};
  }
  SharedObject& object = shared_->objects[*slot];
  const std::uint32_t generation = object.generation + 1 == 0 ? 1 : object.generation + 1;
  object = SharedObject{};
  object.generation = generation;
  object.kind = spec.kind;
  object.manualReset = spec.manualReset;
  object.signalled = spec.kind == ObjectKind::Event && spec.initiallySet;
  object.size = spec.size;
  shared_->slotKeys[*slot] = kUnnamedKey;
  if (name != nullptr) {
    object.nameSpace = name->nameSpace;
    object.nameLength = static_cast<std::uint32_t>(name->text.size());
    std::memcpy(object.name, name->text.data(), name->text.size());
    shared_->slotKeys[*slot] = NameKey(*name);
  }
  if (spec.kind == ObjectKind::Mutex && spec.initiallySet) {
    object.owner = ThisProcess();
    object.ownerThread = CurrentThreadId();
    object.recursion = 1;
  }
  const ObjectRef reference{*slot, generation};
  if (const std::uint32_t error = AddHandle(lock, *slot); error != ERROR_SUCCESS) {
    FreeObject(lock, *slot);
    return {{}, false, error};
  }
  if (created) {
    if (const std::uint32_t error = created(reference); error != ERROR_SUCCESS) {
      CloseHandle(lock, reference);
      return {{}, false, error};
    }
  }
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
  ReclaimProcess(lock, owner);
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
    }
  }
  return index;
}

void ObjectTable::RemoveWaiter(Lock&, std::uint32_t index) noexcept {
  SharedWaiter& waiter = shared_->waiters[index];
  for (std::uint32_t at = 0; at < waiter.count; ++at) {
    shared_->objects[waiter.slots[at]].waiters[index / 64] &= ~(std::uint64_t{1} << (index % 64));
  }
  waiter.process = {};
  waiter.count = 0;
}

std::filesystem::path ObjectTable::SectionFile(ObjectRef object) const {
  return root_ / "sections" /
         (std::to_string(object.slot) + "-" + std::to_string(object.generation));
}

std::optional<std::uint32_t> ObjectTable::FindName(const ObjectName& name) noexcept {
  const std::uint32_t key = NameKey(name);
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

std::uint32_t ObjectTable::AddHandle(Lock& lock, std::uint32_t slot) noexcept {
  SharedObject& object = shared_->objects[slot];
  const ProcessIdentity self = ThisProcess();
  for (std::uint32_t link = object.firstReference; link != 0;
       link = shared_->references[link - 1].next) {
    SharedReference& reference = shared_->references[link - 1];
    if (reference.process == self) {
      ++reference.count;
      ++object.handleCount;
      return ERROR_SUCCESS;
    }
  }
  const std::optional<std::uint32_t> index = AllocateReference(lock);
  if (!index) {
    return ERROR_NO_SYSTEM_RESOURCES;
  }
  shared_->references[*index] = SharedReference{self, slot, 1, object.firstReference};
  object.firstReference = *index + 1;
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
  SharedObject& object = shared_->objects[slot];
  const ObjectRef reference{slot, object.generation};
  if (object.kind == ObjectKind::Mutex) {
    ReclaimOwnerIfDead(lock, object);
  }
  // Reclaiming a process changes the list, so the walk starts again after each one.
  bool reclaimed = true;
  while (reclaimed && Find(lock, reference) != nullptr) {
    reclaimed = false;
    for (std::uint32_t link = object.firstReference; link != 0;
         link = shared_->references[link - 1].next) {
      const ProcessIdentity holder = shared_->references[link - 1].process;
      if (holder != self && !IsAlive(holder)) {
        ReclaimProcess(lock, holder);
        reclaimed = true;
        break;
      }
    }
  }
}

void ObjectTable::ReclaimDeadProcesses(Lock& lock) noexcept {
  std::vector<ProcessIdentity> processes;
  const auto note = [&processes](const ProcessIdentity& process) {
    if (process.pid != 0 && process != ThisProcess() &&
        std::find(processes.begin(), processes.end(), process) == processes.end()) {
      processes.push_back(process);
    }
  };
  for (const SharedReference& reference : shared_->references) {
    note(reference.process);
  }
  for (const SharedObject& object : shared_->objects) {
    if (object.kind == ObjectKind::Mutex) {
      note(object.owner);
    }
  }
  for (const SharedWaiter& waiter : shared_->waiters) {
    note(waiter.process);
  }
  for (const ProcessIdentity& process : processes) {
    if (!IsAlive(process)) {
      ReclaimProcess(lock, process);
    }
  }
}

void ObjectTable::ReclaimProcess(Lock& lock, const ProcessIdentity& process) noexcept {
  for (std::uint32_t index = 0; index < kReferenceCapacity; ++index) {
    if (shared_->references[index].process == process) {
      DropReference(lock, index);
    }
  }
  for (std::uint32_t slot = 0; slot < kObjectCapacity; ++slot) {
    SharedObject& object = shared_->objects[slot];
    if (object.kind == ObjectKind::Mutex && object.owner == process) {
      object.owner = {};
      object.ownerThread = 0;
      object.recursion = 0;
      lock.NoteChange(slot);
    }
  }
  for (std::uint32_t index = 0; index < kWaiterCapacity; ++index) {
    if (shared_->waiters[index].process == process) {
      RemoveWaiter(lock, index);
    }
  }
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
  object.handleCount -= reference.count;
  const std::uint32_t slot = reference.object;
  reference = SharedReference{};
  if (object.handleCount == 0) {
    FreeObject(lock, slot);
  }
}

void ObjectTable::FreeObject(Lock& lock, std::uint32_t slot) noexcept {
  SharedObject& object = shared_->objects[slot];
  if (object.kind == ObjectKind::Section) {
    std::error_code ignored;
    std::filesystem::remove(SectionFile({slot, object.generation}), ignored);
  }
  object.kind = ObjectKind::Free;
  object.nameLength = 0;
  object.firstReference = 0;
  object.owner = {};
  shared_->slotKeys[slot] = 0;
  lock.NoteChange(slot);
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
                const std::function<void(ObjectTable::Lock&, SharedObject&)>& action) {
  ObjectTable* table = object.IsNull() ? nullptr : ObjectTable::Instance();
  if (table == nullptr) {
    return false;
  }
  ObjectTable::Lock lock(*table);
  SharedObject* target = table->Find(lock, object);
  if (target == nullptr || target->kind != kind) {
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
