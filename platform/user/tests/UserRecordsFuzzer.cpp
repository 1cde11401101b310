// Feeds arbitrary bytes to the readers of the window, queue, hook and shell records under the
// root, as a damaged file or any process of the root may leave them: each reads as a record or
// as none, and a record that reads is written and read back as the same fields.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "platform/kernel/Root.h"
#include "platform/kernel/tests/BenchmarkRoot.h"
#include "platform/user/UserRegistry.h"

namespace {

using platform::detail::UserRegistry;

// The records live in a root of the fuzzer's own, made before the layer first looks.
const platform::testing::BenchmarkRoot g_Root;

// The record files of id 1, as the registry names them.
const std::filesystem::path& Folder() {
  static const std::filesystem::path s_Folder = platform::PlatformRoot() / "user";
  return s_Folder;
}

void Place(const char* p_szKind, std::string_view p_Bytes) {
  std::ofstream(Folder() / p_szKind / "00000001", std::ios::binary | std::ios::trunc)
      .write(p_Bytes.data(), static_cast<std::streamsize>(p_Bytes.size()));
}

void Check(bool p_bSame) {
  if (!p_bSame) {
    std::abort();
  }
}

}  // namespace

// The first byte picks the kind of record; the rest is the record file.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  static constexpr const char* kKinds[] = {"windows", "queues", "hooks", "shell"};
  const char* const l_szKind = kKinds[data[0] % 4];
  const std::string_view l_Bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  Place(l_szKind, l_Bytes);
  UserRegistry& l_Registry = UserRegistry::Instance();
  bool l_bWritten = false;
  switch (data[0] % 4) {
    case 0:
      if (const auto l_Window = l_Registry.ReadWindow(1)) {
        l_bWritten = true;
        Check(l_Registry.WriteWindow(*l_Window));
        const auto l_Again = l_Registry.ReadWindow(l_Window->handle);
        Check(l_Again && l_Again->className == l_Window->className &&
              l_Again->title == l_Window->title && l_Again->style == l_Window->style);
      }
      break;
    case 1:
      if (const auto l_Queue = l_Registry.ReadQueue(1)) {
        l_bWritten = true;
        Check(l_Registry.WriteQueue(*l_Queue));
        const auto l_Again = l_Registry.ReadQueue(l_Queue->thread);
        Check(l_Again && l_Again->input.slot == l_Queue->input.slot);
      }
      break;
    case 2:
      if (const auto l_Hook = l_Registry.ReadHook(1)) {
        l_bWritten = true;
        Check(l_Registry.WriteHook(*l_Hook));
        const auto l_Again = l_Registry.ReadHook(l_Hook->handle);
        Check(l_Again && l_Again->library == l_Hook->library &&
              l_Again->procedure == l_Hook->procedure);
      }
      break;
    default:
      if (const auto l_Shell = l_Registry.ReadShell(1)) {
        l_bWritten = true;
        Check(l_Registry.WriteShell(*l_Shell));
        const auto l_Again = l_Registry.ReadShell(l_Shell->handle);
        Check(l_Again && l_Again->text == l_Shell->text &&
              l_Again->items.size() == l_Shell->items.size());
      }
      break;
  }
  std::error_code l_Ignored;
  std::filesystem::remove(Folder() / l_szKind / "00000001", l_Ignored);
  // A record written back under its own id goes too.
  if (l_bWritten) {
    for (const auto& l_Entry : std::filesystem::directory_iterator(Folder() / l_szKind, l_Ignored)) {
      std::filesystem::remove_all(l_Entry.path(), l_Ignored);
    }
  }
  return 0;
}
