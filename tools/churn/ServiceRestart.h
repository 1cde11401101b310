#pragma once

// Stops or restarts the service through the service manager, as the tray's Stop and Restart do
// (a restart: the stop control, a pause, and the start). Unlike the tray it waits for each to be
// over, so that what comes after meets the stopped service or the new instance, not the old one.

#include <ostream>
#include <string_view>

// True once the service has stopped and then runs again; false, after saying why on `p_Log`, when
// a step fails or does not end in time. Any thread.
bool RestartService(std::u16string_view p_Service, std::ostream& p_Log);

// True once the service has stopped; false, after saying why on `p_Log`, when the stop fails or
// does not end in time. Any thread.
bool StopService(std::u16string_view p_Service, std::ostream& p_Log);
