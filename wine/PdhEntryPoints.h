// The performance-data helper's entry points (PdhEntryPoints.cpp) serve the CounterService of
// the host they are built into: the provider DLL under Wine, or the substitute that native tests
// run against. Each call enters the host's service, runs, and leaves it; the host decides how
// calls take turns.
#pragma once

#include "wine/CounterService.h"

namespace provider {

// Enters the service for one call of the named entry point. A status other than Success set
// here fails the call with it instead of running it; the call leaves the service either way.
CounterService& EnterService(const char* function, uint32_t& status);
// Leaves the service after a call; answers the status the call returns.
uint32_t LeaveService(uint32_t status);

}  // namespace provider
