// The response senders of the services answered later: one answer per request, the service ended
// once on every path, the results moved into the response, the dumps and the diagnostics.
#include "pending_requests.h"
#include "pendinghistoryrequests.h"
#include "pendingiorequests.h"
#include "pendingqueryrequests.h"
#include "runtime_fakes.h"

#include <historyreadcontinuationpoint.h>
#include <querycontext.h>

#include <uadatetime.h>
#include <uatracecapture.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

using namespace runtimetest;

namespace
{
const FakeChannel kChannel{9};

std::string hex(OpcUa_StatusCode code)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(code));
    return text;
}

// One kind of pending request: how to make it with all its items answered.
struct SenderKind
{
    const char* service;
    OpcUa_EncodeableType* responseType;
    bool namedCancel;
    std::function<PendingServiceRequest*(FakeEndpoint&, UaSession*, OpcUa_UInt32, OpcUa_Handle&)> make;
};

PendingServiceRequest* makeRead(FakeEndpoint& endpoint, UaSession* session, OpcUa_UInt32 handle,
                                OpcUa_Handle& context)
{
    auto* request = newPending<PendingReadRequest>(
        endpoint, kChannel, session, newReadRequest(handle, {{UaNodeId(1, 2)}, {UaNodeId(2, 2)}}),
        OpcUa_ReadRequest_EncodeableType, OpcUa_ReadResponse_EncodeableType, context);
    request->prepareResults();
    for (OpcUa_UInt32 i = 1; i <= 2; ++i)
    {
        UaDataValue value;
        value.setStatusCode(OpcUa_BadNotReadable);
        request->finishRead(i, value, true, nullptr);
    }
    return request;
}

PendingServiceRequest* makeWrite(FakeEndpoint& endpoint, UaSession* session, OpcUa_UInt32 handle,
                                 OpcUa_Handle& context)
{
    auto* request = newPending<PendingWriteRequest>(
        endpoint, kChannel, session, newWriteRequest(handle, {{UaNodeId(1, 2)}}),
        OpcUa_WriteRequest_EncodeableType, OpcUa_WriteResponse_EncodeableType, context);
    request->prepareResults();
    request->finishWrite(1, UaStatus(OpcUa_BadNotWritable));
    return request;
}

OpcUa_HistoryReadRequest* newHistoryReadRequest(OpcUa_UInt32 handle, int items)
{
    auto* message = newRequest<OpcUa_HistoryReadRequest>(OpcUa_HistoryReadRequest_EncodeableType, handle);
    message->NoOfNodesToRead = items;
    message->NodesToRead = newArray<OpcUa_HistoryReadValueId>(static_cast<std::size_t>(items));
    return message;
}

PendingServiceRequest* makeHistoryRead(FakeEndpoint& endpoint, UaSession* session, OpcUa_UInt32 handle,
                                       OpcUa_Handle& context)
{
    auto* request = newPending<PendingHistoryReadRequest>(
        endpoint, kChannel, session, newHistoryReadRequest(handle, 1),
        OpcUa_HistoryReadRequest_EncodeableType, OpcUa_HistoryReadResponse_EncodeableType, context);
    request->prepareResults();
    UaDataValueArray values;
    request->finishHistoryReadData(1, UaStatus(OpcUa_BadHistoryOperationUnsupported), nullptr, values);
    return request;
}

PendingServiceRequest* makeHistoryUpdate(FakeEndpoint& endpoint, UaSession* session, OpcUa_UInt32 handle,
                                         OpcUa_Handle& context)
{
    auto* message = newRequest<OpcUa_HistoryUpdateRequest>(OpcUa_HistoryUpdateRequest_EncodeableType, handle);
    message->NoOfHistoryUpdateDetails = 1;
    message->HistoryUpdateDetails = newArray<OpcUa_ExtensionObject>(1);
    auto* request = newPending<PendingHistoryUpdateRequest>(
        endpoint, kChannel, session, message, OpcUa_HistoryUpdateRequest_EncodeableType,
        OpcUa_HistoryUpdateResponse_EncodeableType, context);
    request->prepareResults();
    UaStatusCodeArray results;
    UaDiagnosticInfos diagnostics;
    request->finishHistoryUpdate(1, UaStatus(OpcUa_BadHistoryOperationUnsupported), results, diagnostics);
    return request;
}

PendingServiceRequest* makeQueryFirst(FakeEndpoint& endpoint, UaSession* session, OpcUa_UInt32 handle,
                                      OpcUa_Handle& context)
{
    auto* message = newRequest<OpcUa_QueryFirstRequest>(OpcUa_QueryFirstRequest_EncodeableType, handle);
    auto* query = new QueryContext;
    query->setFinished(true);
    return newPending<PendingQueryFirstRequest>(endpoint, kChannel, session, message,
                                                OpcUa_QueryFirstRequest_EncodeableType,
                                                OpcUa_QueryFirstResponse_EncodeableType, context, query);
}

PendingServiceRequest* makeQueryNext(FakeEndpoint& endpoint, UaSession* session, OpcUa_UInt32 handle,
                                     OpcUa_Handle& context)
{
    auto* message = newRequest<OpcUa_QueryNextRequest>(OpcUa_QueryNextRequest_EncodeableType, handle);
    return newPending<PendingQueryNextRequest>(
        endpoint, kChannel, session, message, OpcUa_QueryNextRequest_EncodeableType,
        OpcUa_QueryNextResponse_EncodeableType, context, static_cast<QueryContext*>(nullptr));
}

const SenderKind kKinds[] = {
    {"Read", &OpcUa_ReadResponse_EncodeableType, false, makeRead},
    {"Write", &OpcUa_WriteResponse_EncodeableType, false, makeWrite},
    {"HistoryRead", &OpcUa_HistoryReadResponse_EncodeableType, false, makeHistoryRead},
    {"HistoryUpdate", &OpcUa_HistoryUpdateResponse_EncodeableType, false, makeHistoryUpdate},
    {"QueryFirst", &OpcUa_QueryFirstResponse_EncodeableType, true, makeQueryFirst},
    {"QueryNext", &OpcUa_QueryNextResponse_EncodeableType, true, makeQueryNext},
};

class ResponseSenders : public ::testing::Test
{
protected:
    ResponseSenders() : session(newActivatedSession(31, kChannel)) {}
    ~ResponseSenders() override { session->releaseReference(); }

    FakeEndpoint endpoint;
    UaSession* session;
};

TEST_F(ResponseSenders, EachSenderAnswersOnceAndEndsTheServiceOnce)
{
    OpcUa_UInt32 handle = 100;
    for (const SenderKind& kind : kKinds)
    {
        SCOPED_TRACE(kind.service);
        UaTraceCapture trace(4);
        OpcUa_Handle context = nullptr;
        PendingServiceRequest* request = kind.make(endpoint, session, ++handle, context);
        ASSERT_EQ(session->activeServiceCount(), 1u);
        request->sendResponse();
        delete request;

        const FakeAnswer& answer = endpoint.waitForAnswer(context);
        EXPECT_EQ(answer.kind, FakeAnswerKind::Response);
        EXPECT_EQ(answer.status, static_cast<OpcUa_StatusCode>(OpcUa_Good));
        ASSERT_NE(answer.type, nullptr);
        EXPECT_EQ(answer.type->TypeId, kind.responseType->TypeId);
        EXPECT_EQ(answer.header()->RequestHandle, handle);
        EXPECT_EQ(session->activeServiceCount(), 0u);
        const std::string service = kind.service;
        EXPECT_EQ(trace.texts(),
                  (std::vector<std::string>{
                      "CALL  Send Response for " + service + " [Request=" + std::to_string(handle) +
                          "][ServiceResult=0x0]",
                      "CLEAN Send Response for " + service, "DONE  Send Response for " + service}));
    }
}

TEST_F(ResponseSenders, ADeadChannelCancelsWithoutAnAnswerAndEndsTheServiceOnce)
{
    session->invalidateSecureChannel();
    OpcUa_UInt32 handle = 200;
    for (const SenderKind& kind : kKinds)
    {
        SCOPED_TRACE(kind.service);
        UaTraceCapture trace(4);
        OpcUa_Handle context = nullptr;
        PendingServiceRequest* request = kind.make(endpoint, session, ++handle, context);
        request->sendResponse();
        delete request;

        const FakeAnswer& answer = endpoint.waitForAnswer(context);
        EXPECT_EQ(answer.kind, FakeAnswerKind::Cancel);
        EXPECT_EQ(answer.status, static_cast<OpcUa_StatusCode>(OpcUa_Good))
            << "a cancel with 0 sends nothing";
        EXPECT_EQ(session->activeServiceCount(), 0u);
        const std::string service = kind.service;
        const std::string cancel =
            kind.namedCancel
                ? "CALL  Cancel Response for " + service +
                      " - Secure Channel is invalid [Request=" + std::to_string(handle) + "]"
                : "CALL  Cancel Response - Secure Channel is invalid [Request=" + std::to_string(handle) +
                      "]";
        EXPECT_EQ(trace.texts(), (std::vector<std::string>{cancel, "CLEAN Send Response for " + service,
                                                           "DONE  Send Response for " + service}));
    }
}

TEST_F(ResponseSenders, AFailedBeginSendResponseEndsTheServiceWithoutTheSendLock)
{
    OpcUa_UInt32 handle = 300;
    for (const SenderKind& kind : kKinds)
    {
        SCOPED_TRACE(kind.service);
        OpcUa_Handle context = nullptr;
        PendingServiceRequest* request = kind.make(endpoint, session, ++handle, context);
        endpoint.failBeginSendResponse(OpcUa_BadOutOfMemory, context);
        UaTraceCapture trace(7);
        request->sendResponse();
        delete request;

        const FakeAnswer& answer = endpoint.waitForAnswer(context);
        EXPECT_EQ(answer.kind, FakeAnswerKind::Cancel);
        EXPECT_EQ(answer.status, static_cast<OpcUa_StatusCode>(OpcUa_BadOutOfMemory));
        EXPECT_EQ(session->activeServiceCount(), 0u);
        EXPECT_EQ(trace.count(1, std::string("Send Response for ") + kind.service +
                                     " failed at BeginSendResponse [Result=0x80030000]"),
                  1u);
        for (const std::string& text : trace.texts())
        {
            EXPECT_EQ(text.find("lockSendResponse"), std::string::npos) << text;
            EXPECT_EQ(text.find("CALL "), std::string::npos) << text;
        }
    }
}

TEST_F(ResponseSenders, AReadDumpShowsBadResultsByStatusAndOthersByValue)
{
    OpcUa_Handle context = nullptr;
    auto* request = newPending<PendingReadRequest>(
        endpoint, kChannel, session,
        newReadRequest(17, {{UaNodeId(1, 2)}, {UaNodeId(2, 2)}, {UaNodeId(3, 2)}}),
        OpcUa_ReadRequest_EncodeableType, OpcUa_ReadResponse_EncodeableType, context);
    ASSERT_EQ(request->prepareResults(), static_cast<OpcUa_StatusCode>(OpcUa_Good));
    UaDateTime server;
    UaDateTime source;
    ASSERT_EQ(UaDateTime::fromString(UaString("2024-05-01T10:00:00.000Z"), server), OpcUa_Good);
    ASSERT_EQ(UaDateTime::fromString(UaString("2024-05-01T09:59:59.500Z"), source), OpcUa_Good);

    UaDataValue bad;
    bad.setStatusCode(OpcUa_BadNodeIdUnknown);
    UaDataValue good;
    UaVariant value;
    value.setInt32(42);
    good.setValue(value, false, false);
    good.setServerTimestamp(server);
    good.setSourceTimestamp(source);
    UaDataValue uncertain = good;
    uncertain.setStatusCode(OpcUa_UncertainLastUsableValue);
    EXPECT_FALSE(request->finishRead(1, bad, true, nullptr));
    EXPECT_FALSE(request->finishRead(2, good, false, nullptr));
    EXPECT_TRUE(request->finishRead(3, uncertain, true, nullptr));

    UaTraceCapture trace(7);
    request->sendResponse();
    delete request;
    std::vector<std::string> dump;
    for (const UaTraceLine& line : trace.lines())
    {
        if (line.level == 7)
            dump.push_back(line.text);
    }
    EXPECT_EQ(dump, (std::vector<std::string>{
                        "Read Response [Request=17]:",
                        "  NoOfResults = 3",
                        "    Node[0] Status = 0x80340000",
                        "    Node[1] SrvTS=2024-05-01T10:00:00.000Z SrcTS=2024-05-01T09:59:59.500Z Val=42",
                        "    Node[2] SrvTS=2024-05-01T10:00:00.000Z SrcTS=2024-05-01T09:59:59.500Z Val=42",
                    }));

    const auto* response =
        endpoint.waitForAnswer(context).as<OpcUa_ReadResponse>(OpcUa_ReadResponse_EncodeableType);
    ASSERT_NE(response, nullptr);
    ASSERT_EQ(response->NoOfResults, 3);
    EXPECT_EQ(response->Results[0].StatusCode, static_cast<OpcUa_StatusCode>(OpcUa_BadNodeIdUnknown));
    EXPECT_EQ(response->Results[1].Value.Value.Int32, 42);
    EXPECT_EQ(response->Results[2].StatusCode, static_cast<OpcUa_StatusCode>(OpcUa_UncertainLastUsableValue));
    EXPECT_EQ(response->NoOfDiagnosticInfos, 0);
}

TEST_F(ResponseSenders, AWriteDumpShowsEveryStatus)
{
    OpcUa_Handle context = nullptr;
    auto* request = newPending<PendingWriteRequest>(
        endpoint, kChannel, session, newWriteRequest(18, {{UaNodeId(1, 2)}, {UaNodeId(2, 2)}}),
        OpcUa_WriteRequest_EncodeableType, OpcUa_WriteResponse_EncodeableType, context);
    request->prepareResults();
    request->finishWrite(2, UaStatus(OpcUa_BadTypeMismatch));
    request->finishWrite(1, UaStatus(OpcUa_Good));
    UaTraceCapture trace(7);
    request->sendResponse();
    delete request;
    EXPECT_TRUE(trace.contains(7, "Write Response [Request=18]:"));
    EXPECT_TRUE(trace.contains(7, "  NoOfResults = 2"));
    EXPECT_TRUE(trace.contains(7, "    Node[0] Status = 0x0"));
    EXPECT_TRUE(trace.contains(7, "    Node[1] Status = 0x80740000"));
    const auto* response =
        endpoint.waitForAnswer(context).as<OpcUa_WriteResponse>(OpcUa_WriteResponse_EncodeableType);
    ASSERT_NE(response, nullptr);
    ASSERT_EQ(response->NoOfResults, 2);
    EXPECT_EQ(response->Results[0], static_cast<OpcUa_StatusCode>(OpcUa_Good));
    EXPECT_EQ(response->Results[1], static_cast<OpcUa_StatusCode>(OpcUa_BadTypeMismatch));
}

TEST_F(ResponseSenders, DiagnosticInfosOnlyForOperationLevelDiagnostics)
{
    struct Case
    {
        OpcUa_UInt32 returnDiagnostics;
        bool withRecord;
        OpcUa_Int32 diagnosticInfos;
    };
    const Case cases[] = {
        {0x00, true, 0},  {0x01, true, 0}, {0x10, true, 0},  // service-level bits only
        {0x20, true, 2},  {0x40, true, 2}, {0x3FF, true, 2}, // an operation-level bit
        {0x20, false, 0},                                    // no operation has a record
    };
    OpcUa_UInt32 handle = 400;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message()
                     << "ReturnDiagnostics " << hex(c.returnDiagnostics) << " record " << c.withRecord);
        OpcUa_Handle context = nullptr;
        auto* request = newPending<PendingReadRequest>(
            endpoint, kChannel, session,
            newReadRequest(++handle, {{UaNodeId(1, 2)}, {UaNodeId(2, 2)}}, OpcUa_TimestampsToReturn_Both,
                           c.returnDiagnostics),
            OpcUa_ReadRequest_EncodeableType, OpcUa_ReadResponse_EncodeableType, context);
        request->prepareResults();
        UaStatus failed;
        failed.setStatus(OpcUa_BadNotReadable, UaString("not readable here"));
        UaDataValue value;
        value.setStatusCode(OpcUa_BadNotReadable);
        request->finishRead(2, value, true, c.withRecord ? failed.diagnostics() : nullptr);
        request->finishRead(1, value, true, nullptr);
        request->sendResponse();
        delete request;
        const auto* response =
            endpoint.waitForAnswer(context).as<OpcUa_ReadResponse>(OpcUa_ReadResponse_EncodeableType);
        ASSERT_NE(response, nullptr);
        EXPECT_EQ(response->NoOfDiagnosticInfos, c.diagnosticInfos);
        if (c.diagnosticInfos == 2 && (c.returnDiagnostics & 0x40) != 0)
        {
            // The second operation's text went into the string table.
            ASSERT_EQ(response->ResponseHeader.NoOfStringTable, 1);
            EXPECT_STREQ(OpcUa_String_GetRawString(&response->ResponseHeader.StringTable[0]),
                         "not readable here");
            EXPECT_EQ(response->DiagnosticInfos[1].LocalizedText, 0);
            EXPECT_EQ(response->DiagnosticInfos[0].LocalizedText, -1);
        }
    }
}

// A query context that says when it goes.
class TrackedQuery : public QueryContext
{
public:
    explicit TrackedQuery(bool& deleted) : m_deleted(deleted) {}
    ~TrackedQuery() override { m_deleted = true; }

private:
    bool& m_deleted;
};

TEST_F(ResponseSenders, AnUnfinishedQueryIsParkedOnTheSessionAndAFinishedOneDeleted)
{
    for (const bool finished : {false, true})
    {
        for (const bool first : {true, false})
        {
            SCOPED_TRACE(testing::Message()
                         << (first ? "QueryFirst" : "QueryNext") << " finished " << finished);
            bool deleted = false;
            auto* query = new TrackedQuery(deleted);
            query->setFinished(finished);
            OpcUa_Handle context = nullptr;
            PendingServiceRequest* request;
            if (first)
            {
                auto* message = newMessage<OpcUa_QueryFirstRequest>(OpcUa_QueryFirstRequest_EncodeableType);
                request = newPending<PendingQueryFirstRequest>(
                    endpoint, kChannel, session, message, OpcUa_QueryFirstRequest_EncodeableType,
                    OpcUa_QueryFirstResponse_EncodeableType, context, static_cast<QueryContext*>(query));
            }
            else
            {
                auto* message = newMessage<OpcUa_QueryNextRequest>(OpcUa_QueryNextRequest_EncodeableType);
                request = newPending<PendingQueryNextRequest>(
                    endpoint, kChannel, session, message, OpcUa_QueryNextRequest_EncodeableType,
                    OpcUa_QueryNextResponse_EncodeableType, context, static_cast<QueryContext*>(query));
            }
            request->sendResponse();
            delete request;
            const FakeAnswer& answer = endpoint.waitForAnswer(context);
            const OpcUa_ByteString* point = nullptr;
            if (first)
                point = &answer.as<OpcUa_QueryFirstResponse>(OpcUa_QueryFirstResponse_EncodeableType)
                             ->ContinuationPoint;
            else
                point = &answer.as<OpcUa_QueryNextResponse>(OpcUa_QueryNextResponse_EncodeableType)
                             ->RevisedContinuationPoint;
            EXPECT_EQ(deleted, finished);
            if (finished)
            {
                EXPECT_LE(point->Length, 0);
                continue;
            }
            ASSERT_EQ(point->Length, 4);
            QueryContext* parked = session->getQueryContext(*point);
            EXPECT_EQ(parked, query);
            delete parked;
            EXPECT_TRUE(deleted);
        }
    }
}

TEST_F(ResponseSenders, HistoryResultsTakeTheValuesAndParkOnlyAGoodResultsPoint)
{
    OpcUa_Handle context = nullptr;
    auto* request = newPending<PendingHistoryReadRequest>(
        endpoint, kChannel, session, newHistoryReadRequest(19, 4), OpcUa_HistoryReadRequest_EncodeableType,
        OpcUa_HistoryReadResponse_EncodeableType, context);
    request->prepareResults();
    int deleted = 0;

    UaDataValueArray values;
    values.create(2);
    values[0].Value.Datatype = OpcUaType_Int32;
    values[0].Value.Value.Int32 = 5;
    values[1].Value.Datatype = OpcUaType_Int32;
    values[1].Value.Value.Int32 = 6;
    auto* parkedPoint = new CountedContinuationPoint(deleted);
    EXPECT_FALSE(request->finishHistoryReadModifiedData(1, UaStatus(OpcUa_Good), parkedPoint, values));
    EXPECT_EQ(values.length(), 0u) << "the values were taken over";

    // A bad status, and a handle out of range, delete the point they bring; the latter still counts,
    // so that three results complete four items and the fourth stays empty.
    UaHistoryEventFieldListArray events;
    EXPECT_FALSE(request->finishHistoryReadEvent(2, UaStatus(OpcUa_BadHistoryOperationInvalid),
                                                 new CountedContinuationPoint(deleted), events));
    EXPECT_FALSE(request->finishHistoryReadData(0, UaStatus(OpcUa_Good),
                                                new CountedContinuationPoint(deleted), values));
    EXPECT_EQ(deleted, 2);
    events.create(1);
    EXPECT_TRUE(request->finishHistoryReadEvent(3, UaStatus(OpcUa_Good), nullptr, events));
    EXPECT_EQ(request->finishedCount(), 4u);

    request->sendResponse();
    delete request;
    const auto* response = endpoint.waitForAnswer(context).as<OpcUa_HistoryReadResponse>(
        OpcUa_HistoryReadResponse_EncodeableType);
    ASSERT_NE(response, nullptr);
    ASSERT_EQ(response->NoOfResults, 4);
    EXPECT_EQ(response->Results[3].HistoryData.Encoding, OpcUa_ExtensionObjectEncoding_None);

    const OpcUa_HistoryReadResult& first = response->Results[0];
    EXPECT_EQ(first.StatusCode, static_cast<OpcUa_StatusCode>(OpcUa_Good));
    ASSERT_EQ(first.HistoryData.Encoding, OpcUa_ExtensionObjectEncoding_EncodeableObject);
    ASSERT_EQ(first.HistoryData.Body.EncodeableObject.Type->TypeId,
              OpcUa_HistoryModifiedData_EncodeableType.TypeId);
    const auto* modified =
        static_cast<const OpcUa_HistoryModifiedData*>(first.HistoryData.Body.EncodeableObject.Object);
    ASSERT_EQ(modified->NoOfDataValues, 2);
    EXPECT_EQ(modified->DataValues[1].Value.Value.Int32, 6);
    ASSERT_EQ(first.ContinuationPoint.Length, 4);
    HistoryReadContinuationPoint* parked = session->getHistoryReadCP(first.ContinuationPoint);
    EXPECT_EQ(parked, parkedPoint);
    delete parked;
    EXPECT_EQ(deleted, 3);

    const OpcUa_HistoryReadResult& second = response->Results[1];
    EXPECT_EQ(second.StatusCode, static_cast<OpcUa_StatusCode>(OpcUa_BadHistoryOperationInvalid));
    EXPECT_EQ(second.HistoryData.Encoding, OpcUa_ExtensionObjectEncoding_None);
    EXPECT_LE(second.ContinuationPoint.Length, 0);

    const OpcUa_HistoryReadResult& third = response->Results[2];
    ASSERT_EQ(third.HistoryData.Encoding, OpcUa_ExtensionObjectEncoding_EncodeableObject);
    ASSERT_EQ(third.HistoryData.Body.EncodeableObject.Type->TypeId, OpcUa_HistoryEvent_EncodeableType.TypeId);
    EXPECT_EQ(
        static_cast<const OpcUa_HistoryEvent*>(third.HistoryData.Body.EncodeableObject.Object)->NoOfEvents,
        1);
}

TEST_F(ResponseSenders, HistoryUpdateResultsTakeTheOperationResults)
{
    OpcUa_Handle context = nullptr;
    PendingServiceRequest* pending = makeHistoryUpdate(endpoint, session, 20, context);
    auto* request = static_cast<PendingHistoryUpdateRequest*>(pending);
    // Answered once already by makeHistoryUpdate; a second answer replaces the first.
    UaStatusCodeArray results;
    results.create(2);
    results[1] = OpcUa_BadOutOfRange;
    UaDiagnosticInfos diagnostics;
    diagnostics.create(2);
    request->finishHistoryUpdate(1, UaStatus(OpcUa_Good), results, diagnostics);
    EXPECT_EQ(results.length(), 0u);
    request->sendResponse();
    delete request;
    const auto* response = endpoint.waitForAnswer(context).as<OpcUa_HistoryUpdateResponse>(
        OpcUa_HistoryUpdateResponse_EncodeableType);
    ASSERT_NE(response, nullptr);
    ASSERT_EQ(response->NoOfResults, 1);
    EXPECT_EQ(response->Results[0].StatusCode, static_cast<OpcUa_StatusCode>(OpcUa_Good));
    ASSERT_EQ(response->Results[0].NoOfOperationResults, 2);
    EXPECT_EQ(response->Results[0].OperationResults[1], static_cast<OpcUa_StatusCode>(OpcUa_BadOutOfRange));
    EXPECT_EQ(response->Results[0].NoOfDiagnosticInfos, 2);
}

} // namespace
