// Device files opened inside the manager's own process: a driver that opens
// another driver's device file (even from its Init, while the manager is
// still loading drivers) reaches the loaded driver directly, with the same
// results and last errors as a call over the socket.
#pragma once

#include "driver_table.h"

namespace devmgr
{

// Routes this process's device-file opens to the drivers of `drivers` until removed.
void installInProcessRoute(const DriverTable& drivers);
void removeInProcessRoute();

} // namespace devmgr
