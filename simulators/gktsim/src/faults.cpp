#include "faults.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace gktsim
{

void FaultTable::set(const FaultRequest& request)
{
    std::lock_guard guard(m_lock);
    if (static_cast<FaultKind>(request.kind) == FaultKind::clearAll)
        m_faults.clear();
    else if (request.count > 0)
        m_faults.push_back(request);
}

std::optional<uint32_t> FaultTable::take(FaultKind kind, uint32_t code)
{
    std::lock_guard guard(m_lock);
    for (auto it = m_faults.begin(); it != m_faults.end(); ++it)
    {
        if (static_cast<FaultKind>(it->kind) != kind || (it->code != 0 && it->code != code))
            continue;
        const uint32_t value = it->value;
        if (--it->count == 0)
            m_faults.erase(it);
        return value;
    }
    return std::nullopt;
}

void FaultTable::hold()
{
    std::unique_lock guard(m_lock);
    const uint64_t generation = m_releaseGeneration;
    ++m_stats.heldCalls;
    m_released.wait_for(guard, std::chrono::minutes(1), [&] { return m_releaseGeneration != generation; });
    --m_stats.heldCalls;
}

void FaultTable::releaseHeld()
{
    {
        std::lock_guard guard(m_lock);
        ++m_releaseGeneration;
    }
    m_released.notify_all();
}

void FaultTable::noteCall(uint32_t code, const uint8_t* in, uint32_t inSize, uint32_t outSize)
{
    std::lock_guard guard(m_lock);
    ++m_stats.ioCalls;
    m_stats.lastCode = code;
    m_stats.lastInSize = inSize;
    m_stats.lastOutSize = outSize;
    std::memset(m_stats.lastIn, 0, sizeof m_stats.lastIn);
    if (in)
        std::memcpy(m_stats.lastIn, in, std::min<size_t>(inSize, sizeof m_stats.lastIn));
}

void FaultTable::noteOpen(int change)
{
    std::lock_guard guard(m_lock);
    m_stats.openContexts += change;
}

DriverStats FaultTable::stats() const
{
    std::lock_guard guard(m_lock);
    return m_stats;
}

} // namespace gktsim
