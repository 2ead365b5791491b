// The device's own Orx net id, as the configuration program keeps it in the registry.
#pragma once

#include "vos/orx.h"

namespace vos
{
// The binary value "OrxNetId" (6 bytes) of HKLM "Software\Corvanta\Quberon3\System",
// else of "Software\Corvanta\Quberon\System"; all zero when neither holds one.
OrxNetId ReadLocalNetId();
} // namespace vos
