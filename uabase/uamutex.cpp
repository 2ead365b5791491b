#include "uamutex.h"

namespace
{
OpcUa_Mutex* createStackMutex()
{
    auto* handle = new OpcUa_Mutex(nullptr);
    OpcUa_Mutex_Create(handle);
    return handle;
}

void deleteStackMutex(OpcUa_Mutex* handle)
{
    OpcUa_Mutex_Delete(handle);
    delete handle;
}
} // namespace

UaMutex::UaMutex() : m_handle(createStackMutex()) {}

UaMutex::~UaMutex()
{
    deleteStackMutex(m_handle);
}

void UaMutex::lock()
{
    OpcUa_Mutex_Lock(*m_handle);
}

void UaMutex::unlock()
{
    OpcUa_Mutex_Unlock(*m_handle);
}

UaMutexLocker::UaMutexLocker(UaMutex* mutex) : m_mutex(nullptr)
{
    lock(mutex);
}

UaMutexLocker::~UaMutexLocker()
{
    unlock();
}

void UaMutexLocker::lock(UaMutex* mutex)
{
    m_mutex = mutex;
    if (m_mutex)
        m_mutex->lock();
}

void UaMutexLocker::unlock()
{
    if (m_mutex)
    {
        m_mutex->unlock();
        m_mutex = nullptr;
    }
}

UaMutexRefCounted::UaMutexRefCounted() : m_handle(createStackMutex()), m_refCount(1) {}

UaMutexRefCounted::~UaMutexRefCounted()
{
    deleteStackMutex(m_handle);
}

void UaMutexRefCounted::lock()
{
    OpcUa_Mutex_Lock(*m_handle);
}

void UaMutexRefCounted::unlock()
{
    OpcUa_Mutex_Unlock(*m_handle);
}

bool UaMutexRefCounted::addReference()
{
    return m_refCount.fetch_add(1) + 1 != 0;
}

bool UaMutexRefCounted::releaseReference()
{
    const OpcUa_UInt32 remaining = m_refCount.fetch_sub(1) - 1;
    if (remaining == 0)
        delete this;
    return remaining != 0;
}
