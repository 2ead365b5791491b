// The simulated display and processor driver behind "ZRD1:": its I/O control codes and
// record sizes, and the test controls it answers besides them on any open handle.
#pragma once

#include <cstdint>

namespace zrdsim
{
// Regular codes.
constexpr uint32_t kIoctlGetMode = 0x00150800;      // out: 88-byte mode record
constexpr uint32_t kIoctlSetMode = 0x00150804;      // in: mode record, 8 + text length bytes
constexpr uint32_t kIoctlGetModeList = 0x0015081C;  // out: 744-byte mode list
constexpr uint32_t kIoctlCpuFrequency = 0x0015082C; // out: 4 bytes, MHz
constexpr uint32_t kIoctlGetRotation = 0x00150830;  // out: 4 bytes, degrees
constexpr uint32_t kIoctlSetRotation = 0x00150834;  // in: 4 bytes, 0, 90, 180 or 270

// A mode record: bits per pixel (32 bits), the text length in bytes with its terminator
// (32 bits), then the text "<width> <height> <rate>".
constexpr uint32_t kModeRecordSize = 88;
constexpr uint32_t kModeTextMax = 80;
// The mode list: the number of entries (32 bits), the total length of the entries
// (32 bits), then the entries, each a mode record of 8 + its text length bytes.
constexpr uint32_t kModeListSize = 744;

// Test control codes.
constexpr uint32_t kIoctlSetFault = 0x00150E00; // in: FaultRequest
constexpr uint32_t kIoctlGetStats = 0x00150E04; // out: DriverStats

enum class FaultKind : uint32_t
{
    clearAll = 0,
    refuseOpen = 1,  // Open fails with the platform error `value`
    failIo = 2,      // the call fails with the platform error `value`
    shortAnswer = 3, // the call reports `value` bytes returned
    overwrite = 4,   // after answering, the 32-bit `value` is written at `offset` of the answer
};

#pragma pack(push, 1)
struct FaultRequest
{
    uint32_t kind;  // FaultKind
    uint32_t code;  // the regular code it applies to; 0: any
    uint32_t count; // calls (or opens) it applies to
    uint32_t value;
    uint32_t offset; // overwrite: byte offset in the answer
};

struct DriverStats
{
    uint32_t opens;        // opens so far
    uint32_t openContexts; // open handles now
    uint32_t ioCalls;      // regular calls so far
    uint32_t lastCode;     // the last regular call: code, input size and input bytes
    uint32_t lastInSize;
    uint8_t lastIn[96];
};
#pragma pack(pop)
} // namespace zrdsim
