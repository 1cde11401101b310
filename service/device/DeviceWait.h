#pragma once

// The waits of the device threads and the simulator's threads, which a full waiter table must
// not end: a wait that fails for lack of resources is tried again after a short pause, with a
// log line, and only a wait that fails otherwise (a bad handle) reaches the thread's loop, which
// then ends.

#include <functional>
#include <span>

#include "platform/kernel/Wait.h"

// The pause before a wait that failed for lack of resources is tried again.
inline constexpr platform::Timeout kWaitRetryPause{50};

// Runs `p_Wait` until its result is anything but a failure for lack of resources; each retry is
// logged as "<p_szThread> wait fails for lack of resources, retrying". A retried wait starts its
// time-out afresh. Any thread, for its own waits.
platform::WaitResult WaitRetryingResources(const std::function<platform::WaitResult()>& p_Wait,
                                           const char16_t* p_szThread);

// WaitForObjects, retried so.
platform::WaitResult WaitForObjectsRetrying(std::span<const platform::ObjectRef> p_Objects,
                                            platform::Timeout p_Timeout,
                                            const char16_t* p_szThread);
