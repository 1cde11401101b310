#pragma once

// The library's seven auto-reset events, created or opened by name in the session's namespace by
// both sides. Move-only; opened and closed by one thread, set and waited on by any.

#include "platform/kernel/Event.h"

struct SnoopEvents {
  platform::Event statusStarted;      // "TreeviewStatusStarted": the worker runs
  platform::Event status;             // "TreeviewStatus": write the selection into the buffer
  platform::Event statusComplete;     // "TreeviewStatusComplete"
  platform::Event sync;               // "TreeviewSync": select the path in the buffer
  platform::Event syncComplete;       // "TreeviewSyncComplete"
  platform::Event terminate;          // "TreeviewStateTerminate": end the worker
  platform::Event terminateComplete;  // "TreeviewStateTerminateComplete"

  static SnoopEvents Open();
  // Whether the five events that start and drive the worker are there.
  bool HasRequestEvents() const;
  void Close() noexcept;
};
