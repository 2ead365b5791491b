// Threads over the stack's threads, recursive mutexes and their scope guard.
#include "uamutex.h"
#include "uathread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace
{
// Runs until released; counts its runs.
class GatedThread : public UaThread
{
public:
    GatedThread() { OpcUa_Semaphore_Create(&m_gate, 0, 10); }
    ~GatedThread() override
    {
        release();
        wait(OpcUa_Infinite);
        OpcUa_Semaphore_Delete(&m_gate);
    }
    void release() { OpcUa_Semaphore_Post(m_gate, 1); }
    std::atomic<int> runs{0};
    std::atomic<bool> inside{false};

protected:
    void run() override
    {
        ++runs;
        inside = true;
        OpcUa_Semaphore_Wait(m_gate);
        inside = false;
    }

private:
    OpcUa_Semaphore m_gate = nullptr;
};

void waitUntil(const std::atomic<bool>& flag)
{
    while (!flag)
        UaThread::sleep(1);
}

TEST(ThreadTest, StartWhileRunningDoesNotStartASecondThread)
{
    GatedThread thread;
    EXPECT_FALSE(thread.isRunning());
    EXPECT_EQ(thread.start(), OpcUa_Good);
    waitUntil(thread.inside);
    EXPECT_TRUE(thread.isRunning());
    EXPECT_EQ(thread.start(), OpcUa_Good);
    thread.release();
    EXPECT_FALSE(thread.wait(OpcUa_Infinite));
    EXPECT_EQ(thread.runs, 1);
    EXPECT_FALSE(thread.isRunning());
}

TEST(ThreadTest, AThreadThatEndedRunsAgainOnStart)
{
    GatedThread thread;
    for (int round = 1; round <= 3; ++round)
    {
        ASSERT_EQ(thread.start(), OpcUa_Good);
        thread.release();
        EXPECT_FALSE(thread.wait(OpcUa_Infinite));
        EXPECT_EQ(thread.runs, round);
    }
}

// Servers start their threads on the first request that needs one, so several request threads may
// start one thread at once: they must make one run between them, and none may wait for its end.
TEST(ThreadTest, StartsOfManyThreadsAtOnceMakeOneRun)
{
    GatedThread thread;
    // Ended once, so every later start makes a new stack thread.
    ASSERT_EQ(thread.start(), OpcUa_Good);
    thread.release();
    ASSERT_FALSE(thread.wait(OpcUa_Infinite));
    constexpr int starters = 4;
    for (int round = 0; round < 50; ++round)
    {
        const int runsBefore = thread.runs;
        std::atomic<int> ready{0};
        std::atomic<int> returned{0};
        std::vector<std::thread> threads;
        for (int i = 0; i < starters; ++i)
            threads.emplace_back(
                [&]
                {
                    ++ready;
                    while (ready < starters)
                        std::this_thread::yield();
                    EXPECT_EQ(thread.start(), OpcUa_Good);
                    ++returned;
                });
        // The run holds until released, so a start that waits for it would never return.
        for (int ms = 0; returned < starters && ms < 10000; ++ms)
            UaThread::sleep(1);
        const bool allReturned = returned == starters;
        if (!allReturned)
        {
            // Let the runs go so the stuck starts come back and the test can end.
            while (returned < starters || thread.isRunning())
            {
                thread.release();
                UaThread::sleep(1);
            }
        }
        else
        {
            thread.release();
        }
        for (auto& t : threads)
            t.join();
        ASSERT_TRUE(allReturned) << "a start waited for the running thread in round " << round;
        EXPECT_FALSE(thread.wait(OpcUa_Infinite));
        ASSERT_EQ(thread.runs, runsBefore + 1) << "round " << round;
    }
}

TEST(ThreadTest, WaitWithATimeOutReportsAThreadStillRunning)
{
    GatedThread thread;
    ASSERT_EQ(thread.start(), OpcUa_Good);
    waitUntil(thread.inside);
    EXPECT_TRUE(thread.wait(10));
    thread.release();
    EXPECT_FALSE(thread.wait(OpcUa_Infinite));
}

// Locks m on another thread; the flag tells when it got it.
struct Contender
{
    template <typename Lockable>
    explicit Contender(Lockable& m)
        : thread(
              [this, &m]
              {
                  m.lock();
                  got = true;
                  m.unlock();
              })
    {
    }
    ~Contender() { thread.join(); }
    std::atomic<bool> got{false};
    std::thread thread;
};

TEST(MutexTest, TheHolderMayLockAgainAndEachLockNeedsItsUnlock)
{
    UaMutex mutex;
    mutex.lock();
    mutex.lock();
    {
        Contender other(mutex);
        UaThread::sleep(20);
        mutex.unlock();
        UaThread::sleep(20);
        EXPECT_FALSE(other.got) << "released after one unlock of two locks";
        mutex.unlock();
        waitUntil(other.got);
    }
}

TEST(MutexTest, LockerUnlocksOnceAfterAnEarlyUnlock)
{
    UaMutex mutex;
    mutex.lock();
    {
        UaMutexLocker locker(&mutex);
        locker.unlock();
    }
    // One lock of this thread must remain.
    Contender other(mutex);
    UaThread::sleep(20);
    EXPECT_FALSE(other.got) << "the locker unlocked twice";
    mutex.unlock();
    waitUntil(other.got);
}

TEST(MutexTest, LockerHoldsForItsScopeAndLocksAgain)
{
    {
        // A locker without a mutex holds nothing and releases nothing.
        UaMutexLocker none(nullptr);
        none.unlock();
        none.lock(nullptr);
    }
    UaMutex mutex;
    UaMutexLocker locker(&mutex);
    locker.unlock();
    {
        Contender free(mutex);
        waitUntil(free.got);
    }
    locker.lock(&mutex);
    Contender blocked(mutex);
    UaThread::sleep(20);
    EXPECT_FALSE(blocked.got);
    locker.unlock();
    waitUntil(blocked.got);
}

class ObservedSharedMutex : public UaMutexRefCounted
{
public:
    explicit ObservedSharedMutex(bool& deleted) : m_deleted(deleted) {}
    ~ObservedSharedMutex() override { m_deleted = true; }

private:
    bool& m_deleted;
};

TEST(MutexTest, TheLastReleaseDeletesTheSharedMutex)
{
    bool deleted = false;
    auto* shared = new ObservedSharedMutex(deleted);
    EXPECT_TRUE(shared->addReference());
    shared->lock();
    shared->lock();
    shared->unlock();
    shared->unlock();
    EXPECT_TRUE(shared->releaseReference());
    EXPECT_FALSE(deleted);
    EXPECT_FALSE(shared->releaseReference());
    EXPECT_TRUE(deleted);
}

TEST(MutexTest, SharedMutexExcludesOtherThreads)
{
    UaSharedMutex* shared = new UaSharedMutex;
    shared->lock();
    {
        Contender other(*shared);
        UaThread::sleep(20);
        EXPECT_FALSE(other.got);
        shared->unlock();
        waitUntil(other.got);
    }
    shared->releaseReference();
}
} // namespace
