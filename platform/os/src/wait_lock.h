// The process-wide lock and condition under which waitable objects change
// state and waiters check them.
#pragma once

#include <condition_variable>
#include <mutex>

namespace os::detail
{
std::mutex& waitMutex();
std::condition_variable& waitCondition();
} // namespace os::detail
