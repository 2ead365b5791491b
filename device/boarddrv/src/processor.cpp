#include "processor.h"

#include <ddk/ddk.h>

#include <cstring>

namespace boarddrv
{

namespace
{

struct Leaf
{
    DWORD registers[4];
};

Leaf leaf(DWORD number)
{
    Leaf result{};
    Cpuid(number, result.registers);
    return result;
}

} // namespace

DWORD processorSignature()
{
    if (leaf(0).registers[0] < 1)
        return 0;
    return leaf(1).registers[0];
}

DWORD processorBrandId()
{
    return leaf(1).registers[1] & 0xFF;
}

bool processorBrandString(char brand[48])
{
    std::memset(brand, 0, 48);
    if (leaf(0x80000000).registers[0] < 0x80000004)
        return false;
    for (DWORD i = 0; i < 3; ++i)
        std::memcpy(brand + 16 * i, leaf(0x80000002 + i).registers, 16);
    brand[47] = 0;
    return true;
}

} // namespace boarddrv
