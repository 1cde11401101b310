#include "platform/base/DebugOutput.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <utility>

#include "platform/base/Text.h"

namespace platform {
namespace {

std::mutex g_sinkLock;
DebugOutputSink g_sink;

void WriteDefault(std::u16string_view text) {
  const std::string line = ToUtf8(text);
  if (const char* path = std::getenv("PLATFORM_DEBUG_OUTPUT"); path != nullptr && *path != '\0') {
    if (std::FILE* file = std::fopen(path, "a"); file != nullptr) {
      std::fwrite(line.data(), 1, line.size(), file);
      std::fclose(file);
    }
  } else if (isatty(STDERR_FILENO) != 0) {
    std::fwrite(line.data(), 1, line.size(), stderr);
  }
}

}  // namespace

void OutputDebugText(std::u16string_view text) {
  std::lock_guard lock(g_sinkLock);
  if (g_sink) {
    g_sink(text);
  } else {
    WriteDefault(text);
  }
}

void OutputDebugText(std::string_view ansiText) { OutputDebugText(FromAnsi(ansiText)); }

DebugOutputSink SetDebugOutputSink(DebugOutputSink sink) {
  std::lock_guard lock(g_sinkLock);
  return std::exchange(g_sink, std::move(sink));
}

}  // namespace platform
