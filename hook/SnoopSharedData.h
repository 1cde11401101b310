#pragma once

// The data that the library shares between the per-session server and the worker inside the
// player: one slot per session, in a section named in the session's own namespace, so that one
// session's selection never reaches another session's server. Every field is read and written
// through atomic references, since the two sides are different processes.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/ipc/SharedSection.h"
#include "platform/user/Messages.h"

// The transfer buffer: one flat CDeviceData, never longer than this.
inline constexpr std::size_t kTreeviewTransferSize = 512;

// The numbers of one kind of request: the requester counts `asked` up before it signals the
// request; the worker stores the number it took into `answered` before it signals the answer, so
// a late answer to an earlier request is never taken for the current one.
struct SnoopRequestNumbers {
  std::uint32_t asked;
  std::uint32_t answered;
};

// Zero when the section is first made.
struct SnoopSharedData {
  HHOOK hook;                   // the message hook on the player's thread
  HWND treeViewWindow;          // g_hTreeViewWindow: the player's library tree view
  std::uint32_t playerThread;   // the player's user-interface thread
  std::uint32_t playerProcess;  // the process that owns it: the only one that runs the worker
  std::uint32_t workerThread;   // the running worker's thread, 0 while none runs
  HWND notifyWindow;            // where the worker posts selection changes
  UINT notifyMessage;
  SnoopRequestNumbers status;
  SnoopRequestNumbers sync;
  SnoopRequestNumbers terminate;
  std::uint8_t transfer[kTreeviewTransferSize];
};

template <class T>
T SharedLoad(T& p_Field) {
  return std::atomic_ref<T>(p_Field).load(std::memory_order_acquire);
}

template <class T>
void SharedStore(T& p_Field, T p_Value) {
  std::atomic_ref<T>(p_Field).store(p_Value, std::memory_order_release);
}

template <class T>
T SharedExchange(T& p_Field, T p_Value) {
  return std::atomic_ref<T>(p_Field).exchange(p_Value, std::memory_order_acq_rel);
}

// The transfer buffer's bytes, copied out whole.
using TreeviewTransfer = std::array<std::uint8_t, kTreeviewTransferSize>;
TreeviewTransfer LoadTransfer(SnoopSharedData& p_Data);
// Copies the bytes in (at most the buffer's size) and zeroes the rest.
void StoreTransfer(SnoopSharedData& p_Data, std::span<const std::uint8_t> p_Bytes);

// This process's mapping of its session's slot. Move-only; made and closed by one thread, while
// any thread may use the slot.
class SnoopSection {
 public:
  // Creates or opens the session's section; an empty object when it cannot be made.
  static SnoopSection Open();

  explicit operator bool() const noexcept { return m_pData != nullptr; }
  SnoopSharedData& Data() const noexcept { return *m_pData; }

 private:
  platform::SharedSection m_Section;
  SnoopSharedData* m_pData = nullptr;
};
