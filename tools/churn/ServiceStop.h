#pragma once

// Stopping a service through the service manager, as a stop control from its console would:
// waits until the manager reports the service stopped. What went wrong is written to `p_Log`.

#include <ostream>
#include <string_view>

bool StopService(std::u16string_view p_Service, std::ostream& p_Log);
