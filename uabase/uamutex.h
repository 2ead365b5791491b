#ifndef UABASE_UAMUTEX_H
#define UABASE_UAMUTEX_H

#include <opcua.h>

#include <atomic>

// Recursive lock over the stack's mutex: the holding thread may lock it again, and each lock needs
// its own unlock.
class UaMutex
{
public:
    UaMutex();
    ~UaMutex();
    UaMutex(const UaMutex&) = delete;
    UaMutex& operator=(const UaMutex&) = delete;

    void lock();
    void unlock();

private:
    OpcUa_Mutex* m_handle;
};

// Holds a mutex for its scope; a null mutex is accepted and does nothing.
class UaMutexLocker
{
public:
    explicit UaMutexLocker(UaMutex* mutex);
    ~UaMutexLocker();
    UaMutexLocker(const UaMutexLocker&) = delete;
    UaMutexLocker& operator=(const UaMutexLocker&) = delete;

    // Takes a mutex again after unlock.
    void lock(UaMutex* mutex);
    // Releases the held mutex early and forgets it.
    void unlock();

private:
    UaMutex* m_mutex;
};

// One recursive lock shared by several holders, each keeping one reference; the last release
// deletes it.
class UaMutexRefCounted
{
public:
    UaMutexRefCounted();
    UaMutexRefCounted(const UaMutexRefCounted&) = delete;
    UaMutexRefCounted& operator=(const UaMutexRefCounted&) = delete;

    void lock();
    void unlock();
    // Whether the new count is non-zero.
    bool addReference();
    // Whether references remain; the last one deletes the object.
    bool releaseReference();
    OpcUa_Mutex handle() const { return *m_handle; }

protected:
    virtual ~UaMutexRefCounted();

private:
    OpcUa_Mutex* m_handle;
    std::atomic<OpcUa_UInt32> m_refCount;
};

using UaSharedMutex = UaMutexRefCounted;

#endif
