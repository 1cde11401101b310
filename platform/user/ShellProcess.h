#pragma once

// Programs that the shell's "open" starts. A program whose manifest (a file beside it named after
// it with ".manifest", as the build writes it) asks for the level "requireAdministrator" starts
// elevated: directly when this process is the administrator (root), otherwise through the
// machine's elevation tool (sudo, asked never to prompt); when that is refused or there is none,
// the start fails with ERROR_CANCELLED. The started program learns its show command
// (StartupShowCommand) and tells its starter when it first waits for input (WaitForInputIdle).

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/kernel/Event.h"
#include "platform/kernel/Posix.h"
#include "platform/kernel/Wait.h"
#include "platform/user/Messages.h"

inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr std::uint32_t SEE_MASK_NOCLOSEPROCESS = 0x00000040;
inline constexpr std::uint32_t ERROR_CANCELLED = 1223;
inline constexpr std::uint32_t WAIT_OBJECT_0 = 0;
inline constexpr std::uint32_t WAIT_TIMEOUT = 258;
inline constexpr std::uint32_t WAIT_FAILED = 0xFFFFFFFF;

namespace platform {

// Owns what is kept of a started program: its process (a pidfd) and the event it sets when it
// first waits for input. Move-only; one thread at a time.
class ProcessHandle {
 public:
  ProcessHandle() = default;
  ProcessHandle(detail::UniqueFd process, Event inputIdle, std::uint32_t processId) noexcept
      : process_(std::move(process)), inputIdle_(std::move(inputIdle)), processId_(processId) {}
  explicit operator bool() const noexcept { return static_cast<bool>(process_); }
  std::uint32_t ProcessId() const noexcept { return processId_; }
  ObjectRef InputIdleRef() const noexcept { return inputIdle_.Ref(); }
  void Close() noexcept;

 private:
  detail::UniqueFd process_;
  Event inputIdle_;
  std::uint32_t processId_ = 0;
};

struct SHELLEXECUTEINFO {
  std::uint32_t fMask = 0;  // SEE_MASK_NOCLOSEPROCESS keeps hProcess
  HWND hwnd = 0;
  std::u16string lpVerb;
  std::u16string lpFile;
  std::u16string lpParameters;  // words separated by spaces
  std::u16string lpDirectory;
  int nShow = SW_SHOWNORMAL;
  std::intptr_t hInstApp = 0;  // more than 32 on success, as the shell answers
  ProcessHandle hProcess;
};

// "open" of a program file (a path, or a name with ".exe" whose program is there without it)
// starts it; any other address is recorded as ShellExecute records it. False with the error
// (LastShellError): ERROR_FILE_NOT_FOUND, ERROR_CANCELLED, ...
bool ShellExecuteEx(SHELLEXECUTEINFO& info);
std::uint32_t LastShellError() noexcept;

// Waits until the program has first waited for input with nothing queued: WAIT_OBJECT_0,
// WAIT_TIMEOUT, or WAIT_FAILED for no process.
std::uint32_t WaitForInputIdle(const ProcessHandle& process, Timeout timeout);

// The show command its starter gave this program; SW_SHOWNORMAL when started otherwise.
int StartupShowCommand() noexcept;

// Whether the manifest text asks for administrator rights.
bool ManifestRequiresAdministrator(std::string_view manifest) noexcept;

namespace detail {
// The message queues' side: the first wait for input of this process tells its starter.
void NoteInputIdle();
}  // namespace detail

}  // namespace platform
