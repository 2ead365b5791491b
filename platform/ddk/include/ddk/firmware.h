// The call into the device firmware's API and what passes between driver and
// firmware.
//
// The firmware's API entry is a routine with the arguments (index group, index
// offset, input, input size, output, output size, pointer to the count of
// delivered bytes) that returns a status. On this system the firmware is
// simulated: at its entry the firmware image holds an entry marker instead of
// machine code, and CallFirmwareEntry reads the marker at the address it is
// handed and runs the board's routine. An address without a marker behaves as
// code that is not there: the call ends in a processor exception.
#pragma once

#include <os/types.h>

#include <cstdint>

#define EXCEPTION_ACCESS_VIOLATION 0xC0000005u
#define EXCEPTION_ILLEGAL_INSTRUCTION 0xC000001Du

#pragma pack(push, 1)
// 16 bytes at the entry: the magic text, the routine number and its complement.
struct FirmwareEntryMarker
{
    char magic[8];
    uint32_t routine;
    uint32_t check;
};

// What the processor reports about an exception, and the processor state at it.
struct FirmwareExceptionRecord
{
    DWORD code;
    DWORD flags;
    PVOID address;
};
struct FirmwareExceptionContext
{
    PVOID entry;
    DWORD group;
    DWORD offset;
};

// One entry of the table of operating-system services that the driver hands
// the firmware: an 8-byte name padded with zero bytes and the routine's address,
// its low half in the address field and its high half in the word after it.
struct FirmwareServiceEntry
{
    char name[8];
    uint32_t addressLow;
    uint32_t addressHigh;
};
#pragma pack(pop)

constexpr char kFirmwareEntryMagic[8] = {'F', 'W', 'E', 'N', 'T', 'R', 'Y', '!'};

// The firmware's physical memory: 2 MiB at the top of the 32-bit space. Its API
// region starts with a 12-byte header, the signature and the 32-bit offset of
// the API entry from the signature.
constexpr uint32_t kFirmwareBase = 0xFFE00000u;
constexpr uint32_t kFirmwareSize = 0x200000u;
constexpr char kFirmwareApiSignature[8] = {'$', 'W', 'M', 'D', 'A', 'P', 'I', '$'};
// Five entries; the fifth is all zero.
constexpr uint32_t kFirmwareServiceCount = 5;
constexpr uint32_t kFirmwareServiceTableSize = kFirmwareServiceCount * sizeof(FirmwareServiceEntry);

// The services, as the firmware calls them.
extern "C"
{
    // Register number, high and low 32 bits out; 1 on success, else 0.
    typedef DWORD (*FIRMWARE_READMSR)(DWORD index, PDWORD high, PDWORD low);
    // Bus type, bus number, device, function, offset, buffer, length; bytes read or -1.
    typedef LONG (*FIRMWARE_GETBUSDT)(DWORD busType, DWORD bus, DWORD device, DWORD function, DWORD offset,
                                      PVOID buffer, DWORD length);
    // Physical address low and high 32 bits, size; the virtual address or null.
    typedef PVOID (*FIRMWARE_MAPMEM)(DWORD addressLow, DWORD addressHigh, DWORD size);
    typedef void (*FIRMWARE_UNMAPMEM)(PVOID address, DWORD size);
}

// The address of a service from the two halves of its fields.
inline uint64_t joinAddress(uint32_t low, uint32_t high)
{
    return static_cast<uint64_t>(high) << 32 | low;
}

// A processor exception inside a firmware call: its code and address, and the
// addresses of the exception record and the processor context (valid on the
// calling thread until its next firmware call).
struct FIRMWARE_EXCEPTION
{
    DWORD code;
    PVOID address;
    FirmwareExceptionRecord* exceptionRecord;
    FirmwareExceptionContext* contextRecord;
};

extern "C"
{
    // Calls the firmware entry at `entry` with the seven arguments. TRUE when the
    // routine returned (its status in *status); FALSE when it ended in a processor
    // exception (described in *exception, *status untouched).
    BOOL CallFirmwareEntry(PVOID entry, DWORD group, DWORD offset, PVOID input, DWORD inputSize, PVOID output,
                           DWORD outputSize, PDWORD returned, PDWORD status, FIRMWARE_EXCEPTION* exception);
}
