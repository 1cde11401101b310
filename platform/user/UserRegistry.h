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

// A piece of the shell that a control tool lists and acts on: a notification-area icon, a popup
// menu or message box that waits for its answer, an address the shell was asked to open, or a
// request to a control of another process (its operation in `id`).
enum class ShellKind : std::uint32_t { Icon = 1, Menu, MessageBox, Open, ControlRequest };
struct ShellItem {
  std::uint32_t command = 0;  // a menu item's command; a message box's answer
  std::u16string text;
};
struct ShellRecord {
  std::uint32_t handle = 0;
  ShellKind kind = ShellKind::Icon;
  ProcessIdentity process;
  HWND owner = 0;
  std::uint32_t id = 0;               // an icon's id
  std::uint32_t callbackMessage = 0;  // an icon's callback message
  std::uint32_t icon = 0;             // an icon's resource id
  std::u16string caption;             // a box's caption; the verb of an open
  std::u16string text;                // an icon's tip, a box's text, the address opened
  std::vector<ShellItem> items;       // a menu's items, a box's buttons
  std::int32_t answer = 0;            // the command picked or the button pressed; 0 while open
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
  // Whether the window's record is there, without reading it (a dead process's record may be).
  bool WindowRecorded(HWND window) const;
  // Every live window, newest first.
  std::vector<WindowRecord> Windows();

  bool WriteQueue(const QueueRecord& record);
  std::optional<QueueRecord> ReadQueue(std::uint32_t thread);
  void RemoveQueue(std::uint32_t thread);
  std::filesystem::path QueueSocket(std::uint32_t thread) const;
  // Removes the queue records and sockets that dead processes left.
  void ReclaimDeadQueues();

  bool WriteHook(const HookRecord& record);
  std::optional<HookRecord> ReadHook(HHOOK hook);
  void RemoveHook(HHOOK hook);
  // The hooks on this thread of this process whose setter still runs, newest first.
  std::vector<HookRecord> HooksOn(const ProcessIdentity& process, std::uint32_t thread);

  bool WriteShell(const ShellRecord& record);
  std::optional<ShellRecord> ReadShell(std::uint32_t handle);
  void RemoveShell(std::uint32_t handle);
  // Every live shell record, newest first.
  std::vector<ShellRecord> ShellRecords();

 private:
  explicit UserRegistry(std::filesystem::path folder);

  std::filesystem::path folder_;
};

}  // namespace platform::detail
