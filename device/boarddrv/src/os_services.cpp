#include "os_services.h"

#include <ddk/ddk.h>
#include <windows.h>

#include <algorithm>
#include <cstring>

namespace boarddrv
{

namespace
{

// Codes of the mapping driver behind "MPH1:".
constexpr DWORD kIoctlMapPhysical = 0x00150800;
constexpr DWORD kIoctlUnmapPhysical = 0x00150804;

// One call on the mapping driver, which is opened for it and closed again.
bool callMapper(DWORD code, void* input, DWORD inputSize, void* output, DWORD outputSize)
{
    HANDLE device = CreateFileW(u"MPH1:", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE)
        return false;
    DWORD returned = 0;
    const BOOL ok = DeviceIoControl(device, code, input, inputSize, output, outputSize, &returned, nullptr);
    CloseHandle(device);
    return ok && returned == outputSize;
}

void putEntry(uint8_t* table, uint32_t index, const char* name, const void* service)
{
    FirmwareServiceEntry entry{};
    std::memcpy(entry.name, name, std::min(std::strlen(name), sizeof entry.name));
    const uint64_t address = serviceAddress(service);
    entry.addressLow = static_cast<uint32_t>(address);
    entry.addressHigh = static_cast<uint32_t>(address >> 32);
    std::memcpy(table + index * sizeof entry, &entry, sizeof entry);
}

} // namespace

DWORD readMsrService(DWORD index, PDWORD high, PDWORD low)
{
    DWORD words[2] = {};
    DWORD returned = 0;
    if (!high || !low ||
        !KernelIoControl(IOCTL_KERNEL_READ_MSR, &index, sizeof index, words, sizeof words, &returned) ||
        returned != sizeof words)
        return 0;
    *low = words[0];
    *high = words[1];
    return 1;
}

LONG busDataService(DWORD busType, DWORD bus, DWORD device, DWORD function, DWORD offset, PVOID buffer,
                    DWORD length)
{
    if (!buffer || length == 0)
        return -1;
    const ULONG read = HalGetBusDataByOffset(static_cast<BUS_DATA_TYPE>(busType), bus,
                                             PciSlotNumber(device, function), buffer, offset, length);
    // An empty PCI slot answers 2 bytes of all ones; a read of exactly 2 bytes
    // cannot tell, and passes on what it read as any other read.
    if (read == 0 || (busType == PCIConfiguration && read == 2 && length > 2))
        return -1;
    return static_cast<LONG>(read);
}

PVOID mapMemoryService(DWORD addressLow, DWORD addressHigh, DWORD size)
{
    // The mapping driver takes 32-bit physical addresses: a higher one would map the wrong memory.
    if (addressHigh != 0)
        return nullptr;
    DWORD request[2] = {addressLow, size};
    uint64_t mapped = 0;
    if (!callMapper(kIoctlMapPhysical, request, sizeof request, &mapped, sizeof mapped))
        return nullptr;
    return reinterpret_cast<PVOID>(static_cast<uintptr_t>(mapped));
}

void unmapMemoryService(PVOID address, DWORD size)
{
    const uint64_t value = serviceAddress(address);
    DWORD request[3] = {static_cast<DWORD>(value), static_cast<DWORD>(value >> 32), size};
    callMapper(kIoctlUnmapPhysical, request, sizeof request, nullptr, 0);
}

void buildServiceTable(uint8_t table[kFirmwareServiceTableSize])
{
    std::memset(table, 0, kFirmwareServiceTableSize);
    putEntry(table, 0, "READMSR", reinterpret_cast<const void*>(&readMsrService));
    putEntry(table, 1, "GETBUSDT", reinterpret_cast<const void*>(&busDataService));
    putEntry(table, 2, "MAPMEM", reinterpret_cast<const void*>(&mapMemoryService));
    putEntry(table, 3, "UNMAPMEM", reinterpret_cast<const void*>(&unmapMemoryService));
}

uint64_t serviceAddress(const void* service)
{
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(service));
}

} // namespace boarddrv
