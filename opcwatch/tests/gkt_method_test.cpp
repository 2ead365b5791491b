// The method manager with methods of its two kinds, defined here; time is the stack's test clock.
#include <opcuamethodmanager.h>

#include <opcua_testclock.hpp>
#include <servicecontext.h>
#include <uaplainnodes.h>
#include <uatracecapture.h>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace
{
struct Result
{
    OpcUa_UInt32 callbackHandle;
    OpcUa_StatusCode status;
    std::vector<OpcUa_Int32> outputs;
};

class RecordingCall : public MethodCallCallback
{
public:
    UaStatus callFinished(OpcUa_UInt32 callbackHandle, UaStatusCodeArray& inputArgumentResults,
                          UaDiagnosticInfos&, UaVariantArray& outputArguments, UaStatus& statusCode) override
    {
        Result result{callbackHandle, statusCode.statusCode(), {}};
        EXPECT_EQ(inputArgumentResults.length(), 0u);
        for (OpcUa_UInt32 i = 0; i < outputArguments.length(); ++i)
            result.outputs.push_back(outputArguments[i].Value.Int32);
        std::lock_guard guard(m_lock);
        results.push_back(result);
        return OpcUa_Good;
    }
    // Read by the test once its threads are done.
    std::vector<Result> results;

private:
    std::mutex m_lock;
};

// Doubles its one Int32 argument.
class DoubleIt : public COpcUaMethod
{
public:
    DoubleIt() : COpcUaMethod("DoubleIt", UaNodeId("DoubleIt", 2), "en") {}
    UaStatus Call(const UaVariantArray& inputArguments, UaVariantArray& outputArguments) override
    {
        if (inputArguments.length() != 1)
            return OpcUa_BadArgumentsMissing;
        outputArguments.create(1);
        outputArguments[0].Datatype = OpcUaType_Int32;
        outputArguments[0].Value.Int32 = 2 * inputArguments[0].Value.Int32;
        return OpcUa_Good;
    }
};

UaStatus endCall(COpcUaMethodAsync& method, OpcUa_Handle key, OpcUa_StatusCode status)
{
    UaStatusCodeArray results;
    UaDiagnosticInfos infos;
    UaVariantArray outputs;
    return method.EndCall(key, status, results, infos, outputs);
}

// Keeps the keys of its calls; the test ends them.
class Deferred : public COpcUaMethodAsync
{
public:
    Deferred() : COpcUaMethodAsync("Deferred", UaNodeId("Deferred", 2), "en") {}
    void BeginCall(const UaVariantArray&, OpcUa_Handle key) override { keys.push_back(key); }
    OpcUa_UInt32 Timeout() const override { return 1000; }
    UaStatus end(OpcUa_Handle key, OpcUa_StatusCode status) { return endCall(*this, key, status); }
    std::vector<OpcUa_Handle> keys;
};

// Hands each call's key, twice, to whichever thread takes it next.
class Shared : public COpcUaMethodAsync
{
public:
    explicit Shared(OpcUa_UInt32 timeout)
        : COpcUaMethodAsync("Shared", UaNodeId("Shared", 2), "en"), m_timeout(timeout)
    {
    }
    void BeginCall(const UaVariantArray&, OpcUa_Handle key) override
    {
        std::lock_guard guard(m_lock);
        m_keys.push_back(key);
        m_keys.push_back(key);
        m_keyAdded.notify_all();
    }
    OpcUa_UInt32 Timeout() const override { return m_timeout; }
    // The next key handed out; null once `total` keys were taken.
    OpcUa_Handle take(std::size_t total)
    {
        std::unique_lock lock(m_lock);
        m_keyAdded.wait(lock, [&] { return !m_keys.empty() || m_taken == total; });
        if (m_keys.empty())
            return nullptr;
        const OpcUa_Handle key = m_keys.front();
        m_keys.pop_front();
        if (++m_taken == total)
            m_keyAdded.notify_all();
        return key;
    }

private:
    const OpcUa_UInt32 m_timeout;
    std::mutex m_lock;
    std::condition_variable m_keyAdded;
    std::deque<OpcUa_Handle> m_keys;
    std::size_t m_taken = 0;
};

class GktMethodTest : public ::testing::Test
{
protected:
    UaStatus call(UaNode* method, OpcUa_UInt32 callbackHandle, OpcUa_Int32 argument = 21)
    {
        MethodHandle handle(&m_manager, &m_object, method);
        UaVariantArray inputs;
        inputs.create(1);
        inputs[0].Datatype = OpcUaType_Int32;
        inputs[0].Value.Int32 = argument;
        return m_manager.beginCall(&m_callback, ServiceContext(), callbackHandle, &handle, inputs);
    }

    COpcUaMethodManager m_manager;
    UaObjectPlain m_object{UaNodeId("Object", 2),
                           UaQualifiedName("Object", 2),
                           UaLocalizedText("en", "Object"),
                           UaLocalizedText(),
                           UaNodeId(58, 0),
                           0};
    RecordingCall m_callback;
    UaTraceCapture m_trace{7};
};

TEST_F(GktMethodTest, ASynchronousMethodAnswersInsideTheCall)
{
    DoubleIt method;
    EXPECT_EQ(call(&method, 4).statusCode(), OpcUa_Good);
    ASSERT_EQ(m_callback.results.size(), 1u);
    EXPECT_EQ(m_callback.results[0].callbackHandle, 4u);
    EXPECT_EQ(m_callback.results[0].status, OpcUa_Good);
    EXPECT_EQ(m_callback.results[0].outputs, std::vector<OpcUa_Int32>{42});
    EXPECT_TRUE(m_trace.contains(4, "DONE pSync->Call"));
    EXPECT_TRUE(m_trace.contains(6, "<=COpcUaMethodManager::beginCall [ret=08x0]"));
}

TEST_F(GktMethodTest, AnAsynchronousMethodAnswersOnceWhenItEnds)
{
    Deferred method;
    EXPECT_EQ(call(&method, 5).statusCode(), OpcUa_Good);
    EXPECT_TRUE(m_callback.results.empty());
    ASSERT_EQ(method.keys.size(), 1u);
    EXPECT_EQ(method.end(method.keys[0], OpcUa_BadUserAccessDenied).statusCode(), OpcUa_Good);
    ASSERT_EQ(m_callback.results.size(), 1u);
    EXPECT_EQ(m_callback.results[0].callbackHandle, 5u);
    EXPECT_EQ(m_callback.results[0].status, OpcUa_BadUserAccessDenied);
    // A second end of the same call reaches nobody.
    EXPECT_EQ(method.end(method.keys[0], OpcUa_Good).statusCode(), OpcUa_BadInternalError);
    EXPECT_EQ(m_callback.results.size(), 1u);
}

TEST_F(GktMethodTest, APendingCallExpiresWhenTheNextCallBegins)
{
    struct Case
    {
        const char* name;
        OpcUa_UInt32 startTick;
        OpcUa_UInt32 advance;
        bool expired;
    };
    const Case cases[] = {
        {"before its time-out", 5000, 999, false},
        {"at its time-out", 5000, 1000, true},
        // The tick count wraps: the new count lies below the start.
        {"over the wrap of the tick count", 0xFFFFFFF0u, 0x20, true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        OpcUa::TestClock clock(OpcUa_DateTime{}, c.startTick);
        Deferred method;
        RecordingCall first;
        m_callback.results.clear();
        ASSERT_EQ(call(&method, 1).statusCode(), OpcUa_Good);
        clock.advance(c.advance);
        ASSERT_EQ(call(&method, 2).statusCode(), OpcUa_Good);
        EXPECT_EQ(method.pendingCount(), c.expired ? 1u : 2u);
        if (c.expired)
        {
            ASSERT_EQ(m_callback.results.size(), 1u);
            EXPECT_EQ(m_callback.results[0].callbackHandle, 1u);
            EXPECT_EQ(m_callback.results[0].status, OpcUa_BadInternalError);
            EXPECT_TRUE(m_trace.contains(2, "COpcUaMethodAsync method call timed out"));
            EXPECT_EQ(method.end(method.keys[0], OpcUa_Good).statusCode(), OpcUa_BadInternalError);
        }
        else
            EXPECT_TRUE(m_callback.results.empty());
        m_trace.clear();
    }
}

// Calls begin on some threads while others end each call twice; with a time-out of 0 every new call
// also expires the calls still pending. Whoever ends a call first answers it, and only once.
TEST_F(GktMethodTest, CallsEndedFromSeveralThreadsAreAnsweredOnce)
{
    constexpr int kCallers = 3;
    constexpr int kEnders = 4;
    constexpr OpcUa_UInt32 kCallsEach = 100;
    constexpr std::size_t kCalls = kCallers * kCallsEach;
    // The tick count stands still: a call expires only when its time-out is 0.
    OpcUa::TestClock clock(OpcUa_DateTime{}, 1000);
    for (const OpcUa_UInt32 timeout : {0xFFFFFFFFu, 0u})
    {
        SCOPED_TRACE(timeout);
        Shared method(timeout);
        RecordingCall callback;
        std::atomic<std::size_t> ended{0}, refused{0};
        std::vector<std::thread> threads;
        for (int caller = 0; caller < kCallers; ++caller)
            threads.emplace_back(
                [&, caller]
                {
                    for (OpcUa_UInt32 i = 0; i < kCallsEach; ++i)
                    {
                        MethodHandle handle(&m_manager, &m_object, &method);
                        UaVariantArray inputs;
                        EXPECT_EQ(m_manager
                                      .beginCall(&callback, ServiceContext(), caller * kCallsEach + i + 1,
                                                 &handle, inputs)
                                      .statusCode(),
                                  OpcUa_Good);
                    }
                });
        for (int ender = 0; ender < kEnders; ++ender)
            threads.emplace_back(
                [&]
                {
                    while (const OpcUa_Handle key = method.take(2 * kCalls))
                        (endCall(method, key, OpcUa_Good).isGood() ? ended : refused)++;
                });
        for (std::thread& thread : threads)
            thread.join();

        EXPECT_EQ(method.pendingCount(), 0u);
        ASSERT_EQ(callback.results.size(), kCalls);
        std::map<OpcUa_UInt32, int> answers;
        std::size_t expired = 0;
        for (const Result& result : callback.results)
        {
            ++answers[result.callbackHandle];
            expired += result.status == OpcUa_BadInternalError;
        }
        EXPECT_EQ(answers.size(), kCalls);
        EXPECT_EQ(answers.begin()->first, 1u);
        EXPECT_EQ(answers.rbegin()->first, kCalls);
        EXPECT_EQ(ended + expired, kCalls);
        EXPECT_EQ(refused, kCalls + expired);
        if (timeout != 0)
        {
            EXPECT_EQ(expired, 0u);
        }
    }
}

// The answer runs outside the method's lock: a callback may end another call of the same method.
TEST_F(GktMethodTest, AnAnswerMayEndAnotherCall)
{
    Deferred method;
    class EndsTheOther : public MethodCallCallback
    {
    public:
        EndsTheOther(Deferred& method, RecordingCall& record) : m_method(method), m_record(record) {}
        UaStatus callFinished(OpcUa_UInt32 callbackHandle, UaStatusCodeArray& results,
                              UaDiagnosticInfos& infos, UaVariantArray& outputs, UaStatus& status) override
        {
            m_record.callFinished(callbackHandle, results, infos, outputs, status);
            if (callbackHandle == 1)
            {
                EXPECT_EQ(m_method.end(m_method.keys[1], OpcUa_BadWaitingForResponse).statusCode(),
                          OpcUa_Good);
            }
            return OpcUa_Good;
        }

    private:
        Deferred& m_method;
        RecordingCall& m_record;
    } chained(method, m_callback);
    for (OpcUa_UInt32 callbackHandle : {1u, 2u})
    {
        MethodHandle handle(&m_manager, &m_object, &method);
        UaVariantArray inputs;
        ASSERT_EQ(
            m_manager.beginCall(&chained, ServiceContext(), callbackHandle, &handle, inputs).statusCode(),
            OpcUa_Good);
    }
    ASSERT_EQ(method.keys.size(), 2u);
    EXPECT_EQ(method.end(method.keys[0], OpcUa_Good).statusCode(), OpcUa_Good);
    ASSERT_EQ(m_callback.results.size(), 2u);
    EXPECT_EQ(m_callback.results[0].callbackHandle, 1u);
    EXPECT_EQ(m_callback.results[1].callbackHandle, 2u);
    EXPECT_EQ(m_callback.results[1].status, OpcUa_BadWaitingForResponse);
    EXPECT_EQ(method.pendingCount(), 0u);
}

TEST_F(GktMethodTest, AMethodOfNeitherKindIsRefusedWithoutAnAnswer)
{
    UaMethodPlain foreign(UaNodeId("Foreign", 2), UaQualifiedName("Foreign", 2),
                          UaLocalizedText("en", "Foreign"), UaLocalizedText(), true, true);
    EXPECT_EQ(call(&foreign, 6).statusCode(), OpcUa_BadMethodInvalid);
    EXPECT_EQ(call(nullptr, 7).statusCode(), OpcUa_BadInvalidArgument);
    EXPECT_TRUE(m_callback.results.empty());
}
} // namespace
