// The method manager with methods of its two kinds, defined here; time is the stack's test clock.
#include <opcuamethodmanager.h>

#include <opcua_testclock.hpp>
#include <servicecontext.h>
#include <uaplainnodes.h>
#include <uatracecapture.h>

#include <gtest/gtest.h>

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
        results.push_back(result);
        return OpcUa_Good;
    }
    std::vector<Result> results;
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

// Keeps the keys of its calls; the test ends them.
class Deferred : public COpcUaMethodAsync
{
public:
    Deferred() : COpcUaMethodAsync("Deferred", UaNodeId("Deferred", 2), "en") {}
    void BeginCall(const UaVariantArray&, OpcUa_Handle key) override { keys.push_back(key); }
    OpcUa_UInt32 Timeout() const override { return 1000; }
    UaStatus end(OpcUa_Handle key, OpcUa_StatusCode status)
    {
        UaStatusCodeArray results;
        UaDiagnosticInfos infos;
        UaVariantArray outputs;
        return EndCall(key, status, results, infos, outputs);
    }
    std::vector<OpcUa_Handle> keys;
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

TEST_F(GktMethodTest, AMethodOfNeitherKindIsRefusedWithoutAnAnswer)
{
    UaMethodPlain foreign(UaNodeId("Foreign", 2), UaQualifiedName("Foreign", 2),
                          UaLocalizedText("en", "Foreign"), UaLocalizedText(), true, true);
    EXPECT_EQ(call(&foreign, 6).statusCode(), OpcUa_BadMethodInvalid);
    EXPECT_EQ(call(nullptr, 7).statusCode(), OpcUa_BadInvalidArgument);
    EXPECT_TRUE(m_callback.results.empty());
}
} // namespace
