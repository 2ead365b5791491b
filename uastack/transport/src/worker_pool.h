// The stack's worker threads: requests are handed to them so that several run
// at once and a slow service never stalls a connection's reader.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace uatcp
{
struct WorkerPoolSettings
{
    size_t minThreads = 2;
    size_t maxThreads = 16;
    size_t maxJobs = 10000;
    bool blockWhenFull = true;
};

class WorkerPool
{
public:
    explicit WorkerPool(const WorkerPoolSettings& settings);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;
    // False when the pool is stopping, or full and not allowed to block. A job
    // that fits into a std::function's own storage (a pointer or two) is
    // handed over without an allocation, and at most one sleeping worker is woken.
    bool post(std::function<void()> job);
    // Runs the jobs already queued, then ends every thread.
    void stop();

private:
    // A worker sleeps on its own word, so that a job wakes exactly the worker it is meant for.
    struct Worker
    {
        std::atomic<uint32_t> wake{0};
        std::thread thread;
    };
    void startWorkerLocked();
    void run(Worker& self);

    WorkerPoolSettings m_settings;
    std::mutex m_mutex;
    std::condition_variable m_spaceFree;
    // A ring of job slots that only grows (up to maxJobs), so that queueing allocates nothing once warm.
    std::vector<std::function<void()>> m_ring;
    size_t m_head = 0;
    size_t m_count = 0;
    std::vector<std::unique_ptr<Worker>> m_workers;
    std::vector<Worker*> m_idle; // the last to fall asleep is woken first: its caches are warm
    size_t m_blockedPosters = 0;
    bool m_stopping = false;
};
} // namespace uatcp
