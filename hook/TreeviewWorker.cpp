#include "hook/TreeviewWorker.h"

#include <array>
#include <optional>
#include <string>

#include "common/DeviceData.h"
#include "hook/PlayerSearch.h"
#include "hook/QuillombLog.h"
#include "hook/SelectionRecord.h"
#include "hook/SnoopEvents.h"
#include "hook/SnoopRequest.h"
#include "platform/base/Process.h"
#include "platform/kernel/Wait.h"
#include "platform/user/TreeView.h"
#include "platform/user/Window.h"

namespace {

constexpr platform::Timeout kKnownViewPoll(500);
constexpr platform::Timeout kUnknownViewPoll(2000);
constexpr char kAllMusic[] = "All Music";

HTREEITEM NextItem(HWND p_hTreeView, WPARAM p_nRelation, HTREEITEM p_hItem) {
  return static_cast<HTREEITEM>(platform::SendMessage(p_hTreeView, TVM_GETNEXTITEM, p_nRelation,
                                                      static_cast<LPARAM>(p_hItem)));
}

// The item's text in the ANSI code page, at most 511 bytes; nothing when it cannot be read.
std::optional<std::string> ItemText(HWND p_hTreeView, HTREEITEM p_hItem) {
  std::array<char, 512> l_Text{};
  TVITEMA l_Item{TVIF_TEXT, p_hItem, 0, 0, l_Text.data(), static_cast<int>(l_Text.size())};
  if (platform::SendMessage(p_hTreeView, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&l_Item)) == 0) {
    return std::nullopt;
  }
  return std::string(l_Text.data());
}

// The slot's tree view while it is a window of this process; a stale one is cleared.
HWND KnownTreeView(SnoopSharedData& p_Data) {
  const HWND l_hTreeView = SharedLoad(p_Data.treeViewWindow);
  if (l_hTreeView == 0) {
    return 0;
  }
  std::uint32_t l_nProcess = 0;
  if (platform::GetWindowThreadProcessId(l_hTreeView, &l_nProcess) == 0 ||
      l_nProcess != platform::CurrentProcessId()) {
    SharedStore(p_Data.treeViewWindow, HWND{0});
    return 0;
  }
  return l_hTreeView;
}

class CTreeviewState {
 public:
  explicit CTreeviewState(SnoopSharedData& p_Data) : m_Data(p_Data) {}

  platform::Timeout Interval() const { return m_Interval; }

  void OnStatus() {
    QuillombLogger().Log(kQuillombLogFlags, "TreeviewState status on threadid %x",
                         platform::CurrentThreadId());
    const HWND l_hTreeView = KnownTreeView(m_Data);
    const HTREEITEM l_hCurrent = l_hTreeView == 0 ? 0 : NextItem(l_hTreeView, TVGN_CARET, 0);
    std::vector<std::uint8_t> l_Record = NoSelectionRecord();
    if (l_hTreeView == 0) {
      QuillombLogger().Log(kQuillombLogFlags, "TreeviewState No g_hTreeViewWindow");
    } else if (l_hCurrent == 0) {
      QuillombLogger().Log(kQuillombLogFlags, "TreeviewState No l_hCurrent");
      m_Interval = kUnknownViewPoll;
      SharedStore(m_Data.treeViewWindow, HWND{0});
    } else {
      l_Record = TreeviewSelectionRecord(l_hTreeView, l_hCurrent);
      QuillombLogger().Log(kQuillombLogFlags, "Copy %d bytes to buffer", l_Record.size());
    }
    StoreTransfer(m_Data, l_Record);
    QuillombLogger().Log(kQuillombLogFlags, "TreeviewState Set StatusComplete");
  }

  void OnPoll() {
    HWND l_hTreeView = KnownTreeView(m_Data);
    if (l_hTreeView == 0) {
      PlayerWindowSearch l_Search{&m_Data, false};
      platform::EnumThreadWindows(SharedLoad(m_Data.playerThread), EnumWMPThreadWndProc,
                                  reinterpret_cast<LPARAM>(&l_Search));
      l_hTreeView = KnownTreeView(m_Data);
      if (l_hTreeView == 0) {
        return;
      }
    }
    m_Interval = kKnownViewPoll;
    const HTREEITEM l_hCurrent = NextItem(l_hTreeView, TVGN_CARET, 0);
    if (l_hCurrent == m_hLastSeen) {
      return;
    }
    m_hLastSeen = l_hCurrent;
    const HWND l_hNotify = SharedLoad(m_Data.notifyWindow);
    const UINT l_nMessage = SharedLoad(m_Data.notifyMessage);
    platform::PostMessage(l_hNotify, l_nMessage, 0, 0);
    QuillombLogger().Log(kQuillombLogFlags, "TreeviewState PostMessage %d to window %x", l_nMessage,
                         l_hNotify);
  }

 private:
  SnoopSharedData& m_Data;
  platform::Timeout m_Interval =
      SharedLoad(m_Data.treeViewWindow) != 0 ? kKnownViewPoll : kUnknownViewPoll;
  HTREEITEM m_hLastSeen = 0;
};

}  // namespace

std::vector<std::uint8_t> TreeviewSelectionRecord(HWND p_hTreeView, HTREEITEM p_hSelected) {
  HTREEITEM l_hItem = p_hSelected;
  const std::optional<std::string> l_Text = ItemText(p_hTreeView, l_hItem);
  if (!l_Text) {
    QuillombLogger().Log(kQuillombLogFlags, "TreeviewState TreeView_GetItem is false");
    return NoSelectionRecord();
  }
  CDeviceData l_Selection;
  l_Selection.AddLine(_bstr_t(l_Text->c_str()));
  while (l_Selection.GetLineCount() < g_nDeviceDataMaxLines) {
    l_hItem = NextItem(p_hTreeView, TVGN_PARENT, l_hItem);
    const std::optional<std::string> l_ParentText =
        l_hItem == 0 ? std::nullopt : ItemText(p_hTreeView, l_hItem);
    if (!l_ParentText) {
      break;
    }
    l_Selection.InsertLine(_bstr_t(l_ParentText->c_str()));
  }
  return FlatRecordWithin(l_Selection, kTreeviewTransferSize);
}

void TreeviewSynchronize(SnoopSharedData& p_Data) {
  QuillombLogger().Log(kQuillombLogFlags, "TreeviewSynchronize");
  const HWND l_hTreeView = KnownTreeView(p_Data);
  if (l_hTreeView == 0) {
    return;
  }
  const TreeviewTransfer l_Bytes = LoadTransfer(p_Data);
  const std::vector<_bstr_t> l_Path = CDeviceData(std::span(l_Bytes)).GetLines();
  if (!l_Path.empty() && std::string(static_cast<const char*>(l_Path.front())) == kAllMusic) {
    HTREEITEM l_hCurrent = NextItem(l_hTreeView, TVGN_ROOT, 0);
    const std::optional<std::string> l_RootText = ItemText(l_hTreeView, l_hCurrent);
    QuillombLogger().Log(kQuillombLogFlags, "TreeviewSynchronize Root Text = %s",
                         l_RootText.value_or("").c_str());
    if (l_RootText == kAllMusic) {
      platform::SendMessage(l_hTreeView, TVM_EXPAND, TVE_EXPAND, static_cast<LPARAM>(l_hCurrent));
      for (auto l_Entry = l_Path.begin() + 1; l_Entry != l_Path.end(); ++l_Entry) {
        const std::string l_Wanted(static_cast<const char*>(*l_Entry));
        QuillombLogger().Log(kQuillombLogFlags, "TreeviewSynchronize Next Entry = %s",
                             l_Wanted.c_str());
        for (HTREEITEM l_hChild = NextItem(l_hTreeView, TVGN_CHILD, l_hCurrent); l_hChild != 0;
             l_hChild = NextItem(l_hTreeView, TVGN_NEXT, l_hChild)) {
          const std::optional<std::string> l_Seen = ItemText(l_hTreeView, l_hChild);
          QuillombLogger().Log(kQuillombLogFlags, "TreeviewSynchronize looks for %s Sees %s",
                               l_Wanted.c_str(), l_Seen.value_or("").c_str());
          if (l_Seen == l_Wanted) {
            platform::SendMessage(l_hTreeView, TVM_EXPAND, TVE_EXPAND,
                                  static_cast<LPARAM>(l_hChild));
            platform::SendMessage(l_hTreeView, TVM_ENSUREVISIBLE, 0, static_cast<LPARAM>(l_hChild));
            l_hCurrent = l_hChild;
            break;
          }
        }
      }
      const LRESULT l_nVisible =
          platform::SendMessage(l_hTreeView, TVM_ENSUREVISIBLE, 0, static_cast<LPARAM>(l_hCurrent));
      const LRESULT l_nSelected = platform::SendMessage(l_hTreeView, TVM_SELECTITEM, TVGN_CARET,
                                                        static_cast<LPARAM>(l_hCurrent));
      QuillombLogger().Log(
          kQuillombLogFlags, "TreeviewSynchronize Selects %s with result = %d Visible = %d",
          ItemText(l_hTreeView, l_hCurrent).value_or("").c_str(), l_nSelected, l_nVisible);
    }
  }
  QuillombLogger().Log(kQuillombLogFlags, "TreeviewSynchronize Exit");
}

std::uint32_t TreeviewState(void* p_pContext) {
  const auto& l_Context = *static_cast<const TreeviewWorkerContext*>(p_pContext);
  SnoopSharedData& l_Data = *l_Context.data;
  QuillombLogger().Log(kQuillombLogFlags, "TreeviewState Starts on threadid %x",
                       platform::CurrentThreadId());
  SnoopEvents l_Events = SnoopEvents::Open();
  if (!l_Events.HasRequestEvents()) {
    QuillombLogger().Log(kQuillombLogFlags, "TreeviewState Missing Event Handle");
    return 0;
  }
  CTreeviewState l_State(l_Data);
  SharedStore(l_Data.workerThread, platform::CurrentThreadId());
  l_Events.statusStarted.Set();
  QuillombLogger().Log(kQuillombLogFlags, "TreeviewState Running with HWND = %x and Message = %d",
                       SharedLoad(l_Data.notifyWindow), SharedLoad(l_Data.notifyMessage));

  const std::array<platform::ObjectRef, 4> l_Handles{
      l_Events.terminate.Ref(), l_Events.status.Ref(), l_Events.sync.Ref(), l_Context.stop};
  std::optional<std::uint32_t> l_nTerminate;
  for (bool l_bRunning = true; l_bRunning;) {
    const platform::WaitResult l_Wait = platform::WaitForObjects(l_Handles, l_State.Interval());
    if (l_Wait.status == platform::WaitStatus::TimedOut) {
      l_State.OnPoll();
    } else if (l_Wait.Signalled(0)) {
      l_nTerminate = TakeRequest(l_Data.terminate);
      l_bRunning = false;
    } else if (l_Wait.Signalled(1)) {
      const std::uint32_t l_nNumber = TakeRequest(l_Data.status);
      l_State.OnStatus();
      AnswerRequest(l_Data.status, l_nNumber, l_Events.statusComplete);
    } else if (l_Wait.Signalled(2)) {
      const std::uint32_t l_nNumber = TakeRequest(l_Data.sync);
      TreeviewSynchronize(l_Data);
      AnswerRequest(l_Data.sync, l_nNumber, l_Events.syncComplete);
    } else {
      // The library leaves the process, or a handle is gone and no later wait can succeed.
      l_bRunning = false;
    }
  }

  QuillombLogger().Log(kQuillombLogFlags, "TreeviewState terminating");
  SharedStore(l_Data.workerThread, std::uint32_t{0});
  platform::Event l_TerminateComplete = std::move(l_Events.terminateComplete);
  l_Events.Close();
  QuillombLogger().Log(kQuillombLogFlags, "TreeviewState ends on threadid %x",
                       platform::CurrentThreadId());
  if (l_nTerminate) {
    AnswerRequest(l_Data.terminate, *l_nTerminate, l_TerminateComplete);
  }
  return 0;
}
