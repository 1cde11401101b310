#pragma once

// The machine-wide records of the windows layer, one file each under the platform root: windows,
// thread queues and window hooks. A record is replaced whole (written aside and renamed), so a
// reader never sees half of one and a process killed while writing leaves only a stray temporary
// file. A record whose process has died is reclaimed by whoever reads it. Internal to the layer.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/kernel/KernelHandle.h"
#include "platform/kernel/ProcessIdentity.h"
#include "platform/user/Messages.h"

namespace platform::detail {

struct WindowRecord {
  HWND handle = 0;
  ProcessIdentity process;
  std::uint32_t thread = 0;
  HWND parent = 0;
  std::int32_t controlId = 0;
  std::uint32_t style = 0;
  std::u16string className;
  std::u16string title;
};

// A thread's message queue: the socket that takes its posted messages, and its message input.
struct QueueRecord {
  std::uint32_t thread = 0;
  ProcessIdentity process;
  ObjectRef input;
};

struct HookRecord {
  HHOOK handle = 0;
  ProcessIdentity setter;
  ProcessIdentity process;  // of the hooked thread
  std::uint32_t thread = 0;
  std::int32_t type = 0;
  std::string library;    // the path the hooked process loads
  std::string procedure;  // the exported name it calls
};

// The records under PlatformRoot(). Any thread of any process.
class UserRegistry {
 public:
  static UserRegistry& Instance();

  // A new id for a window or hook, never handed out before under this root; 0 when the counter
  // cannot be kept.
  std::uint32_t AllocateHandle();

  bool WriteWindow(const WindowRecord& record);
  // The window while its process runs.
  std::optional<WindowRecord> ReadWindow(HWND window);
  void RemoveWindow(HWND window);
  // Every live window, newest first.
  std::vector<WindowRecord> Windows();

  bool WriteQueue(const QueueRecord& record);
  std::optional<QueueRecord> ReadQueue(std::uint32_t thread);
  void RemoveQueue(std::uint32_t thread);
  std::filesystem::path QueueSocket(std::uint32_t thread) const;

  bool WriteHook(const HookRecord& record);
  std::optional<HookRecord> ReadHook(HHOOK hook);
  void RemoveHook(HHOOK hook);
  // The hooks on this thread of this process whose setter still runs, newest first.
  std::vector<HookRecord> HooksOn(const ProcessIdentity& process, std::uint32_t thread);

 private:
  explicit UserRegistry(std::filesystem::path folder);

  std::filesystem::path folder_;
};

}  // namespace platform::detail
