#pragma once

// Test support for code that logs through the program's logger: the test programs' own g_Logger,
// and a recorder that collects every call made while it lives, written or not.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "common/ProgramLogger.h"

class LogRecorder {
 public:
  struct Entry {
    std::uint32_t flags;
    std::u16string text;
  };

  LogRecorder();
  ~LogRecorder();
  LogRecorder(const LogRecorder&) = delete;
  LogRecorder& operator=(const LogRecorder&) = delete;

  std::vector<Entry> Entries() const;
  std::vector<std::u16string> Texts() const;
  bool Contains(std::u16string_view p_Text) const;
  // Waits up to the real time-out until a call with the text has been made; true when it has.
  bool AwaitText(std::u16string_view p_Text, std::chrono::milliseconds p_Timeout) const;
  void Clear();

 private:
  // Under m_Lock.
  bool HasText(std::u16string_view p_Text) const;

  mutable std::mutex m_Lock;
  mutable std::condition_variable m_Added;
  std::vector<Entry> m_Entries;
};
