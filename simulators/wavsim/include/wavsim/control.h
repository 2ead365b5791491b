// The simulated audio driver behind "WAV1:": its request codes and records, and the test
// controls it answers besides them on any open handle. Records carry the register number
// and the value inline: a pointer of the caller's process means nothing in the device
// manager's.
#pragma once

#include <cstdint>

namespace wavsim
{
// AC97 registers of the "gxuamaud" audio: GeodeRequest in, the 4-byte value out.
constexpr uint32_t kIoctlGeodeCodec = 0x80000100;
constexpr uint32_t kGeodeWrite = 101;
constexpr uint32_t kGeodeRead = 102;
// AC97 registers of the other audio drivers: CodecRequest in; both answer a Reply.
constexpr uint32_t kIoctlAc97Read = 4003;
constexpr uint32_t kIoctlAc97Write = 4004;
// The STGL5000 codec: CodecRequest in; answers a Reply.
constexpr uint32_t kIoctlStgl5000 = 0x1D000C;

// STGL5000 commands: read and write pairs.
enum : uint32_t
{
    kStglReadOutVolume = 16,
    kStglWriteOutVolume = 17,
    kStglReadInVolume = 200,
    kStglWriteInVolume = 201,
    kStglReadOutMute = 202,
    kStglWriteOutMute = 203,
    kStglReadInMute = 204,
    kStglWriteInMute = 205,
    kStglReadInput = 206, // 0 microphone, 1 line in
    kStglWriteInput = 207,
    kStglReadRegister = 208,
    kStglWriteRegister = 209,
};

// AC97 register numbers.
constexpr uint32_t kAc97Master = 2;
constexpr uint32_t kAc97Microphone = 14;
constexpr uint32_t kAc97LineIn = 16;
// The STGL5000 register of the microphone gain (bits 0 and 1).
constexpr uint32_t kStglMicGainRegister = 42;

#pragma pack(push, 1)
// The "gxuamaud" request: a zero field, the command, the register number, the value.
struct GeodeRequest
{
    uint32_t zero;
    uint32_t command;
    uint32_t reg;
    uint32_t value;
    uint32_t reserved;
};
static_assert(sizeof(GeodeRequest) == 20, "the codec request is 20 bytes");

// The AC97 and STGL5000 request: a zero field, the command (AC97: 0), a zero field, the
// register number and the value.
struct CodecRequest
{
    uint32_t zero;
    uint32_t command;
    uint32_t reserved;
    uint32_t reg;
    uint32_t value;
};
static_assert(sizeof(CodecRequest) == 20, "the codec request is 20 bytes");

struct Reply
{
    uint32_t status; // 0 on success
    uint32_t value;  // what a read gives
};
#pragma pack(pop)

// Test controls.
constexpr uint32_t kIoctlSetRecording = 0x1D0E00; // in: 4 bytes, recording on (1) or off (0)
constexpr uint32_t kIoctlGetStats = 0x1D0E04;     // out: Stats
constexpr uint32_t kIoctlReset = 0x1D0E08;        // the state as the driver starts

struct Stats
{
    uint32_t writes; // codec writes of any kind so far
    uint32_t reads;
};
} // namespace wavsim
