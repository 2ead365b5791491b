#include "rotary_target.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace
{
constexpr double Turn = 360.0;
constexpr double Tolerance = 0.000001;

// Whole turns rounded down, clamped to the 32-bit range.
double wholeTurns(double degrees)
{
    const double turns = std::floor(degrees / Turn);
    const double low = std::numeric_limits<std::int32_t>::min();
    const double high = std::numeric_limits<std::int32_t>::max();
    return turns < low ? low : (turns > high ? high : turns);
}
} // namespace

double RotaryTarget(double programmed, double current)
{
    const double magnitude = std::fabs(programmed);
    const double t = wholeTurns(magnitude);
    double r = magnitude - t * Turn;
    if (r < 0.0 || r >= Turn)
        r = std::fmod(std::fmod(magnitude, Turn) + Turn, Turn);
    const double c = wholeTurns(current);
    if (programmed >= 0.0)
    {
        double target = (t + c) * Turn + r;
        if (target < current + t * Turn - Tolerance)
            target += Turn;
        return target;
    }
    double target = (c - t) * Turn + r;
    if (target > current - t * Turn + Tolerance)
        target -= Turn;
    return target;
}
