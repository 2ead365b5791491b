#ifndef UASERVER_IOJOBPOOL_H
#define UASERVER_IOJOBPOOL_H

#include "uathreadpool.h"

// Where an I/O manager posts the jobs of its transactions. A bad result of addJob means the pool
// refused the job: the caller runs it and deletes it itself.
class IOJobPool
{
public:
    virtual ~IOJobPool() = default;
    virtual OpcUa_StatusCode addJob(UaThreadJob* job) = 0;
};

// An I/O manager's own worker pool: no thread until the first job, up to four.
class IOThreadPool : public IOJobPool
{
public:
    IOThreadPool() : m_pool(0, 4) {}
    OpcUa_StatusCode addJob(UaThreadJob* job) override { return m_pool.addJob(job); }

private:
    UaThreadPool m_pool;
};

#endif
