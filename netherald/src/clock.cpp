#include "clock.h"

namespace netherald
{
void CancelToken::cancel()
{
    std::lock_guard lock(m_mutex);
    m_cancelled = true;
    m_changed.notify_all();
}

bool SystemClock::waitFor(std::chrono::milliseconds duration, CancelToken& token)
{
    std::unique_lock lock(token.m_mutex);
    return !token.m_changed.wait_for(lock, duration, [&] { return token.m_cancelled; });
}
} // namespace netherald
