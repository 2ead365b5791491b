// The worker pool and its semaphore: how many workers run, who waits, who runs a job and who
// deletes it.
#include "test_waits.h"
#include "uasemaphore.h"
#include "uathreadpool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <ctime>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <vector>

using uaserver::testing::eventually;
using uaserver::testing::Gate;

namespace
{
// What happened to the jobs of one test.
struct JobRecord
{
    std::atomic<int> executed{0};
    std::atomic<int> deleted{0};
    std::mutex mutex;
    std::vector<int> order;
};

// A job that counts its run and its deletion, optionally held at a gate while it runs.
class RecordingJob : public UaThreadJob
{
public:
    RecordingJob(JobRecord& record, int id, Gate* gate = nullptr) : m_record(record), m_id(id), m_gate(gate)
    {
    }
    ~RecordingJob() override { ++m_record.deleted; }

    void execute() override
    {
        started = true;
        if (m_gate != nullptr)
        {
            EXPECT_TRUE(m_gate->pass());
        }
        {
            std::lock_guard lock(m_record.mutex);
            m_record.order.push_back(m_id);
        }
        ++m_record.executed;
    }

    std::atomic<bool> started{false};

private:
    JobRecord& m_record;
    int m_id;
    Gate* m_gate;
};

TEST(UaSemaphore, CountsAreLimitedByTheMaximum)
{
    struct Case
    {
        OpcUa_UInt32 initial;
        OpcUa_UInt32 maximum;
        int available;   // waits that succeed at once
        int postsBefore; // posts accepted from empty before BadTooManyPosts
    };
    const Case cases[] = {
        {0, 0, 0, 1}, // a maximum of 0 is 1
        {5, 0, 1, 1}, // the initial count is limited to the maximum
        {2, 3, 2, 3}, {0, 1, 0, 1}, {7, 4, 4, 4},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "initial " << c.initial << " maximum " << c.maximum);
        UaSemaphore semaphore(c.initial, c.maximum);
        int taken = 0;
        while (semaphore.timedWait(0) == OpcUa_Good)
            ++taken;
        EXPECT_EQ(taken, c.available);
        int posts = 0;
        OpcUa_StatusCode posted;
        while ((posted = semaphore.post(1)) == OpcUa_Good)
            ++posts;
        EXPECT_EQ(posts, c.postsBefore);
        EXPECT_EQ(posted, static_cast<OpcUa_StatusCode>(OpcUa_BadTooManyPosts));
        EXPECT_EQ(semaphore.wait(), static_cast<OpcUa_StatusCode>(OpcUa_Good));
    }
}

TEST(UaThreadPool, SizesAreSettledAtConstruction)
{
    struct Case
    {
        OpcUa_UInt32 minimum, maximum;
        OpcUa_UInt32 settledMinimum, settledMaximum;
    };
    const Case cases[] = {
        {4, 0, 1, 1}, // the maximum 0 becomes 1, the minimum is lowered to it
        {1, 4, 1, 4}, {0, 3, 0, 3}, {0, 0, 0, 1}, {6, 2, 2, 2},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "(" << c.minimum << ", " << c.maximum << ")");
        UaThreadPool pool(c.minimum, c.maximum);
        EXPECT_EQ(pool.minThreads(), c.settledMinimum);
        EXPECT_EQ(pool.maxThreads(), c.settledMaximum);
        EXPECT_EQ(pool.startedThreads(), c.settledMinimum);

        // Whatever the sizes, a job runs and is deleted by the pool.
        JobRecord record;
        ASSERT_EQ(pool.addJob(new RecordingJob(record, 1)), static_cast<OpcUa_StatusCode>(OpcUa_Good));
        EXPECT_TRUE(eventually([&] { return record.deleted == 1; }));
        EXPECT_EQ(record.executed, 1);
        EXPECT_EQ(pool.startedThreads(), std::max<OpcUa_UInt32>(c.settledMinimum, 1));
    }
}

TEST(UaThreadPool, BusyWorkersStartTheNextUpToTheMaximumThenAFifthJobWaits)
{
    JobRecord record;
    std::vector<std::unique_ptr<Gate>> gates;
    for (int i = 0; i < 5; ++i)
        gates.push_back(std::make_unique<Gate>());
    auto pool = std::make_unique<UaThreadPool>(1, 4);
    for (int i = 0; i < 4; ++i)
    {
        ASSERT_EQ(pool->addJob(new RecordingJob(record, i, gates[i].get())),
                  static_cast<OpcUa_StatusCode>(OpcUa_Good));
        // The first job takes the running worker; each further one starts a worker of its own.
        EXPECT_EQ(pool->startedThreads(), static_cast<OpcUa_UInt32>(i + 1));
    }

    std::atomic<bool> fifthAdded{false};
    OpcUa_StatusCode fifthResult = OpcUa_BadInternalError;
    std::thread fifth(
        [&]
        {
            fifthResult = pool->addJob(new RecordingJob(record, 4, gates[4].get()));
            fifthAdded = true;
        });
    ASSERT_TRUE(eventually([&] { return pool->waitingCallers() == 1; }));
    EXPECT_FALSE(fifthAdded);
    EXPECT_EQ(pool->startedThreads(), 4u);
    EXPECT_EQ(record.executed, 0);

    gates[2]->open();
    fifth.join();
    EXPECT_EQ(fifthResult, static_cast<OpcUa_StatusCode>(OpcUa_Good));
    EXPECT_EQ(pool->waitingCallers(), 0u);
    EXPECT_EQ(pool->startedThreads(), 4u);
    {
        std::lock_guard lock(record.mutex);
        EXPECT_EQ(record.order, std::vector<int>{2});
    }

    for (auto& gate : gates)
        gate->open();
    pool.reset();
    EXPECT_EQ(record.executed, 5);
    EXPECT_EQ(record.deleted, 5);
}

TEST(UaThreadPool, WaitingCallersAreServedInArrivalOrder)
{
    JobRecord record;
    Gate hold;
    UaThreadPool pool(1, 1);
    ASSERT_EQ(pool.addJob(new RecordingJob(record, 0, &hold)), static_cast<OpcUa_StatusCode>(OpcUa_Good));

    std::vector<std::thread> callers;
    for (int id = 1; id <= 3; ++id)
    {
        callers.emplace_back([&, id] { EXPECT_EQ(pool.addJob(new RecordingJob(record, id)), OpcUa_Good); });
        ASSERT_TRUE(eventually([&] { return pool.waitingCallers() == static_cast<OpcUa_UInt32>(id); }));
    }
    hold.open();
    for (std::thread& caller : callers)
        caller.join();
    ASSERT_TRUE(eventually([&] { return record.deleted == 4; }));
    std::lock_guard lock(record.mutex);
    EXPECT_EQ(record.order, (std::vector<int>{0, 1, 2, 3}));
}

// A thread sent SIGUSR1 stays in the handler until released.
std::atomic<bool> g_parked{false};
std::atomic<bool> g_release{false};

void parkUntilReleased(int)
{
    g_parked = true;
    const timespec pause{0, 1000000};
    while (!g_release)
        nanosleep(&pause, nullptr);
}

TEST(UaThreadPool, AnIdleWorkerTakesTheWaitingCallersJobWithoutTheCallerRunning)
{
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the thread sanitizer defers the signal that parks the caller";
#endif
    // Served by the worker, the waiting callers of a busy pool do not queue on the scheduler one
    // after another while workers stand idle.
    struct sigaction park = {};
    struct sigaction previous = {};
    park.sa_handler = parkUntilReleased;
    sigemptyset(&park.sa_mask);
    ASSERT_EQ(sigaction(SIGUSR1, &park, &previous), 0);
    g_parked = false;
    g_release = false;

    JobRecord record;
    Gate hold;
    {
        UaThreadPool pool(1, 1);
        ASSERT_EQ(pool.addJob(new RecordingJob(record, 0, &hold)), static_cast<OpcUa_StatusCode>(OpcUa_Good));
        OpcUa_StatusCode callerResult = OpcUa_BadInternalError;
        std::thread caller([&] { callerResult = pool.addJob(new RecordingJob(record, 1)); });
        ASSERT_TRUE(eventually([&] { return pool.waitingCallers() == 1; }));
        ASSERT_EQ(pthread_kill(caller.native_handle(), SIGUSR1), 0);
        ASSERT_TRUE(eventually([] { return g_parked.load(); }));

        hold.open();
        EXPECT_TRUE(eventually([&] { return record.executed == 2; }));
        EXPECT_EQ(pool.waitingCallers(), 0u);
        g_release = true;
        caller.join();
        EXPECT_EQ(callerResult, static_cast<OpcUa_StatusCode>(OpcUa_Good));
    }
    sigaction(SIGUSR1, &previous, nullptr);
    std::lock_guard lock(record.mutex);
    EXPECT_EQ(record.order, (std::vector<int>{0, 1}));
}

TEST(UaThreadPool, DestructionWaitsForTheRunningJob)
{
    JobRecord record;
    Gate hold;
    std::atomic<bool> destroyed{false};
    auto pool = std::make_unique<UaThreadPool>(2, 2);
    auto* job = new RecordingJob(record, 1, &hold);
    ASSERT_EQ(pool->addJob(job), static_cast<OpcUa_StatusCode>(OpcUa_Good));
    ASSERT_TRUE(eventually([&] { return job->started.load(); }));

    std::thread destroyer(
        [&]
        {
            pool.reset();
            destroyed = true;
        });
    // Time for a destructor that did not wait to return; a correct one passes whatever the delay.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(destroyed);
    hold.open();
    destroyer.join();
    EXPECT_EQ(record.executed, 1);
    EXPECT_EQ(record.deleted, 1);
}

TEST(UaThreadPool, JobsAcceptedRightBeforeDestructionStillRun)
{
    // Destruction may find a job assigned whose worker has not woken yet; it runs all the same.
    for (int round = 0; round < 50; ++round)
    {
        JobRecord record;
        {
            UaThreadPool pool(1, 4);
            for (int i = 0; i < 4; ++i)
                ASSERT_EQ(pool.addJob(new RecordingJob(record, i)),
                          static_cast<OpcUa_StatusCode>(OpcUa_Good));
        }
        ASSERT_EQ(record.executed, 4) << "round " << round;
        ASSERT_EQ(record.deleted, 4) << "round " << round;
    }
}

// A job that adds a further job to its own pool from its worker.
class AddingJob : public UaThreadJob
{
public:
    AddingJob(UaThreadPool& pool, JobRecord& record) : m_pool(pool), m_record(record) {}
    void execute() override
    {
        result = m_pool.addJob(new RecordingJob(m_record, 2));
        // A full pool ran the new job inline: it is done before addJob returns.
        executedBeforeReturn = m_record.executed.load();
    }

    static inline OpcUa_StatusCode result = OpcUa_BadInternalError;
    static inline int executedBeforeReturn = -1;

private:
    UaThreadPool& m_pool;
    JobRecord& m_record;
};

TEST(UaThreadPool, AJobAddingToItsOwnFullPoolCompletes)
{
    JobRecord record;
    {
        UaThreadPool pool(1, 1);
        ASSERT_EQ(pool.addJob(new AddingJob(pool, record)), static_cast<OpcUa_StatusCode>(OpcUa_Good));
        ASSERT_TRUE(eventually([&] { return record.deleted == 1; }));
    }
    EXPECT_EQ(AddingJob::result, static_cast<OpcUa_StatusCode>(OpcUa_Good));
    EXPECT_EQ(AddingJob::executedBeforeReturn, 1);
    EXPECT_EQ(record.executed, 1);
}

TEST(UaThreadPool, ANullJobIsRefused)
{
    UaThreadPool pool(1, 1);
    EXPECT_EQ(pool.addJob(nullptr), static_cast<OpcUa_StatusCode>(OpcUa_BadInvalidArgument));
}

TEST(UaThreadPool, EveryJobOfManyCallersRunsAndIsDeletedOnce)
{
    constexpr int callers = 4;
    constexpr int jobsEach = 200;
    JobRecord record;
    std::vector<std::atomic<int>> runs(callers * jobsEach);

    // A job that counts its own runs.
    class CountingJob : public UaThreadJob
    {
    public:
        CountingJob(std::atomic<int>& runs, JobRecord& record) : m_runs(runs), m_record(record) {}
        ~CountingJob() override { ++m_record.deleted; }
        void execute() override { ++m_runs; }

    private:
        std::atomic<int>& m_runs;
        JobRecord& m_record;
    };

    {
        UaThreadPool pool(1, 3);
        std::vector<std::thread> threads;
        for (int t = 0; t < callers; ++t)
            threads.emplace_back(
                [&, t]
                {
                    for (int j = 0; j < jobsEach; ++j)
                        EXPECT_EQ(pool.addJob(new CountingJob(runs[t * jobsEach + j], record)), OpcUa_Good);
                });
        for (std::thread& thread : threads)
            thread.join();
    }
    EXPECT_EQ(record.deleted, callers * jobsEach);
    for (size_t i = 0; i < runs.size(); ++i)
        ASSERT_EQ(runs[i], 1) << "job " << i;
}

} // namespace
