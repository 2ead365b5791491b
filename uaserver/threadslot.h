#ifndef UASERVER_THREADSLOT_H
#define UASERVER_THREADSLOT_H

#include <atomic>
#include <cstddef>

// The slot of the calling thread among `count` slots: threads are dealt to the slots in turn as
// they first ask, so that up to `count` threads each keep a slot of their own. Structures that
// every request touches keep a part per slot, so that threads do not all write one cache line.
inline std::size_t threadSlot(std::size_t count)
{
    static std::atomic<std::size_t> s_next{0};
    thread_local const std::size_t t_thread = s_next.fetch_add(1, std::memory_order_relaxed);
    return t_thread % count;
}

#endif
