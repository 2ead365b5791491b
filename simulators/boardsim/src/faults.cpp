#include "faults.h"

namespace boardsim
{

void FaultTable::set(const FaultRequest& request)
{
    std::lock_guard guard(m_lock);
    if (static_cast<FaultKind>(request.kind) == FaultKind::clearAll)
        m_faults.clear();
    else if (request.count > 0)
        m_faults.push_back(request);
}

std::optional<uint32_t> FaultTable::take(FaultKind kind, uint32_t group, uint32_t offset)
{
    std::lock_guard guard(m_lock);
    for (auto it = m_faults.begin(); it != m_faults.end(); ++it)
    {
        if (static_cast<FaultKind>(it->kind) != kind || (it->group != kAny && it->group != group) ||
            (it->offset != kAny && it->offset != offset))
            continue;
        const uint32_t value = it->value;
        if (it->count != kAlways && --it->count == 0)
            m_faults.erase(it);
        return value;
    }
    return std::nullopt;
}

} // namespace boardsim
