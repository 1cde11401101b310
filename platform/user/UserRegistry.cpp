#include "platform/user/UserRegistry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <concepts>
#include <type_traits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

#include "platform/base/Process.h"
#include "platform/kernel/Posix.h"
#include "platform/kernel/Root.h"

namespace platform::detail {
namespace {

constexpr char kWindows[] = "windows";
constexpr char kQueues[] = "queues";
constexpr char kHooks[] = "hooks";
constexpr char kShell[] = "shell";

// The fields of a record as bytes, in the order they are written.
class RecordWriter {
 public:
  template <class Integer>
  RecordWriter& Word(Integer value) {
    const auto word = static_cast<std::uint64_t>(value);
    bytes_.append(reinterpret_cast<const char*>(&word), sizeof word);
    return *this;
  }
  RecordWriter& Text(std::string_view text) {
    Word(text.size());
    bytes_.append(text);
    return *this;
  }
  RecordWriter& Text(std::u16string_view text) {
    Word(text.size());
    bytes_.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t));
    return *this;
  }
  RecordWriter& Items(const std::vector<ShellItem>& items) {
    Word(items.size());
    for (const ShellItem& item : items) {
      Word(item.command).Text(item.text);
    }
    return *this;
  }
  RecordWriter& Process(const ProcessIdentity& process) {
    return Word(static_cast<std::uint32_t>(process.pid)).Word(process.startTime);
  }
  const std::string& Bytes() const noexcept { return bytes_; }

 private:
  std::string bytes_;
};

// Reads the fields back; any short or oversized field fails the whole record.
class RecordReader {
 public:
  // Reads `bytes`, which outlive the reader.
  explicit RecordReader(std::string_view bytes) noexcept : bytes_(bytes) {}

  template <class Integer>
  RecordReader& Word(Integer& value) {
    std::uint64_t word = 0;
    if (Take(&word, sizeof word)) {
      value = static_cast<Integer>(word);
    }
    return *this;
  }
  template <class Char>
  RecordReader& Text(std::basic_string<Char>& text) {
    std::size_t length = 0;
    Word(length);
    if (ok_ && length <= (bytes_.size() - offset_) / sizeof(Char)) {
      text.resize(length);
      Take(text.data(), length * sizeof(Char));
    } else {
      ok_ = false;
    }
    return *this;
  }
  RecordReader& Items(std::vector<ShellItem>& items) {
    std::size_t count = 0;
    Word(count);
    for (std::size_t index = 0; ok_ && index < count; ++index) {
      ShellItem item;
      Word(item.command).Text(item.text);
      items.push_back(std::move(item));
    }
    return *this;
  }
  RecordReader& Process(ProcessIdentity& process) {
    std::uint32_t pid = 0;
    Word(pid).Word(process.startTime);
    process.pid = static_cast<std::int32_t>(pid);
    return *this;
  }
  bool Complete() const noexcept { return ok_ && offset_ == bytes_.size(); }

 private:
  bool Take(void* into, std::size_t size) {
    if (!ok_ || bytes_.size() - offset_ < size) {
      ok_ = false;
      return false;
    }
    std::memcpy(into, bytes_.data() + offset_, size);
    offset_ += size;
    return true;
  }

  std::string_view bytes_;
  std::size_t offset_ = 0;
  bool ok_ = true;
};

std::string RecordName(std::uint32_t id) {
  char name[16];
  std::snprintf(name, sizeof name, "%08x", id);
  return name;
}

// Writes aside and renames, so that the record changes whole.
bool WriteRecord(const std::filesystem::path& file, const std::string& bytes) {
  std::filesystem::path aside = file;
  aside += ".new." + std::to_string(CurrentProcessId()) + "." + std::to_string(CurrentThreadId());
  {
    std::ofstream out(aside, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
      std::error_code ignored;
      std::filesystem::remove(aside, ignored);
      return false;
    }
  }
  std::error_code error;
  std::filesystem::rename(aside, file, error);
  return !error;
}

std::optional<std::string> ReadRecord(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    return std::nullopt;
  }
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void RemoveRecord(const std::filesystem::path& file) {
  std::error_code ignored;
  std::filesystem::remove(file, ignored);
}

// The ids of a folder's records, newest first (ids only grow).
std::vector<std::uint32_t> RecordIds(const std::filesystem::path& folder) {
  std::vector<std::uint32_t> ids;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (name.size() == 8 && name.find_first_not_of("0123456789abcdef") == std::string::npos) {
      ids.push_back(static_cast<std::uint32_t>(std::stoul(name, nullptr, 16)));
    }
  }
  std::sort(ids.rbegin(), ids.rend());
  return ids;
}

// The fields of each record, in their order, for the writer and the reader alike.
template <class Codec, class Record>
  requires std::same_as<std::remove_const_t<Record>, WindowRecord>
void Fields(Codec& codec, Record& record) {
  codec.Word(record.handle).Process(record.process).Word(record.thread).Word(record.parent);
  codec.Word(record.controlId).Word(record.style).Text(record.className).Text(record.title);
}

template <class Codec, class Record>
  requires std::same_as<std::remove_const_t<Record>, QueueRecord>
void Fields(Codec& codec, Record& record) {
  codec.Word(record.thread).Process(record.process).Word(record.input.slot);
  codec.Word(record.input.generation);
}

template <class Codec, class Record>
  requires std::same_as<std::remove_const_t<Record>, HookRecord>
void Fields(Codec& codec, Record& record) {
  codec.Word(record.handle).Process(record.setter).Process(record.process).Word(record.thread);
  codec.Word(record.type).Text(record.library).Text(record.procedure);
}

template <class Codec, class Record>
  requires std::same_as<std::remove_const_t<Record>, ShellRecord>
void Fields(Codec& codec, Record& record) {
  codec.Word(record.handle).Word(record.kind).Process(record.process).Word(record.owner);
  codec.Word(record.id).Word(record.callbackMessage).Word(record.icon).Text(record.caption);
  codec.Text(record.text).Items(record.items).Word(record.answer);
}

template <class Record>
std::string Encode(const Record& record) {
  RecordWriter writer;
  Fields(writer, record);
  return writer.Bytes();
}

template <class Record>
std::optional<Record> Decode(const std::string& bytes) {
  Record record;
  RecordReader reader(bytes);
  Fields(reader, record);
  return reader.Complete() ? std::optional(record) : std::nullopt;
}

bool IsLive(const WindowRecord& record) { return IsAlive(record.process); }
bool IsLive(const QueueRecord& record) { return IsAlive(record.process); }
bool IsLive(const ShellRecord& record) { return IsAlive(record.process); }
// A hook ends with the process that set it as with the thread it hooks.
bool IsLive(const HookRecord& record) { return IsAlive(record.setter) && IsAlive(record.process); }

// The record in the file while its processes run; a dead process's record is removed, through
// `remove` for records with more than one file.
template <class Record, class Remove>
std::optional<Record> ReadLive(const std::filesystem::path& file, Remove remove) {
  std::optional<std::string> bytes = ReadRecord(file);
  std::optional<Record> record = bytes ? Decode<Record>(*bytes) : std::nullopt;
  if (record && !IsLive(*record)) {
    remove();
    return std::nullopt;
  }
  return record;
}

// The live records of a folder, newest first.
template <class Record, class Read>
std::vector<Record> ReadAll(const std::filesystem::path& folder, Read read) {
  std::vector<Record> records;
  for (const std::uint32_t id : RecordIds(folder)) {
    if (std::optional<Record> record = read(id)) {
      records.push_back(std::move(*record));
    }
  }
  return records;
}

}  // namespace

UserRegistry& UserRegistry::Instance() {
  static UserRegistry registry(PlatformRoot() / "user");
  return registry;
}

UserRegistry::UserRegistry(std::filesystem::path folder) : folder_(std::move(folder)) {
  std::error_code ignored;
  for (const char* part : {kWindows, kQueues, kHooks, kShell}) {
    std::filesystem::create_directories(folder_ / part, ignored);
  }
}

std::uint32_t UserRegistry::AllocateHandle() {
  // The lock goes with the descriptor, so a process killed while it counts holds nobody up.
  const UniqueFd counter(
      ::open((folder_ / "handles").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (!counter || ::flock(counter.Get(), LOCK_EX) != 0) {
    return 0;
  }
  std::uint32_t last = 0;
  if (::pread(counter.Get(), &last, sizeof last, 0) != sizeof last) {
    last = 0;
  }
  const std::uint32_t next = last + 1 == 0 ? 1 : last + 1;
  if (::pwrite(counter.Get(), &next, sizeof next, 0) != sizeof next) {
    return 0;
  }
  return next;
}

bool UserRegistry::WriteWindow(const WindowRecord& record) {
  return WriteRecord(folder_ / kWindows / RecordName(record.handle), Encode(record));
}

std::optional<WindowRecord> UserRegistry::ReadWindow(HWND window) {
  return ReadLive<WindowRecord>(folder_ / kWindows / RecordName(window),
                                [&] { RemoveWindow(window); });
}

bool UserRegistry::WindowRecorded(HWND window) const {
  return ::access((folder_ / kWindows / RecordName(window)).c_str(), F_OK) == 0;
}

void UserRegistry::RemoveWindow(HWND window) {
  RemoveRecord(folder_ / kWindows / RecordName(window));
}

std::vector<WindowRecord> UserRegistry::Windows() {
  return ReadAll<WindowRecord>(folder_ / kWindows, [this](std::uint32_t id) { return ReadWindow(id); });
}

bool UserRegistry::WriteQueue(const QueueRecord& record) {
  return WriteRecord(folder_ / kQueues / RecordName(record.thread), Encode(record));
}

std::optional<QueueRecord> UserRegistry::ReadQueue(std::uint32_t thread) {
  return ReadLive<QueueRecord>(folder_ / kQueues / RecordName(thread),
                               [&] { RemoveQueue(thread); });
}

void UserRegistry::RemoveQueue(std::uint32_t thread) {
  RemoveRecord(folder_ / kQueues / RecordName(thread));
  RemoveRecord(QueueSocket(thread));
}

void UserRegistry::ReclaimDeadQueues() {
  for (const std::uint32_t thread : RecordIds(folder_ / kQueues)) {
    ReadQueue(thread);
  }
}

std::filesystem::path UserRegistry::QueueSocket(std::uint32_t thread) const {
  return folder_ / kQueues / (RecordName(thread) + ".socket");
}

bool UserRegistry::WriteHook(const HookRecord& record) {
  return WriteRecord(folder_ / kHooks / RecordName(record.handle), Encode(record));
}

std::optional<HookRecord> UserRegistry::ReadHook(HHOOK hook) {
  return ReadLive<HookRecord>(folder_ / kHooks / RecordName(hook), [&] { RemoveHook(hook); });
}

void UserRegistry::RemoveHook(HHOOK hook) { RemoveRecord(folder_ / kHooks / RecordName(hook)); }

std::vector<HookRecord> UserRegistry::HooksOn(const ProcessIdentity& process,
                                              std::uint32_t thread) {
  std::vector<HookRecord> hooks;
  for (const std::uint32_t id : RecordIds(folder_ / kHooks)) {
    std::optional<HookRecord> record = ReadHook(id);
    if (record && record->process == process && record->thread == thread) {
      hooks.push_back(std::move(*record));
    }
  }
  return hooks;
}

bool UserRegistry::WriteShell(const ShellRecord& record) {
  return WriteRecord(folder_ / kShell / RecordName(record.handle), Encode(record));
}

std::optional<ShellRecord> UserRegistry::ReadShell(std::uint32_t handle) {
  return ReadLive<ShellRecord>(folder_ / kShell / RecordName(handle),
                               [&] { RemoveShell(handle); });
}

void UserRegistry::RemoveShell(std::uint32_t handle) {
  RemoveRecord(folder_ / kShell / RecordName(handle));
}

std::vector<ShellRecord> UserRegistry::ShellRecords() {
  return ReadAll<ShellRecord>(folder_ / kShell, [this](std::uint32_t id) { return ReadShell(id); });
}

}  // namespace platform::detail
