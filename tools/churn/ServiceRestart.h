#pragma once

// Restarts the service through the service manager as the tray's Restart does: the stop control,
// a pause, and the start. Unlike the tray it waits for each to be over, so that what comes after
// meets the new instance and not the old one.

#include <ostream>
#include <string_view>

// True once the service has stopped and then runs again; false, after saying why on `p_Log`, when
// a step fails or does not end in time. Any thread.
bool RestartService(std::u16string_view p_Service, std::ostream& p_Log);
