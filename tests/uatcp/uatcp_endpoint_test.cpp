// The stack's endpoint and channel API over loopback: our own client against
// the test server, the discovery calls, unsupported and undecodable requests,
// and the response calls' contract as a service implementation sees it.
#include "uatcp_raw_client.h"
#include "uatcp_test_server.h"
#include "uatcp_thread_guard.h"

#include <opcua.h>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <thread>

using namespace uatcp::test;

namespace
{
constexpr const char* kNone = "http://opcfoundation.org/UA/SecurityPolicy#None";

uint16_t portOf(const std::string& url)
{
    return static_cast<uint16_t>(std::stoi(url.substr(url.rfind(':') + 1)));
}

struct Client
{
    OpcUa_Channel channel = nullptr;
    OpcUa_NodeId token{};

    OpcUa_StatusCode connect(const std::string& url)
    {
        EXPECT_EQ(OpcUa_Channel_Create(&channel, OpcUa_Channel_SerializerType_Binary), OpcUa_Good);
        OpcUa_String policy;
        OpcUa_String_Initialize(&policy);
        OpcUa_String_AttachCopy(&policy, kNone);
        OpcUa_StatusCode result =
            OpcUa_Channel_Connect(channel, url.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                  &policy, 60000, OpcUa_MessageSecurityMode_None, 30000);
        OpcUa_String_Clear(&policy);
        return result;
    }
    ~Client()
    {
        OpcUa_NodeId_Clear(&token);
        OpcUa_Channel_Delete(&channel);
    }
    // Calls a service; the response must be of the expected type (or null on failure).
    template <typename Request>
    OpcUa_Void* invoke(Request& request, OpcUa_EncodeableType* requestType,
                       OpcUa_EncodeableType** responseType)
    {
        OpcUa_NodeId_CopyTo(&token, &request.RequestHeader.AuthenticationToken);
        request.RequestHeader.TimeoutHint = 30000;
        OpcUa_Void* response = nullptr;
        OpcUa_StatusCode result =
            OpcUa_Channel_InvokeService(channel, &request, requestType, &response, responseType);
        EXPECT_EQ(result, OpcUa_Good);
        return response;
    }
    OpcUa_StatusCode faultOf(OpcUa_Void* response, OpcUa_EncodeableType* type)
    {
        if (type != &OpcUa_ServiceFault_EncodeableType)
            return OpcUa_Good;
        return static_cast<OpcUa_ServiceFault*>(response)->ResponseHeader.ServiceResult;
    }
    // Sends the request and gives the fault it is answered with (Good for any other answer).
    template <typename Request> OpcUa_StatusCode faultFor(Request& request, OpcUa_EncodeableType* requestType)
    {
        OpcUa_EncodeableType* type = nullptr;
        OpcUa_Void* response = invoke(request, requestType, &type);
        const OpcUa_StatusCode fault = faultOf(response, type);
        OpcUa_EncodeableObject_Delete(type, &response);
        return fault;
    }
    void openSession()
    {
        OpcUa_CreateSessionRequest create;
        OpcUa_CreateSessionRequest_Initialize(&create);
        create.RequestedSessionTimeout = 60000;
        OpcUa_EncodeableType* type = nullptr;
        OpcUa_Void* response = invoke(create, &OpcUa_CreateSessionRequest_EncodeableType, &type);
        OpcUa_CreateSessionRequest_Clear(&create);
        ASSERT_EQ(type, &OpcUa_CreateSessionResponse_EncodeableType);
        OpcUa_NodeId_CopyTo(&static_cast<OpcUa_CreateSessionResponse*>(response)->AuthenticationToken,
                            &token);
        OpcUa_EncodeableObject_Delete(type, &response);

        OpcUa_ActivateSessionRequest activate;
        OpcUa_ActivateSessionRequest_Initialize(&activate);
        response = invoke(activate, &OpcUa_ActivateSessionRequest_EncodeableType, &type);
        OpcUa_ActivateSessionRequest_Clear(&activate);
        EXPECT_EQ(type, &OpcUa_ActivateSessionResponse_EncodeableType);
        OpcUa_EncodeableObject_Delete(type, &response);
    }
    // Reads the values of namespace-1 nodes.
    OpcUa_ReadResponse* read(std::initializer_list<OpcUa_UInt32> ids, OpcUa_EncodeableType** type)
    {
        OpcUa_ReadRequest request;
        OpcUa_ReadRequest_Initialize(&request);
        request.NoOfNodesToRead = static_cast<OpcUa_Int32>(ids.size());
        request.NodesToRead =
            static_cast<OpcUa_ReadValueId*>(OpcUa_Memory_Alloc(sizeof(OpcUa_ReadValueId) * ids.size()));
        int i = 0;
        for (OpcUa_UInt32 id : ids)
        {
            OpcUa_ReadValueId_Initialize(&request.NodesToRead[i]);
            request.NodesToRead[i].NodeId.NamespaceIndex = 1;
            request.NodesToRead[i].NodeId.Identifier.Numeric = id;
            request.NodesToRead[i].AttributeId = 13;
            ++i;
        }
        OpcUa_Void* response = invoke(request, &OpcUa_ReadRequest_EncodeableType, type);
        OpcUa_ReadRequest_Clear(&request);
        return static_cast<OpcUa_ReadResponse*>(response);
    }
};

struct UatcpEndpoint : ::testing::Test
{
    TestServer server;
    void SetUp() override { ASSERT_TRUE(server.start()); }
};
} // namespace

TEST_F(UatcpEndpoint, DiscoveryCallsReturnTheServersEndpointAndDescription)
{
    Client client;
    ASSERT_EQ(client.connect(server.url()), OpcUa_Good);
    OpcUa_RequestHeader header;
    OpcUa_RequestHeader_Initialize(&header);
    OpcUa_String url;
    OpcUa_String_Initialize(&url);
    OpcUa_String_AttachCopy(&url, server.url().c_str());
    OpcUa_ResponseHeader responseHeader;
    OpcUa_ResponseHeader_Initialize(&responseHeader);
    OpcUa_Int32 count = 0;
    OpcUa_EndpointDescription* endpoints = nullptr;
    ASSERT_EQ(OpcUa_ClientApi_GetEndpoints(client.channel, &header, &url, 0, nullptr, 0, nullptr,
                                           &responseHeader, &count, &endpoints),
              OpcUa_Good);
    EXPECT_EQ(responseHeader.ServiceResult, OpcUa_Good);
    ASSERT_EQ(count, 1);
    EXPECT_STREQ(OpcUa_String_GetRawString(&endpoints[0].EndpointUrl), server.url().c_str());
    EXPECT_STREQ(OpcUa_String_GetRawString(&endpoints[0].SecurityPolicyUri), kNone);
    EXPECT_EQ(endpoints[0].SecurityMode, OpcUa_MessageSecurityMode_None);
    OpcUa_EndpointDescription_Clear(&endpoints[0]);
    OpcUa_Memory_Free(endpoints);
    OpcUa_ResponseHeader_Clear(&responseHeader);

    OpcUa_ApplicationDescription* servers = nullptr;
    ASSERT_EQ(OpcUa_ClientApi_FindServers(client.channel, &header, &url, 0, nullptr, 0, nullptr,
                                          &responseHeader, &count, &servers),
              OpcUa_Good);
    ASSERT_EQ(count, 1);
    EXPECT_STREQ(OpcUa_String_GetRawString(&servers[0].ApplicationUri), kApplicationUri);
    OpcUa_ApplicationDescription_Clear(&servers[0]);
    OpcUa_Memory_Free(servers);
    OpcUa_ResponseHeader_Clear(&responseHeader);

    // RegisterServer is not in the test server's table: the call works, the answer is a fault.
    OpcUa_RegisteredServer registered;
    OpcUa_RegisteredServer_Initialize(&registered);
    ASSERT_EQ(OpcUa_ClientApi_RegisterServer(client.channel, &header, &registered, &responseHeader),
              OpcUa_Good);
    EXPECT_EQ(responseHeader.ServiceResult, OpcUa_BadServiceUnsupported);
    OpcUa_ResponseHeader_Clear(&responseHeader);
    EXPECT_EQ(server.unsupported.load(), 1);
    OpcUa_String_Clear(&url);
    EXPECT_EQ(OpcUa_Channel_Disconnect(client.channel), OpcUa_Good);
}

TEST_F(UatcpEndpoint, SessionAndReadsIncludingAMultiChunkResponse)
{
    Client client;
    ASSERT_EQ(client.connect(server.url()), OpcUa_Good);
    ASSERT_NO_FATAL_FAILURE(client.openSession());
    OpcUa_EncodeableType* type = nullptr;
    OpcUa_ReadResponse* r = client.read({kDoubleNode, kStringNode, kBigArrayNode, 77}, &type);
    ASSERT_EQ(type, &OpcUa_ReadResponse_EncodeableType);
    ASSERT_EQ(r->NoOfResults, 4);
    EXPECT_EQ(r->Results[0].Value.Datatype, OpcUaType_Double);
    EXPECT_EQ(r->Results[0].Value.Value.Double, kDoubleValue);
    EXPECT_STREQ(OpcUa_String_GetRawString(&r->Results[1].Value.Value.String), "uatcp");
    const OpcUa_Variant& big = r->Results[2].Value;
    ASSERT_EQ(big.ArrayType, OpcUa_VariantArrayType_Array);
    ASSERT_EQ(big.Value.Array.Length, kBigArrayLength);
    EXPECT_EQ(big.Value.Array.Value.Int32Array[kBigArrayLength - 1], kBigArrayLength - 1);
    EXPECT_EQ(r->Results[3].StatusCode, OpcUa_BadNodeIdUnknown);
    OpcUa_Void* object = r;
    OpcUa_EncodeableObject_Delete(type, &object);

    OpcUa_CloseSessionRequest close;
    OpcUa_CloseSessionRequest_Initialize(&close);
    OpcUa_Void* response = client.invoke(close, &OpcUa_CloseSessionRequest_EncodeableType, &type);
    OpcUa_CloseSessionRequest_Clear(&close);
    EXPECT_EQ(type, &OpcUa_CloseSessionResponse_EncodeableType);
    OpcUa_EncodeableObject_Delete(type, &response);

    // The session is gone: the service answers with a fault.
    r = client.read({kDoubleNode}, &type);
    object = r;
    EXPECT_EQ(client.faultOf(object, type), OpcUa_BadSessionIdInvalid);
    OpcUa_EncodeableObject_Delete(type, &object);
    EXPECT_EQ(server.reads.load(), 1);
}

TEST_F(UatcpEndpoint, UnknownAndUndecodableRequestsAreAnsweredWithFaultsAndReported)
{
    Client client;
    ASSERT_EQ(client.connect(server.url()), OpcUa_Good);
    OpcUa_BrowseRequest browse;
    OpcUa_BrowseRequest_Initialize(&browse);
    EXPECT_EQ(client.faultFor(browse, &OpcUa_BrowseRequest_EncodeableType), OpcUa_BadServiceUnsupported);
    OpcUa_BrowseRequest_Clear(&browse);
    EXPECT_EQ(server.unsupported.load(), 1);

    // Hand-made bodies: an encoding id nobody knows, and a ReadRequest cut short.
    RawClient raw;
    ASSERT_TRUE(raw.connect(portOf(server.url())));
    ASSERT_TRUE(raw.hello());
    ASSERT_TRUE(raw.open());
    struct Case
    {
        uatcp::Bytes body;
        OpcUa_StatusCode expected;
    };
    const Case cases[] = {
        {{0x01, 0x00, 0x0F, 0x27, 1, 2, 3}, OpcUa_BadServiceUnsupported}, // encoding id 9999
        {{0x01, 0x00, 0x77, 0x02, 0x00, 0x00}, OpcUa_BadDecodingError},   // ReadRequest (631), truncated
    };
    uint32_t requestId = 10;
    for (const auto& c : cases)
    {
        ASSERT_TRUE(raw.sendMessage('F', c.body, requestId));
        auto m = raw.read();
        ASSERT_TRUE(m.has_value());
        uatcp::ChunkInfo info;
        ASSERT_EQ(parseChunkHeaders(m->bytes, info), 0u);
        ASSERT_EQ(parseSequenceHeader(m->bytes, m->bytes.size(), info), 0u);
        EXPECT_EQ(info.requestId, requestId++);
        uint32_t fault = 0;
        ASSERT_TRUE(uatcp::peekFault(
            uatcp::Bytes(m->bytes.begin() + static_cast<long>(info.bodyOffset), m->bytes.end()), fault));
        EXPECT_EQ(fault, c.expected);
    }
    EXPECT_EQ(server.unsupported.load(), 2);
    EXPECT_EQ(server.decodeErrors.load(), 1);
}

TEST_F(UatcpEndpoint, IPv6LoopbackAndHostNameEndpoints)
{
    server.stop();
    for (const char* host : {"[::1]", "localhost"})
    {
        ASSERT_TRUE(server.start(host)) << host;
        Client client;
        ASSERT_EQ(client.connect(server.url()), OpcUa_Good) << host;
        ASSERT_NO_FATAL_FAILURE(client.openSession());
        server.stop();
    }
}

// ------------------------------------------------------------------------
// The response calls as a service implementation uses them, with a table of
// services that misuse or hold their requests on purpose.

namespace
{
struct Held
{
    std::mutex mutex;
    std::condition_variable changed;
    OpcUa_Endpoint endpoint = nullptr;
    OpcUa_Handle context = nullptr;
    OpcUa_UInt32 channelId = 0;
    std::string policy;
    OpcUa_UInt16 modes = 0;
} g_held;

// Browse: refused without an answer.
OpcUa_StatusCode refuse(OpcUa_Endpoint, OpcUa_Handle, OpcUa_Void**, OpcUa_EncodeableType*)
{
    return OpcUa_BadTooManyOperations;
}

// Write: kept for the test to answer later, from another thread.
OpcUa_StatusCode hold(OpcUa_Endpoint endpoint, OpcUa_Handle context, OpcUa_Void**, OpcUa_EncodeableType*)
{
    std::lock_guard lock(g_held.mutex);
    g_held.endpoint = endpoint;
    g_held.context = context;
    OpcUa_Endpoint_GetMessageSecureChannelId(endpoint, context, &g_held.channelId);
    OpcUa_Endpoint_SecurityPolicyConfiguration policy;
    OpcUa_Endpoint_GetMessageSecureChannelSecurityPolicy(endpoint, context, &policy);
    g_held.policy = OpcUa_String_GetRawString(&policy.sSecurityPolicyUri);
    g_held.modes = policy.uMessageSecurityModes;
    OpcUa_String_Clear(&policy.sSecurityPolicyUri);
    g_held.changed.notify_all();
    return OpcUa_Good;
}

// Call: answered with a fault made by CreateFault, the way the server library does.
OpcUa_StatusCode faultViaCreateFault(OpcUa_Endpoint endpoint, OpcUa_Handle context, OpcUa_Void** request,
                                     OpcUa_EncodeableType*)
{
    OpcUa_Void* response = nullptr;
    OpcUa_EncodeableType* type = nullptr;
    OpcUa_StatusCode result = OpcUa_Endpoint_BeginSendResponse(endpoint, context, &response, &type);
    if (OpcUa_IsBad(result) || type != &OpcUa_CallResponse_EncodeableType)
        return OpcUa_BadInternalError;
    OpcUa_EncodeableObject_Delete(type, &response);
    auto* header = static_cast<OpcUa_RequestHeader*>(*request);
    result = OpcUa_ServerApi_CreateFault(header, OpcUa_BadMethodInvalid, nullptr, nullptr, nullptr, &response,
                                         &type);
    if (OpcUa_IsBad(result))
        return result;
    result = OpcUa_Endpoint_EndSendResponse(endpoint, &context, OpcUa_Good, response, type);
    OpcUa_EncodeableObject_Delete(type, &response);
    // The context is used up: a second answer is refused.
    return context == nullptr && OpcUa_IsGood(result) ? OpcUa_Good : OpcUa_BadInternalError;
}

OpcUa_ServiceType g_browse = {OpcUaId_BrowseRequest, &OpcUa_BrowseResponse_EncodeableType, refuse, nullptr};
OpcUa_ServiceType g_write = {OpcUaId_WriteRequest, &OpcUa_WriteResponse_EncodeableType, hold, nullptr};
OpcUa_ServiceType g_call = {OpcUaId_CallRequest, &OpcUa_CallResponse_EncodeableType, faultViaCreateFault,
                            nullptr};
OpcUa_ServiceType* g_table[] = {&g_browse, &g_write, &g_call, nullptr};

} // namespace

TEST(UatcpEndpointContract, RefusedRequestGetsAFaultWithTheRefusal)
{
    TestServer server;
    ASSERT_TRUE(server.start("127.0.0.1", g_table));
    Client client;
    ASSERT_EQ(client.connect(server.url()), OpcUa_Good);
    OpcUa_BrowseRequest browse;
    OpcUa_BrowseRequest_Initialize(&browse);
    EXPECT_EQ(client.faultFor(browse, &OpcUa_BrowseRequest_EncodeableType), OpcUa_BadTooManyOperations);
    OpcUa_BrowseRequest_Clear(&browse);

    OpcUa_CallRequest call;
    OpcUa_CallRequest_Initialize(&call);
    call.RequestHeader.RequestHandle = 4711;
    OpcUa_EncodeableType* type = nullptr;
    OpcUa_Void* response = client.invoke(call, &OpcUa_CallRequest_EncodeableType, &type);
    ASSERT_EQ(type, &OpcUa_ServiceFault_EncodeableType);
    EXPECT_EQ(static_cast<OpcUa_ServiceFault*>(response)->ResponseHeader.ServiceResult,
              OpcUa_BadMethodInvalid);
    EXPECT_EQ(static_cast<OpcUa_ServiceFault*>(response)->ResponseHeader.RequestHandle, 4711u);
    OpcUa_EncodeableObject_Delete(type, &response);
}

TEST(UatcpEndpointContract, HeldRequestAnsweredFromAnotherThreadOnceOnly)
{
    TestServer server;
    ASSERT_TRUE(server.start("127.0.0.1", g_table));
    Client client;
    ASSERT_EQ(client.connect(server.url()), OpcUa_Good);
    std::atomic<OpcUa_StatusCode> fault{0};
    std::thread caller(
        [&]
        {
            OpcUa_WriteRequest write;
            OpcUa_WriteRequest_Initialize(&write);
            fault = client.faultFor(write, &OpcUa_WriteRequest_EncodeableType);
            OpcUa_WriteRequest_Clear(&write);
        });
    // Closing the server ends the call, should a failed check end the test before it is answered.
    JoinOnExit joinCaller(caller, [&] { server.stop(); });
    OpcUa_Handle context;
    {
        std::unique_lock lock(g_held.mutex);
        ASSERT_TRUE(g_held.changed.wait_for(lock, std::chrono::seconds(30),
                                            [] { return g_held.context != nullptr; }));
        context = g_held.context;
        g_held.context = nullptr;
    }
    EXPECT_EQ(g_held.channelId, server.lastOpenedChannel.load());
    EXPECT_NE(g_held.channelId, 0u);
    EXPECT_EQ(g_held.policy, kNone);
    EXPECT_EQ(g_held.modes, OPCUA_ENDPOINT_MESSAGESECURITYMODE_NONE);
    ASSERT_EQ(OpcUa_Endpoint_CancelSendResponse(g_held.endpoint, OpcUa_BadRequestCancelledByClient, nullptr,
                                                &context),
              OpcUa_Good);
    EXPECT_EQ(context, nullptr);
    caller.join();
    EXPECT_EQ(fault.load(), OpcUa_BadRequestCancelledByClient);
}

TEST(UatcpEndpointSettings, ConfigurationRecordSetsTheNegotiatedLimits)
{
    TestServer server;
    OpcUa_ProxyStubConfiguration configuration;
    OpcUa_ProxyStub_GetConfiguration(&configuration);
    configuration.iTcpListener_DefaultChunkSize = 16384;
    configuration.iTcpTransport_MaxMessageLength = 1000000;
    configuration.iTcpTransport_MaxChunkCount = 77;
    ASSERT_EQ(OpcUa_ProxyStub_ReInitialize(&configuration), OpcUa_Good);
    ASSERT_TRUE(server.start());
    RawClient raw;
    ASSERT_TRUE(raw.connect(portOf(server.url())));
    ASSERT_TRUE(raw.send(uatcp::encodeHello(uatcp::HelloMessage{{0, 65536, 65536, 0, 0}, server.url()})));
    auto m = raw.read();
    ASSERT_TRUE(m.has_value());
    ASSERT_EQ(m->header.type, uatcp::MessageType::Acknowledge);
    uatcp::AcknowledgeMessage ack;
    ASSERT_EQ(uatcp::decodeAcknowledge(m->bytes.data() + 8, m->bytes.size() - 8, ack), 0u);
    EXPECT_EQ(ack.receiveBufferSize, 16384u);
    EXPECT_EQ(ack.sendBufferSize, 16384u);
    EXPECT_EQ(ack.maxMessageSize, 1000000u);
    EXPECT_EQ(ack.maxChunkCount, 77u);
}

namespace
{
std::mutex g_traceMutex;
std::vector<std::string> g_traces;
void collectTrace(OpcUa_UInt32, const OpcUa_CharA* message, OpcUa_Void*)
{
    std::lock_guard lock(g_traceMutex);
    g_traces.emplace_back(message);
}
} // namespace

TEST(UatcpEndpointSettings, DroppedConnectionsAreTraced)
{
    TestServer server;
    OpcUa_ProxyStubConfiguration configuration;
    OpcUa_ProxyStub_GetConfiguration(&configuration);
    configuration.bProxyStub_Trace_Enabled = OpcUa_True;
    configuration.uProxyStub_Trace_Level = OPCUA_TRACE_LEVEL_WARNING | OPCUA_TRACE_LEVEL_INFO;
    ASSERT_EQ(OpcUa_ProxyStub_ReInitialize(&configuration), OpcUa_Good);
    OpcUa_Trace_SetSink(collectTrace, nullptr);
    ASSERT_TRUE(server.start());
    RawClient raw;
    ASSERT_TRUE(raw.connect(portOf(server.url())));
    ASSERT_TRUE(raw.send(uatcp::Bytes(16, 'x')));
    EXPECT_EQ(raw.readError(), OpcUa_BadTcpMessageTypeInvalid);
    server.stop();
    OpcUa_Trace_SetSink(nullptr, nullptr);
    std::lock_guard lock(g_traceMutex);
    auto has = [](const std::string& text)
    {
        for (const auto& t : g_traces)
            if (t.find(text) != std::string::npos)
                return true;
        return false;
    };
    EXPECT_TRUE(has("opc.tcp endpoint listening at " + server.url()));
    EXPECT_TRUE(has("opc.tcp connection dropped [0x807E0000]"));
}

TEST_F(UatcpEndpoint, ChannelReconnectsAfterTheServerWentAway)
{
    Client client;
    ASSERT_EQ(client.connect(server.url()), OpcUa_Good);
    server.stop();
    // The call fails once the connection is gone; the channel can then be connected again.
    OpcUa_BrowseRequest browse;
    OpcUa_BrowseRequest_Initialize(&browse);
    browse.RequestHeader.TimeoutHint = 30000;
    OpcUa_Void* response = nullptr;
    OpcUa_EncodeableType* type = nullptr;
    EXPECT_TRUE(OpcUa_IsBad(OpcUa_Channel_InvokeService(
        client.channel, &browse, &OpcUa_BrowseRequest_EncodeableType, &response, &type)));
    EXPECT_EQ(response, nullptr);
    EXPECT_EQ(OpcUa_Channel_Disconnect(client.channel), OpcUa_BadNotConnected);
    ASSERT_TRUE(server.start());
    OpcUa_String policy;
    OpcUa_String_Initialize(&policy);
    OpcUa_String_AttachCopy(&policy, kNone);
    ASSERT_EQ(OpcUa_Channel_Connect(client.channel, server.url().c_str(), nullptr, nullptr, nullptr, nullptr,
                                    nullptr, nullptr, &policy, 60000, OpcUa_MessageSecurityMode_None, 30000),
              OpcUa_Good);
    OpcUa_String_Clear(&policy);
    ASSERT_NO_FATAL_FAILURE(client.openSession());
}
