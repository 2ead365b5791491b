// The fake endpoint behind the stack's endpoint calls: what server code sends arrives recorded,
// refusals and channel events behave as on the wire, and misuse fails the test.
#include "fake_endpoint.h"

#include <opcua_endpoint_backend.hpp>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using namespace uaserver::testing;

namespace
{
// The failure messages that action reports (on any thread), kept from the test's own result.
std::vector<std::string> failuresOf(const std::function<void()>& action)
{
    ::testing::TestPartResultArray results;
    {
        ::testing::ScopedFakeTestPartResultReporter reporter(
            ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ALL_THREADS, &results);
        action();
    }
    std::vector<std::string> messages;
    for (int i = 0; i < results.size(); ++i)
        messages.push_back(results.GetTestPartResult(i).message());
    return messages;
}

bool mentions(const std::vector<std::string>& messages, const char* text)
{
    for (const std::string& m : messages)
        if (m.find(text) != std::string::npos)
            return true;
    return false;
}

const FakeChannel kChannel{7, kSecurityPolicyBasic256, OpcUa_MessageSecurityMode_SignAndEncrypt, {1, 2, 3}};

// Sends a ReadResponse with two Double results on context, as a service would.
OpcUa_StatusCode sendReadResponse(OpcUa_Endpoint endpoint, OpcUa_Handle& context, double first, double second)
{
    OpcUa_Void* response = nullptr;
    OpcUa_EncodeableType* type = nullptr;
    OpcUa_StatusCode result = OpcUa_Endpoint_BeginSendResponse(endpoint, context, &response, &type);
    if (OpcUa_IsBad(result))
        return result;
    auto* read = static_cast<OpcUa_ReadResponse*>(response);
    read->ResponseHeader.RequestHandle = 42;
    read->ResponseHeader.ServiceResult = OpcUa_GoodResultsMayBeIncomplete;
    read->NoOfResults = 2;
    read->Results = static_cast<OpcUa_DataValue*>(OpcUa_Memory_Alloc(2 * sizeof(OpcUa_DataValue)));
    const double values[] = {first, second};
    for (int i = 0; i < 2; ++i)
    {
        OpcUa_DataValue_Initialize(&read->Results[i]);
        read->Results[i].Value.Datatype = OpcUaType_Double;
        read->Results[i].Value.Value.Double = values[i];
    }
    result = OpcUa_Endpoint_EndSendResponse(endpoint, &context, OpcUa_Good, response, type);
    OpcUa_EncodeableObject_Delete(type, &response);
    return result;
}

TEST(FakeEndpoint, ARecordedResponseIsTheEncodedMessageDecodedAgain)
{
    FakeEndpoint endpoint;
    OpcUa_Handle context = endpoint.openContext(kChannel, &OpcUa_ReadResponse_EncodeableType);
    OpcUa_Handle kept = context;
    EXPECT_FALSE(endpoint.isAnswered(context));
    ASSERT_EQ(OpcUa_Good, sendReadResponse(endpoint.handle(), context, 1.5, -2.25));
    EXPECT_EQ(nullptr, context); // used up, as by the stack

    const FakeAnswer& answer = endpoint.waitForAnswer(kept);
    EXPECT_EQ(FakeAnswerKind::Response, answer.kind);
    EXPECT_EQ(OpcUa_GoodResultsMayBeIncomplete, answer.status);
    EXPECT_FALSE(answer.sentByStack);
    EXPECT_FALSE(answer.encoded.empty());
    EXPECT_EQ(nullptr, answer.as<OpcUa_ServiceFault>(OpcUa_ServiceFault_EncodeableType));
    const auto* read = answer.as<OpcUa_ReadResponse>(OpcUa_ReadResponse_EncodeableType);
    ASSERT_NE(nullptr, read);
    EXPECT_EQ(42u, answer.header()->RequestHandle);
    ASSERT_EQ(2, read->NoOfResults);
    EXPECT_EQ(1.5, read->Results[0].Value.Value.Double);
    EXPECT_EQ(-2.25, read->Results[1].Value.Value.Double);
    EXPECT_EQ(1u, endpoint.answerCount());
}

TEST(FakeEndpoint, FaultsAndCancelsAreToldApart)
{
    FakeEndpoint endpoint;
    const OpcUa_Endpoint e = endpoint.handle();
    struct Row
    {
        const char* name;
        std::function<OpcUa_StatusCode(OpcUa_Handle&)> answer;
        FakeAnswerKind kind;
        OpcUa_StatusCode status;
        OpcUa_StatusCode callResult;
    };
    const Row rows[] = {
        {"EndSendResponse with a bad status",
         [&](OpcUa_Handle& c)
         {
             OpcUa_Void* r = nullptr;
             OpcUa_EncodeableType* t = nullptr;
             OpcUa_Endpoint_BeginSendResponse(e, c, &r, &t);
             OpcUa_StatusCode s = OpcUa_Endpoint_EndSendResponse(e, &c, OpcUa_BadTimeout, r, t);
             OpcUa_EncodeableObject_Delete(t, &r);
             return s;
         },
         FakeAnswerKind::Fault, OpcUa_BadTimeout, OpcUa_Good},
        {"a ServiceFault made by CreateFault",
         [&](OpcUa_Handle& c)
         {
             OpcUa_RequestHeader header;
             OpcUa_RequestHeader_Initialize(&header);
             OpcUa_Void* fault = nullptr;
             OpcUa_EncodeableType* type = nullptr;
             OpcUa_ServerApi_CreateFault(&header, OpcUa_BadNoSubscription, nullptr, nullptr, nullptr, &fault,
                                         &type);
             OpcUa_StatusCode s = OpcUa_Endpoint_EndSendResponse(e, &c, OpcUa_Good, fault, type);
             OpcUa_EncodeableObject_Delete(type, &fault);
             return s;
         },
         FakeAnswerKind::Fault, OpcUa_BadNoSubscription, OpcUa_Good},
        {"a good status without a response",
         [&](OpcUa_Handle& c) { return OpcUa_Endpoint_EndSendResponse(e, &c, OpcUa_Good, nullptr, nullptr); },
         FakeAnswerKind::Fault, OpcUa_BadInternalError, OpcUa_BadInvalidArgument},
        {"a cancel with a bad status",
         [&](OpcUa_Handle& c)
         { return OpcUa_Endpoint_CancelSendResponse(e, OpcUa_BadSessionClosed, nullptr, &c); },
         FakeAnswerKind::Cancel, OpcUa_BadSessionClosed, OpcUa_Good},
        {"a cancel with status 0",
         [&](OpcUa_Handle& c) { return OpcUa_Endpoint_CancelSendResponse(e, OpcUa_Good, nullptr, &c); },
         FakeAnswerKind::Cancel, OpcUa_Good, OpcUa_Good},
    };
    for (const Row& row : rows)
    {
        OpcUa_Handle context = endpoint.openContext(kChannel, &OpcUa_PublishResponse_EncodeableType, 9);
        OpcUa_Handle kept = context;
        EXPECT_EQ(row.callResult, row.answer(context)) << row.name;
        const FakeAnswer& answer = endpoint.waitForAnswer(kept);
        EXPECT_EQ(row.kind, answer.kind) << row.name;
        EXPECT_EQ(row.status, answer.status) << row.name;
        if (row.kind == FakeAnswerKind::Fault)
        {
            ASSERT_NE(nullptr, answer.as<OpcUa_ServiceFault>(OpcUa_ServiceFault_EncodeableType)) << row.name;
            EXPECT_EQ(row.status, answer.header()->ServiceResult) << row.name;
            EXPECT_FALSE(answer.encoded.empty()) << row.name;
        }
        else
            EXPECT_EQ(nullptr, answer.header()) << row.name;
    }
}

TEST(FakeEndpoint, AResponseTheEncoderRefusesBecomesTheStacksFault)
{
    FakeEndpoint endpoint;
    OpcUa_Handle context = endpoint.openContext(kChannel, &OpcUa_ReadResponse_EncodeableType);
    OpcUa_Handle kept = context;
    OpcUa_Void* response = nullptr;
    OpcUa_EncodeableType* type = nullptr;
    ASSERT_EQ(OpcUa_Good, OpcUa_Endpoint_BeginSendResponse(endpoint.handle(), context, &response, &type));
    auto* read = static_cast<OpcUa_ReadResponse*>(response);
    read->NoOfResults = 1;
    read->Results = static_cast<OpcUa_DataValue*>(OpcUa_Memory_Alloc(sizeof(OpcUa_DataValue)));
    OpcUa_DataValue_Initialize(read->Results);
    read->Results[0].Value.Datatype = 77; // no built-in type
    EXPECT_TRUE(
        OpcUa_IsBad(OpcUa_Endpoint_EndSendResponse(endpoint.handle(), &context, OpcUa_Good, response, type)));
    read->Results[0].Value.Datatype = OpcUaType_Null;
    OpcUa_EncodeableObject_Delete(type, &response);
    const FakeAnswer& answer = endpoint.waitForAnswer(kept);
    EXPECT_EQ(FakeAnswerKind::Fault, answer.kind);
    EXPECT_TRUE(answer.sentByStack);
    EXPECT_TRUE(OpcUa_IsBad(answer.status));
}

TEST(FakeEndpoint, ASecondAnswerAndAForeignContextFailTheTest)
{
    FakeEndpoint endpoint;
    FakeEndpoint other;
    OpcUa_Handle context = endpoint.openContext(kChannel, &OpcUa_ReadResponse_EncodeableType);
    OpcUa_Handle copy = context;
    ASSERT_EQ(OpcUa_Good, sendReadResponse(endpoint.handle(), context, 1, 2));

    OpcUa_StatusCode again = OpcUa_Good;
    auto failures = failuresOf(
        [&] { again = OpcUa_Endpoint_CancelSendResponse(endpoint.handle(), OpcUa_Good, nullptr, &copy); });
    EXPECT_EQ(OpcUa_BadInvalidArgument, again);
    EXPECT_TRUE(mentions(failures, "second answer")) << failures.size();

    failures = failuresOf([&] { again = sendReadResponse(endpoint.handle(), copy, 3, 4); });
    EXPECT_EQ(OpcUa_BadInvalidArgument, again);
    EXPECT_TRUE(mentions(failures, "answered already"));

    OpcUa_UInt32 channelId = 0;
    EXPECT_EQ(OpcUa_BadInvalidArgument,
              OpcUa_Endpoint_GetMessageSecureChannelId(endpoint.handle(), copy, &channelId));

    OpcUa_Handle foreign = other.openContext(kChannel, &OpcUa_ReadResponse_EncodeableType);
    failures = failuresOf([&] { again = sendReadResponse(endpoint.handle(), foreign, 1, 2); });
    EXPECT_EQ(OpcUa_BadInvalidArgument, again);
    EXPECT_TRUE(mentions(failures, "no FakeEndpoint"));
    EXPECT_FALSE(other.isAnswered(foreign));
    other.expectNoAnswer(foreign);
}

TEST(FakeEndpoint, AContextLeftUnansweredFailsTheTestUnlessExpected)
{
    auto failures = failuresOf(
        []
        {
            FakeEndpoint endpoint;
            endpoint.openContext(kChannel, &OpcUa_ReadResponse_EncodeableType);
            OpcUa_Handle dropped = endpoint.openContext(kChannel, &OpcUa_ReadResponse_EncodeableType);
            endpoint.expectNoAnswer(dropped);
        });
    ASSERT_EQ(1u, failures.size());
    EXPECT_TRUE(mentions(failures, "request context 0 on channel 7 was never answered"));

    failures = failuresOf(
        []
        {
            FakeEndpoint endpoint;
            OpcUa_Handle context = endpoint.openContext(kChannel, &OpcUa_ReadResponse_EncodeableType);
            endpoint.waitForAnswer(context, std::chrono::milliseconds(1));
            endpoint.expectNoAnswer(context);
        });
    EXPECT_TRUE(mentions(failures, "not answered in time"));
}

TEST(FakeEndpoint, AnswersFromOtherThreadsAreWaitedFor)
{
    FakeEndpoint endpoint;
    std::vector<OpcUa_Handle> contexts;
    for (int i = 0; i < 8; ++i)
        contexts.push_back(endpoint.openContext(kChannel, &OpcUa_ReadResponse_EncodeableType));
    std::vector<std::thread> senders;
    for (int i = 0; i < 8; ++i)
        senders.emplace_back(
            [&, i]
            {
                OpcUa_Handle c = contexts[i];
                sendReadResponse(endpoint.handle(), c, i, -i);
            });
    ASSERT_TRUE(endpoint.waitForAnswerCount(8));
    for (int i = 0; i < 8; ++i)
    {
        const auto* read =
            endpoint.waitForAnswer(contexts[i]).as<OpcUa_ReadResponse>(OpcUa_ReadResponse_EncodeableType);
        ASSERT_NE(nullptr, read);
        EXPECT_EQ(i, read->Results[0].Value.Value.Double);
    }
    for (std::thread& t : senders)
        t.join();
}

TEST(FakeEndpoint, BeginSendAndTheChannelQueriesFailOnRequest)
{
    FakeEndpoint endpoint;
    const OpcUa_Endpoint e = endpoint.handle();
    OpcUa_Handle first = endpoint.openContext(kChannel, &OpcUa_ReadResponse_EncodeableType);
    OpcUa_Handle second = endpoint.openContext({3}, &OpcUa_ReadResponse_EncodeableType);

    OpcUa_UInt32 channelId = 0;
    ASSERT_EQ(OpcUa_Good, OpcUa_Endpoint_GetMessageSecureChannelId(e, first, &channelId));
    EXPECT_EQ(7u, channelId);
    endpoint.failChannelIdQuery(OpcUa_BadSecureChannelClosed, first);
    EXPECT_EQ(OpcUa_BadSecureChannelClosed, OpcUa_Endpoint_GetMessageSecureChannelId(e, first, &channelId));
    ASSERT_EQ(OpcUa_Good, OpcUa_Endpoint_GetMessageSecureChannelId(e, second, &channelId));
    EXPECT_EQ(3u, channelId);
    endpoint.failChannelIdQuery(OpcUa_BadInternalError);
    EXPECT_EQ(OpcUa_BadInternalError, OpcUa_Endpoint_GetMessageSecureChannelId(e, second, &channelId));

    endpoint.failBeginSendResponse(OpcUa_BadOutOfMemory, second);
    OpcUa_Void* response = reinterpret_cast<OpcUa_Void*>(1);
    OpcUa_EncodeableType* type = nullptr;
    EXPECT_EQ(OpcUa_BadOutOfMemory, OpcUa_Endpoint_BeginSendResponse(e, second, &response, &type));
    EXPECT_EQ(nullptr, response);
    ASSERT_EQ(OpcUa_Good, sendReadResponse(e, first, 1, 1));
    endpoint.failBeginSendResponse(OpcUa_Good, second);
    EXPECT_EQ(OpcUa_Good, sendReadResponse(e, second, 2, 2));

    const struct
    {
        OpcUa_UInt16 mode;
        OpcUa_UInt16 bit;
    } modes[] = {{1, OPCUA_ENDPOINT_MESSAGESECURITYMODE_NONE},
                 {2, OPCUA_ENDPOINT_MESSAGESECURITYMODE_SIGN},
                 {3, OPCUA_ENDPOINT_MESSAGESECURITYMODE_SIGNANDENCRYPT}};
    for (const auto& m : modes)
    {
        OpcUa_Handle c = endpoint.openContext({1, kSecurityPolicyBasic128Rsa15, m.mode}, nullptr);
        OpcUa_Endpoint_SecurityPolicyConfiguration policy;
        ASSERT_EQ(OpcUa_Good, OpcUa_Endpoint_GetMessageSecureChannelSecurityPolicy(e, c, &policy));
        EXPECT_STREQ(kSecurityPolicyBasic128Rsa15, OpcUa_String_GetRawString(&policy.sSecurityPolicyUri));
        EXPECT_EQ(m.bit, policy.uMessageSecurityModes);
        OpcUa_String_Clear(&policy.sSecurityPolicyUri);
        OpcUa_Endpoint_CancelSendResponse(e, OpcUa_Good, nullptr, &c);
    }
}

// A service table as a server gives it to the stack.
struct Services
{
    static OpcUa_StatusCode answerAtOnce(OpcUa_Endpoint e, OpcUa_Handle c, OpcUa_Void** request,
                                         OpcUa_EncodeableType*)
    {
        auto* read = static_cast<OpcUa_ReadRequest*>(*request);
        return sendReadResponse(e, c, read->MaxAge, read->NoOfNodesToRead);
    }
    static OpcUa_StatusCode refuse(OpcUa_Endpoint, OpcUa_Handle, OpcUa_Void**, OpcUa_EncodeableType*)
    {
        return OpcUa_BadTooManyOperations;
    }
    // Takes the request over and answers it later on another thread.
    static OpcUa_StatusCode takeOver(OpcUa_Endpoint e, OpcUa_Handle c, OpcUa_Void** request,
                                     OpcUa_EncodeableType* type)
    {
        OpcUa_Void* taken = *request;
        *request = nullptr;
        answerers.emplace_back(
            [e, c, taken, type]() mutable
            {
                OpcUa_Handle context = c;
                sendReadResponse(e, context, static_cast<OpcUa_ReadRequest*>(taken)->MaxAge, 0);
                OpcUa_EncodeableObject_Delete(type, &taken);
            });
        return OpcUa_Good;
    }
    inline static std::vector<std::thread> answerers;

    ~Services()
    {
        for (std::thread& t : answerers)
            t.join();
        answerers.clear();
    }

    OpcUa_ServiceType row{OpcUaId_ReadRequest, &OpcUa_ReadResponse_EncodeableType, nullptr, nullptr};
    OpcUa_ServiceType* table[2] = {&row, nullptr};
};

OpcUa_ReadRequest* readRequest(double maxAge, OpcUa_Int32 nodes)
{
    auto* request = newMessage<OpcUa_ReadRequest>(OpcUa_ReadRequest_EncodeableType);
    request->RequestHeader.RequestHandle = 5;
    request->MaxAge = maxAge;
    request->NodesToRead =
        static_cast<OpcUa_ReadValueId*>(OpcUa_Memory_Alloc(nodes * sizeof(OpcUa_ReadValueId)));
    request->NoOfNodesToRead = nodes;
    for (int i = 0; i < nodes; ++i)
        OpcUa_ReadValueId_Initialize(&request->NodesToRead[i]);
    return request;
}

TEST(FakeEndpoint, InvokeHandsTheRequestToTheServiceTableAsTheStackDoes)
{
    Services services;
    FakeEndpoint endpoint(services.table);

    services.row.BeginInvoke = &Services::answerAtOnce;
    FakeEndpoint::Invocation at =
        endpoint.invoke(kChannel, readRequest(250, 3), &OpcUa_ReadRequest_EncodeableType);
    EXPECT_EQ(OpcUa_Good, at.result);
    EXPECT_FALSE(at.requestTaken); // freed by the harness, as by the stack
    const auto* read =
        endpoint.waitForAnswer(at.context).as<OpcUa_ReadResponse>(OpcUa_ReadResponse_EncodeableType);
    ASSERT_NE(nullptr, read);
    EXPECT_EQ(250, read->Results[0].Value.Value.Double);
    EXPECT_EQ(3, read->Results[1].Value.Value.Double);

    services.row.BeginInvoke = &Services::refuse;
    FakeEndpoint::Invocation refused =
        endpoint.invoke(kChannel, readRequest(0, 1), &OpcUa_ReadRequest_EncodeableType);
    EXPECT_EQ(OpcUa_BadTooManyOperations, refused.result);
    const FakeAnswer& fault = endpoint.waitForAnswer(refused.context);
    EXPECT_EQ(FakeAnswerKind::Fault, fault.kind);
    EXPECT_TRUE(fault.sentByStack);
    EXPECT_EQ(OpcUa_BadTooManyOperations, fault.status);
    EXPECT_EQ(5u, fault.header()->RequestHandle);

    services.row.BeginInvoke = &Services::takeOver;
    FakeEndpoint::Invocation later =
        endpoint.invoke(kChannel, readRequest(17, 0), &OpcUa_ReadRequest_EncodeableType);
    EXPECT_TRUE(later.requestTaken);
    read = endpoint.waitForAnswer(later.context).as<OpcUa_ReadResponse>(OpcUa_ReadResponse_EncodeableType);
    ASSERT_NE(nullptr, read);
    EXPECT_EQ(17, read->Results[0].Value.Value.Double);
}

struct EventLog
{
    struct Event
    {
        OpcUa_Endpoint endpoint;
        OpcUa_Endpoint_Event event;
        OpcUa_StatusCode status;
        OpcUa_UInt32 channelId;
        std::vector<OpcUa_Byte> certificate;
        std::string policy;
        OpcUa_UInt16 mode;
    };
    std::vector<Event> events;

    static OpcUa_StatusCode callback(OpcUa_Endpoint endpoint, OpcUa_Void* data, OpcUa_Endpoint_Event event,
                                     OpcUa_StatusCode status, OpcUa_UInt32 channelId,
                                     OpcUa_ByteString* certificate, OpcUa_String* policy, OpcUa_UInt16 mode)
    {
        Event e{endpoint, event, status, channelId, {}, OpcUa_String_GetRawString(policy), mode};
        if (certificate->Length > 0)
            e.certificate.assign(certificate->Data, certificate->Data + certificate->Length);
        static_cast<EventLog*>(data)->events.push_back(e);
        return OpcUa_Good;
    }
};

OpcUa_StatusCode openWithPolicies(OpcUa_Endpoint endpoint, EventLog& log, const char* url)
{
    OpcUa_Endpoint_SecurityPolicyConfiguration policies[2];
    OpcUa_String_Initialize(&policies[0].sSecurityPolicyUri);
    OpcUa_String_AttachCopy(&policies[0].sSecurityPolicyUri, kSecurityPolicyNone);
    policies[0].uMessageSecurityModes = OPCUA_ENDPOINT_MESSAGESECURITYMODE_NONE;
    OpcUa_String_Initialize(&policies[1].sSecurityPolicyUri);
    OpcUa_String_AttachCopy(&policies[1].sSecurityPolicyUri, kSecurityPolicyBasic256);
    policies[1].uMessageSecurityModes =
        OPCUA_ENDPOINT_MESSAGESECURITYMODE_SIGN | OPCUA_ENDPOINT_MESSAGESECURITYMODE_SIGNANDENCRYPT;
    OpcUa_Byte certificateBytes[] = {0x30, 0x82};
    OpcUa_ByteString certificate{2, certificateBytes};
    static int pki;
    OpcUa_StatusCode result = OpcUa_Endpoint_Open(endpoint, url, &EventLog::callback, &log, &certificate,
                                                  nullptr, &pki, 2, policies);
    OpcUa_String_Clear(&policies[0].sSecurityPolicyUri);
    OpcUa_String_Clear(&policies[1].sSecurityPolicyUri);
    return result;
}

TEST(FakeEndpoint, ChannelEventsReachTheCallbackGivenToOpen)
{
    FakeEndpoint endpoint;
    EventLog log;
    EXPECT_EQ(OpcUa_BadInvalidState,
              endpoint.raiseChannelEvent(OpcUa_Endpoint_Event_SecureChannelOpened, kChannel));
    ASSERT_EQ(OpcUa_Good, openWithPolicies(endpoint.handle(), log, "opc.tcp://fake:4840"));
    EXPECT_TRUE(endpoint.isOpen());
    EXPECT_EQ("opc.tcp://fake:4840", endpoint.url());
    ASSERT_EQ(2u, endpoint.policies().size());
    EXPECT_EQ(kSecurityPolicyBasic256, endpoint.policies()[1].uri);
    EXPECT_EQ(6, endpoint.policies()[1].modes);
    EXPECT_EQ((std::vector<OpcUa_Byte>{0x30, 0x82}), endpoint.serverCertificate());
    EXPECT_EQ(OpcUa_BadInvalidState, openWithPolicies(endpoint.handle(), log, "opc.tcp://again:1"));

    for (int event = OpcUa_Endpoint_Event_SecureChannelOpened; event <= OpcUa_Endpoint_Event_DecoderError;
         ++event)
        EXPECT_EQ(OpcUa_Good, endpoint.raiseChannelEvent(static_cast<OpcUa_Endpoint_Event>(event), kChannel,
                                                         static_cast<OpcUa_StatusCode>(event) << 16));
    ASSERT_EQ(5u, log.events.size());
    for (int i = 0; i < 5; ++i)
    {
        const EventLog::Event& e = log.events[i];
        EXPECT_EQ(endpoint.handle(), e.endpoint);
        EXPECT_EQ(i + 1, e.event);
        EXPECT_EQ(static_cast<OpcUa_StatusCode>(i + 1) << 16, e.status);
        EXPECT_EQ(7u, e.channelId);
        EXPECT_EQ(kChannel.clientCertificate, e.certificate);
        EXPECT_EQ(kSecurityPolicyBasic256, e.policy);
        EXPECT_EQ(OpcUa_MessageSecurityMode_SignAndEncrypt, e.mode);
    }

    // A request for a service not in the table: the stack raises event 4 and faults it.
    FakeEndpoint::Invocation unsupported =
        endpoint.invoke(kChannel, readRequest(0, 0), &OpcUa_ReadRequest_EncodeableType);
    EXPECT_EQ(OpcUa_BadServiceUnsupported, unsupported.result);
    EXPECT_EQ(OpcUa_BadServiceUnsupported, endpoint.waitForAnswer(unsupported.context).status);
    ASSERT_EQ(6u, log.events.size());
    EXPECT_EQ(OpcUa_Endpoint_Event_UnsupportedServiceRequested, log.events[5].event);

    EXPECT_EQ(OpcUa_Good, OpcUa_Endpoint_Close(endpoint.handle()));
    EXPECT_FALSE(endpoint.isOpen());
    EXPECT_EQ(OpcUa_BadInvalidState, OpcUa_Endpoint_Close(endpoint.handle()));
    EXPECT_EQ(OpcUa_BadInvalidState,
              endpoint.raiseChannelEvent(OpcUa_Endpoint_Event_SecureChannelClosed, kChannel));
}

TEST(FakeEndpoint, TheFactoryStandsInForCreateUntilItGoes)
{
    Services services;
    EventLog log;
    {
        FakeEndpointFactory factory;
        factory.prepare(1, [](FakeEndpoint& e) { e.failOpen(OpcUa_BadResourceUnavailable); });
        FakeEndpoint* opening = nullptr;
        factory.prepare(
            2,
            [&](FakeEndpoint& e)
            {
                opening = &e;
                e.duringOpen([&]
                             { opening->raiseChannelEvent(OpcUa_Endpoint_Event_SecureChannelOpened, {11}); });
            });
        OpcUa_Endpoint handles[3] = {};
        for (OpcUa_Endpoint& h : handles)
            ASSERT_EQ(OpcUa_Good,
                      OpcUa_Endpoint_Create(&h, OpcUa_Endpoint_SerializerType_Binary, services.table));
        ASSERT_EQ(3u, factory.count());
        EXPECT_EQ(OpcUa_Good, openWithPolicies(handles[0], log, "opc.tcp://a:1"));
        EXPECT_EQ(OpcUa_BadResourceUnavailable, openWithPolicies(handles[1], log, "opc.tcp://b:2"));
        EXPECT_FALSE(factory.endpoint(1).isOpen());
        EXPECT_EQ(1, factory.endpoint(1).openCount());
        EXPECT_EQ(OpcUa_Good, openWithPolicies(handles[2], log, "opc.tcp://c:3"));
        ASSERT_EQ(1u, log.events.size());
        EXPECT_EQ(handles[2], log.events[0].endpoint);
        EXPECT_EQ(11u, log.events[0].channelId);

        // The factory's endpoints carry the service table they were created with.
        services.row.BeginInvoke = &Services::answerAtOnce;
        FakeEndpoint::Invocation at =
            factory.endpoint(0).invoke(kChannel, readRequest(1, 1), &OpcUa_ReadRequest_EncodeableType);
        EXPECT_EQ(FakeAnswerKind::Response, factory.endpoint(0).waitForAnswer(at.context).kind);

        for (OpcUa_Endpoint& h : handles)
            OpcUa_Endpoint_Delete(&h);
        EXPECT_EQ(nullptr, handles[0]);
        EXPECT_TRUE(factory.endpoint(2).isDestroyed());
        EXPECT_FALSE(factory.endpoint(2).isOpen());

        auto failures = failuresOf([&] { factory.endpoint(3); });
        EXPECT_TRUE(mentions(failures, "no endpoint number 3"));
    }
    // Without the factory the stack makes its own endpoints again.
    OpcUa_Endpoint real = nullptr;
    ASSERT_EQ(OpcUa_Good, OpcUa_Endpoint_Create(&real, OpcUa_Endpoint_SerializerType_Binary, services.table));
    EXPECT_EQ(nullptr, OpcUa::endpointBackend(real));
    OpcUa_Endpoint_Delete(&real);
    EXPECT_EQ(nullptr, real);
}

TEST(FakeEndpoint, ChannelsCarryingASessionAreMarked)
{
    FakeEndpoint endpoint;
    const OpcUa_Endpoint e = endpoint.handle();
    EXPECT_EQ(OpcUa_BadSecureChannelIdInvalid,
              OpcUa_Endpoint_SetSecureChannelSessionActive(e, 7, OpcUa_True));
    OpcUa_Handle context = endpoint.openContext(kChannel, nullptr);
    EXPECT_EQ(OpcUa_Good, OpcUa_Endpoint_SetSecureChannelSessionActive(e, 7, OpcUa_True));
    EXPECT_TRUE(endpoint.isSessionActive(7));
    EXPECT_FALSE(endpoint.isSessionActive(8));
    EXPECT_EQ(OpcUa_Good, OpcUa_Endpoint_SetSecureChannelSessionActive(e, 7, OpcUa_False));
    EXPECT_FALSE(endpoint.isSessionActive(7));
    OpcUa_Endpoint_CancelSendResponse(e, OpcUa_Good, nullptr, &context);
}

TEST(FakeEndpoint, CallsAfterDeleteFailTheTest)
{
    FakeEndpoint endpoint;
    OpcUa_Endpoint handle = endpoint.handle();
    OpcUa_Handle context = endpoint.openContext(kChannel, &OpcUa_ReadResponse_EncodeableType);
    OpcUa_Endpoint_Delete(&handle);
    EXPECT_TRUE(endpoint.isDestroyed());
    auto failures = failuresOf([&] { sendReadResponse(endpoint.handle(), context, 0, 0); });
    EXPECT_TRUE(mentions(failures, "after OpcUa_Endpoint_Delete"));
}
} // namespace
