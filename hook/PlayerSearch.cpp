#include "hook/PlayerSearch.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "hook/QuillombLog.h"
#include "platform/base/Process.h"
#include "platform/sessions/Sessions.h"

namespace {

char16_t FoldCase(char16_t p_Character) {
  return p_Character >= u'A' && p_Character <= u'Z'
             ? static_cast<char16_t>(p_Character - u'A' + u'a')
             : p_Character;
}

}  // namespace

bool SameNameAnyCase(std::u16string_view p_First, std::u16string_view p_Second) {
  return std::equal(p_First.begin(), p_First.end(), p_Second.begin(), p_Second.end(),
                    [](char16_t l_A, char16_t l_B) { return FoldCase(l_A) == FoldCase(l_B); });
}

std::uint32_t WTSFindWMPProcessId() {
  std::uint32_t l_nSession = 0;
  if (!platform::ProcessIdToSessionId(platform::CurrentProcessId(), l_nSession)) {
    return 0;
  }
  const std::optional<std::vector<platform::WTS_PROCESS_INFO>> l_Processes =
      platform::WTSEnumerateProcesses();
  if (!l_Processes) {
    QuillombLogger().Log(kQuillombLogFlags, "WTSEnumerateProcesses Fails with %d",
                         platform::LastSystemError());
    return 0;
  }
  for (const platform::WTS_PROCESS_INFO& l_Process : *l_Processes) {
    if (l_Process.SessionId == l_nSession &&
        SameNameAnyCase(l_Process.ProcessName, u"wmplayer.exe")) {
      return l_Process.ProcessId;
    }
  }
  return 0;
}

std::uint32_t FindQuillombThread(SnoopSharedData& p_Data, std::uint32_t* p_pnProcess) {
  SharedStore(p_Data.treeViewWindow, HWND{0});
  const std::uint32_t l_nProcess = WTSFindWMPProcessId();
  if (l_nProcess == 0) {
    return 0;
  }
  for (const platform::THREADENTRY32& l_Thread : platform::CreateThreadSnapshot()) {
    if (l_Thread.th32OwnerProcessID != l_nProcess) {
      continue;
    }
    PlayerWindowSearch l_Search{&p_Data, false};
    platform::EnumThreadWindows(l_Thread.th32ThreadID, EnumWMPThreadWndProc,
                                reinterpret_cast<LPARAM>(&l_Search));
    if (l_Search.found) {
      QuillombLogger().Log(kQuillombLogFlags, "FindQuillombThread sees WMP thread = %d",
                           l_Thread.th32ThreadID);
      if (p_pnProcess != nullptr) {
        *p_pnProcess = l_nProcess;
      }
      return l_Thread.th32ThreadID;
    }
  }
  return 0;
}

bool EnumWMPThreadWndProc(HWND p_hWnd, LPARAM p_lParam) {
  auto* l_pSearch = reinterpret_cast<PlayerWindowSearch*>(p_lParam);
  std::u16string l_ClassName = platform::GetClassName(p_hWnd).substr(0, 511);
  if (!SameNameAnyCase(l_ClassName, u"WMPlayerApp")) {
    return true;
  }
  l_pSearch->found = true;
  platform::EnumChildWindows(p_hWnd, EnumChildProc, p_lParam);
  return false;
}

bool EnumChildProc(HWND p_hWnd, LPARAM p_lParam) {
  if (platform::GetDlgCtrlID(p_hWnd) != kTreeViewControlId) {
    return true;
  }
  SharedStore(reinterpret_cast<PlayerWindowSearch*>(p_lParam)->data->treeViewWindow, p_hWnd);
  QuillombLogger().Log(kQuillombLogFlags, "EnumChildProc sees WMP Tree View hwnd %x", p_hWnd);
  return false;
}
