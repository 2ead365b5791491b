// 32-bit words in little-endian byte order, as the kernel and the stores
// lay them out.
#pragma once

#include <cstdint>

inline void PutLe32(std::uint8_t* at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline std::uint32_t GetLe32(const std::uint8_t* at)
{
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value |= static_cast<std::uint32_t>(at[i]) << (8 * i);
    return value;
}
