// What passes between user programs and Boarddrv ("WMD1:"): the I/O control
// codes, the 24-byte API-call header, the driver-level index group and the
// result codes.
#pragma once

#include <cstdint>

namespace wmd
{

// Answers the driver version (4 bytes).
constexpr uint32_t kIoctlDriverVersion = 0x9C402400;
// One API call: request header and data in, response header and data area out.
constexpr uint32_t kIoctlApiCall = 0x9C402404;

constexpr uint32_t kDriverVersion = 0x1601;

#pragma pack(push, 1)
// The head of both buffers of an API call (little-endian).
struct WmdCallHeader
{
    uint32_t indexGroup;  // request: index group; response: result code (0 = success)
    uint32_t indexOffset; // request: index offset; response: data bytes delivered behind the header
    uint8_t unused[8];    // not read, not written
    uint32_t flags;       // request: bit 0 = served by the driver itself
    uint8_t reserved[4];  // not read, not written
};
#pragma pack(pop)
static_assert(sizeof(WmdCallHeader) == 24);

constexpr uint32_t kFlagDriverLevel = 1;

// The index group the driver serves itself.
constexpr uint32_t kDriverGroup = 0x10000000;

// Driver-level index offsets.
enum DriverOffset : uint32_t
{
    kLogLevel = 0,
    kDisableApi = 1,
    kProcessorSignature = 2,
    kTjmax = 3,
    kActiveProcessorMask = 4,
    kProcessorCount = 5,
    kBrandId = 6,
    kBrandString = 7,
    kApiTimeout = 8,
    kReadMsr = 9,
    kRegisterReadMsr = 10,
    kBusData = 11,
    kRegisterBusData = 12,
    kReinitialize = 13,
    kWithdrawTableIfRegistered = 14,
    kWriteMsr = 15,
    kReloadLogLevel = 16,
    kReloadDisableApi = 32,
    kReloadApiTimeout = 48,
    kRegisterTable = 64,
    kWithdrawTable = 65,
    kMapMemory = 66,
    kUnmapMemory = 67,
    kReadMemory = 68,
    kWriteMemory = 69,
    kReadPort8 = 80,
    kReadPort16 = 81,
    kReadPort32 = 82,
    kWritePort8 = 83,
    kWritePort16 = 84,
    kWritePort32 = 85,
};

// Result codes in the response header. Firmware statuses come with kFirmwareBit set.
constexpr uint32_t kResultNotSupported = 1793;
constexpr uint32_t kResultInvalidParameter = 1797;
constexpr uint32_t kResultZeroArgument = 1798;
constexpr uint32_t kResultBusy = 1800;
constexpr uint32_t kResultNoMapping = 1802;
constexpr uint32_t kResultSizeMismatch = 1803;
constexpr uint32_t kResultTableState = 1810;
constexpr uint32_t kResultException = 1823;
constexpr uint32_t kResultNoBusData = 1876;
constexpr uint32_t kFirmwareBit = 0x20000000;

// The platform's last error of an API call while the firmware API cannot take user calls.
constexpr uint32_t kErrorApiNotReady = 5023;

} // namespace wmd
