#include "geo_compare.h"

#include <atomic>
#include <cmath>

namespace
{
std::atomic<double> g_defaultTolerance{1e-12};
}

bool NearlyEqual(double a, double b, double tol)
{
    return std::fabs(a - b) < std::fabs(tol);
}

bool LessOrNear(double a, double b, double tol)
{
    return NearlyEqual(a, b, tol) || b > a;
}

bool GreaterOrNear(double a, double b, double tol)
{
    return NearlyEqual(a, b, tol) || b < a;
}

double DefaultTolerance()
{
    return g_defaultTolerance.load(std::memory_order_relaxed);
}

void SetDefaultTolerance(double tol)
{
    g_defaultTolerance.store(tol, std::memory_order_relaxed);
}

bool LessOrNear(double a, double b)
{
    return LessOrNear(a, b, DefaultTolerance());
}

bool GreaterOrNear(double a, double b)
{
    return GreaterOrNear(a, b, DefaultTolerance());
}

bool Between(double low, double x, double high)
{
    return low < x && x < high;
}

bool BetweenOrNear(double low, double x, double high)
{
    return LessOrNear(low, x) && GreaterOrNear(high, x);
}

double Smallest(double x, double a, double b)
{
    if (x < a && x < b)
    {
        return x;
    }
    return a < b ? a : b;
}

bool IsGreater(double x, double limit)
{
    return x > limit;
}

bool IsLess(double x, double limit)
{
    return x < limit;
}

bool ClearlyGreater(double a, double b, double tol)
{
    return a > b && !NearlyEqual(a, b, tol);
}

int Sign(double x)
{
    return x > 0.0 ? 1 : (x < 0.0 ? -1 : 0);
}
