// The server's own reads across node managers: one transaction per I/O manager, items answered
// under their 1-based index from any thread, failures in place of values, and the wait for the last
// answer.
#include "nodemanagertestbed.h"

#include "uadatavariabledevice.h"
#include "uavariablecache.h"

#include <uatracecapture.h>

using namespace testbed;

namespace
{
// Holds the items of one read.
struct Reads
{
    explicit Reads(const std::vector<std::pair<UaNodeId, OpcUa_UInt32>>& items) { fill(nodesToRead, items); }
    static void fill(UaReadValueIdArray& nodesToRead,
                     const std::vector<std::pair<UaNodeId, OpcUa_UInt32>>& items);
    UaReadValueIdArray nodesToRead;
};

void Reads::fill(UaReadValueIdArray& nodesToRead, const std::vector<std::pair<UaNodeId, OpcUa_UInt32>>& items)
{
    nodesToRead.create(static_cast<OpcUa_UInt32>(items.size()));
    for (OpcUa_UInt32 i = 0; i < nodesToRead.length(); ++i)
    {
        items[i].first.copyTo(&nodesToRead[i].NodeId);
        nodesToRead[i].AttributeId = items[i].second;
    }
}

// An I/O manager that records its calls and answers each item with its index as an Int32 value:
// inside beginRead, or after finishTransaction from a thread of its own; or refuses.
class ScriptedIOManager : public IOManagerUaNode
{
public:
    enum class Answer
    {
        Inside,
        OwnThread,
        RefuseRead,
        RefuseTransaction
    };
    ScriptedIOManager(const char* name, std::vector<std::string>& calls, Answer answer)
        : m_name(name), m_calls(calls), m_answer(answer)
    {
    }
    ~ScriptedIOManager() override
    {
        for (std::thread& thread : m_threads)
            thread.join();
    }

    UaStatus beginTransaction(IOManagerCallback* pCallback, const ServiceContext&, OpcUa_UInt32 hTransaction,
                              OpcUa_UInt32 countHint, OpcUa_Double, OpcUa_TimestampsToReturn,
                              OpcUa_UInt32 type, OpcUa_Handle& hContext) override
    {
        m_calls.push_back(m_name + " begin " + std::to_string(countHint) + " type " + std::to_string(type));
        m_callback = pCallback;
        m_transaction = hTransaction;
        hContext = this;
        return m_answer == Answer::RefuseTransaction ? UaStatus(OpcUa_BadResourceUnavailable)
                                                     : UaStatus(OpcUa_Good);
    }
    UaStatus beginRead(OpcUa_Handle hContext, OpcUa_UInt32 callbackHandle, VariableHandle*,
                       OpcUa_ReadValueId*) override
    {
        EXPECT_EQ(hContext, this);
        m_calls.push_back(m_name + " read " + std::to_string(callbackHandle));
        if (m_answer == Answer::RefuseRead)
            return OpcUa_BadOutOfService;
        if (m_answer == Answer::Inside)
            answer(callbackHandle);
        else
            m_pending.push_back(callbackHandle);
        return OpcUa_Good;
    }
    UaStatus finishTransaction(OpcUa_Handle) override
    {
        m_calls.push_back(m_name + " finish");
        if (!m_pending.empty())
            m_threads.emplace_back(
                [this, pending = m_pending]
                {
                    UaThread::sleep(20);
                    for (OpcUa_UInt32 handle : pending)
                        answer(handle);
                });
        m_pending.clear();
        return OpcUa_Good;
    }

private:
    void answer(OpcUa_UInt32 callbackHandle)
    {
        UaDataValue value;
        value.setValue(UaVariant(static_cast<OpcUa_Int32>(callbackHandle)), false, false);
        m_callback->finishRead(m_transaction, callbackHandle, value, true, true, nullptr);
    }

    std::string m_name;
    std::vector<std::string>& m_calls;
    Answer m_answer;
    IOManagerCallback* m_callback = nullptr;
    OpcUa_UInt32 m_transaction = 0;
    std::vector<OpcUa_UInt32> m_pending;
    std::vector<std::thread> m_threads;
};

OpcUa_Int32 int32Of(const OpcUa_DataValue& value)
{
    OpcUa_Int32 number = -1;
    UaVariant(value.Value).toInt32(number);
    return number;
}
} // namespace

TEST(CoreTransactions, ReadsAcrossNodeManagersWithAMissingMiddleNode)
{
    TestServer server;
    TestNodeManager nm{
        "urn:test:core", [](TestNodeManager& m)
        {
            m.addUaNode(new UaDataVariableCache("Speed", UaNodeId(1, 2), UaVariant(1.5), 3, "en"));
            return m.addUaNode(
                new UaDataVariableDevice("Pressure", UaNodeId(3, 2), UaNodeId(11, 0), -1, 3, "en"));
        }};
    nm.readHook = [](const UaVariableArray& variables, UaDataValueArray& values)
    {
        values.create(variables.length());
        for (OpcUa_UInt32 i = 0; i < values.length(); ++i)
        {
            UaDataValue value;
            value.setValue(UaVariant(6.5), false, true);
            value.copyTo(&values[i]);
        }
        return UaStatus(OpcUa_Good);
    };
    ASSERT_TRUE(nm.startUp(&server.serverManager).isGood());
    CoreTransactions& core = *server.serverManager.getCoreTransactions();
    // The server's attribute reader is its core read transactions.
    EXPECT_EQ(NodeAttributeReader::instance(), static_cast<NodeAttributeReader*>(&core));

    UaDataValueArray results;
    UaTraceCapture trace(6);
    ASSERT_TRUE(
        server.serverManager
            .readByNodeIds(
                ServiceContext(), 0.0, OpcUa_TimestampsToReturn_Both,
                Reads(
                    {{UaNodeId(1, 2), 13}, {UaNodeId(2, 2), 13}, {UaNodeId(3, 2), 13}, {UaNodeId(85, 0), 3}})
                    .nodesToRead,
                results)
            .isGood());
    ASSERT_EQ(results.length(), 4u);
    EXPECT_TRUE(UaVariant(results[0].Value) == UaVariant(1.5));
    EXPECT_EQ(results[1].StatusCode, OpcUa_BadNodeIdUnknown);
    EXPECT_TRUE(UaVariant(results[2].Value) == UaVariant(6.5));
    UaQualifiedName objects;
    UaVariant(results[3].Value).toQualifiedName(objects);
    EXPECT_EQ(objects, UaQualifiedName("Objects", 0));
    EXPECT_TRUE(trace.contains(6, "--> CoreTransactions::read with NodeIds"));
    EXPECT_TRUE(trace.contains(6, "<-- CoreTransactions::read [ret=OpcUa_Good]"));
    EXPECT_TRUE(trace.contains(6, "<-- CoreTransactions::read with NodeIds [ret=OpcUa_Good]"));
    EXPECT_EQ(core.pendingCount(), 0u);

    UaDataValueArray none;
    EXPECT_EQ(
        server.serverManager
            .readByNodeIds(ServiceContext(), 0.0, OpcUa_TimestampsToReturn_Both, UaReadValueIdArray(), none)
            .statusCode(),
        OpcUa_BadNothingToDo);
    EXPECT_TRUE(trace.contains(6, "<-- CoreTransactions::read [ret=OpcUa_BadNothingToDo]"));
    nm.shutDown();
}

TEST(CoreTransactions, OneTransactionPerIOManagerAnsweredOnAnyThread)
{
    ServerManager owner;
    std::vector<std::string> calls;
    ScriptedIOManager inside("A", calls, ScriptedIOManager::Answer::Inside);
    ScriptedIOManager threaded("B", calls, ScriptedIOManager::Answer::OwnThread);
    ScriptedIOManager refusing("C", calls, ScriptedIOManager::Answer::RefuseRead);
    ScriptedIOManager closed("D", calls, ScriptedIOManager::Answer::RefuseTransaction);
    VariableHandle a(&inside, 13);
    VariableHandle b(&threaded, 13);
    VariableHandle c(&refusing, 13);
    VariableHandle d(&closed, 13);
    VariableHandle orphan(nullptr, 13);
    // Items: B A B (none) C A D (no I/O manager).
    VariableHandle* order[] = {&b, &a, &b, nullptr, &c, &a, &d, &orphan};
    UaPointerArray<VariableHandle> handles;
    handles.create(8);
    for (OpcUa_UInt32 i = 0; i < 8; ++i)
        handles[i] = order[i];
    const Reads reads(std::vector<std::pair<UaNodeId, OpcUa_UInt32>>(8, {UaNodeId(1, 2), 13}));
    UaDataValueArray results;
    ASSERT_TRUE(owner.getCoreTransactions()
                    ->read(ServiceContext(), 0.0, OpcUa_TimestampsToReturn_Server, handles, reads.nodesToRead,
                           results)
                    .isGood());

    EXPECT_EQ(calls, (std::vector<std::string>{"B begin 8 type 0", "B read 1", "A begin 8 type 0", "A read 2",
                                               "B read 3", "C begin 8 type 0", "C read 5", "A read 6",
                                               "D begin 8 type 0", "B finish", "A finish", "C finish"}));
    ASSERT_EQ(results.length(), 8u);
    for (OpcUa_UInt32 index : {1u, 2u, 3u, 6u})
        EXPECT_EQ(int32Of(results[index - 1]), static_cast<OpcUa_Int32>(index)) << index;
    const std::vector<std::pair<OpcUa_UInt32, OpcUa_StatusCode>> failures = {
        {4, OpcUa_BadNodeIdUnknown},
        {5, OpcUa_BadOutOfService},
        {7, OpcUa_BadResourceUnavailable},
        {8, OpcUa_BadInternalError}};
    for (const auto& [index, status] : failures)
    {
        EXPECT_EQ(results[index - 1].StatusCode, status) << index;
        // The failure carries a server time stamp where the caller asked for one.
        EXPECT_FALSE(UaDateTime(results[index - 1].ServerTimestamp).isNull()) << index;
    }
    EXPECT_EQ(owner.getCoreTransactions()->pendingCount(), 0u);
}

TEST(CoreTransactions, AnswersToUnknownTransactionsAreRefusedAndStrayIndexesOnlyCount)
{
    ServerManager owner;
    CoreTransactions& core = *owner.getCoreTransactions();
    UaDataValue value;
    EXPECT_EQ(core.finishRead(0, 1, value, false, false, nullptr).statusCode(), OpcUa_BadInvalidArgument);
    EXPECT_EQ(core.finishRead(17, 1, value, false, false, nullptr).statusCode(), OpcUa_BadInvalidArgument);
    UaStatus status;
    EXPECT_EQ(core.finishWrite(1, 1, status, false).statusCode(), OpcUa_BadNotImplemented);

    // An I/O manager that answers a stray index first and the real one then: the stray answer counts,
    // so the read of one item ends with it and the item keeps its empty result.
    class Stray : public IOManagerUaNode
    {
    public:
        UaStatus beginRead(OpcUa_Handle hContext, OpcUa_UInt32, VariableHandle*, OpcUa_ReadValueId*) override
        {
            auto* context = static_cast<IOTransactionContext*>(hContext);
            UaDataValue stray;
            stray.setValue(UaVariant(OpcUa_Int32(99)), false, false);
            EXPECT_TRUE(context->callback()
                            ->finishRead(context->hTransaction(), 5, stray, false, false, nullptr)
                            .isGood());
            return OpcUa_Good;
        }
    } stray;
    VariableHandle handle(&stray, 13);
    UaPointerArray<VariableHandle> handles;
    handles.create(1);
    handles[0] = &handle;
    UaDataValueArray results;
    ASSERT_TRUE(core.read(ServiceContext(), 0.0, OpcUa_TimestampsToReturn_Neither, handles,
                          Reads({{UaNodeId(1, 2), 13}}).nodesToRead, results)
                    .isGood());
    ASSERT_EQ(results.length(), 1u);
    EXPECT_EQ(results[0].Value.Datatype, OpcUaType_Null);
    EXPECT_EQ(results[0].StatusCode, OpcUa_Good);
}
