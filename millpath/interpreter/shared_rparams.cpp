#include "shared_rparams.h"

#include <mutex>

namespace
{
std::mutex g_lock;
double g_values[SharedRParams::Count] = {};

bool inRange(int index)
{
    return index >= SharedRParams::First && index < SharedRParams::First + SharedRParams::Count;
}
} // namespace

double SharedRParams::get(int index)
{
    if (!inRange(index))
        return 0.0;
    std::lock_guard<std::mutex> guard(g_lock);
    return g_values[index - First];
}

void SharedRParams::set(int index, double value)
{
    if (!inRange(index))
        return;
    std::lock_guard<std::mutex> guard(g_lock);
    g_values[index - First] = value;
}
