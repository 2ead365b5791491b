// The simulated board behind "MPH1:": the physical-memory mapping codes that
// the board driver uses, and the test control codes that tests use to steer
// the simulated firmware and look at what reached the board. The control codes
// are answered on any open handle of "MPH1:".
#pragma once

#include <ddk/firmware.h>

#include <cstdint>

namespace boardsim
{

// Regular codes of the mapping driver.
// In: physical address (32 bits), size (32 bits). Out: 8 bytes, the virtual address.
constexpr uint32_t kIoctlMapPhysical = 0x00150800;
// In: virtual address (64 bits, low word first), size (32 bits).
constexpr uint32_t kIoctlUnmapPhysical = 0x00150804;

// The firmware image (ddk/firmware.h has its place and the API header).
constexpr uint32_t kImageBase = kFirmwareBase;
constexpr uint32_t kImageSize = kFirmwareSize;

// The index group of the firmware's test functions, which call the operating-
// system services the driver registered (see the default description).
constexpr uint32_t kTestGroup = 0xE000;
constexpr uint32_t kTestReadMsr = 1; // in: register (4); out: the service's answer, low, high (12)
constexpr uint32_t kTestBusData =
    2; // in: bus type, bus, device, function, offset (20); out: result (4), data
constexpr uint32_t kTestMapMemory = 3; // in: physical address low, high, size (12); out: the bytes there

// A firmware API version as the firmware delivers it: major, minor, build (16 bits).
constexpr uint32_t packVersion(uint32_t major, uint32_t minor, uint32_t build)
{
    return major << 24 | minor << 16 | build;
}

// Test control codes.
constexpr uint32_t kIoctlSetFault = 0x00150F00;       // in: FaultRequest
constexpr uint32_t kIoctlSetVersion = 0x00150F04;     // in: packed version (4)
constexpr uint32_t kIoctlOverwriteImage = 0x00150F08; // in: the fill byte (1)
constexpr uint32_t kIoctlTakePortLog = 0x00150F0C;    // out: PortLog; the log is emptied
constexpr uint32_t kIoctlGetState = 0x00150F10;       // out: BoardState
// The device families of the firmware (mainboard, sensors, ..., SMBus).
constexpr uint32_t kIoctlTakeFamilyLog = 0x00150F14; // out: FamilyLog; the log is emptied
constexpr uint32_t kIoctlResetFamilies = 0x00150F18; // the families as the description sets them up
constexpr uint32_t kIoctlSetBootLoader = 0x00150F1C; // in: BootLoaderRequest
constexpr uint32_t kIoctlGetBootLoader = 0x00150F20; // out: BootLoaderRecords

// Applies to any index group or offset.
constexpr uint32_t kAny = 0xFFFFFFFFu;
// A fault count that never runs out.
constexpr uint32_t kAlways = 0xFFFFFFFFu;

enum class FaultKind : uint32_t
{
    clearAll = 0,
    busy = 1,       // the firmware answers 1800
    exception = 2,  // the firmware call ends in a processor exception
    answerSize = 3, // after answering, the firmware reports `value` delivered bytes
    status = 4,     // the firmware answers the status `value`
    mapFailure = 5, // a physical-memory mapping fails (group and offset not used)
};

#pragma pack(push, 1)
struct FaultRequest
{
    uint32_t kind;   // FaultKind
    uint32_t group;  // kAny or one index group
    uint32_t offset; // kAny or one index offset
    uint32_t count;  // calls it applies to; kAlways
    uint32_t value;
};

struct PortWrite
{
    uint16_t port;
    uint16_t width; // bytes
    uint32_t value;
};

constexpr uint32_t kPortLogCapacity = 256;
struct PortLog
{
    uint32_t count; // entries below, oldest first
    uint32_t lost;  // older writes that no longer fit
    PortWrite writes[kPortLogCapacity];
};

// Names of the operating-system services in the registered table (bits).
constexpr uint32_t kServiceReadMsr = 1;
constexpr uint32_t kServiceBusData = 2;
constexpr uint32_t kServiceMapMemory = 4;
constexpr uint32_t kServiceUnmapMemory = 8;

struct BoardState
{
    uint32_t version;       // packed
    uint32_t serviceTable;  // kService* bits of the registered table, 0 when none
    uint32_t singleReadMsr; // 1 when the MSR-read service was registered alone
    uint32_t singleBusData; // 1 when the bus-data service was registered alone
    uint32_t handshakes;    // handshake bytes 0xAA received
    uint32_t firmwareCalls; // calls that reached the firmware entry
    uint32_t mappings;      // physical-memory mappings open now
    uint32_t lastGroup;     // the last call that reached the firmware: group, offset, sizes, input
    uint32_t lastOffset;
    uint32_t lastInSize;
    uint32_t lastOutSize;
    uint8_t lastIn[32];
};

// A call that reached the families, with the head of its request data.
struct FamilyCallEntry
{
    uint32_t group;
    uint32_t offset;
    uint32_t inSize;
    uint32_t outSize;
    uint8_t in[64];
};

constexpr uint32_t kFamilyLogCapacity = 256;
struct FamilyLog
{
    uint32_t count; // entries below, oldest first
    uint32_t lost;  // older calls that no longer fit
    FamilyCallEntry calls[kFamilyLogCapacity];
};

enum class BootLoaderAction : uint32_t
{
    shortenAnswers = 1, // after `skip` full answers, `times` reads of `command` deliver `length` bytes
    lockMode = 2,       // requests for another mode have no effect
    refuseRecord = 3,   // the next record is answered with `status`
};

struct BootLoaderRequest
{
    uint32_t action; // BootLoaderAction
    uint32_t command;
    uint32_t length;
    uint32_t times;
    uint32_t skip;
    uint32_t status;
};

// The boot loader's mode and the records it took, oldest first.
constexpr uint32_t kBootLoaderRecordCapacity = 64;
constexpr uint32_t kBootLoaderRecordSize = 260; // byte count, address, type, 255 data bytes, checksum
struct BootLoaderRecord
{
    uint32_t length;
    uint8_t bytes[kBootLoaderRecordSize];
};

struct BootLoaderRecords
{
    uint32_t mode;
    uint32_t count; // records below
    uint32_t lost;  // later records that did not fit
    BootLoaderRecord records[kBootLoaderRecordCapacity];
};
#pragma pack(pop)

} // namespace boardsim
