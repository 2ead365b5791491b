// What the driver reads of the processor through its identification leaves.
#pragma once

#include <os/types.h>

namespace boarddrv
{

// Register A of leaf 1; 0 when leaf 1 does not exist.
DWORD processorSignature();
// Bits 0-7 of register B of leaf 1.
DWORD processorBrandId();
// The 48 bytes of the extended leaves 0x80000002-0x80000004, the last byte
// forced to 0. False (and all zero) when the highest extended leaf is lower.
bool processorBrandString(char brand[48]);

} // namespace boarddrv
