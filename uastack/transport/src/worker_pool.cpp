#include "worker_pool.h"

#include <algorithm>

namespace uatcp
{
WorkerPool::WorkerPool(const WorkerPoolSettings& settings) : m_settings(settings)
{
    m_settings.maxThreads = std::max<size_t>(1, m_settings.maxThreads);
    m_settings.minThreads = std::clamp<size_t>(m_settings.minThreads, 1, m_settings.maxThreads);
    m_settings.maxJobs = std::max<size_t>(1, m_settings.maxJobs);
    std::lock_guard lock(m_mutex);
    for (size_t i = 0; i < m_settings.minThreads; ++i)
        m_threads.emplace_back([this] { run(); });
}

WorkerPool::~WorkerPool()
{
    stop();
}

bool WorkerPool::post(std::function<void()> job)
{
    std::unique_lock lock(m_mutex);
    if (m_settings.blockWhenFull)
        m_spaceFree.wait(lock, [this] { return m_stopping || m_jobs.size() < m_settings.maxJobs; });
    if (m_stopping || m_jobs.size() >= m_settings.maxJobs)
        return false;
    m_jobs.push_back(std::move(job));
    if (m_idle == 0 && m_threads.size() < m_settings.maxThreads)
        m_threads.emplace_back([this] { run(); });
    m_jobReady.notify_one();
    return true;
}

void WorkerPool::stop()
{
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        threads.swap(m_threads);
    }
    m_jobReady.notify_all();
    m_spaceFree.notify_all();
    for (auto& t : threads)
        t.join();
}

void WorkerPool::run()
{
    std::unique_lock lock(m_mutex);
    for (;;)
    {
        ++m_idle;
        m_jobReady.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
        --m_idle;
        if (m_jobs.empty())
            return;
        auto job = std::move(m_jobs.front());
        m_jobs.pop_front();
        m_spaceFree.notify_one();
        lock.unlock();
        job();
        lock.lock();
    }
}
} // namespace uatcp
