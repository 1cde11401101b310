#pragma once

// The program's diagnostic log. A message is formatted and written only when its call asks for it
// with the write bit; it then goes to the log file, a message box, or both. UTF-16 programs log
// with a BasicLogger<char16_t> (file in UTF-16LE without a byte-order mark), 8-bit programs with
// a BasicLogger<char> (file in 8-bit text).
//
// Any thread may call Log. Opening the file and writing a line happen under the logger's lock, so
// lines of different threads never interleave.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/base/File.h"
#include "platform/base/Format.h"

// Construction flags.
inline constexpr std::uint32_t LOG_IN_TEMP_FOLDER = 0x01;
inline constexpr std::uint32_t LOG_IN_PROGRAM_FOLDER = 0x02;
inline constexpr std::uint32_t LOG_NAME_PROCESS_ID = 0x04;
inline constexpr std::uint32_t LOG_APPEND = 0x08;
inline constexpr std::uint32_t LOG_CREATE_NEW = 0x10;
inline constexpr std::uint32_t LOG_NAME_DATE_TIME = 0x20;
inline constexpr std::uint32_t LOG_NAME_NO_DATE_TIME = 0x40;
inline constexpr std::uint32_t LOG_PREFIX_THREAD_ID = 0x100;

// Call flags of Log.
inline constexpr std::uint32_t LOG_WRITE = 0x20;
inline constexpr std::uint32_t LOG_TO_MESSAGE_BOX = 0x40;
inline constexpr std::uint32_t LOG_TO_FILE = 0x80;

template <class CharT>
class BasicLogger {
 public:
  // The formatted text holds at most one character less than this.
  static constexpr std::size_t kBufferCharacters = sizeof(CharT) == 1 ? 1024 : 2048;

  explicit BasicLogger(std::uint32_t p_nFlags);
  BasicLogger(const BasicLogger&) = delete;
  BasicLogger& operator=(const BasicLogger&) = delete;

  std::uint32_t GetFlags() const noexcept { return m_nFlags; }

  template <class... Args>
  void Log(std::uint32_t p_nFlags, const CharT* p_szFormat, const Args&... p_Args) {
    const bool l_bObserved = m_bObserved.load(std::memory_order_acquire);
    if (!l_bObserved && (p_nFlags & LOG_WRITE) == 0) {
      return;
    }
    Text l_Text = platform::Format(std::basic_string_view<CharT>(p_szFormat), p_Args...);
    if (l_bObserved) {
      Observe(p_nFlags, l_Text);
    }
    if ((p_nFlags & LOG_WRITE) != 0) {
      Emit(p_nFlags, std::move(l_Text));
    }
  }

  // Tests see every call, written or not, with its flags and formatted text; an empty observer
  // removes it. Any thread may set it.
  using Observer =
      std::function<void(std::uint32_t p_nFlags, std::basic_string_view<CharT> p_Text)>;
  void SetObserver(Observer p_Observer);

 private:
  using Text = std::basic_string<CharT>;

  void Emit(std::uint32_t p_nFlags, Text p_Text);
  void Observe(std::uint32_t p_nFlags, const Text& p_Text);
  void WriteLine(const Text& p_Text);
  platform::File OpenLogFile();
  void WriteToFile(const Text& p_Text);
  void DebugOutput(std::u16string_view p_strText) const;
  void ShowMessage(const Text& p_Text) const;
  std::u16string Prefix() const;

  const std::uint32_t m_nFlags;
  platform::File m_File;  // open from the first written message on
  std::mutex m_Lock;      // guards m_File: opening and writing
  std::atomic<bool> m_bObserved{false};
  std::mutex m_ObserverLock;  // guards m_Observer
  Observer m_Observer;
};

using Logger = BasicLogger<char16_t>;
using NarrowLogger = BasicLogger<char>;

extern template class BasicLogger<char16_t>;
extern template class BasicLogger<char>;

// The construction flags after normalisation: a date-and-time stamp unless "no date and time" is
// asked for, a new file unless appending is, and a stamped file is always created anew.
std::uint32_t NormaliseLoggerFlags(std::uint32_t p_nFlags) noexcept;

// The log file's full path for these (normalised) flags, from the executable's path, the process
// id, the local time and the local application-data folder, by the logger's naming rules. Empty
// when the flags ask for the temporary folder and there is none.
std::u16string LogFilePath(std::uint32_t p_nFlags, std::u16string_view p_strModulePath);
