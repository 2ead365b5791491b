#ifndef UASERVER_UATHREADPOOL_H
#define UASERVER_UATHREADPOOL_H

#include "uasemaphore.h"
#include "uathreadjob.h"

#include <uamutex.h>
#include <uathread.h>

#include <opcua.h>

#include <deque>
#include <memory>
#include <vector>

class UaThreadPool;

// One thread of a pool: it sleeps on its semaphore until the pool assigns it a job or stops it.
// A worker runs its job with its own mutex released, so assigning to a busy worker answers at once.
class UaThreadPoolWorker : public UaThread
{
public:
    explicit UaThreadPoolWorker(UaThreadPool* pool);
    // Deletes a job that never reached the thread (its thread did not run).
    ~UaThreadPoolWorker() override;

    // The job belongs to the worker on Good. BadInvalidState when the thread does not run or the
    // worker is busy, BadInvalidArgument for a null job.
    OpcUa_StatusCode assignJob(UaThreadJob* job);
    // Asks the thread to end once its current or assigned job has run.
    OpcUa_StatusCode stop();
    bool isBusy();

protected:
    void run() override;

private:
    OpcUa_Byte m_busy = 0;
    UaThreadJob* m_pJob = nullptr;
    OpcUa_Byte m_stop = 0;
    UaMutex m_mutex;
    UaSemaphore m_semaphore;
    UaThreadPool* m_pPool;
};

// Worker threads that run short jobs. The first minimum workers start with the pool; further ones
// start as jobs find every started worker busy, up to the maximum, and stay until the pool goes.
// With every worker busy, addJob waits (callers in arrival order) until one is idle.
// Lock order: the pool's mutex, then a worker's.
class UaThreadPool
{
public:
    // A maximum of 0 is taken as 1; the minimum is limited to the maximum.
    UaThreadPool(OpcUa_UInt32 minThreads, OpcUa_UInt32 maxThreads);
    // Stops every started worker and waits for it; jobs already accepted still run first.
    virtual ~UaThreadPool();
    UaThreadPool(const UaThreadPool&) = delete;
    UaThreadPool& operator=(const UaThreadPool&) = delete;

    // Good: the job belongs to the pool, which runs and deletes it. Bad: the job stays the caller's.
    // A job of this pool adding to it while it is full runs the new job inline.
    OpcUa_StatusCode addJob(UaThreadJob* job);

    OpcUa_UInt32 minThreads() const { return m_minThreads; }
    OpcUa_UInt32 maxThreads() const { return m_maxThreads; }
    OpcUa_UInt32 startedThreads() const;
    // Callers of addJob waiting for an idle worker.
    OpcUa_UInt32 waitingCallers() const;

private:
    friend class UaThreadPoolWorker;
    struct Waiter;

    // Gives job to an idle worker or to one started for it; false when every worker is busy and
    // none can be started. Pool mutex held.
    bool tryAssign(UaThreadJob* job, OpcUa_StatusCode& result);
    // Gives the jobs of waiting callers, first come first, to idle workers and wakes those
    // callers. Pool mutex held.
    void assignToWaiters();
    // A worker finished its job and is idle again.
    void workerIdle();

    OpcUa_UInt32 m_minThreads;
    OpcUa_UInt32 m_startedThreads = 0;
    OpcUa_UInt32 m_maxThreads;
    std::vector<std::unique_ptr<UaThreadPoolWorker>> m_workers;
    mutable UaMutex m_mutex;
    std::deque<Waiter*> m_waiters;
    bool m_stopping = false;
};

#endif
