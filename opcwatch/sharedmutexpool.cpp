#include "sharedmutexpool.h"

#include <mutex>
#include <vector>

namespace
{
struct Pool
{
    std::mutex lock;
    std::vector<UaSharedMutex*> mutexes;
    size_t cursor = 0;
};

// Never destroyed: a node may still release its mutex while the process ends.
Pool& pool()
{
    static auto* instance = new Pool;
    return *instance;
}
} // namespace

HRESULT SharedMutexPool::init(OpcUa_UInt32 count)
{
    Pool& p = pool();
    std::lock_guard guard(p.lock);
    if (!p.mutexes.empty())
        return E_FAIL;
    p.mutexes.reserve(count);
    for (OpcUa_UInt32 i = 0; i < count; ++i)
        p.mutexes.push_back(new UaSharedMutex);
    p.cursor = 0;
    return S_OK;
}

UaSharedMutex* SharedMutexPool::getNext()
{
    Pool& p = pool();
    std::lock_guard guard(p.lock);
    if (p.mutexes.empty())
        return nullptr;
    UaSharedMutex* next = p.mutexes[p.cursor];
    p.cursor = (p.cursor + 1) % p.mutexes.size();
    return next;
}

void SharedMutexPool::clear()
{
    Pool& p = pool();
    std::lock_guard guard(p.lock);
    p.cursor = 0;
    for (UaSharedMutex* mutex : p.mutexes)
        mutex->releaseReference();
    p.mutexes.clear();
}

OpcUa_UInt32 SharedMutexPool::size()
{
    Pool& p = pool();
    std::lock_guard guard(p.lock);
    return static_cast<OpcUa_UInt32>(p.mutexes.size());
}
