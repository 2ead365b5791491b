// The service table's callback body and the common frame of the fourteen entries of the attribute,
// view, node-management, query and history services, on fake endpoints: every refusal is one
// answer, and the session's active service count is back where it was after it.
#include "uaservertestbed.h"

#include "pendingqueryrequests.h"
#include "sessionmanager.h"

#include <querycontext.h>
#include <test_waits.h>

#include <uatracecapture.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>

using namespace servertest;

namespace
{
const FakeChannel kChannel{7};
const FakeChannel kOtherChannel{8};

template <typename T> T* zeroed(OpcUa_Int32 n)
{
    auto* items = static_cast<T*>(OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(n) * sizeof(T)));
    std::memset(static_cast<void*>(items), 0, static_cast<std::size_t>(n) * sizeof(T));
    return items;
}

// One entry of the table: a request with one operation, and what empties its operation array.
struct Service
{
    const char* name;
    OpcUa_EncodeableType* type;
    std::function<OpcUa_Void*()> make;
    // count: the array's new count; withArray false frees the array and leaves the pointer null.
    std::function<void(OpcUa_Void*, OpcUa_Int32 count, bool withArray)> empty;
};

#define UASERVER_ENTRY(Service_, Count, Array, Item)                                                         \
    Service                                                                                                  \
    {                                                                                                        \
#Service_, &OpcUa_##Service_##Request_EncodeableType,                                                \
            []() -> OpcUa_Void* {                                                                            \
                auto* request = newMessage<OpcUa_##Service_##Request>(OpcUa_##Service_##Request_EncodeableType); \
                request->Count = 1;                                                                          \
                request->Array = zeroed<Item>(1);                                                            \
                return request;                                                                              \
            },                                                                                               \
            [](OpcUa_Void* message, OpcUa_Int32 count, bool withArray) {                                     \
                auto* request = static_cast<OpcUa_##Service_##Request*>(message);                            \
                request->Count = count;                                                                      \
                if (!withArray)                                                                              \
                {                                                                                            \
                    OpcUa_Memory_Free(request->Array);                                                       \
                    request->Array = nullptr;                                                                \
                }                                                                                            \
            }       \
    }

const std::vector<Service>& services()
{
    static const std::vector<Service> table = {
        UASERVER_ENTRY(Read, NoOfNodesToRead, NodesToRead, OpcUa_ReadValueId),
        UASERVER_ENTRY(Write, NoOfNodesToWrite, NodesToWrite, OpcUa_WriteValue),
        UASERVER_ENTRY(HistoryRead, NoOfNodesToRead, NodesToRead, OpcUa_HistoryReadValueId),
        UASERVER_ENTRY(HistoryUpdate, NoOfHistoryUpdateDetails, HistoryUpdateDetails, OpcUa_ExtensionObject),
        UASERVER_ENTRY(Browse, NoOfNodesToBrowse, NodesToBrowse, OpcUa_BrowseDescription),
        UASERVER_ENTRY(BrowseNext, NoOfContinuationPoints, ContinuationPoints, OpcUa_ByteString),
        UASERVER_ENTRY(RegisterNodes, NoOfNodesToRegister, NodesToRegister, OpcUa_NodeId),
        UASERVER_ENTRY(UnregisterNodes, NoOfNodesToUnregister, NodesToUnregister, OpcUa_NodeId),
        UASERVER_ENTRY(QueryFirst, NoOfNodeTypes, NodeTypes, OpcUa_NodeTypeDescription),
        Service{"QueryNext", &OpcUa_QueryNextRequest_EncodeableType,
                [] { return newMessage<OpcUa_QueryNextRequest>(OpcUa_QueryNextRequest_EncodeableType); },
                nullptr},
        UASERVER_ENTRY(AddNodes, NoOfNodesToAdd, NodesToAdd, OpcUa_AddNodesItem),
        UASERVER_ENTRY(AddReferences, NoOfReferencesToAdd, ReferencesToAdd, OpcUa_AddReferencesItem),
        UASERVER_ENTRY(DeleteNodes, NoOfNodesToDelete, NodesToDelete, OpcUa_DeleteNodesItem),
        UASERVER_ENTRY(DeleteReferences, NoOfReferencesToDelete, ReferencesToDelete,
                       OpcUa_DeleteReferencesItem),
    };
    return table;
}
#undef UASERVER_ENTRY

void setToken(OpcUa_Void* request, const UaNodeId& token)
{
    token.copyTo(&static_cast<OpcUa_RequestHeader*>(request)->AuthenticationToken);
}

// A started server with an activated session on kChannel.
class ServiceEntries : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(bed.start().isGood());
        token = bed.openSession(kChannel);
        session = findSession(token);
        ASSERT_NE(session, nullptr);
    }
    void TearDown() override
    {
        if (session != nullptr)
            session->releaseReference();
    }

    UaSession* findSession(const UaNodeId& authenticationToken)
    {
        return static_cast<UaSession*>(
            bed.serverManager.getSessionManager()->findSession(authenticationToken, false));
    }
    // A request of service through the table on channel; its answer, with the session's active
    // service count and references the same before and after.
    const FakeAnswer& call(const Service& service, OpcUa_Void* request, const FakeChannel& channel = kChannel)
    {
        const OpcUa_UInt32 count = session->activeServiceCount();
        const OpcUa_Int32 references = session->referenceCount();
        const FakeAnswer& answer =
            bed.endpoint().waitForAnswer(bed.endpoint().invoke(channel, request, service.type).context);
        // An answer from the transaction manager's worker ends the service just after it is sent.
        EXPECT_TRUE(eventually(
            [&]
            { return session->activeServiceCount() == count && session->referenceCount() == references; }))
            << service.name;
        return answer;
    }

    ServerBed bed;
    UaNodeId token;
    UaSession* session = nullptr;
};
} // namespace

TEST(ServiceTableCallback, RefusesWhatTheStackPassedBadlyAndClearsTheInfoBitsOfAGoodResult)
{
    FakeEndpoint endpoint;
    OpcUa_Handle context = endpoint.openContext(kChannel, &OpcUa_ReadResponse_EncodeableType);
    auto* read = newMessage<OpcUa_ReadRequest>(OpcUa_ReadRequest_EncodeableType);
    auto* write = newMessage<OpcUa_WriteRequest>(OpcUa_WriteRequest_EncodeableType);
    OpcUa_Void* request = read;
    OpcUa_Void* nothing = nullptr;
    OpcUa_Void* writeRequest = write;
    static std::atomic<int> calls{0};
    static OpcUa_StatusCode entryResult = OpcUa_Good;
    const uaservicetable::Entry stub =
        [](UaServer*, OpcUa_Endpoint, OpcUa_Handle, OpcUa_Void*, OpcUa_EncodeableType*)
    {
        ++calls;
        return entryResult;
    };
    ServerBed bed;
    ASSERT_TRUE(bed.start().isGood());

    struct Row
    {
        const char* name;
        OpcUa_Endpoint endpoint;
        OpcUa_Handle context;
        OpcUa_Void** request;
        OpcUa_EncodeableType* type;
    } rows[] = {
        {"null endpoint", nullptr, context, &request, &OpcUa_ReadRequest_EncodeableType},
        {"null context", &endpoint, nullptr, &request, &OpcUa_ReadRequest_EncodeableType},
        {"null request address", &endpoint, context, nullptr, &OpcUa_ReadRequest_EncodeableType},
        {"null request", &endpoint, context, &nothing, &OpcUa_ReadRequest_EncodeableType},
        {"null type", &endpoint, context, &request, nullptr},
        {"a WriteRequest to the Read callback", &endpoint, context, &writeRequest,
         &OpcUa_WriteRequest_EncodeableType},
    };
    for (const Row& row : rows)
    {
        EXPECT_EQ(uaservicetable::invokeService(OpcUaId_ReadRequest, stub, row.endpoint, row.context,
                                                row.request, row.type),
                  OpcUa_BadInvalidArgument)
            << row.name;
    }
    // The real Read row refuses another request type the same way.
    OpcUa_ServiceType** table = uaServerServiceTable();
    OpcUa_ServiceType* readRow = nullptr;
    for (OpcUa_ServiceType** row = table; *row != nullptr; ++row)
        if ((*row)->RequestTypeId == OpcUaId_ReadRequest)
            readRow = *row;
    ASSERT_NE(readRow, nullptr);
    EXPECT_EQ(readRow->BeginInvoke(&endpoint, context, &writeRequest, &OpcUa_WriteRequest_EncodeableType),
              OpcUa_BadInvalidArgument);
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(endpoint.isAnswered(context));
    EXPECT_EQ(request, read);

    // Good with info bits: taken over, bits cleared, nothing sent by the callback.
    entryResult = OpcUa_Good | 0x0000F00Du;
    EXPECT_EQ(uaservicetable::invokeService(OpcUaId_ReadRequest, stub, &endpoint, context, &request,
                                            &OpcUa_ReadRequest_EncodeableType),
              OpcUa_Good);
    EXPECT_EQ(request, nullptr);
    EXPECT_FALSE(endpoint.isAnswered(context));
    OpcUa_EncodeableObject_Delete(&OpcUa_ReadRequest_EncodeableType, reinterpret_cast<OpcUa_Void**>(&read));

    // Bad: one fault with that status; the request stays the stack's.
    entryResult = OpcUa_BadTooManyOperations;
    EXPECT_EQ(uaservicetable::invokeService(OpcUaId_WriteRequest, stub, &endpoint, context, &writeRequest,
                                            &OpcUa_WriteRequest_EncodeableType),
              OpcUa_Good);
    EXPECT_EQ(writeRequest, write);
    const FakeAnswer& fault = endpoint.waitForAnswer(context);
    EXPECT_EQ(fault.kind, FakeAnswerKind::Fault);
    EXPECT_EQ(fault.status, OpcUa_BadTooManyOperations);
    EXPECT_EQ(calls, 2);
    OpcUa_EncodeableObject_Delete(&OpcUa_WriteRequest_EncodeableType, &writeRequest);
}

TEST(ServiceTableCallback, WithoutARunningServerTheRequestGetsBadInternalError)
{
    FakeEndpoint endpoint(uaServerServiceTable());
    ASSERT_EQ(UaServer::running(), nullptr);
    const FakeAnswer& answer = endpoint.waitForAnswer(
        endpoint
            .invoke(kChannel, newMessage<OpcUa_ReadRequest>(OpcUa_ReadRequest_EncodeableType),
                    &OpcUa_ReadRequest_EncodeableType)
            .context);
    EXPECT_EQ(answer.kind, FakeAnswerKind::Fault);
    EXPECT_EQ(answer.status, OpcUa_BadInternalError);
}

TEST(ServiceEntriesNotStarted, EveryEntryAnswersBadInternalErrorAndReadNamesTheReason)
{
    ServerBed bed;
    FakeEndpoint endpoint;
    for (const Service& service : services())
    {
        UaTraceCapture trace(4);
        OpcUa_Handle context = endpoint.openContext(kChannel, service.type);
        OpcUa_Void* request = service.make();
        // The entry is called on the server directly: the table reaches only a running one.
        OpcUa_StatusCode result = OpcUa_Bad;
#define UASERVER_CALL(Name)                                                                                  \
    if (std::strcmp(service.name, #Name) == 0)                                                               \
        result =                                                                                             \
            bed.server.Name(&endpoint, context, static_cast<OpcUa_##Name##Request*>(request), service.type);
        UASERVER_CALL(Read)
        UASERVER_CALL(Write)
        UASERVER_CALL(HistoryRead)
        UASERVER_CALL(HistoryUpdate)
        UASERVER_CALL(Browse)
        UASERVER_CALL(BrowseNext)
        UASERVER_CALL(RegisterNodes)
        UASERVER_CALL(UnregisterNodes)
        UASERVER_CALL(QueryFirst)
        UASERVER_CALL(QueryNext)
        UASERVER_CALL(AddNodes)
        UASERVER_CALL(AddReferences)
        UASERVER_CALL(DeleteNodes)
        UASERVER_CALL(DeleteReferences)
#undef UASERVER_CALL
        EXPECT_EQ(result, OpcUa_Good) << service.name;
        const FakeAnswer& answer = endpoint.waitForAnswer(context);
        EXPECT_EQ(answer.kind, FakeAnswerKind::Fault) << service.name;
        EXPECT_EQ(answer.status, OpcUa_BadInternalError) << service.name;
        const std::string name = service.name;
        EXPECT_EQ(trace.count(4, "==> UaServer::" + name + " [Request=0]"), 1u) << name;
        EXPECT_EQ(trace.count(4, name == "Read" ? "<== UaServer::Read - UaServer not started"
                                                : "<== UaServer::" + name),
                  1u)
            << name;
    }
}

TEST_F(ServiceEntries, EveryEntryRefusesAnUnknownInactiveOrForeignSessionOnce)
{
    // A second session, created but never activated.
    auto* create = newMessage<OpcUa_CreateSessionRequest>(OpcUa_CreateSessionRequest_EncodeableType);
    create->RequestedSessionTimeout = 60000;
    const auto* created = bed.call(kChannel, create, OpcUa_CreateSessionRequest_EncodeableType)
                              .as<OpcUa_CreateSessionResponse>(OpcUa_CreateSessionResponse_EncodeableType);
    ASSERT_NE(created, nullptr);
    const UaNodeId inactiveToken(created->AuthenticationToken);
    UaSession* inactive = findSession(inactiveToken);
    ASSERT_NE(inactive, nullptr);
    bed.endpoint().raiseChannelEvent(OpcUa_Endpoint_Event_SecureChannelOpened, kOtherChannel);

    const OpcUa_UInt16 ns = token.namespaceIndex();
    struct Row
    {
        const char* name;
        UaNodeId token;
        FakeChannel channel;
        OpcUa_StatusCode channelQuery;
        OpcUa_StatusCode expected;
    } rows[] = {
        {"string token", UaNodeId("session", ns), kChannel, OpcUa_Good, OpcUa_BadSessionIdInvalid},
        {"token of another namespace", UaNodeId(token.identifierNumeric(), static_cast<OpcUa_UInt16>(ns + 1)),
         kChannel, OpcUa_Good, OpcUa_BadSessionIdInvalid},
        {"not activated", inactiveToken, kChannel, OpcUa_Good, OpcUa_BadSessionNotActivated},
        {"another channel", token, kOtherChannel, OpcUa_Good, OpcUa_BadSecureChannelIdInvalid},
        {"channel id not available", token, kChannel, OpcUa_BadSecureChannelClosed,
         OpcUa_BadSecureChannelClosed},
    };
    for (const Row& row : rows)
        for (const Service& service : services())
        {
            const OpcUa_UInt32 inactiveBefore = inactive->activeServiceCount();
            const OpcUa_Int32 inactiveReferences = inactive->referenceCount();
            bed.endpoint().failChannelIdQuery(row.channelQuery);
            OpcUa_Void* request = service.make();
            setToken(request, row.token);
            const FakeAnswer& answer = call(service, request, row.channel);
            bed.endpoint().failChannelIdQuery(OpcUa_Good);
            EXPECT_EQ(answer.kind, FakeAnswerKind::Fault) << row.name << " " << service.name;
            EXPECT_EQ(answer.status, row.expected) << row.name << " " << service.name;
            EXPECT_EQ(inactive->activeServiceCount(), inactiveBefore) << row.name << " " << service.name;
            EXPECT_EQ(inactive->referenceCount(), inactiveReferences) << row.name << " " << service.name;
        }
    inactive->releaseReference();
}

TEST_F(ServiceEntries, EveryEntryButQueryNextRefusesAnEmptyOperationArray)
{
    struct Row
    {
        const char* name;
        OpcUa_Int32 count;
        bool withArray;
    } rows[] = {{"count 0", 0, true}, {"count -5", -5, true}, {"null array", 1, false}};
    for (const Row& row : rows)
        for (const Service& service : services())
        {
            if (!service.empty)
                continue; // QueryNext has no operation array
            OpcUa_Void* request = service.make();
            setToken(request, token);
            service.empty(request, row.count, row.withArray);
            const FakeAnswer& answer = call(service, request);
            EXPECT_EQ(answer.kind, FakeAnswerKind::Fault) << row.name << " " << service.name;
            EXPECT_EQ(answer.status, OpcUa_BadNothingToDo) << row.name << " " << service.name;
        }
}

TEST_F(ServiceEntries, ReadAndHistoryReadCheckTimestampsAndMaxAgeAfterTheArray)
{
    const Service& read = services()[0];
    const Service& historyRead = services()[2];
    ASSERT_STREQ(read.name, "Read");
    ASSERT_STREQ(historyRead.name, "HistoryRead");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Row
    {
        const char* name;
        const Service* service;
        bool empty;
        OpcUa_UInt32 timestamps;
        double maxAge;
        OpcUa_StatusCode expected; // Good: answered with a response
    } rows[] = {
        {"empty and timestamps 7", &read, true, 7, 0.0, OpcUa_BadNothingToDo},
        {"timestamps Neither", &read, false, 3, 0.0, OpcUa_Good},
        {"timestamps 4", &read, false, 4, 0.0, OpcUa_BadTimestampsToReturnInvalid},
        {"timestamps 4 and MaxAge -1", &read, false, 4, -1.0, OpcUa_BadTimestampsToReturnInvalid},
        {"MaxAge -1", &read, false, 0, -1.0, OpcUa_BadMaxAgeInvalid},
        {"MaxAge 0", &read, false, 0, 0.0, OpcUa_Good},
        {"MaxAge NaN", &read, false, 0, nan, OpcUa_Good},
        {"history timestamps 4", &historyRead, false, 4, 0.0, OpcUa_BadTimestampsToReturnInvalid},
        // Passes the frame: the transaction manager refuses the request's empty details.
        {"history timestamps Neither", &historyRead, false, 3, 0.0, OpcUa_BadHistoryOperationInvalid},
    };
    for (const Row& row : rows)
    {
        OpcUa_Void* request = row.service->make();
        setToken(request, token);
        if (row.empty)
            row.service->empty(request, 0, false);
        if (row.service == &read)
        {
            static_cast<OpcUa_ReadRequest*>(request)->TimestampsToReturn =
                static_cast<OpcUa_TimestampsToReturn>(row.timestamps);
            static_cast<OpcUa_ReadRequest*>(request)->MaxAge = row.maxAge;
        }
        else
            static_cast<OpcUa_HistoryReadRequest*>(request)->TimestampsToReturn =
                static_cast<OpcUa_TimestampsToReturn>(row.timestamps);
        const FakeAnswer& answer = call(*row.service, request);
        EXPECT_EQ(answer.kind, row.expected == OpcUa_Good ? FakeAnswerKind::Response : FakeAnswerKind::Fault)
            << row.name;
        EXPECT_EQ(answer.status, row.expected) << row.name;
    }
}

TEST_F(ServiceEntries, QueryFirstIsRefusedByTheTransactionManagerAndAQueuedPointIsReleasedOnce)
{
    const Service& queryFirst = services()[8];
    const Service& queryNext = services()[9];
    ASSERT_STREQ(queryFirst.name, "QueryFirst");
    {
        UaTraceCapture trace(4);
        OpcUa_Void* request = queryFirst.make();
        setToken(request, token);
        const FakeAnswer& answer = call(queryFirst, request);
        EXPECT_EQ(answer.kind, FakeAnswerKind::Fault);
        EXPECT_EQ(answer.status, OpcUa_BadServiceUnsupported);
        EXPECT_TRUE(trace.contains(4, "<== UaServer::QueryFirst [ServiceResult=0x800b0000]"));
    }

    // The QueryFirst sender is the only path that parks a query: an unfinished one becomes a point.
    OpcUa_Handle context = bed.endpoint().openContext(kChannel, &OpcUa_QueryFirstResponse_EncodeableType);
    auto* first = static_cast<OpcUa_QueryFirstRequest*>(queryFirst.make());
    setToken(first, token);
    session->startingServiceProcessing();
    auto* pending =
        new PendingQueryFirstRequest(&bed.endpoint(), context, &OpcUa_QueryFirstRequest_EncodeableType,
                                     session, first, new QueryContext(*first));
    pending->sendResponse();
    delete pending;
    const auto* parked = bed.endpoint().waitForAnswer(context).as<OpcUa_QueryFirstResponse>(
        OpcUa_QueryFirstResponse_EncodeableType);
    ASSERT_NE(parked, nullptr);
    ASSERT_EQ(parked->ContinuationPoint.Length, 4);

    struct Row
    {
        const char* name;
        bool release;
        OpcUa_StatusCode expected;
    } rows[] = {{"released", true, OpcUa_Good},
                {"released again", true, OpcUa_BadContinuationPointInvalid},
                {"continued after release", false, OpcUa_BadContinuationPointInvalid}};
    for (const Row& row : rows)
    {
        auto* next = static_cast<OpcUa_QueryNextRequest*>(queryNext.make());
        setToken(next, token);
        next->ReleaseContinuationPoint = row.release;
        OpcUa_ByteString_CopyTo(&parked->ContinuationPoint, &next->ContinuationPoint);
        const FakeAnswer& answer = call(queryNext, next);
        EXPECT_EQ(answer.status, row.expected) << row.name;
        if (row.expected == OpcUa_Good)
        {
            const auto* empty = answer.as<OpcUa_QueryNextResponse>(OpcUa_QueryNextResponse_EncodeableType);
            ASSERT_NE(empty, nullptr) << row.name;
            EXPECT_LE(empty->NoOfQueryDataSets, 0);
            EXPECT_LE(empty->RevisedContinuationPoint.Length, 0);
        }
    }
}

TEST(ServiceTable, RowsInTheirOrderWithDataTypeIdsAndMatchingResponses)
{
    // Discovery, sessions, node management, view, query, attributes, history, methods, monitored
    // items, subscriptions.
    const std::vector<OpcUa_UInt32> expected = {420, 426, 459, 465, 471, 477, 486, 492, 498, 504, 525,
                                                531, 613, 619, 552, 558, 564, 629, 671, 662, 698, 710,
                                                749, 761, 767, 773, 779, 785, 791, 797, 824, 830, 839, 845};
    std::vector<OpcUa_UInt32> ids;
    for (OpcUa_ServiceType** row = uaServerServiceTable(); *row != nullptr; ++row)
    {
        ids.push_back((*row)->RequestTypeId);
        ASSERT_NE((*row)->ResponseEncodeableType, nullptr) << (*row)->RequestTypeId;
        // A response's data type follows its request's by three ids.
        EXPECT_EQ((*row)->ResponseEncodeableType->TypeId, (*row)->RequestTypeId + 3) << (*row)->RequestTypeId;
        EXPECT_NE((*row)->BeginInvoke, nullptr);
        EXPECT_EQ((*row)->Invoke, nullptr);
    }
    EXPECT_EQ(ids, expected);

    // A request without a row never reaches the server: the stack refuses it.
    ServerBed bed;
    ASSERT_TRUE(bed.start().isGood());
    const FakeAnswer& answer = bed.call(
        kChannel, newMessage<OpcUa_RegisterServerRequest>(OpcUa_RegisterServerRequest_EncodeableType),
        OpcUa_RegisterServerRequest_EncodeableType);
    EXPECT_TRUE(answer.sentByStack);
    EXPECT_EQ(answer.status, OpcUa_BadServiceUnsupported);
}

TEST_F(ServiceEntries, ABrowseWhoseEveryNodeFailsInTheViewIsAFaultWithItsResultTraced)
{
    const Service& browse = services()[4];
    ASSERT_STREQ(browse.name, "Browse");
    UaTraceCapture trace(4);
    auto* request = static_cast<OpcUa_BrowseRequest*>(browse.make());
    setToken(request, token);
    UaNodeId(85, 0).copyTo(&request->NodesToBrowse[0].NodeId);
    UaNodeId(99999, 0).copyTo(&request->View.ViewId);
    const FakeAnswer& answer = call(browse, request);
    EXPECT_EQ(answer.kind, FakeAnswerKind::Fault);
    EXPECT_EQ(answer.status, OpcUa_BadViewIdUnknown);
    EXPECT_TRUE(trace.contains(4, "<== UaServer::Browse [ServiceResult=0x806b0000]"));
}
