// Test control of the simulated device-profile driver. The driver answers
// these I/O control codes on any open handle of "GKT1:" besides its regular
// ones; tests use them to inject faults and to look at what reached it.
#pragma once

#include <cstdint>

namespace gktsim
{

// Regular I/O control codes of the device-profile driver.
constexpr uint32_t kIoctlReadWrite = 0x01000004;
constexpr uint32_t kIoctlObjectList = 0x01000008;
constexpr uint32_t kIoctlObjectDescription = 0x0100000C;
constexpr uint32_t kIoctlEntryDescription = 0x01000010;

// Test control codes.
constexpr uint32_t kIoctlSetFault = 0x01000F00;    // input: FaultRequest
constexpr uint32_t kIoctlGetStats = 0x01000F04;    // output: DriverStats
constexpr uint32_t kIoctlReleaseHeld = 0x01000F08; // no buffers

enum class FaultKind : uint32_t
{
    clearAll = 0,
    refuseOpen = 1,     // Open fails with the platform error `value`
    failIo = 2,         // the I/O call fails with the platform error `value`
    shortAnswer = 3,    // the call reports `value` bytes returned
    oversizeLength = 4, // the read block's length field claims `value` bytes more than delivered
    hold = 5,           // the call waits until kIoctlReleaseHeld (or a minute)
    nameOffset = 6,     // an entry description names `value` as the offset of its name
};

#pragma pack(push, 1)
struct FaultRequest
{
    uint32_t kind;  // FaultKind
    uint32_t code;  // I/O control code the fault applies to; 0 = any regular code
    uint32_t count; // number of calls (or opens) it applies to
    uint32_t value;
};

struct DriverStats
{
    uint32_t openContexts; // open handles on the driver right now
    uint32_t ioCalls;      // regular I/O control calls received so far
    uint32_t heldCalls;    // calls waiting in a hold fault right now
    uint32_t lastCode;     // code, sizes and first input bytes of the last regular call
    uint32_t lastInSize;
    uint32_t lastOutSize;
    uint8_t lastIn[32];
};
#pragma pack(pop)

} // namespace gktsim
