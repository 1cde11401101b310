#pragma once

// Test support for code that logs through the program's logger: the test programs' own g_Logger,
// and a recorder that collects every call made while it lives, written or not.

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
  void Clear();

 private:
  mutable std::mutex m_Lock;
  std::vector<Entry> m_Entries;
};
