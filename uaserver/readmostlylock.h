#ifndef UASERVER_READMOSTLYLOCK_H
#define UASERVER_READMOSTLYLOCK_H

#include "threadslot.h"

#include <array>
#include <cstddef>
#include <shared_mutex>

// A lock for a table that every request reads and that changes seldom. A reader locks only its
// thread's slot, so readers on different threads write no common cache line (a shared_mutex makes
// every reader write its one lock word); a writer locks every slot, in order. Used as a
// shared_mutex: std::shared_lock and std::unique_lock, a shared lock released on the thread that
// took it.
class ReadMostlyLock
{
public:
    static constexpr std::size_t kSlots = 16;

    void lock()
    {
        for (Slot& slot : m_slots)
            slot.mutex.lock();
    }
    void unlock()
    {
        for (std::size_t i = kSlots; i-- > 0;)
            m_slots[i].mutex.unlock();
    }
    void lock_shared() { m_slots[threadSlot(kSlots)].mutex.lock_shared(); }
    void unlock_shared() { m_slots[threadSlot(kSlots)].mutex.unlock_shared(); }

private:
    struct alignas(64) Slot
    {
        std::shared_mutex mutex;
    };
    std::array<Slot, kSlots> m_slots;
};

#endif
