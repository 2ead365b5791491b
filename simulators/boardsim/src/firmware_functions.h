// The function sets of the simulated firmware. Each set adds its functions to
// the firmware's table from the board's description; a new family is one more
// installer in the list of firmware_functions.cpp.
#pragma once

#include "description.h"
#include "firmware.h"

namespace boardsim
{

// Index group 0: the API version and the registration of the operating-system services.
void installCoreFunctions(Firmware& firmware, const BoardDescription& description);
// The device families: every group they answer, set up from the description.
void installFamilyFunctions(Firmware& firmware, const BoardDescription& description);
// The test group: functions that call the registered services back.
void installTestFunctions(Firmware& firmware, const BoardDescription& description);

// Every set, in order.
void installFunctions(Firmware& firmware, const BoardDescription& description);

} // namespace boardsim
