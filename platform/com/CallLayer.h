#pragma once

// The call layer between processes: each process that exports objects listens on one socket
// under the platform root; callers connect to the process that implements an object, however
// they were handed the reference. Callers of another user are refused (root may call every
// process, and every process may call root's). Remote references are counted per client and
// given back by the client's last proxy release or by its connection's end, so an object whose
// clients are gone is released in its own process. A call to an object whose process is gone
// fails at once with RPC_E_DISCONNECTED.
//
// Incoming calls run on the layer's threads (a multithreaded apartment). The layer starts with
// the first reference exported or imported and ends with the process, joining its threads.
// Every function may be called from any thread.

#include <cstddef>
#include <string>

#include "platform/com/Guid.h"
#include "platform/com/Interface.h"

namespace platform {

// A text that hands `object` as `iid` to other processes: each UnmarshalReference of it gets
// its own reference, until RevokeReference.
HRESULT PublishReference(IUnknown* object, REFIID iid, std::string& text);
HRESULT RevokeReference(const std::string& text);
// The interface that a published text names (one reference for the caller): a proxy, or the
// object itself in its own process. RPC_E_DISCONNECTED when the process is gone,
// E_ACCESSDENIED when it refuses this caller, E_INVALIDARG for a text that names nothing.
HRESULT UnmarshalReference(const std::string& text, REFIID iid, void** object);

// Makes the folder where every user's exporting processes put their sockets, open to all; a
// process that starts another user's server makes it first, as that user may not.
void MakeSocketFolder();

// How many of this process's objects are held by other processes (and by published texts).
std::size_t ExportedObjectCount();

}  // namespace platform
