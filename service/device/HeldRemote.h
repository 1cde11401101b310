#pragma once

// Whether the remote that a device thread holds is still the one present. Arrival and removal
// notices may be taken in either order after a quick unplug and replug, so a thread acts on the
// device itself rather than on the notice alone.

#include "service/device/RemoteDevice.h"

// The record holds a device whose interface is still listed with the same device behind it (a
// replugged remote may come back under its old name). Any thread, on its own record.
bool HeldRemotePresent(const HidDeviceRecord& p_Record);
