// Whole numbers taken from program values (R parameters, operands, number
// words). A value may be far outside the integer range or not a number at all;
// the conversion must still give a defined result.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

// Truncated toward zero and clamped to +-(2^31 - 1), so that the result can
// also be negated; not a number gives 0.
inline int TruncToInt(double value)
{
    constexpr int limit = std::numeric_limits<std::int32_t>::max();
    if (std::isnan(value))
        return 0;
    if (value >= limit)
        return limit;
    if (value <= -limit)
        return -limit;
    return static_cast<int>(value);
}

// The same in the 64-bit range, for bit words wider than 32 bits.
inline long long TruncToInt64(double value)
{
    constexpr double limit = 9.2e18; // below 2^63
    if (std::isnan(value))
        return 0;
    if (value >= limit)
        return static_cast<long long>(limit);
    if (value <= -limit)
        return -static_cast<long long>(limit);
    return static_cast<long long>(value);
}
