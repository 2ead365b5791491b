#include "uathread.h"

#include "ualog.h"

#include <mutex>
#include <shared_mutex>

struct UaThread::Record
{
    OpcUa_Thread handle = nullptr;
    bool fresh = true;
    // start() may replace the handle of an ended thread: it holds this exclusively, so that two
    // starts at once make one thread and no reader of the handle meets a deleted one.
    std::shared_mutex handleLock;
};

UaThread::UaThread() : m_record(new Record)
{
    OpcUa_Thread_Create(&m_record->handle, threadMain, this);
}

UaThread::~UaThread()
{
    OpcUa_Thread_Delete(&m_record->handle);
    delete m_record;
}

OpcUa_Void UaThread::threadMain(OpcUa_Void* argument)
{
    static_cast<UaThread*>(argument)->run();
}

OpcUa_StatusCode UaThread::start()
{
    std::unique_lock lock(m_record->handleLock);
    if (OpcUa_Thread_IsRunning(m_record->handle))
        return OpcUa_Good;
    if (m_record->fresh)
    {
        m_record->fresh = false;
        return OpcUa_Thread_Start(m_record->handle);
    }
    // The thread ran before and has ended: a stack thread starts only once, so make a new one.
    OpcUa_Thread_Delete(&m_record->handle);
    const OpcUa_StatusCode created = OpcUa_Thread_Create(&m_record->handle, threadMain, this);
    if (OpcUa_IsBad(created))
        return created;
    return OpcUa_Thread_Start(m_record->handle);
}

bool UaThread::wait(OpcUa_UInt32 milliseconds)
{
    std::shared_lock lock(m_record->handleLock);
    const OpcUa_StatusCode result = OpcUa_Thread_WaitForShutdown(m_record->handle, milliseconds);
    if (OpcUa_IsNotGood(result))
        UaLog::error(2, "Error: OpcUa_Thread_WaitForShutdown returned error [ret=0x%lx]",
                     static_cast<unsigned long>(result));
    return OpcUa_Thread_IsRunning(m_record->handle) != OpcUa_False;
}

bool UaThread::isRunning() const
{
    std::shared_lock lock(m_record->handleLock);
    return OpcUa_Thread_IsRunning(m_record->handle) != OpcUa_False;
}

void UaThread::sleep(OpcUa_UInt32 milliseconds)
{
    OpcUa_Thread_Sleep(milliseconds);
}
