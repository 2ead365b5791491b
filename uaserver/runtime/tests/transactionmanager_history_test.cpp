// The transaction manager's HistoryRead and HistoryUpdate: the details decide the operation, items
// are looked up and grouped by history manager, continuation points are continued or released,
// and every failure is reported at its item's index.
#include "pendinghistoryrequests.h"
#include "transaction_fixture.h"

#include <uatracecapture.h>

using namespace runtimetest;
using uaserver::testing::eventually;

namespace
{
struct HistoryItem
{
    OpcUa_UInt32 node;
    std::vector<OpcUa_Byte> continuationPoint;
};

class HistoryTest : public TransactionManagerFixture
{
protected:
    // A HistoryRead whose details are a new structure of detailsType (none: no details); body
    // receives it.
    OpcUa_HistoryReadRequest* historyRead(OpcUa_UInt32 requestHandle, OpcUa_EncodeableType* detailsType,
                                          const std::vector<HistoryItem>& items, OpcUa_Void** body = nullptr,
                                          bool release = false)
    {
        auto* request =
            newRequest<OpcUa_HistoryReadRequest>(OpcUa_HistoryReadRequest_EncodeableType, requestHandle);
        OpcUa_Void* created = nullptr;
        if (detailsType != nullptr)
            OpcUa_EncodeableObject_CreateExtension(detailsType, &request->HistoryReadDetails, &created);
        if (body != nullptr)
            *body = created;
        request->TimestampsToReturn = OpcUa_TimestampsToReturn_Source;
        request->ReleaseContinuationPoints = release ? OpcUa_True : OpcUa_False;
        request->NoOfNodesToRead = static_cast<OpcUa_Int32>(items.size());
        request->NodesToRead = newArray<OpcUa_HistoryReadValueId>(items.size());
        for (std::size_t i = 0; i < items.size(); ++i)
        {
            UaNodeId(items[i].node, kNs).copyTo(&request->NodesToRead[i].NodeId);
            const auto& point = items[i].continuationPoint;
            if (point.empty())
                continue;
            OpcUa_ByteString& target = request->NodesToRead[i].ContinuationPoint;
            target.Length = static_cast<OpcUa_Int32>(point.size());
            target.Data =
                static_cast<OpcUa_Byte*>(OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(point.size())));
            std::copy(point.begin(), point.end(), target.Data);
        }
        return request;
    }

    PendingHistoryReadRequest* pending(OpcUa_HistoryReadRequest* request, OpcUa_Handle& context)
    {
        return newPending<PendingHistoryReadRequest>(endpoint, kChannel, session, request,
                                                     OpcUa_HistoryReadRequest_EncodeableType,
                                                     OpcUa_HistoryReadResponse_EncodeableType, context);
    }

    // Parks point on the session; the bytes that name it.
    std::vector<OpcUa_Byte> park(HistoryReadContinuationPoint* point)
    {
        OpcUa_ByteString bytes;
        OpcUa_ByteString_Initialize(&bytes);
        EXPECT_TRUE(session->queueHistoryReadCP(point, bytes).isGood());
        std::vector<OpcUa_Byte> copy(bytes.Data, bytes.Data + bytes.Length);
        OpcUa_ByteString_Clear(&bytes);
        return copy;
    }

    static const OpcUa_EncodeableType* historyDataType(const OpcUa_HistoryReadResult& result)
    {
        return result.HistoryData.Encoding == OpcUa_ExtensionObjectEncoding_EncodeableObject
                   ? result.HistoryData.Body.EncodeableObject.Type
                   : nullptr;
    }
};

TEST_F(HistoryTest, TheDetailsDecideTheReadOperation)
{
    struct Case
    {
        const char* what;
        OpcUa_EncodeableType* details;
        bool readModified;
        OpcUa_StatusCode result;          // of beginHistoryRead
        const char* exitTrace;            // for a refused request
        OpcUa_UInt32 operation;           // for an accepted one
        OpcUa_EncodeableType* resultType; // of the item's history data
    };
    const Case cases[] = {
        {"no details", nullptr, false, OpcUa_BadHistoryOperationInvalid,
         "<-- UaTransactionManager::beginHistoryRead [ret=OpcUa_BadHistoryOperationInvalid]", 0, nullptr},
        {"details of another type", &OpcUa_ReadValueId_EncodeableType, false,
         OpcUa_BadHistoryOperationInvalid,
         "<-- UaTransactionManager::beginHistoryRead [ret=OpcUa_BadHistoryOperationInvalid] unknown type", 0,
         nullptr},
        {"events", &OpcUa_ReadEventDetails_EncodeableType, false, OpcUa_Good, nullptr,
         HistoryOperation::ReadEvents, &OpcUa_HistoryEvent_EncodeableType},
        {"raw", &OpcUa_ReadRawModifiedDetails_EncodeableType, false, OpcUa_Good, nullptr,
         HistoryOperation::ReadRaw, &OpcUa_HistoryData_EncodeableType},
        {"modified", &OpcUa_ReadRawModifiedDetails_EncodeableType, true, OpcUa_Good, nullptr,
         HistoryOperation::ReadModified, &OpcUa_HistoryModifiedData_EncodeableType},
        {"processed", &OpcUa_ReadProcessedDetails_EncodeableType, false, OpcUa_Good, nullptr,
         HistoryOperation::ReadProcessed, &OpcUa_HistoryData_EncodeableType},
        {"at time", &OpcUa_ReadAtTimeDetails_EncodeableType, false, OpcUa_Good, nullptr,
         HistoryOperation::ReadAtTime, &OpcUa_HistoryData_EncodeableType},
    };
    startManager();
    OpcUa_UInt32 handle = 30;
    std::size_t transactionsBefore = 0;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        OpcUa_Void* body = nullptr;
        OpcUa_Handle context = nullptr;
        OpcUa_HistoryReadRequest* message = historyRead(++handle, c.details, {{101, {}}}, &body);
        if (c.readModified)
            static_cast<OpcUa_ReadRawModifiedDetails*>(body)->IsReadModified = OpcUa_True;
        PendingHistoryReadRequest* request = pending(message, context);
        UaTraceCapture trace(6);
        const UaStatus begun = manager->beginHistoryRead(request);
        EXPECT_EQ(begun.statusCode(), c.result);
        if (begun.isBad())
        {
            EXPECT_TRUE(trace.contains(6, c.exitTrace));
            EXPECT_EQ(manager->pendingTransactions(), 0u) << "a refused request never enters the table";
            answerRefused(request, begun.statusCode());
            continue;
        }
        const auto* response = endpoint.waitForAnswer(context).as<OpcUa_HistoryReadResponse>(
            OpcUa_HistoryReadResponse_EncodeableType);
        ASSERT_NE(response, nullptr);
        ASSERT_EQ(response->NoOfResults, 1);
        EXPECT_EQ(response->Results[0].StatusCode, static_cast<OpcUa_StatusCode>(OpcUa_Good));
        EXPECT_EQ(historyDataType(response->Results[0]), c.resultType);
        const auto transactions = historyA.transactions();
        ASSERT_EQ(transactions.size(), transactionsBefore + 1);
        EXPECT_EQ(transactions.back().operation, c.operation);
        EXPECT_EQ(transactions.back().details, body);
        EXPECT_EQ(transactions.back().finishCalls, 1);
        transactionsBefore = transactions.size();
    }
}

TEST_F(HistoryTest, LookupsAndContinuationPointsFailTheirItemsOnly)
{
    startManager();
    historyA.giveContinuationPoints = true;
    int deleted = 0;
    auto* parked = new CountedContinuationPoint(deleted);
    const std::vector<OpcUa_Byte> parkedPoint = park(parked);
    UaTraceCapture trace(1);
    OpcUa_Handle context = nullptr;
    ASSERT_TRUE(manager
                    ->beginHistoryRead(pending(historyRead(40, &OpcUa_ReadRawModifiedDetails_EncodeableType,
                                                           {{101, {}},
                                                            {7, {}},
                                                            {401, {}},
                                                            {301, {}},
                                                            {102, {9, 9, 9, 9}},
                                                            {201, parkedPoint},
                                                            {501, {}}}),
                                               context))
                    .isGood());
    const auto* response = endpoint.waitForAnswer(context).as<OpcUa_HistoryReadResponse>(
        OpcUa_HistoryReadResponse_EncodeableType);
    ASSERT_NE(response, nullptr);
    ASSERT_EQ(response->NoOfResults, 7);
    const OpcUa_StatusCode expected[] = {OpcUa_Good,
                                         OpcUa_BadNodeIdUnknown,
                                         OpcUa_BadNodeIdInvalid,
                                         OpcUa_BadInternalError,
                                         OpcUa_BadContinuationPointInvalid,
                                         OpcUa_Good,
                                         OpcUa_BadHistoryOperationUnsupported}; // there, without history
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(response->Results[i].StatusCode, expected[i]) << i;
    for (const char* line : {"   Node[1] NS2|Numeric|7 [ret=OpcUa_BadNodeIdUnknown]",
                             "   Node[2] NS2|Numeric|401 [ret=0x80330000]",
                             "   Node[3] NS2|Numeric|301 [ret=OpcUa_BadInternalError]",
                             "   Node[4] NS2|Numeric|102 [ret=0x804a0000]",
                             "   Node[6] NS2|Numeric|501 [ret=OpcUa_BadHistoryOperationUnsupported]"})
        EXPECT_EQ(trace.count(1, line), 1u) << line;

    // A's read gave a new point, parked for the client; B continued from the parked one.
    ASSERT_EQ(response->Results[0].ContinuationPoint.Length, 4);
    delete session->getHistoryReadCP(response->Results[0].ContinuationPoint);
    const auto a = historyA.transactions();
    const auto b = historyB.transactions();
    ASSERT_EQ(a.size(), 1u);
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(a[0].items, std::vector<OpcUa_UInt32>{1});
    EXPECT_EQ(b[0].items, std::vector<OpcUa_UInt32>{6});
    EXPECT_EQ(b[0].continuedFrom, std::vector<HistoryReadContinuationPoint*>{parked});
    EXPECT_EQ(deleted, 1) << "the history manager took the point over";
}

TEST_F(HistoryTest, ReleasingContinuationPointsReadsNothing)
{
    startManager();
    int deleted = 0;
    const std::vector<OpcUa_Byte> parkedPoint = park(new CountedContinuationPoint(deleted));
    OpcUa_Handle context = nullptr;
    PendingHistoryReadRequest* request =
        pending(historyRead(41, &OpcUa_ReadEventDetails_EncodeableType,
                            {{101, parkedPoint}, {102, {}}, {103, {1, 2, 3, 4}}}, nullptr, true),
                context);
    // Complete inside the begin: the begin sends it.
    EXPECT_TRUE(answeredInsideBegin([&] { return manager->beginHistoryRead(request); }, context));
    const auto* response = endpoint.waitForAnswer(context).as<OpcUa_HistoryReadResponse>(
        OpcUa_HistoryReadResponse_EncodeableType);
    ASSERT_NE(response, nullptr);
    ASSERT_EQ(response->NoOfResults, 3);
    EXPECT_EQ(response->Results[0].StatusCode, static_cast<OpcUa_StatusCode>(OpcUa_Good));
    EXPECT_EQ(response->Results[1].StatusCode, static_cast<OpcUa_StatusCode>(OpcUa_Good));
    EXPECT_EQ(response->Results[2].StatusCode,
              static_cast<OpcUa_StatusCode>(OpcUa_BadContinuationPointInvalid));
    for (int i : {0, 1})
    {
        EXPECT_EQ(historyDataType(response->Results[i]), &OpcUa_HistoryEvent_EncodeableType);
        EXPECT_LE(response->Results[i].ContinuationPoint.Length, 0);
    }
    EXPECT_EQ(deleted, 1);
    EXPECT_TRUE(historyA.transactions().empty());
    OpcUa_ByteString again;
    again.Length = static_cast<OpcUa_Int32>(parkedPoint.size());
    again.Data = const_cast<OpcUa_Byte*>(parkedPoint.data());
    EXPECT_EQ(session->getHistoryReadCP(again), nullptr) << "a released point is gone";
}

OpcUa_HistoryUpdateRequest* historyUpdate(OpcUa_UInt32 requestHandle, std::size_t count)
{
    auto* request =
        newRequest<OpcUa_HistoryUpdateRequest>(OpcUa_HistoryUpdateRequest_EncodeableType, requestHandle);
    request->NoOfHistoryUpdateDetails = static_cast<OpcUa_Int32>(count);
    request->HistoryUpdateDetails = newArray<OpcUa_ExtensionObject>(count);
    return request;
}

// Details of type at index, naming node; every one of the three begins with its NodeId.
void setDetails(OpcUa_HistoryUpdateRequest* request, std::size_t index, OpcUa_EncodeableType* type,
                const UaNodeId& node)
{
    OpcUa_Void* body = nullptr;
    OpcUa_EncodeableObject_CreateExtension(type, &request->HistoryUpdateDetails[index], &body);
    if (type == &OpcUa_UpdateDataDetails_EncodeableType)
        node.copyTo(&static_cast<OpcUa_UpdateDataDetails*>(body)->NodeId);
    else if (type == &OpcUa_DeleteRawModifiedDetails_EncodeableType)
        node.copyTo(&static_cast<OpcUa_DeleteRawModifiedDetails*>(body)->NodeId);
    else if (type == &OpcUa_DeleteAtTimeDetails_EncodeableType)
        node.copyTo(&static_cast<OpcUa_DeleteAtTimeDetails*>(body)->NodeId);
}

TEST_F(HistoryTest, EachUpdateDetailsIsAnItemOfItsOwnOperation)
{
    startManager();
    // A registered node's alias reaches the history of the node behind it.
    const OpcUa_NodeId toRegister[] = {*UaNodeId(103, kNs).toOpcUaNodeId()};
    ServiceContext serviceContext;
    serviceContext.setSession(session, OpcUa_RequestHeader{});
    UaNodeIdArray registered;
    ASSERT_TRUE(manager->registerNodes(serviceContext, 1, toRegister, registered).isGood());

    OpcUa_HistoryUpdateRequest* message = historyUpdate(50, 8);
    setDetails(message, 0, &OpcUa_UpdateDataDetails_EncodeableType, UaNodeId(101, kNs));
    setDetails(message, 1, &OpcUa_DeleteRawModifiedDetails_EncodeableType, UaNodeId(102, kNs));
    setDetails(message, 2, &OpcUa_DeleteAtTimeDetails_EncodeableType, UaNodeId(201, kNs));
    setDetails(message, 3, &OpcUa_ReadRawModifiedDetails_EncodeableType, UaNodeId(101, kNs));
    // Index 4 carries no details at all.
    setDetails(message, 5, &OpcUa_UpdateDataDetails_EncodeableType, UaNodeId(registered[0]));
    setDetails(message, 6, &OpcUa_UpdateDataDetails_EncodeableType, UaNodeId(7, kNs));
    setDetails(message, 7, &OpcUa_DeleteAtTimeDetails_EncodeableType, UaNodeId(501, kNs));
    OpcUa_Handle context = nullptr;
    UaTraceCapture trace(6);
    ASSERT_TRUE(manager
                    ->beginHistoryUpdate(newPending<PendingHistoryUpdateRequest>(
                        endpoint, kChannel, session, message, OpcUa_HistoryUpdateRequest_EncodeableType,
                        OpcUa_HistoryUpdateResponse_EncodeableType, context))
                    .isGood());
    const auto* response = endpoint.waitForAnswer(context).as<OpcUa_HistoryUpdateResponse>(
        OpcUa_HistoryUpdateResponse_EncodeableType);
    ASSERT_NE(response, nullptr);
    ASSERT_EQ(response->NoOfResults, 8);
    const OpcUa_StatusCode expected[] = {OpcUa_Good,
                                         OpcUa_Good,
                                         OpcUa_Good,
                                         OpcUa_BadHistoryOperationInvalid,
                                         OpcUa_BadHistoryOperationInvalid,
                                         OpcUa_Good,
                                         OpcUa_BadNodeIdUnknown,
                                         OpcUa_BadHistoryOperationUnsupported};
    for (int i = 0; i < 8; ++i)
    {
        EXPECT_EQ(response->Results[i].StatusCode, expected[i]) << i;
        EXPECT_EQ(response->Results[i].NoOfOperationResults, expected[i] == OpcUa_Good ? 1 : 0) << i;
    }
    const auto a = historyA.transactions();
    const auto b = historyB.transactions();
    ASSERT_EQ(a.size(), 1u);
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(a[0].operation, HistoryOperation::UpdateData);
    EXPECT_EQ(a[0].items, (std::vector<OpcUa_UInt32>{1, 2, 6}));
    EXPECT_EQ(a[0].itemOperations,
              (std::vector<OpcUa_UInt32>{HistoryOperation::UpdateData, HistoryOperation::DeleteRawModified,
                                         HistoryOperation::UpdateData}));
    EXPECT_EQ(b[0].itemOperations, std::vector<OpcUa_UInt32>{HistoryOperation::DeleteAtTime});
    EXPECT_EQ(trace.count(1, "   Node[3] NS0|Numeric|0 [ret=OpcUa_BadHistoryOperationInvalid]"), 1u);
    EXPECT_EQ(trace.count(1, "   Node[4] NS0|Numeric|0 [ret=OpcUa_BadHistoryOperationInvalid]"), 1u);
    EXPECT_TRUE(trace.contains(6, "--> UaTransactionManager::beginHistoryUpdate with 8 nodes"));
    EXPECT_TRUE(trace.contains(6, "<-- UaTransactionManager::beginHistoryUpdate [ret=0x0]"));
}

} // namespace
