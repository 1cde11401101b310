// A stand-in for the per-session server in the hook library's tests: it loads "Quillomb.dll" by
// its bare name, owns the window that the worker notifies, and calls the library's exports on its
// window thread, as the server does on its apartment's thread. Commands:
//   load | unload              LoadLibrary / FreeLibrary
//   snoop                      LoadSnoopIntoMediaPlayer with its window and 0x8001: 1 or 0
//   selection | status         the selection path as "Text/Text/..." ("-" when empty), or "failed"
//   sync <path>                SynchronizeTreeView with the path's record: 1 or 0
//   sync-bytes <length> <hex>  SynchronizeTreeView with raw bytes
//   shutdown                   ShutdownSnooper: 1 or 0
//   notices <count>            waits (up to 30 s of the layer's clock) until that many notify
//                              messages reached the window; answers how many did
//   slot                       the session's slot: "hook <h> player <thread> worker <thread>"
// Texts in paths are separated by '/', with '_' for a space.

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "common/DeviceData.h"
#include "hook/Quillomb.h"
#include "hook/SnoopSharedData.h"
#include "hook/tests/CommandLoop.h"
#include "platform/base/Module.h"
#include "platform/base/Text.h"
#include "platform/base/Time.h"

namespace {

constexpr UINT WM_WMP_TREE_CHANGE = 0x8001;

// The window thread's state.
platform::Module g_Library;
HWND g_hNotifyWindow = 0;
int g_nNotices = 0;

template <class Procedure>
Procedure Export(const char* name) {
  return g_Library.Find<Procedure>(name);
}

std::string PathOf(const CDeviceData& record) {
  std::string path;
  for (const _bstr_t& line : record.GetLines()) {
    if (!path.empty()) path += '/';
    path += platform::ToUtf8(line.view());
  }
  return path.empty() ? "-" : path;
}

// Serves the window thread's messages until `wanted` notices came or the time is up.
int AwaitNotices(int wanted) {
  const auto start = platform::TickCount();
  constexpr std::uint32_t kLimit = 30000;
  for (std::uint32_t spent = 0; g_nNotices < wanted && spent < kLimit;
       spent = platform::TickCount() - start) {
    platform::MsgWaitForMultipleObjects({}, false, platform::Timeout(kLimit - spent), QS_ALLINPUT);
    for (MSG message; platform::PeekMessage(message, 0, 0, 0, PM_REMOVE);) {
      platform::DispatchMessage(message);
    }
  }
  return g_nNotices;
}

std::string Answer(bool result) { return result ? "1" : "0"; }

std::string Sync(const std::string& path) {
  CDeviceData record;
  std::string texts = path;
  std::replace(texts.begin(), texts.end(), '_', ' ');
  std::istringstream words(texts);
  std::vector<_bstr_t> lines;
  for (std::string text; std::getline(words, text, '/');) {
    lines.emplace_back(std::u16string_view(platform::FromUtf8(text)));
  }
  record.SetLines(std::move(lines));
  std::size_t length = 0;
  const std::unique_ptr<std::uint8_t[]> bytes = record.Serialize(length);
  return Answer(Export<SynchronizeTreeViewProc>("SynchronizeTreeView")(
      bytes.get(), static_cast<std::uint32_t>(length)));
}

std::string SyncBytes(std::istringstream& words) {
  std::uint32_t length = 0;
  std::string hex;
  words >> length >> hex;
  std::vector<std::uint8_t> bytes(std::max<std::size_t>(length, hex.size() / 2));
  for (std::size_t at = 0; at + 1 < hex.size(); at += 2) {
    bytes[at / 2] = static_cast<std::uint8_t>(std::stoul(hex.substr(at, 2), nullptr, 16));
  }
  return Answer(Export<SynchronizeTreeViewProc>("SynchronizeTreeView")(bytes.data(), length));
}

std::string Slot() {
  SnoopSection section = SnoopSection::Open();
  if (!section) {
    return "failed";
  }
  SnoopSharedData& data = section.Data();
  return "hook " + std::to_string(SharedLoad(data.hook)) + " player " +
         std::to_string(SharedLoad(data.playerThread)) + " worker " +
         std::to_string(SharedLoad(data.workerThread));
}

std::string Run(const std::string& line) {
  std::istringstream words(line);
  std::string command;
  words >> command;
  if (command == "load") {
    g_Library = platform::Module::Load("Quillomb.dll");
    return g_Library ? "ok" : "failed " + std::to_string(platform::LastModuleError());
  }
  if (command == "unload") {
    g_Library.Reset();
    return "ok";
  }
  if (command == "slot") {
    return Slot();
  }
  if (command == "notices") {
    int wanted = 0;
    words >> wanted;
    return std::to_string(AwaitNotices(wanted));
  }
  if (!g_Library) {
    return "not loaded";
  }
  if (command == "snoop") {
    if (g_hNotifyWindow == 0) {
      g_hNotifyWindow = hooktest::CreateHelperWindow();
    }
    return Answer(Export<LoadSnoopIntoMediaPlayerProc>("LoadSnoopIntoMediaPlayer")(
        g_hNotifyWindow, WM_WMP_TREE_CHANGE));
  }
  if (command == "selection") {
    std::uint8_t* selection = nullptr;
    if (!Export<GetTreeviewSelectionProc>("GetTreeviewSelection")(&selection)) {
      return "failed";
    }
    return PathOf(CDeviceData(std::span(selection, kTreeviewSelectionSize)));
  }
  if (command == "status") {
    CDeviceData record;
    return Export<GetTreeviewStatusProc>("GetTreeviewStatus")(record) ? PathOf(record) : "failed";
  }
  if (command == "sync") {
    std::string path;
    words >> path;
    return Sync(path);
  }
  if (command == "sync-bytes") {
    return SyncBytes(words);
  }
  if (command == "shutdown") {
    return Answer(Export<ShutdownSnooperProc>("ShutdownSnooper")());
  }
  return "unknown command";
}

void OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM) {
  if (window == g_hNotifyWindow && message == WM_WMP_TREE_CHANGE && wParam == 0) {
    ++g_nNotices;
  }
}

}  // namespace

int main() { return hooktest::RunCommandLoop(Run, OnMessage); }
