// Little-endian 32-bit words of request and answer data.
#pragma once

#include <windows.h>

#include <array>

namespace boardkit
{

template <typename... Words> std::array<BYTE, 4 * sizeof...(Words)> wordBytes(Words... words)
{
    std::array<BYTE, 4 * sizeof...(Words)> bytes{};
    size_t at = 0;
    for (const DWORD word : {static_cast<DWORD>(words)...})
        for (int shift = 0; shift < 32; shift += 8)
            bytes[at++] = static_cast<BYTE>(word >> shift);
    return bytes;
}

inline DWORD wordAt(const BYTE* bytes, size_t index)
{
    const BYTE* word = bytes + 4 * index;
    return static_cast<DWORD>(word[0]) | static_cast<DWORD>(word[1]) << 8 |
           static_cast<DWORD>(word[2]) << 16 | static_cast<DWORD>(word[3]) << 24;
}

inline ULONGLONG quadAt(const BYTE* bytes)
{
    return static_cast<ULONGLONG>(wordAt(bytes, 1)) << 32 | wordAt(bytes, 0);
}

} // namespace boardkit
