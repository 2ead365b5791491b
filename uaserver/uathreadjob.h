#ifndef UASERVER_UATHREADJOB_H
#define UASERVER_UATHREADJOB_H

// A piece of work for a worker pool. A job handed to a pool that accepts it belongs to the pool,
// which runs execute once and then deletes the job.
class UaThreadJob
{
public:
    UaThreadJob() = default;
    virtual ~UaThreadJob() = default;
    UaThreadJob(const UaThreadJob&) = delete;
    UaThreadJob& operator=(const UaThreadJob&) = delete;

    virtual void execute() {}
};

#endif
