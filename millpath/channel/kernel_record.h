// The 156-byte record a group feeds to the NC kernel: 39 little-endian 32-bit
// words, doubles as IEEE 754 64-bit values. Offsets are bytes from the start.
#pragma once

#include <cstdint>
#include <cstring>

#include "le_words.h"

namespace KernelRecord
{
constexpr std::size_t Size = 156;
constexpr int MaxBatch = 5;

// Header.
constexpr std::size_t FeedGrpType = 0;
constexpr std::size_t LineIdx = 4;
constexpr std::size_t TextIdx = 8;
constexpr std::size_t BlockNo = 12;
constexpr std::size_t EntryIdx = 16;
constexpr std::size_t Payload = 20;

// Record kinds.
constexpr std::uint32_t KindAxis = 1;
constexpr std::uint32_t KindGeo3d = 2;
constexpr std::uint32_t KindFunc = 4;
constexpr std::uint32_t KindMFunc = 5;
constexpr std::uint32_t KindWait = 6;
constexpr std::uint32_t KindSpindle = 7;
constexpr std::uint32_t KindIpolRules = 8;
constexpr std::uint32_t KindOrx = 10;
constexpr std::uint32_t KindStop = 11;
constexpr std::uint32_t KindSpindleTest = 12;
constexpr std::uint32_t KindHValue = 13;
constexpr std::uint32_t KindToolNr = 14;
constexpr std::uint32_t KindMeasMode = 16;
constexpr std::uint32_t KindThread = 18;
constexpr std::uint32_t KindBuildGroup = 20;
constexpr std::uint32_t KindClearGroup = 21;
constexpr std::uint32_t KindStepOn = 22;
constexpr std::uint32_t KindOffset = 23;

// Geometry record (kind 2).
constexpr std::size_t GeoType = 20;
constexpr std::size_t GeoTarget = 24;
constexpr std::size_t GeoVelocity = 48;
constexpr std::size_t GeoPlane = 56;
constexpr std::size_t GeoCenter = 60;
constexpr std::size_t GeoTurn = 84;
constexpr std::size_t GeoZperRad = 108;
constexpr std::size_t GeoAuxTarget = 116;

// Offset record (kind 23), after a geometry record.
constexpr std::size_t OffsetSum = 20;
constexpr std::size_t OffsetToolNose = 44;
constexpr std::size_t OffsetZeroShift = 68;

// Function sub-code of a kernel read whose answer comes back as event 6.
constexpr std::uint32_t ParameterRead = 0x80000002;

inline void PutDouble(std::uint8_t* record, std::size_t offset, double value)
{
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof(bits));
    PutLe32(record + offset, static_cast<std::uint32_t>(bits));
    PutLe32(record + offset + 4, static_cast<std::uint32_t>(bits >> 32));
}

inline double GetDouble(const std::uint8_t* record, std::size_t offset)
{
    const std::uint64_t bits =
        GetLe32(record + offset) | (static_cast<std::uint64_t>(GetLe32(record + offset + 4)) << 32);
    double value = 0.0;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}
} // namespace KernelRecord
