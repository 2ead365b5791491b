#include "uathreadpool.h"

#include <algorithm>

namespace
{
// The pool whose worker runs on this thread; null on every other thread.
thread_local const UaThreadPool* t_workerOf = nullptr;
} // namespace

UaThreadPoolWorker::UaThreadPoolWorker(UaThreadPool* pool) : m_semaphore(0, 1), m_pPool(pool) {}

UaThreadPoolWorker::~UaThreadPoolWorker()
{
    // The thread uses the members below: it must have ended before they go.
    if (isRunning())
    {
        stop();
        wait(OpcUa_Infinite);
    }
    delete m_pJob;
}

OpcUa_StatusCode UaThreadPoolWorker::assignJob(UaThreadJob* job)
{
    if (!isRunning())
        return OpcUa_BadInvalidState;
    if (job == nullptr)
        return OpcUa_BadInvalidArgument;
    {
        UaMutexLocker lock(&m_mutex);
        if (m_busy)
            return OpcUa_BadInvalidState;
        m_busy = 1;
        m_pJob = job;
    }
    // Posted once the mutex is free: the worker takes it first thing when it wakes, and woken under
    // it would only go back to sleep until it is released.
    return m_semaphore.post(1);
}

OpcUa_StatusCode UaThreadPoolWorker::stop()
{
    if (!isRunning())
        return OpcUa_Good;
    UaMutexLocker lock(&m_mutex);
    m_stop = 1;
    // A worker with a job assigned but not yet taken has its count posted already: it wakes, runs
    // the job and then sees the flag.
    return m_semaphore.post(1);
}

bool UaThreadPoolWorker::isBusy()
{
    UaMutexLocker lock(&m_mutex);
    return m_busy != 0;
}

void UaThreadPoolWorker::run()
{
    t_workerOf = m_pPool;
    for (;;)
    {
        if (OpcUa_IsBad(m_semaphore.wait()))
            return;
        UaMutexLocker lock(&m_mutex);
        UaThreadJob* job = m_busy ? m_pJob : nullptr;
        if (job != nullptr)
        {
            // An accepted job runs even when a stop came first: its caller counts on it.
            lock.unlock();
            job->execute();
            delete job;
            lock.lock(&m_mutex);
            // Under the mutex: assignJob reads both.
            m_pJob = nullptr;
            m_busy = 0;
        }
        if (m_stop)
        {
            m_stop = 0;
            return;
        }
        lock.unlock();
        if (job != nullptr)
            m_pPool->workerIdle();
    }
}

struct UaThreadPool::Waiter
{
    UaThreadJob* job;
    // Set under the pool's mutex once a worker took the job; the caller then only returns.
    bool assigned = false;
    OpcUa_StatusCode result = OpcUa_Good;
    UaSemaphore wakeUp{0, 1};
};

UaThreadPool::UaThreadPool(OpcUa_UInt32 minThreads, OpcUa_UInt32 maxThreads)
    : m_minThreads(std::min(minThreads, std::max<OpcUa_UInt32>(maxThreads, 1))),
      m_maxThreads(std::max<OpcUa_UInt32>(maxThreads, 1))
{
    m_workers.reserve(m_maxThreads);
    for (OpcUa_UInt32 i = 0; i < m_maxThreads; ++i)
        m_workers.push_back(std::make_unique<UaThreadPoolWorker>(this));
    UaMutexLocker lock(&m_mutex);
    for (; m_startedThreads < m_minThreads; ++m_startedThreads)
        m_workers[m_startedThreads]->start();
}

UaThreadPool::~UaThreadPool()
{
    OpcUa_UInt32 started;
    {
        UaMutexLocker lock(&m_mutex);
        m_stopping = true;
        started = m_startedThreads;
        for (OpcUa_UInt32 i = 0; i < started; ++i)
            m_workers[i]->stop();
        for (Waiter* waiter : m_waiters)
            waiter->wakeUp.post(1);
    }
    // Not under the pool's mutex: a worker ending its job takes it.
    for (OpcUa_UInt32 i = 0; i < started; ++i)
        m_workers[i]->wait(OpcUa_Infinite);
    m_workers.clear();
}

OpcUa_StatusCode UaThreadPool::addJob(UaThreadJob* job)
{
    // Refused before any wait: no worker takes a null job.
    if (job == nullptr)
        return OpcUa_BadInvalidArgument;
    UaMutexLocker lock(&m_mutex);
    if (m_stopping)
        return OpcUa_BadInvalidState;
    OpcUa_StatusCode result = OpcUa_Good;
    const bool ownWorker = t_workerOf == this;
    // Callers already waiting go first; a worker of this pool never queues, as it would wait for
    // itself.
    if ((m_waiters.empty() || ownWorker) && tryAssign(job, result))
        return result;
    if (ownWorker)
    {
        lock.unlock();
        job->execute();
        delete job;
        return OpcUa_Good;
    }
    Waiter waiter{job};
    m_waiters.push_back(&waiter);
    for (;;)
    {
        lock.unlock();
        waiter.wakeUp.wait();
        lock.lock(&m_mutex);
        if (waiter.assigned)
            return waiter.result;
        if (m_stopping)
        {
            m_waiters.erase(std::find(m_waiters.begin(), m_waiters.end(), &waiter));
            return OpcUa_BadInvalidState;
        }
    }
}

bool UaThreadPool::tryAssign(UaThreadJob* job, OpcUa_StatusCode& result)
{
    for (OpcUa_UInt32 i = 0; i < m_startedThreads; ++i)
    {
        if (!m_workers[i]->isBusy())
        {
            result = m_workers[i]->assignJob(job);
            return true;
        }
    }
    if (m_startedThreads < m_maxThreads)
    {
        UaThreadPoolWorker* worker = m_workers[m_startedThreads].get();
        worker->start();
        ++m_startedThreads;
        result = worker->assignJob(job);
        return true;
    }
    return false;
}

void UaThreadPool::assignToWaiters()
{
    // The idle worker takes the first caller's job here: were each caller to wake and assign its
    // own, the waiting callers would be served one scheduler wake-up after another while workers
    // stay idle.
    while (!m_waiters.empty() && !m_stopping)
    {
        Waiter* waiter = m_waiters.front();
        if (!tryAssign(waiter->job, waiter->result))
            return;
        m_waiters.pop_front();
        waiter->assigned = true;
        waiter->wakeUp.post(1);
    }
}

void UaThreadPool::workerIdle()
{
    UaMutexLocker lock(&m_mutex);
    assignToWaiters();
}

OpcUa_UInt32 UaThreadPool::startedThreads() const
{
    UaMutexLocker lock(&m_mutex);
    return m_startedThreads;
}

OpcUa_UInt32 UaThreadPool::waitingCallers() const
{
    UaMutexLocker lock(&m_mutex);
    return static_cast<OpcUa_UInt32>(m_waiters.size());
}
