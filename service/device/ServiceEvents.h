#pragma once

// Handles of the service's own events.

#include <array>

#include "platform/kernel/Event.h"
#include "service/device/ServiceEvent.h"

// Owns one handle of each event, created or opened at construction. The thread that made it uses
// it; Set may be called from any thread.
class ServiceEvents {
 public:
  ServiceEvents();

  // False when the event could not be created.
  bool Set(ServiceEvent p_Event) const;

 private:
  std::array<platform::Event, kServiceEventCount> m_Events;
};

// Creates or opens an auto-reset event, initially clear; an empty name makes an unnamed one.
// Null when it cannot be created.
platform::Event CreateAutoResetEvent(std::u16string_view p_Name = {},
                                     const platform::SecurityDescriptor* p_pSecurity = nullptr);

// Creates or opens the one event, sets it and closes it again.
bool SetServiceEvent(ServiceEvent p_Event);
