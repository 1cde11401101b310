#include "common/tests/support/LogRecorder.h"

#include <algorithm>

// The test programs' logger: written lines would go beside the test program, so tests that want
// a file make their own Logger.
NoDestructor<ProgramLogger> g_Logger(0x152u);

LogRecorder::LogRecorder() {
  g_Logger->SetObserver([this](std::uint32_t p_nFlags, std::u16string_view p_Text) {
    std::lock_guard lock(m_Lock);
    m_Entries.push_back(Entry{p_nFlags, std::u16string(p_Text)});
    m_Added.notify_all();
  });
}

LogRecorder::~LogRecorder() { g_Logger->SetObserver({}); }

std::vector<LogRecorder::Entry> LogRecorder::Entries() const {
  std::lock_guard lock(m_Lock);
  return m_Entries;
}

std::vector<std::u16string> LogRecorder::Texts() const {
  std::lock_guard lock(m_Lock);
  std::vector<std::u16string> texts;
  for (const Entry& entry : m_Entries) {
    texts.push_back(entry.text);
  }
  return texts;
}

bool LogRecorder::HasText(std::u16string_view p_Text) const {
  return std::any_of(m_Entries.begin(), m_Entries.end(),
                     [&](const Entry& entry) { return entry.text == p_Text; });
}

bool LogRecorder::Contains(std::u16string_view p_Text) const {
  std::lock_guard lock(m_Lock);
  return HasText(p_Text);
}

bool LogRecorder::AwaitText(std::u16string_view p_Text, std::chrono::milliseconds p_Timeout) const {
  std::unique_lock lock(m_Lock);
  return m_Added.wait_for(lock, p_Timeout, [&] { return HasText(p_Text); });
}

void LogRecorder::Clear() {
  std::lock_guard lock(m_Lock);
  m_Entries.clear();
}
