#include "platform/base/MessageBox.h"

#include <mutex>
#include <string>
#include <utility>

#include "platform/base/DebugOutput.h"

namespace platform {
namespace {

std::mutex g_sinkLock;
MessageBoxSink g_sink;

}  // namespace

void ShowMessageBox(std::u16string_view caption, std::u16string_view text) {
  std::unique_lock lock(g_sinkLock);
  if (g_sink) {
    g_sink(caption, text);
    return;
  }
  lock.unlock();
  std::u16string line(u"[message box] ");
  line.append(caption).append(u": ").append(text);
  OutputDebugText(line);
}

MessageBoxSink SetMessageBoxSink(MessageBoxSink sink) {
  std::lock_guard lock(g_sinkLock);
  return std::exchange(g_sink, std::move(sink));
}

}  // namespace platform
