#include "hook/Quillomb.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <optional>

#include "hook/PlayerSearch.h"
#include "hook/QuillombLog.h"
#include "hook/SelectionRecord.h"
#include "hook/SnoopEvents.h"
#include "hook/SnoopRequest.h"
#include "hook/SnoopSharedData.h"
#include "hook/TreeviewWorker.h"
#include "platform/base/Module.h"
#include "platform/base/NoDestructor.h"
#include "platform/base/Process.h"
#include "platform/kernel/Thread.h"
#include "platform/user/Hook.h"
#include "platform/user/Window.h"

static_assert(kTreeviewSelectionSize == kTreeviewTransferSize);

namespace {

constexpr platform::Timeout kStatusTimeout(5000);
constexpr platform::Timeout kStartTimeout(5000);
// How often the player is woken while the worker has not started: a worker that has not yet
// ended after an earlier terminate time-out keeps the new one waiting until it is gone.
constexpr platform::Timeout kWakeInterval(500);
constexpr platform::Timeout kSyncTimeout(4000);
constexpr platform::Timeout kTerminateTimeout(4000);
// How long the library, leaving a process that ends, waits for its worker.
constexpr platform::Timeout kDetachTimeout(2000);

constexpr std::uint32_t DLL_PROCESS_DETACH = 0;
constexpr std::uint32_t DLL_PROCESS_ATTACH = 1;

// The worker of this process: only the player's process runs one. It holds its own reference to
// the library, so a hook removed while the worker still runs cannot unload the code it runs; as it
// ends it hands itself and that reference to the layer, which frees the reference once the thread
// has gone, so the library leaves the player with its hook. Any thread.
class CTreeviewWorkerOwner {
 public:
  // Starts the worker when this is the player's process, one is wanted (the slot names the
  // player's thread) and none runs here.
  void StartIfPlayer(SnoopSharedData& p_Data) {
    if (m_bRunning.load(std::memory_order_acquire)) {
      return;
    }
    const std::scoped_lock l_Lock(m_Lock);
    if (m_bStopping || m_bRunning.load(std::memory_order_acquire) ||
        SharedLoad(p_Data.playerThread) == 0 ||
        SharedLoad(p_Data.playerProcess) != platform::CurrentProcessId()) {
      return;
    }
    if (!m_Stop) {
      m_Stop = platform::Event::Create(platform::EventReset::Manual, false).handle;
    }
    m_Library = platform::Module(
        platform::ReferenceLibraryAt(reinterpret_cast<const void*>(&TreeviewState)));
    if (!m_Library || !m_Stop) {
      m_Library.Reset();
      return;
    }
    m_Context = TreeviewWorkerContext{&p_Data, m_Stop.Ref()};
    m_bRunning.store(true, std::memory_order_release);
    m_Worker = platform::Thread::Start(&CTreeviewWorkerOwner::Run, this);
    if (!m_Worker.Joinable()) {
      m_bRunning.store(false, std::memory_order_release);
      m_Library.Reset();
    }
  }

  // Ends and joins the worker as the library leaves the process; false when it did not end in
  // time (the process is ending then, and the worker is left to it).
  bool Stop() {
    {
      const std::scoped_lock l_Lock(m_Lock);
      m_bStopping = true;
      m_Stop.Set();
    }
    // Without the lock, which the ending worker takes to see that its thread stays here.
    if (!m_Worker.Join(kDetachTimeout)) {
      return false;
    }
    m_Library.Reset();
    m_Stop.Close();
    return true;
  }

 private:
  static std::uint32_t Run(void* p_pOwner) {
    auto* l_pOwner = static_cast<CTreeviewWorkerOwner*>(p_pOwner);
    const std::uint32_t l_nResult = TreeviewState(&l_pOwner->m_Context);
    l_pOwner->Ended();
    return l_nResult;
  }

  // The worker's last act; StartIfPlayer has stored its thread before this can take the lock.
  void Ended() {
    const std::scoped_lock l_Lock(m_Lock);
    m_bRunning.store(false, std::memory_order_release);
    if (!m_bStopping) {
      platform::FreeLibraryOnceEnded(std::move(m_Worker), std::move(m_Library));
    }
  }

  // Guards the members below but m_bRunning; once m_bStopping is set Stop alone uses m_Worker.
  std::mutex m_Lock;
  std::atomic<bool> m_bRunning{false};
  bool m_bStopping = false;  // Stop joins the worker; the worker's end leaves it to Stop
  platform::Thread m_Worker;
  platform::Module m_Library;
  platform::Event m_Stop;
  TreeviewWorkerContext m_Context;
};

// The library in one process: the session's slot, the requester's events and the worker. Any
// thread; the exports run one at a time.
class CQuillombProcess {
 public:
  CQuillombProcess() : m_Section(SnoopSection::Open()) {}

  SnoopSharedData* Data() { return m_Section ? &m_Section.Data() : nullptr; }
  CTreeviewWorkerOwner& Worker() { return m_Worker; }
  std::mutex& ExportLock() { return m_ExportLock; }
  SnoopEvents& Events() { return m_Events; }

  // Leaves the process: the worker ends, then the handles close; with a worker that did not end
  // (the process is ending) everything is left for the process's end.
  void Detach() {
    if (!m_Worker.Stop()) {
      return;
    }
    const std::scoped_lock l_Lock(m_ExportLock);
    m_Events.Close();
    m_Section = SnoopSection();
  }

 private:
  SnoopSection m_Section;
  CTreeviewWorkerOwner m_Worker;
  std::mutex m_ExportLock;  // one export at a time; guards m_Events
  SnoopEvents m_Events;
};

CQuillombProcess& Process() {
  static NoDestructor<CQuillombProcess> s_Process;
  return *s_Process;
}

// This thread's copy of the last selection it asked for.
thread_local TreeviewTransfer t_Selection{};

// Asks for the selection and copies the answer out while the request still owns the buffer.
std::optional<TreeviewTransfer> RequestSelection() {
  SnoopSharedData* l_pData = Process().Data();
  if (l_pData == nullptr) {
    return std::nullopt;
  }
  const Deadline l_Deadline(kStatusTimeout);
  const TransferOwnership l_Ownership(l_Deadline);
  SnoopEvents& l_Events = Process().Events();
  if (!l_Ownership.Held() ||
      !AskWorker(l_pData->status, l_Events.status, l_Events.statusComplete, l_Deadline)) {
    return std::nullopt;
  }
  return LoadTransfer(*l_pData);
}

// Makes the player's thread take a message at once, so that it loads the library: the tree view
// when it is a window of the player, else the thread itself.
void WakePlayer(SnoopSharedData& p_Data, std::uint32_t p_nThread, std::uint32_t p_nProcess) {
  const HWND l_hTreeView = SharedLoad(p_Data.treeViewWindow);
  std::uint32_t l_nOwner = 0;
  if (l_hTreeView != 0 && platform::GetWindowThreadProcessId(l_hTreeView, &l_nOwner) != 0 &&
      l_nOwner == p_nProcess) {
    platform::PostMessage(l_hTreeView, WM_NULL, 0, 0);
  } else {
    platform::PostThreadMessage(p_nThread, WM_NULL, 0, 0);
  }
}

bool DllMain(std::uint32_t p_nReason) {
  if (p_nReason == DLL_PROCESS_ATTACH) {
    if (SnoopSharedData* l_pData = Process().Data()) {
      Process().Worker().StartIfPlayer(*l_pData);
    }
  } else if (p_nReason == DLL_PROCESS_DETACH) {
    Process().Detach();
  }
  return true;
}

__attribute__((constructor)) void QuillombAttach() { DllMain(DLL_PROCESS_ATTACH); }
__attribute__((destructor)) void QuillombDetach() { DllMain(DLL_PROCESS_DETACH); }

}  // namespace

extern "C" {

bool GetTreeviewSelection(std::uint8_t** p_ppSelection) {
  const std::scoped_lock l_Lock(Process().ExportLock());
  const std::optional<TreeviewTransfer> l_Answer = RequestSelection();
  if (!l_Answer || p_ppSelection == nullptr) {
    QuillombLogger().Log(kQuillombLogFlags, "GetTreeviewSelection Times Out");
    return false;
  }
  t_Selection = *l_Answer;
  *p_ppSelection = t_Selection.data();
  QuillombLogger().Log(kQuillombLogFlags, "GetTreeviewSelection Status Complete");
  return true;
}

bool GetTreeviewStatus(CDeviceData& p_Data) {
  const std::scoped_lock l_Lock(Process().ExportLock());
  const std::optional<TreeviewTransfer> l_Answer = RequestSelection();
  if (!l_Answer) {
    QuillombLogger().Log(kQuillombLogFlags, "GetTreeviewStatus Times Out");
    return false;
  }
  p_Data = CDeviceData(std::span(*l_Answer));
  QuillombLogger().Log(kQuillombLogFlags, "GetTreeviewStatus Returns %d", 1);
  return true;
}

bool LoadSnoopIntoMediaPlayer(HWND p_hWnd, UINT p_nMessage) {
  const std::scoped_lock l_Lock(Process().ExportLock());
  SnoopSharedData* l_pData = Process().Data();
  SnoopEvents& l_Events = Process().Events();
  const auto l_Fail = [&] {
    l_Events.Close();
    QuillombLogger().Log(kQuillombLogFlags, "LoadSnoopIntoMediaPlayer Returns %d", 0);
    return false;
  };
  l_Events = SnoopEvents::Open();
  if (l_pData == nullptr || !l_Events.HasRequestEvents()) {
    QuillombLogger().Log(kQuillombLogFlags, "Missing Event");
    return l_Fail();
  }
  std::uint32_t l_nProcess = 0;
  const std::uint32_t l_nThread = FindQuillombThread(*l_pData, &l_nProcess);
  if (l_nThread == 0) {
    QuillombLogger().Log(kQuillombLogFlags, "Missing Thread %x or Window Handle %x", l_nThread,
                         SharedLoad(l_pData->treeViewWindow));
    return l_Fail();
  }
  SharedStore(l_pData->notifyWindow, p_hWnd);
  SharedStore(l_pData->notifyMessage, p_nMessage);
  if (const HHOOK l_hOld = SharedLoad(l_pData->hook); l_hOld != 0) {
    if (SharedLoad(l_pData->playerThread) == l_nThread && SharedLoad(l_pData->workerThread) != 0) {
      QuillombLogger().Log(kQuillombLogFlags, "LoadSnoopIntoMediaPlayer Returns %d", 1);
      return true;
    }
    platform::UnhookWindowsHookEx(SharedExchange(l_pData->hook, HHOOK{0}));
  }
  SharedStore(l_pData->playerProcess, l_nProcess);
  SharedStore(l_pData->playerThread, l_nThread);
  l_Events.statusStarted.Reset();
  const HHOOK l_hHook =
      platform::SetWindowsHookEx(WH_GETMESSAGE, SnoopHookProc, nullptr, l_nThread);
  if (l_hHook == 0) {
    QuillombLogger().Log(kQuillombLogFlags, "SetWindowsHookEx -- No Hook Error = %d",
                         platform::LastWindowsError());
    return l_Fail();
  }
  SharedStore(l_pData->hook, l_hHook);
  const Deadline l_Deadline(kStartTimeout);
  platform::WaitResult l_Started;
  do {
    WakePlayer(*l_pData, l_nThread, l_nProcess);
    l_Started = platform::WaitForObject(l_Events.statusStarted.Ref(),
                                        std::min(kWakeInterval, l_Deadline.Remaining()));
  } while (l_Started.status == platform::WaitStatus::TimedOut &&
           l_Deadline.Remaining() > platform::Timeout(0));
  if (l_Started.status != platform::WaitStatus::Signalled) {
    QuillombLogger().Log(kQuillombLogFlags, "WaitForSingleObject On thread start fails");
    return l_Fail();
  }
  QuillombLogger().Log(kQuillombLogFlags, "LoadSnoopIntoMediaPlayer Returns %d", 1);
  return true;
}

bool ShutdownSnooper() {
  const std::scoped_lock l_Lock(Process().ExportLock());
  SnoopEvents& l_Events = Process().Events();
  if (SnoopSharedData* l_pData = Process().Data()) {
    // No new worker is wanted from here on, then the running one ends.
    SharedStore(l_pData->playerThread, std::uint32_t{0});
    SharedStore(l_pData->playerProcess, std::uint32_t{0});
    const HHOOK l_hHook = SharedExchange(l_pData->hook, HHOOK{0});
    if (!AskWorker(l_pData->terminate, l_Events.terminate, l_Events.terminateComplete,
                   Deadline(kTerminateTimeout))) {
      QuillombLogger().Log(kQuillombLogFlags, "TerminateComplete Timeout");
    }
    if (l_hHook != 0) {
      platform::UnhookWindowsHookEx(l_hHook);
    }
  }
  l_Events.Close();
  QuillombLogger().Log(kQuillombLogFlags, "ShutdownSnooper Returns");
  return true;
}

bool SynchronizeTreeView(const std::uint8_t* p_pRecord, std::uint32_t p_nLength) {
  const std::optional<std::size_t> l_nRecordLength =
      p_pRecord == nullptr || p_nLength > kTreeviewTransferSize
          ? std::nullopt
          : FlatRecordLength(std::span(p_pRecord, p_nLength));
  if (!l_nRecordLength) {
    QuillombLogger().Log(kQuillombLogFlags, "SynchronizeTreeView Refuses %d bytes", p_nLength);
    return false;
  }
  const std::scoped_lock l_Lock(Process().ExportLock());
  SnoopSharedData* l_pData = Process().Data();
  const Deadline l_Deadline(kSyncTimeout);
  const TransferOwnership l_Ownership(l_Deadline);
  SnoopEvents& l_Events = Process().Events();
  if (l_pData == nullptr || !l_Ownership.Held()) {
    QuillombLogger().Log(kQuillombLogFlags, "SynchronizeTreeView Times Out");
    return false;
  }
  StoreTransfer(*l_pData, std::span(p_pRecord, *l_nRecordLength));
  if (!AskWorker(l_pData->sync, l_Events.sync, l_Events.syncComplete, l_Deadline)) {
    QuillombLogger().Log(kQuillombLogFlags, "SynchronizeTreeView Times Out");
    return false;
  }
  return true;
}

LRESULT SnoopHookProc(int p_nCode, WPARAM p_wParam, LPARAM p_lParam) {
  SnoopSharedData* l_pData = Process().Data();
  if (l_pData == nullptr) {
    return platform::CallNextHookEx(0, p_nCode, p_wParam, p_lParam);
  }
  Process().Worker().StartIfPlayer(*l_pData);
  return platform::CallNextHookEx(SharedLoad(l_pData->hook), p_nCode, p_wParam, p_lParam);
}

}  // extern "C"
