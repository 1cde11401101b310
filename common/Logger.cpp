#include "common/Logger.h"

#include <span>

#include "platform/base/DebugOutput.h"
#include "platform/base/KnownFolders.h"
#include "platform/base/MessageBox.h"
#include "platform/base/Process.h"
#include "platform/base/Text.h"
#include "platform/base/Time.h"

namespace {

constexpr char16_t kSeparator = u'/';

std::u16string_view AfterLastSeparator(std::u16string_view path) {
  const std::size_t separator = path.rfind(kSeparator);
  return separator == std::u16string_view::npos ? path : path.substr(separator + 1);
}

std::u16string ToWide(const std::u16string& text) { return text; }
std::u16string ToWide(const std::string& text) { return platform::FromAnsi(text); }

template <class CharT>
std::basic_string<CharT> FromWide(std::u16string_view text) {
  if constexpr (sizeof(CharT) == 1) {
    return platform::ToAnsi(text);
  } else {
    return std::u16string(text);
  }
}

// The user's temporary folder: the sibling "Temp" of the local application-data folder.
bool GetTempFolder(std::u16string& p_strPath) {
  const auto appData = platform::LocalAppDataFolder();
  if (!appData) {
    return false;
  }
  const std::size_t separator = appData->rfind(kSeparator);
  p_strPath = appData->substr(0, separator == std::u16string::npos ? 0 : separator + 1) + u"Temp";
  return true;
}

}  // namespace

std::uint32_t NormaliseLoggerFlags(std::uint32_t p_nFlags) noexcept {
  if ((p_nFlags & (LOG_NAME_DATE_TIME | LOG_NAME_NO_DATE_TIME)) == 0) {
    p_nFlags |= LOG_NAME_DATE_TIME;
  }
  if ((p_nFlags & (LOG_CREATE_NEW | LOG_APPEND)) == 0) {
    p_nFlags |= LOG_CREATE_NEW;
  }
  if ((p_nFlags & LOG_NAME_DATE_TIME) != 0 && (p_nFlags & LOG_APPEND) != 0) {
    p_nFlags = (p_nFlags & ~LOG_APPEND) | LOG_CREATE_NEW;
  }
  return p_nFlags;
}

std::u16string LogFilePath(std::uint32_t p_nFlags, std::u16string_view p_strModulePath) {
  std::u16string folder;
  std::u16string_view name;
  if ((p_nFlags & LOG_IN_PROGRAM_FOLDER) != 0) {
    name = AfterLastSeparator(p_strModulePath);
    folder = p_strModulePath.substr(0, p_strModulePath.size() - name.size());
  }
  if ((p_nFlags & LOG_IN_TEMP_FOLDER) != 0) {
    if (!GetTempFolder(folder)) {
      return {};
    }
    folder += kSeparator;
    name = AfterLastSeparator(p_strModulePath);
  }
  std::u16string path = folder;
  path += name.substr(0, name.rfind(u'.'));
  if ((p_nFlags & LOG_NAME_PROCESS_ID) != 0 && (p_nFlags & LOG_APPEND) == 0) {
    path += platform::Format(u"[%d]", platform::CurrentProcessId());
  }
  if ((p_nFlags & LOG_NAME_DATE_TIME) != 0) {
    const platform::LocalTime now = platform::CurrentLocalTime();
    path += platform::Format(u"_%4.4u%2.2u%2.2u%2.2u%2.2u%2.2u", now.year, now.month, now.day,
                             now.hour, now.minute, now.second);
  }
  path += u".Log";
  return path;
}

template <class CharT>
BasicLogger<CharT>::BasicLogger(std::uint32_t p_nFlags)
    : m_nFlags(NormaliseLoggerFlags(p_nFlags)) {}

template <class CharT>
void BasicLogger<CharT>::SetObserver(Observer p_Observer) {
  std::lock_guard lock(m_ObserverLock);
  m_bObserved.store(static_cast<bool>(p_Observer), std::memory_order_release);
  m_Observer = std::move(p_Observer);
}

template <class CharT>
void BasicLogger<CharT>::Observe(std::uint32_t p_nFlags, const Text& p_Text) {
  std::lock_guard lock(m_ObserverLock);
  if (m_Observer) {
    m_Observer(p_nFlags, p_Text);
  }
}

template <class CharT>
void BasicLogger<CharT>::Emit(std::uint32_t p_nFlags, Text p_Text) {
  if (p_Text.size() > kBufferCharacters - 1) {
    p_Text.resize(kBufferCharacters - 1);
  }
  if (p_Text.empty() || p_Text.back() != CharT('\n')) {
    p_Text.push_back(CharT('\r'));
    p_Text.push_back(CharT('\n'));
  }
  if ((p_nFlags & LOG_TO_FILE) != 0) {
    WriteLine(p_Text);
  }
  if ((p_nFlags & LOG_TO_MESSAGE_BOX) != 0) {
    ShowMessage(p_Text);
  }
}

template <class CharT>
void BasicLogger<CharT>::WriteLine(const Text& p_Text) {
  std::lock_guard lock(m_Lock);
  if (!m_File.IsOpen()) {
    m_File = OpenLogFile();
  }
  if (m_File.IsOpen()) {
    WriteToFile(p_Text);
  }
}

template <class CharT>
platform::File BasicLogger<CharT>::OpenLogFile() {
  const std::u16string path = LogFilePath(m_nFlags, platform::ModulePath());
  DebugOutput(path);
  std::uint32_t error = 0;
  platform::File file = platform::File::OpenForWriting(path,
                                                       (m_nFlags & LOG_CREATE_NEW) != 0
                                                           ? platform::FileCreation::CreateAlways
                                                           : platform::FileCreation::OpenAlways,
                                                       error);
  if (!file.IsOpen()) {
    DebugOutput(platform::Format(u"CreateFile returns error %d", error));
  }
  return file;
}

template <class CharT>
void BasicLogger<CharT>::WriteToFile(const Text& p_Text) {
  const Text line = FromWide<CharT>(Prefix()) + p_Text;
  std::basic_string<std::byte> bytes;
  if constexpr (sizeof(CharT) == 1) {
    bytes.assign(reinterpret_cast<const std::byte*>(line.data()), line.size());
  } else {
    for (const char16_t unit : line) {
      bytes.push_back(static_cast<std::byte>(unit & 0xFF));
      bytes.push_back(static_cast<std::byte>(unit >> 8));
    }
  }
  std::uint32_t error = 0;
  if (!m_File.SeekToEnd(error) || !m_File.Write(std::span(bytes.data(), bytes.size()), error)) {
    DebugOutput(platform::Format(u"WriteFile returns error %d", error));
  }
  if (!m_File.Flush(error)) {
    DebugOutput(platform::Format(u"FlushFileBuffers returns error %d", error));
  }
}

template <class CharT>
std::u16string BasicLogger<CharT>::Prefix() const {
  const platform::LocalTime now = platform::CurrentLocalTime();
  return (m_nFlags & LOG_PREFIX_THREAD_ID) != 0
             ? platform::Format(u"%2.2u:%2.2u:%2.2u:%3u[%d][%d] ", now.hour, now.minute, now.second,
                                now.millisecond, platform::CurrentProcessId(),
                                platform::CurrentThreadId())
             : platform::Format(u"%2.2u:%2.2u:%2.2u:%3u[%d] ", now.hour, now.minute, now.second,
                                now.millisecond, platform::CurrentProcessId());
}

template <class CharT>
void BasicLogger<CharT>::DebugOutput(std::u16string_view p_strText) const {
  platform::OutputDebugText(Prefix().append(p_strText));
}

template <class CharT>
void BasicLogger<CharT>::ShowMessage(const Text& p_Text) const {
  const std::u16string modulePath = platform::ModulePath();
  const std::u16string_view name = AfterLastSeparator(modulePath);
  const std::size_t dot = name.rfind(u'.');
  const std::u16string caption = dot == std::u16string_view::npos
                                     ? std::u16string(u"Logger")
                                     : std::u16string(name.substr(0, dot));
  platform::ShowMessageBox(caption, ToWide(p_Text));
}

template class BasicLogger<char16_t>;
template class BasicLogger<char>;
