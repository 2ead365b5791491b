// The stack's worker threads: requests are handed to them so that several run
// at once and a slow service never stalls a connection's reader.
#pragma once
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
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
    // False when the pool is stopping, or full and not allowed to block.
    bool post(std::function<void()> job);
    // Runs the jobs already queued, then ends every thread.
    void stop();

private:
    void run();
    WorkerPoolSettings m_settings;
    std::mutex m_mutex;
    std::condition_variable m_jobReady;
    std::condition_variable m_spaceFree;
    std::deque<std::function<void()>> m_jobs;
    std::vector<std::thread> m_threads;
    size_t m_idle = 0;
    bool m_stopping = false;
};
} // namespace uatcp
