// The transaction manager's Read and Write: lookups, one transaction per I/O manager, results from
// any thread, completion once, sending inline or on the pool; registered nodes; start-up sizes and
// shut-down with a transaction still pending.
#include "registeredvariablehandle.h"
#include "transaction_fixture.h"

#include <uadatetime.h>
#include <uatracecapture.h>

#include <algorithm>
#include <atomic>
#include <thread>

using namespace runtimetest;
using uaserver::testing::eventually;

namespace
{
using TransactionManagerTest = TransactionManagerFixture;

// The one transaction of an I/O manager: begun before its first item, finished once after its last,
// with its items' callback handles in request order.
void expectOneTransaction(const FakeIOManager& ioManager, const std::string& name,
                          const std::vector<std::string>& log, const std::vector<OpcUa_UInt32>& items)
{
    SCOPED_TRACE(name);
    const auto transactions = ioManager.transactions();
    ASSERT_EQ(transactions.size(), 1u);
    EXPECT_EQ(transactions[0].finishCalls, 1);
    std::vector<OpcUa_UInt32> handles;
    for (const auto& item : transactions[0].items)
        handles.push_back(item.callbackHandle);
    EXPECT_EQ(handles, items);
    std::vector<std::string> own;
    for (const std::string& line : log)
    {
        if (line.rfind(name + " ", 0) == 0)
            own.push_back(line);
    }
    ASSERT_EQ(own.size(), items.size() + 2);
    EXPECT_EQ(own.front(), name + " begin");
    EXPECT_EQ(own.back(), name + " finish");
}

const std::vector<ReadItem> kMixedItems = {{UaNodeId(101, kNs)}, {UaNodeId(7, kNs)},   {UaNodeId(201, kNs)},
                                           {UaNodeId(102, kNs)}, {UaNodeId(301, kNs)}, {UaNodeId(202, kNs)},
                                           {UaNodeId(103, kNs)}, {UaNodeId(203, kNs)}};

TEST_F(TransactionManagerTest, AReadIsSplitByIOManagerAndAnsweredOnceWithEveryResultAtItsIndex)
{
    struct Case
    {
        OpcUa_TimestampsToReturn timestampsToReturn;
        bool serverTimestamp; // on the items that fail before an I/O manager
    };
    const Case cases[] = {{OpcUa_TimestampsToReturn_Source, false},
                          {OpcUa_TimestampsToReturn_Server, true},
                          {OpcUa_TimestampsToReturn_Both, true},
                          {OpcUa_TimestampsToReturn_Neither, false}};
    OpcUa_UInt32 handle = 10;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "TimestampsToReturn " << c.timestampsToReturn);
        EventLog caseLog;
        FakeIOManager a("A", caseLog);
        FakeIOManager b("B", caseLog);
        // A and B interleaved, an unknown node and a handle without I/O manager; the I/O managers
        // answer inside beginRead and from their own threads before, during and after
        // finishTransaction.
        a.answers = {{101, Answer::Inline}, {102, Answer::DuringFinish}, {103, Answer::AfterFinish}};
        b.answers = {{201, Answer::BeforeFinish}, {202, Answer::AfterFinish}, {203, Answer::InlineSendNow}};
        server.root.variableHandles = [&](Session*, OpcUa_UInt32, const OpcUa_NodeId& nodeId,
                                          OpcUa_Int32 attributeId) -> VariableHandle*
        {
            const OpcUa_UInt32 node = numberOf(nodeId);
            if (node / 100 == 1)
                return new VariableHandle(&a, attributeId);
            if (node / 100 == 2)
                return new VariableHandle(&b, attributeId);
            return node / 100 == 3 ? new VariableHandle(nullptr, attributeId) : nullptr;
        };
        startManager();
        OpcUa_Handle context = nullptr;
        ASSERT_TRUE(manager
                        ->beginRead(read(
                            newReadRequest(++handle, kMixedItems, c.timestampsToReturn, 0, 250.0), context))
                        .isGood());

        const FakeAnswer& answer = endpoint.waitForAnswer(context);
        ASSERT_EQ(answer.kind, FakeAnswerKind::Response);
        EXPECT_EQ(answer.status, static_cast<OpcUa_StatusCode>(OpcUa_Good));
        const auto* response = answer.as<OpcUa_ReadResponse>(OpcUa_ReadResponse_EncodeableType);
        ASSERT_NE(response, nullptr);
        ASSERT_EQ(response->NoOfResults, 8);
        for (int i : {0, 2, 3, 5, 6, 7})
        {
            EXPECT_EQ(response->Results[i].StatusCode, static_cast<OpcUa_StatusCode>(OpcUa_Good)) << i;
            EXPECT_EQ(response->Results[i].Value.Value.UInt32, kMixedItems[i].nodeId.identifierNumeric())
                << i;
        }
        EXPECT_EQ(response->Results[1].StatusCode, static_cast<OpcUa_StatusCode>(OpcUa_BadNodeIdUnknown));
        EXPECT_EQ(response->Results[4].StatusCode, static_cast<OpcUa_StatusCode>(OpcUa_BadInternalError));
        for (int i : {1, 4})
        {
            EXPECT_EQ(!UaDateTime(response->Results[i].ServerTimestamp).isNull(), c.serverTimestamp) << i;
            EXPECT_TRUE(UaDateTime(response->Results[i].SourceTimestamp).isNull()) << i;
        }

        // Two transactions, A first as its item came first, each with the whole request's count.
        a.threads.join();
        b.threads.join();
        const auto lines = caseLog.lines();
        EXPECT_EQ(lines.front(), "A begin");
        expectOneTransaction(a, "A", lines, {1, 4, 7});
        expectOneTransaction(b, "B", lines, {3, 6, 8});
        for (const FakeIOManager* ioManager : {&a, &b})
        {
            const auto transaction = ioManager->transactions().front();
            EXPECT_EQ(transaction.countHint, 8u);
            EXPECT_EQ(transaction.maxAge, 250.0);
            EXPECT_EQ(transaction.timestampsToReturn, c.timestampsToReturn);
            EXPECT_EQ(transaction.type, IOTransactionType::Read);
        }
        EXPECT_TRUE(eventually([&] { return session->activeServiceCount() == 0; }));
        EXPECT_EQ(manager->pendingTransactions(), 0u);
        manager.reset();
    }
}

TEST_F(TransactionManagerTest, TheLastResultInsideTheBeginLeavesTheRequestToTheBeginWhichSendsItItself)
{
    startManager();
    ioA.answers = {{101, Answer::Inline}, {102, Answer::InlineSendNow}};
    OpcUa_Handle context = nullptr;
    PendingReadRequest* request =
        read(newReadRequest(3, {{UaNodeId(101, kNs)}, {UaNodeId(102, kNs)}}), context);
    // Every value was at hand: answered on the receiving thread, no worker woken for it.
    EXPECT_TRUE(answeredInsideBegin([&] { return manager->beginRead(request); }, context));
    const auto* response =
        endpoint.waitForAnswer(context).as<OpcUa_ReadResponse>(OpcUa_ReadResponse_EncodeableType);
    ASSERT_NE(response, nullptr);
    ASSERT_EQ(response->NoOfResults, 2);
    EXPECT_EQ(response->Results[1].Value.Value.UInt32, 102u);
}

TEST_F(TransactionManagerTest, AReadOfUnknownNodesOnlyIsAnsweredInsideTheBeginWithoutATransaction)
{
    startManager();
    OpcUa_Handle context = nullptr;
    PendingReadRequest* request =
        read(newReadRequest(4, {{UaNodeId(7, kNs)}, {UaNodeId(8, kNs)}}, OpcUa_TimestampsToReturn_Server),
             context);
    UaTraceCapture trace(1);
    EXPECT_TRUE(answeredInsideBegin([&] { return manager->beginRead(request); }, context));
    const auto* response =
        endpoint.waitForAnswer(context).as<OpcUa_ReadResponse>(OpcUa_ReadResponse_EncodeableType);
    ASSERT_NE(response, nullptr);
    EXPECT_EQ(response->Results[1].StatusCode, static_cast<OpcUa_StatusCode>(OpcUa_BadNodeIdUnknown));
    EXPECT_TRUE(log.lines().empty()) << "no transaction begun";
    EXPECT_EQ(trace.count(1, "    Node[1] NS2|Numeric|8 Attribute=13 OpcUa_BadNodeIdUnknown"), 1u);
}

TEST_F(TransactionManagerTest, AWriteGoesToTheIOManagersAsAWriteTransaction)
{
    startManager();
    ioB.answers = {{202, Answer::Refuse}, {203, Answer::AfterFinish}};
    ioB.refusal = OpcUa_BadNotWritable;
    OpcUa_Handle context = nullptr;
    UaTraceCapture trace(7);
    ASSERT_TRUE(manager
                    ->beginWrite(write(newWriteRequest(5,
                                                       {{UaNodeId(201, kNs)},
                                                        {UaNodeId(101, kNs)},
                                                        {UaNodeId(9, kNs)},
                                                        {UaNodeId(301, kNs)},
                                                        {UaNodeId(202, kNs)},
                                                        {UaNodeId(203, kNs)}},
                                                       40),
                                       context))
                    .isGood());
    const auto* response =
        endpoint.waitForAnswer(context).as<OpcUa_WriteResponse>(OpcUa_WriteResponse_EncodeableType);
    ASSERT_NE(response, nullptr);
    ASSERT_EQ(response->NoOfResults, 6);
    const OpcUa_StatusCode expected[] = {
        OpcUa_Good,           OpcUa_Good, OpcUa_BadNodeIdUnknown, OpcUa_BadInternalError,
        OpcUa_BadNotWritable, OpcUa_Good};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(response->Results[i], expected[i]) << i;
    for (const FakeIOManager* ioManager : {&ioA, &ioB})
    {
        const auto transactions = ioManager->transactions();
        ASSERT_EQ(transactions.size(), 1u);
        EXPECT_EQ(transactions[0].maxAge, 0.0);
        EXPECT_EQ(transactions[0].timestampsToReturn, OpcUa_TimestampsToReturn_Neither);
        EXPECT_EQ(transactions[0].type, IOTransactionType::Write);
        EXPECT_EQ(transactions[0].countHint, 6u);
    }
    EXPECT_EQ(log.lines().front(), "B begin");
    for (const Lookup& lookup : lookups())
        EXPECT_EQ(lookup.serviceType, 1u);
    EXPECT_TRUE(trace.contains(6, "--> UaTransactionManager::beginWrite with 6 nodes"));
    EXPECT_TRUE(trace.contains(7, "Write Request [Request=5]:"));
    EXPECT_TRUE(trace.contains(7, "  NoOfNodesToWrite = 6"));
    EXPECT_TRUE(trace.contains(7, "    Node[1] NS2|Numeric|101 Atr=13 Val=41"));
    EXPECT_TRUE(trace.contains(7, "Write Value[5] 45"));
    EXPECT_FALSE(trace.contains(7, "Write Value[2] 42")) << "an unknown node is not handed over";
}

TEST_F(TransactionManagerTest, RegisteredNodesReadTheirValueThroughTheStoredHandle)
{
    startManager();
    const OpcUa_NodeId toRegister[] = {*UaNodeId(105, kNs).toOpcUaNodeId(),
                                       *UaNodeId(7, kNs).toOpcUaNodeId()};
    ServiceContext context;
    context.setSession(session, OpcUa_RequestHeader{});
    UaNodeIdArray registered;
    ASSERT_TRUE(manager->registerNodes(context, 2, toRegister, registered).isGood());
    ASSERT_EQ(registered.length(), 2u);
    EXPECT_EQ(registered[0].NamespaceIndex, 99);
    EXPECT_EQ(registered[0].IdentifierType, OpcUa_IdentifierType_Numeric);
    EXPECT_TRUE(UaNodeId(registered[1]) == UaNodeId(7, kNs)) << "a node without handle is echoed";
    ASSERT_EQ(lookups().size(), 2u);
    EXPECT_EQ(lookups()[0].serviceType, 3u);
    EXPECT_EQ(lookups()[0].attributeId, AttributeId::Value);
    const UaNodeId alias(registered[0]);

    // Value through the stored handle, DisplayName through the real NodeId.
    OpcUa_Handle readContext = nullptr;
    ASSERT_TRUE(manager
                    ->beginRead(read(
                        newReadRequest(6, {{alias, AttributeId::Value}, {alias, AttributeId::DisplayName}}),
                        readContext))
                    .isGood());
    const auto* response =
        endpoint.waitForAnswer(readContext).as<OpcUa_ReadResponse>(OpcUa_ReadResponse_EncodeableType);
    ASSERT_NE(response, nullptr);
    EXPECT_EQ(response->Results[0].StatusCode, static_cast<OpcUa_StatusCode>(OpcUa_Good));
    EXPECT_EQ(response->Results[1].StatusCode, static_cast<OpcUa_StatusCode>(OpcUa_Good));
    const auto all = lookups();
    ASSERT_EQ(all.size(), 3u) << "Value needs no lookup";
    EXPECT_EQ(all[2].serviceType, 0u);
    EXPECT_EQ(all[2].node, 105u);
    EXPECT_EQ(all[2].attributeId, AttributeId::DisplayName);
    const auto items = ioA.transactions().front().items;
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].handle, all[0].handle) << "the handle stored at registration";
    EXPECT_EQ(items[1].handle, all[2].handle);
    EXPECT_EQ(items[1].attributeId, AttributeId::DisplayName);

    // Unregistering ignores NodeIds that are no alias; the alias is unknown afterwards.
    const OpcUa_NodeId toUnregister[] = {registered[0], *UaNodeId(105, kNs).toOpcUaNodeId()};
    ASSERT_TRUE(manager->unregisterNodes(context, 2, toUnregister).isGood());
    OpcUa_Handle again = nullptr;
    ASSERT_TRUE(manager->beginRead(read(newReadRequest(7, {{alias}}), again)).isGood());
    const auto* unknown =
        endpoint.waitForAnswer(again).as<OpcUa_ReadResponse>(OpcUa_ReadResponse_EncodeableType);
    ASSERT_NE(unknown, nullptr);
    EXPECT_EQ(unknown->Results[0].StatusCode, static_cast<OpcUa_StatusCode>(OpcUa_BadNodeIdUnknown));
}

TEST_F(TransactionManagerTest, AnAliasReadWhileAnotherThreadUnregistersItFindsTheNodeOrNothing)
{
    startManager();
    ServiceContext context;
    context.setSession(session, OpcUa_RequestHeader{});
    const OpcUa_NodeId node = *UaNodeId(110, kNs).toOpcUaNodeId();
    std::atomic<bool> done{false};
    // Registers and unregisters the node again and again; the alias stays the same, as the
    // session gives the freed number out first.
    UaNodeIdArray registered;
    ASSERT_TRUE(manager->registerNodes(context, 1, &node, registered).isGood());
    const UaNodeId alias(registered[0]);
    std::thread churn(
        [&]
        {
            while (!done)
            {
                manager->unregisterNodes(context, 1, alias.toOpcUaNodeId());
                UaNodeIdArray again;
                manager->registerNodes(context, 1, &node, again);
            }
        });
    for (OpcUa_UInt32 r = 0; r < 200; ++r)
    {
        OpcUa_Handle readContext = nullptr;
        ASSERT_TRUE(manager->beginRead(read(newReadRequest(2000 + r, {{alias}}), readContext)).isGood());
        const auto* response =
            endpoint.waitForAnswer(readContext).as<OpcUa_ReadResponse>(OpcUa_ReadResponse_EncodeableType);
        ASSERT_NE(response, nullptr);
        const OpcUa_StatusCode status = response->Results[0].StatusCode;
        EXPECT_TRUE(status == OpcUa_Good || status == OpcUa_BadNodeIdUnknown) << std::hex << status;
    }
    done = true;
    churn.join();
}

// A node registered again keeps its alias, within one request and across requests; a session holds
// at most as many registrations as monitored items, and a request that would pass that registers
// nothing (BadTooManyOperations) until an alias is given back.
TEST_F(TransactionManagerTest, RegistrationsAreBoundedPerSessionAndANodeKeepsItsAlias)
{
    auto served = server.root.variableHandles;
    server.root.variableHandles = [&](Session* s, OpcUa_UInt32 serviceType, const OpcUa_NodeId& nodeId,
                                      OpcUa_Int32 attributeId) -> VariableHandle*
    {
        if (nodeId.NamespaceIndex == kNs && numberOf(nodeId) >= 10000)
            return new VariableHandle(&ioA, attributeId);
        return served(s, serviceType, nodeId, attributeId);
    };
    startManager();
    ServiceContext context;
    context.setSession(session, OpcUa_RequestHeader{});
    auto registerAll = [&](const std::vector<OpcUa_UInt32>& nodes, UaNodeIdArray& registered)
    {
        std::vector<OpcUa_NodeId> ids;
        for (OpcUa_UInt32 node : nodes)
            ids.push_back(*UaNodeId(node, kNs).toOpcUaNodeId());
        return manager->registerNodes(context, static_cast<OpcUa_Int32>(ids.size()), ids.data(), registered)
            .statusCode();
    };

    UaNodeIdArray first;
    ASSERT_EQ(OpcUa_Good, registerAll({105, 106, 105}, first));
    ASSERT_EQ(3u, first.length());
    EXPECT_EQ(first[0].Identifier.Numeric, first[2].Identifier.Numeric);
    EXPECT_NE(first[0].Identifier.Numeric, first[1].Identifier.Numeric);
    UaNodeIdArray again;
    ASSERT_EQ(OpcUa_Good, registerAll({106}, again));
    EXPECT_EQ(first[1].Identifier.Numeric, again[0].Identifier.Numeric);
    EXPECT_EQ(2u, session->registeredNodeCount());

    std::vector<OpcUa_UInt32> many;
    for (OpcUa_UInt32 node = 10000; many.size() + 2 < UaSession::kMaxRegisteredNodes; ++node)
        many.push_back(node);
    UaNodeIdArray filled;
    ASSERT_EQ(OpcUa_Good, registerAll(many, filled));
    EXPECT_EQ(UaSession::kMaxRegisteredNodes, session->registeredNodeCount());

    const OpcUa_UInt32 beyond = 10000 + UaSession::kMaxRegisteredNodes;
    UaNodeIdArray refused;
    EXPECT_EQ(OpcUa_BadTooManyOperations, registerAll({105, beyond}, refused));
    EXPECT_EQ(0u, refused.length());
    EXPECT_EQ(UaSession::kMaxRegisteredNodes, session->registeredNodeCount());
    UaNodeIdArray known;
    ASSERT_EQ(OpcUa_Good, registerAll({105, 7}, known)); // nothing new: no growth
    EXPECT_EQ(first[0].Identifier.Numeric, known[0].Identifier.Numeric);

    ASSERT_TRUE(manager->unregisterNodes(context, 1, &first[0]).isGood());
    UaNodeIdArray fits;
    ASSERT_EQ(OpcUa_Good, registerAll({beyond}, fits));
    EXPECT_EQ(RegisteredVariableHandle::aliasNamespace, fits[0].NamespaceIndex);
    EXPECT_EQ(UaSession::kMaxRegisteredNodes, session->registeredNodeCount());
}

TEST_F(TransactionManagerTest, CallbacksForUnknownTransactionsAreRefusedAndHandleZeroStillCounts)
{
    startManager();
    UaDataValue value;
    EXPECT_EQ(manager->finishRead(0, 1, value, true, true, nullptr).statusCode(),
              static_cast<OpcUa_StatusCode>(OpcUa_BadInvalidArgument));
    UaStatus status;
    EXPECT_EQ(manager->finishWrite(77, 1, status, true).statusCode(),
              static_cast<OpcUa_StatusCode>(OpcUa_BadInvalidArgument));

    ioA.answers = {{101, Answer::Hold}, {102, Answer::Hold}};
    OpcUa_Handle context = nullptr;
    ASSERT_TRUE(
        manager->beginRead(read(newReadRequest(8, {{UaNodeId(101, kNs)}, {UaNodeId(102, kNs)}}), context))
            .isGood());
    const OpcUa_UInt32 id = ioA.transactions().front().id;
    // A write callback for a read transaction is refused too.
    EXPECT_EQ(manager->finishWrite(id, 1, status, true).statusCode(),
              static_cast<OpcUa_StatusCode>(OpcUa_BadInvalidArgument));
    EXPECT_TRUE(manager->finishRead(id, 0, value, true, true, nullptr).isGood());
    EXPECT_FALSE(endpoint.isAnswered(context));
    // The first held item completes the count; the second finds no transaction.
    const auto results = ioA.answerHeld();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0], static_cast<OpcUa_StatusCode>(OpcUa_Good));
    EXPECT_EQ(results[1], static_cast<OpcUa_StatusCode>(OpcUa_BadInvalidArgument));
    const auto* response =
        endpoint.waitForAnswer(context).as<OpcUa_ReadResponse>(OpcUa_ReadResponse_EncodeableType);
    ASSERT_NE(response, nullptr);
    EXPECT_EQ(response->Results[0].Value.Value.UInt32, 101u);
    EXPECT_EQ(response->Results[1].Value.Datatype, OpcUaType_Null);
}

TEST_F(TransactionManagerTest, ALateAnswerForAFinishedTransactionIsRefusedThoughANewerOneTookItsPlace)
{
    startManager();
    ioA.answers = {{101, Answer::Hold}, {102, Answer::Hold}};
    OpcUa_Handle first = nullptr;
    ASSERT_TRUE(manager->beginRead(read(newReadRequest(12, {{UaNodeId(101, kNs)}}), first)).isGood());
    const auto firstHeld = ioA.held();
    EXPECT_EQ(ioA.answerHeld(), std::vector<OpcUa_StatusCode>{OpcUa_Good});
    ASSERT_EQ(endpoint.waitForAnswer(first).kind, FakeAnswerKind::Response);
    ASSERT_EQ(manager->pendingTransactions(), 0u);

    // The next transaction takes the place the first one left.
    OpcUa_Handle second = nullptr;
    ASSERT_TRUE(manager->beginRead(read(newReadRequest(13, {{UaNodeId(102, kNs)}}), second)).isGood());
    const auto transactions = ioA.transactions();
    ASSERT_EQ(transactions.size(), 2u);
    EXPECT_NE(transactions[1].id, transactions[0].id);

    // The first transaction's answer again, late: it names no request and leaves the newer one alone.
    const auto secondHeld = ioA.held();
    ioA.holdAgain(firstHeld);
    EXPECT_EQ(ioA.answerHeld(), std::vector<OpcUa_StatusCode>{OpcUa_BadInvalidArgument});
    UaDataValue late;
    late.setStatusCode(OpcUa_BadTimeout);
    EXPECT_EQ(manager->finishRead(transactions[0].id, 1, late, true, true, nullptr).statusCode(),
              static_cast<OpcUa_StatusCode>(OpcUa_BadInvalidArgument));
    EXPECT_FALSE(endpoint.isAnswered(second));
    EXPECT_EQ(manager->pendingTransactions(), 1u);

    ioA.holdAgain(secondHeld);
    EXPECT_EQ(ioA.answerHeld(), std::vector<OpcUa_StatusCode>{OpcUa_Good});
    const auto* response =
        endpoint.waitForAnswer(second).as<OpcUa_ReadResponse>(OpcUa_ReadResponse_EncodeableType);
    ASSERT_NE(response, nullptr);
    EXPECT_EQ(response->Results[0].StatusCode, static_cast<OpcUa_StatusCode>(OpcUa_Good));
    EXPECT_EQ(response->Results[0].Value.Value.UInt32, 102u);
}

TEST_F(TransactionManagerTest, PoolSizesComeFromTheConfiguration)
{
    struct Case
    {
        bool set;
        OpcUa_UInt32 minimum, maximum;
        OpcUa_UInt32 settledMinimum, settledMaximum;
    };
    const Case cases[] = {
        {false, 0, 0, 4, 4}, // the configuration leaves the presets
        {true, 0, 0, 1, 1},  // below 1 becomes 1
        {true, 5, 2, 2, 2},  // the minimum is lowered to the maximum
        {true, 1, 4, 1, 4},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "(" << c.minimum << ", " << c.maximum << ")");
        server.config.ioLimitsSet = c.set;
        server.config.ioLimits[0] = c.minimum;
        server.config.ioLimits[1] = c.maximum;
        UaTransactionManager transactions(&server, nullptr);
        ASSERT_TRUE(transactions.startUp().isGood());
        OpcUa_UInt32 minimum = 0;
        OpcUa_UInt32 maximum = 0;
        transactions.workerPoolSizes(minimum, maximum);
        EXPECT_EQ(minimum, c.settledMinimum);
        EXPECT_EQ(maximum, c.settledMaximum);
    }
}

// A server manager that can lack its parts.
class PartialServerManager : public ServerManagerLink
{
public:
    ServerConfig* getServerConfig() override { return config; }
    NodeManager* getNodeManagerRoot() override { return root; }
    ServerConfig* config = nullptr;
    NodeManager* root = nullptr;
};

TEST_F(TransactionManagerTest, StartUpNamesWhatIsMissingAndWithoutConfigurationRequestsAreSentInline)
{
    struct Case
    {
        bool serverManager, root, config;
        std::vector<std::string> errors;
    };
    const Case cases[] = {
        {false, false, false, {"UaTransactionManager::startUp - ServerManager not available"}},
        {true,
         false,
         false,
         {"UaTransactionManager::startUp - NodeManagerRoot not available",
          "UaTransactionManager::startUp - ServerConfig not available"}},
        {true, false, true, {"UaTransactionManager::startUp - NodeManagerRoot not available"}},
        {true, true, false, {"UaTransactionManager::startUp - ServerConfig not available"}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.errors.front());
        PartialServerManager partial;
        partial.root = c.root ? &server.root : nullptr;
        partial.config = c.config ? &server.config : nullptr;
        UaTransactionManager transactions(c.serverManager ? &partial : nullptr, nullptr);
        UaTraceCapture trace(6);
        EXPECT_EQ(transactions.startUp().statusCode(), static_cast<OpcUa_StatusCode>(OpcUa_BadInternalError));
        std::vector<std::string> errors;
        for (const UaTraceLine& line : trace.lines())
        {
            if (line.level == 1)
                errors.push_back(line.text);
        }
        EXPECT_EQ(errors, c.errors);
        EXPECT_TRUE(trace.contains(6, "<-- UaTransactionManager::startUp [ret=0x80020000]"));

        OpcUa_Handle context = nullptr;
        PendingReadRequest* request =
            read(newReadRequest(9, {{UaNodeId(101, kNs)}, {UaNodeId(7, kNs)}}), context);
        const UaStatus begun = transactions.beginRead(request);
        if (!c.root)
        {
            // Nothing was started: the entry answers.
            EXPECT_EQ(begun.statusCode(), static_cast<OpcUa_StatusCode>(OpcUa_BadInternalError));
            answerRefused(request, begun.statusCode());
            continue;
        }
        // Without a pool the last result sends in its own thread: answered before beginRead returns.
        ASSERT_TRUE(begun.isGood());
        EXPECT_TRUE(endpoint.isAnswered(context));
        EXPECT_EQ(endpoint.waitForAnswer(context).kind, FakeAnswerKind::Response);
    }
}

TEST_F(TransactionManagerTest, AResultAfterShutDownIsSentInlineOnceAndARepeatIsRefused)
{
    startManager();
    ioA.answers = {{101, Answer::Hold}};
    OpcUa_Handle context = nullptr;
    ASSERT_TRUE(manager->beginRead(read(newReadRequest(11, {{UaNodeId(101, kNs)}}), context)).isGood());
    const auto held = ioA.held();

    manager->setPendingWaitRounds(3);
    UaTraceCapture trace(6);
    ASSERT_TRUE(manager->shutDown().isGood());
    EXPECT_TRUE(trace.contains(6, "<-- UaTransactionManager::shutDown [ret=0x0]"));
    EXPECT_EQ(manager->pendingTransactions(), 1u) << "left in the table after the wait";
    OpcUa_UInt32 minimum = 7;
    OpcUa_UInt32 maximum = 7;
    manager->workerPoolSizes(minimum, maximum);
    EXPECT_EQ(maximum, 0u) << "the pool is gone";

    // Not asking to send at once: there is no pool, so it goes out in this thread all the same.
    EXPECT_EQ(ioA.answerHeld(false), std::vector<OpcUa_StatusCode>{OpcUa_Good});
    EXPECT_TRUE(endpoint.isAnswered(context));
    EXPECT_EQ(endpoint.waitForAnswer(context).kind, FakeAnswerKind::Response);
    EXPECT_EQ(manager->pendingTransactions(), 0u);
    ioA.holdAgain(held);
    EXPECT_EQ(ioA.answerHeld(false), std::vector<OpcUa_StatusCode>{OpcUa_BadInvalidArgument});
    EXPECT_EQ(session->activeServiceCount(), 0u);
}

TEST_F(TransactionManagerTest, ConcurrentReadsAreEachAnsweredOnceWithTheirOwnValues)
{
    startManager();
    ioA.answers = {{101, Answer::AfterFinish}, {102, Answer::BeforeFinish}};
    ioB.answers = {{201, Answer::DuringFinish}, {202, Answer::AfterFinish}};
    constexpr int threads = 4;
    constexpr int readsEach = 25;
    std::vector<std::vector<OpcUa_Handle>> contexts(threads);
    std::vector<std::thread> readers;
    for (int t = 0; t < threads; ++t)
    {
        readers.emplace_back(
            [&, t]
            {
                for (int r = 0; r < readsEach; ++r)
                {
                    OpcUa_Handle context = nullptr;
                    PendingReadRequest* request =
                        read(newReadRequest(static_cast<OpcUa_UInt32>(1000 + t * readsEach + r),
                                            {{UaNodeId(101, kNs)},
                                             {UaNodeId(201, kNs)},
                                             {UaNodeId(102, kNs)},
                                             {UaNodeId(7, kNs)},
                                             {UaNodeId(202, kNs)}}),
                             context);
                    EXPECT_TRUE(manager->beginRead(request).isGood());
                    contexts[t].push_back(context);
                }
            });
    }
    for (std::thread& reader : readers)
        reader.join();
    for (const auto& own : contexts)
    {
        for (OpcUa_Handle context : own)
        {
            const auto* response =
                endpoint.waitForAnswer(context).as<OpcUa_ReadResponse>(OpcUa_ReadResponse_EncodeableType);
            ASSERT_NE(response, nullptr);
            ASSERT_EQ(response->NoOfResults, 5);
            const OpcUa_UInt32 expected[] = {101, 201, 102, 0, 202};
            for (int i = 0; i < 5; ++i)
                EXPECT_EQ(response->Results[i].Value.Value.UInt32, expected[i]);
        }
    }
    EXPECT_TRUE(eventually([&] { return session->activeServiceCount() == 0; }));
    EXPECT_EQ(manager->pendingTransactions(), 0u);
}

} // namespace
