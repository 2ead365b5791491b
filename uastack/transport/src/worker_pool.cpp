#include "worker_pool.h"

#include <algorithm>
#include <climits>
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace uatcp
{
namespace
{
// Sleeps while word holds 0: one system call, without the spinning and yielding of a
// condition variable or std::atomic::wait.
void sleepWhileZero(std::atomic<uint32_t>& word)
{
    while (word.load(std::memory_order_acquire) == 0)
        ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAIT_PRIVATE, 0, nullptr, nullptr, 0);
}

void wakeOne(std::atomic<uint32_t>& word)
{
    word.store(1, std::memory_order_release);
    ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}
} // namespace

WorkerPool::WorkerPool(const WorkerPoolSettings& settings) : m_settings(settings)
{
    m_settings.maxThreads = std::max<size_t>(1, m_settings.maxThreads);
    m_settings.minThreads = std::clamp<size_t>(m_settings.minThreads, 1, m_settings.maxThreads);
    m_settings.maxJobs = std::max<size_t>(1, m_settings.maxJobs);
    m_ring.resize(std::min<size_t>(m_settings.maxJobs, 64));
    m_workers.reserve(m_settings.maxThreads);
    m_idle.reserve(m_settings.maxThreads);
    std::lock_guard lock(m_mutex);
    for (size_t i = 0; i < m_settings.minThreads; ++i)
        startWorkerLocked();
}

WorkerPool::~WorkerPool()
{
    stop();
}

void WorkerPool::startWorkerLocked()
{
    m_workers.push_back(std::make_unique<Worker>());
    Worker& worker = *m_workers.back();
    worker.thread = std::thread([this, &worker] { run(worker); });
}

bool WorkerPool::post(std::function<void()> job)
{
    Worker* sleeper = nullptr;
    {
        std::unique_lock lock(m_mutex);
        if (m_settings.blockWhenFull && !m_stopping && m_count >= m_settings.maxJobs)
        {
            ++m_blockedPosters;
            m_spaceFree.wait(lock, [this] { return m_stopping || m_count < m_settings.maxJobs; });
            --m_blockedPosters;
        }
        if (m_stopping || m_count >= m_settings.maxJobs)
            return false;
        if (m_count == m_ring.size())
        {
            // Unrolled into a larger ring, oldest first.
            std::vector<std::function<void()>> larger(std::min(m_ring.size() * 2, m_settings.maxJobs));
            for (size_t i = 0; i < m_count; ++i)
                larger[i] = std::move(m_ring[(m_head + i) % m_ring.size()]);
            m_ring.swap(larger);
            m_head = 0;
        }
        m_ring[(m_head + m_count) % m_ring.size()] = std::move(job);
        ++m_count;
        if (!m_idle.empty())
        {
            sleeper = m_idle.back();
            m_idle.pop_back();
        }
        else if (m_workers.size() < m_settings.maxThreads)
        {
            startWorkerLocked();
        }
    }
    if (sleeper != nullptr)
        wakeOne(sleeper->wake);
    return true;
}

void WorkerPool::stop()
{
    std::vector<Worker*> sleepers;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        sleepers.swap(m_idle);
    }
    for (Worker* w : sleepers)
        wakeOne(w->wake);
    m_spaceFree.notify_all();
    // Workers are only added under the lock while not stopping: the list is complete now.
    for (auto& w : m_workers)
    {
        if (w->thread.joinable())
            w->thread.join();
    }
}

void WorkerPool::run(Worker& self)
{
    std::unique_lock lock(m_mutex);
    for (;;)
    {
        if (m_count == 0)
        {
            if (m_stopping)
                return;
            self.wake.store(0, std::memory_order_relaxed);
            m_idle.push_back(&self);
            lock.unlock();
            sleepWhileZero(self.wake);
            lock.lock();
            continue;
        }
        std::function<void()> job = std::move(m_ring[m_head]);
        m_ring[m_head] = nullptr;
        m_head = (m_head + 1) % m_ring.size();
        --m_count;
        if (m_blockedPosters > 0)
            m_spaceFree.notify_one();
        lock.unlock();
        job();
        lock.lock();
    }
}
} // namespace uatcp
