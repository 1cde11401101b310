#pragma once

// The worker inside the player's process: it answers the server's requests (read the selection,
// select a path, end) through the session's slot and events, and polls the selection, posting the
// notify message to the server's window when it changed. It drives the player's tree view with
// tree-view messages, which the player's user-interface thread answers.

#include <cstdint>
#include <vector>

#include "hook/SnoopSharedData.h"
#include "platform/kernel/KernelHandle.h"
#include "platform/user/TreeView.h"

struct TreeviewWorkerContext {
  SnoopSharedData* data = nullptr;
  platform::ObjectRef stop;  // this process's own stop, set when the library leaves the process
};

// The worker's thread procedure (its argument a TreeviewWorkerContext that outlives it); 0.
std::uint32_t TreeviewState(void* p_pContext);

// Selects the path (root first) held in the transfer buffer. The worker's thread.
void TreeviewSynchronize(SnoopSharedData& p_Data);

// The path of the selected item as a flat record within the transfer buffer's size: its text last,
// each ancestor's before it, at most six lines (the uppermost missing); the record of no
// selection when its text cannot be read. A thread of the view's process.
std::vector<std::uint8_t> TreeviewSelectionRecord(HWND p_hTreeView, HTREEITEM p_hSelected);
