// The operating-system services that Boarddrv hands the firmware (and uses
// itself): model-specific register read, bus data, physical memory mapping
// through "MPH1:".
#pragma once

#include <ddk/firmware.h>

#include <cstdint>

namespace boarddrv
{

DWORD readMsrService(DWORD index, PDWORD high, PDWORD low);
LONG busDataService(DWORD busType, DWORD bus, DWORD device, DWORD function, DWORD offset, PVOID buffer,
                    DWORD length);
PVOID mapMemoryService(DWORD addressLow, DWORD addressHigh, DWORD size);
void unmapMemoryService(PVOID address, DWORD size);

// The 80-byte table: "READMSR", "GETBUSDT", "MAPMEM", "UNMAPMEM", then an empty entry.
void buildServiceTable(uint8_t table[kFirmwareServiceTableSize]);

// A service's address as the 8 bytes of a single registration.
uint64_t serviceAddress(const void* service);

} // namespace boarddrv
