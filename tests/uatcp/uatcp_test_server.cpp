#include "uatcp_test_server.h"

#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace uatcp::test
{
TestServer* TestServer::instance = nullptr;

namespace
{
constexpr const char* kPolicyNone = "http://opcfoundation.org/UA/SecurityPolicy#None";
constexpr const char* kTransportProfile = "http://opcfoundation.org/UA-Profile/Transport/uatcp-uasc-uabinary";
constexpr OpcUa_UInt32 kNamespaceArrayNode = 2255;
constexpr OpcUa_UInt32 kServerStateNode = 2259;
constexpr OpcUa_UInt32 kCurrentTimeNode = 2258;
constexpr OpcUa_UInt32 kValueAttribute = 13;

void setText(OpcUa_String* s, const char* text)
{
    OpcUa_String_AttachCopy(s, text);
}

OpcUa_String* stringArray(const char* const* texts, OpcUa_Int32 count)
{
    auto* array = static_cast<OpcUa_String*>(OpcUa_Memory_Alloc(sizeof(OpcUa_String) * count));
    for (OpcUa_Int32 i = 0; i < count; ++i)
    {
        OpcUa_String_Initialize(&array[i]);
        setText(&array[i], texts[i]);
    }
    return array;
}

void fillApplication(OpcUa_ApplicationDescription* app, const std::string& url)
{
    setText(&app->ApplicationUri, kApplicationUri);
    setText(&app->ProductUri, "urn:uatcp:product");
    setText(&app->ApplicationName.Locale, "en");
    setText(&app->ApplicationName.Text, "uatcp test server");
    app->ApplicationType = OpcUa_ApplicationType_Server;
    const char* urls[] = {url.c_str()};
    app->NoOfDiscoveryUrls = 1;
    app->DiscoveryUrls = stringArray(urls, 1);
}

OpcUa_EndpointDescription* endpointList(const std::string& url)
{
    auto* e = static_cast<OpcUa_EndpointDescription*>(OpcUa_Memory_Alloc(sizeof(OpcUa_EndpointDescription)));
    OpcUa_EndpointDescription_Initialize(e);
    setText(&e->EndpointUrl, url.c_str());
    fillApplication(&e->Server, url);
    e->SecurityMode = OpcUa_MessageSecurityMode_None;
    setText(&e->SecurityPolicyUri, kPolicyNone);
    e->NoOfUserIdentityTokens = 1;
    e->UserIdentityTokens =
        static_cast<OpcUa_UserTokenPolicy*>(OpcUa_Memory_Alloc(sizeof(OpcUa_UserTokenPolicy)));
    OpcUa_UserTokenPolicy_Initialize(e->UserIdentityTokens);
    setText(&e->UserIdentityTokens->PolicyId, "Anonymous");
    e->UserIdentityTokens->TokenType = OpcUa_UserTokenType_Anonymous;
    setText(&e->TransportProfileUri, kTransportProfile);
    e->SecurityLevel = 0;
    return e;
}

void randomNonce(OpcUa_ByteString* nonce)
{
    nonce->Length = 32;
    nonce->Data = static_cast<OpcUa_Byte*>(OpcUa_Memory_Alloc(32));
    OpcUa_Guid g;
    for (int i = 0; i < 32; i += 16)
    {
        OpcUa_Guid_Create(&g);
        std::memcpy(nonce->Data + i, &g, 16);
    }
}

// Begins the response; every handler answers through it.
template <typename Response>
Response* begin(OpcUa_Endpoint endpoint, OpcUa_Handle context, OpcUa_EncodeableType** type,
                const OpcUa_RequestHeader& header)
{
    OpcUa_Void* response = nullptr;
    if (OpcUa_IsBad(OpcUa_Endpoint_BeginSendResponse(endpoint, context, &response, type)))
        return nullptr;
    auto* r = static_cast<Response*>(response);
    r->ResponseHeader.Timestamp = OpcUa_DateTime_UtcNow();
    r->ResponseHeader.RequestHandle = header.RequestHandle;
    return r;
}

template <typename Response>
OpcUa_StatusCode end(OpcUa_Endpoint endpoint, OpcUa_Handle context, Response* response,
                     OpcUa_EncodeableType* type)
{
    OpcUa_Void* object = response;
    OpcUa_StatusCode result = OpcUa_Endpoint_EndSendResponse(endpoint, &context, OpcUa_Good, object, type);
    OpcUa_EncodeableObject_Delete(type, &object);
    return OpcUa_IsBad(result) && result != OpcUa_BadSecureChannelClosed ? result : OpcUa_Good;
}

OpcUa_StatusCode fault(OpcUa_Endpoint endpoint, OpcUa_Handle context, OpcUa_StatusCode status)
{
    return OpcUa_Endpoint_EndSendResponse(endpoint, &context, status, nullptr, nullptr);
}

OpcUa_StatusCode getEndpoints(OpcUa_Endpoint endpoint, OpcUa_Handle context, OpcUa_Void** request,
                              OpcUa_EncodeableType*)
{
    auto* req = static_cast<OpcUa_GetEndpointsRequest*>(*request);
    OpcUa_EncodeableType* type = nullptr;
    auto* r = begin<OpcUa_GetEndpointsResponse>(endpoint, context, &type, req->RequestHeader);
    if (r == nullptr)
        return OpcUa_BadInternalError;
    r->NoOfEndpoints = 1;
    r->Endpoints = endpointList(TestServer::instance->url());
    return end(endpoint, context, r, type);
}

OpcUa_StatusCode findServers(OpcUa_Endpoint endpoint, OpcUa_Handle context, OpcUa_Void** request,
                             OpcUa_EncodeableType*)
{
    auto* req = static_cast<OpcUa_FindServersRequest*>(*request);
    OpcUa_EncodeableType* type = nullptr;
    auto* r = begin<OpcUa_FindServersResponse>(endpoint, context, &type, req->RequestHeader);
    if (r == nullptr)
        return OpcUa_BadInternalError;
    r->NoOfServers = 1;
    r->Servers =
        static_cast<OpcUa_ApplicationDescription*>(OpcUa_Memory_Alloc(sizeof(OpcUa_ApplicationDescription)));
    OpcUa_ApplicationDescription_Initialize(r->Servers);
    fillApplication(r->Servers, TestServer::instance->url());
    return end(endpoint, context, r, type);
}

OpcUa_StatusCode createSession(OpcUa_Endpoint endpoint, OpcUa_Handle context, OpcUa_Void** request,
                               OpcUa_EncodeableType*)
{
    auto* req = static_cast<OpcUa_CreateSessionRequest*>(*request);
    OpcUa_EncodeableType* type = nullptr;
    auto* r = begin<OpcUa_CreateSessionResponse>(endpoint, context, &type, req->RequestHeader);
    if (r == nullptr)
        return OpcUa_BadInternalError;
    r->AuthenticationToken = TestServer::instance->newSession();
    r->SessionId = r->AuthenticationToken;
    r->SessionId.NamespaceIndex = 2;
    r->RevisedSessionTimeout = req->RequestedSessionTimeout > 0 ? req->RequestedSessionTimeout : 60000;
    randomNonce(&r->ServerNonce);
    r->NoOfServerEndpoints = 1;
    r->ServerEndpoints = endpointList(TestServer::instance->url());
    ++TestServer::instance->sessionsCreated;
    return end(endpoint, context, r, type);
}

OpcUa_StatusCode activateSession(OpcUa_Endpoint endpoint, OpcUa_Handle context, OpcUa_Void** request,
                                 OpcUa_EncodeableType*)
{
    auto* req = static_cast<OpcUa_ActivateSessionRequest*>(*request);
    if (!TestServer::instance->hasSession(req->RequestHeader.AuthenticationToken))
        return fault(endpoint, context, OpcUa_BadSessionIdInvalid);
    OpcUa_EncodeableType* type = nullptr;
    auto* r = begin<OpcUa_ActivateSessionResponse>(endpoint, context, &type, req->RequestHeader);
    if (r == nullptr)
        return OpcUa_BadInternalError;
    randomNonce(&r->ServerNonce);
    return end(endpoint, context, r, type);
}

OpcUa_StatusCode closeSession(OpcUa_Endpoint endpoint, OpcUa_Handle context, OpcUa_Void** request,
                              OpcUa_EncodeableType*)
{
    auto* req = static_cast<OpcUa_CloseSessionRequest*>(*request);
    if (!TestServer::instance->closeSession(req->RequestHeader.AuthenticationToken))
        return fault(endpoint, context, OpcUa_BadSessionIdInvalid);
    OpcUa_EncodeableType* type = nullptr;
    auto* r = begin<OpcUa_CloseSessionResponse>(endpoint, context, &type, req->RequestHeader);
    if (r == nullptr)
        return OpcUa_BadInternalError;
    return end(endpoint, context, r, type);
}

void readValue(const OpcUa_ReadValueId& id, OpcUa_DataValue* value)
{
    value->ServerTimestamp = OpcUa_DateTime_UtcNow();
    value->SourceTimestamp = value->ServerTimestamp;
    OpcUa_Variant& v = value->Value;
    if (id.AttributeId != kValueAttribute)
    {
        value->StatusCode = OpcUa_BadAttributeIdInvalid;
        return;
    }
    bool numeric = id.NodeId.IdentifierType == OpcUa_IdentifierType_Numeric;
    OpcUa_UInt32 n = numeric ? id.NodeId.Identifier.Numeric : 0;
    OpcUa_UInt16 ns = id.NodeId.NamespaceIndex;
    if (numeric && ns == 1 && n == kDoubleNode)
    {
        v.Datatype = OpcUaType_Double;
        v.Value.Double = kDoubleValue;
    }
    else if (numeric && ns == 1 && n == kStringNode)
    {
        v.Datatype = OpcUaType_String;
        setText(&v.Value.String, "uatcp");
    }
    else if (numeric && ns == 1 && n == kBigArrayNode)
    {
        v.Datatype = OpcUaType_Int32;
        v.ArrayType = OpcUa_VariantArrayType_Array;
        v.Value.Array.Length = kBigArrayLength;
        auto* data = static_cast<OpcUa_Int32*>(OpcUa_Memory_Alloc(sizeof(OpcUa_Int32) * kBigArrayLength));
        for (OpcUa_Int32 i = 0; i < kBigArrayLength; ++i)
            data[i] = i;
        v.Value.Array.Value.Int32Array = data;
    }
    else if (numeric && ns == 0 && n == kNamespaceArrayNode)
    {
        const char* uris[] = {"http://opcfoundation.org/UA/", kApplicationUri};
        v.Datatype = OpcUaType_String;
        v.ArrayType = OpcUa_VariantArrayType_Array;
        v.Value.Array.Length = 2;
        v.Value.Array.Value.StringArray = stringArray(uris, 2);
    }
    else if (numeric && ns == 0 && n == kServerStateNode)
    {
        v.Datatype = OpcUaType_Int32;
        v.Value.Int32 = 0; // Running
    }
    else if (numeric && ns == 0 && n == kCurrentTimeNode)
    {
        v.Datatype = OpcUaType_DateTime;
        v.Value.DateTime = OpcUa_DateTime_UtcNow();
    }
    else
    {
        value->StatusCode = OpcUa_BadNodeIdUnknown;
    }
}

OpcUa_StatusCode readService(OpcUa_Endpoint endpoint, OpcUa_Handle context, OpcUa_Void** request,
                             OpcUa_EncodeableType*)
{
    auto* req = static_cast<OpcUa_ReadRequest*>(*request);
    if (!TestServer::instance->hasSession(req->RequestHeader.AuthenticationToken))
        return fault(endpoint, context, OpcUa_BadSessionIdInvalid);
    if (req->NoOfNodesToRead <= 0)
        return fault(endpoint, context, OpcUa_BadNothingToDo);
    OpcUa_EncodeableType* type = nullptr;
    auto* r = begin<OpcUa_ReadResponse>(endpoint, context, &type, req->RequestHeader);
    if (r == nullptr)
        return OpcUa_BadInternalError;
    r->NoOfResults = req->NoOfNodesToRead;
    r->Results = static_cast<OpcUa_DataValue*>(OpcUa_Memory_Alloc(sizeof(OpcUa_DataValue) * r->NoOfResults));
    for (OpcUa_Int32 i = 0; i < r->NoOfResults; ++i)
    {
        OpcUa_DataValue_Initialize(&r->Results[i]);
        readValue(req->NodesToRead[i], &r->Results[i]);
    }
    ++TestServer::instance->reads;
    return end(endpoint, context, r, type);
}

OpcUa_ServiceType g_getEndpoints = {OpcUaId_GetEndpointsRequest, &OpcUa_GetEndpointsResponse_EncodeableType,
                                    getEndpoints, nullptr};
OpcUa_ServiceType g_findServers = {OpcUaId_FindServersRequest, &OpcUa_FindServersResponse_EncodeableType,
                                   findServers, nullptr};
OpcUa_ServiceType g_createSession = {OpcUaId_CreateSessionRequest,
                                     &OpcUa_CreateSessionResponse_EncodeableType, createSession, nullptr};
OpcUa_ServiceType g_activateSession = {
    OpcUaId_ActivateSessionRequest, &OpcUa_ActivateSessionResponse_EncodeableType, activateSession, nullptr};
OpcUa_ServiceType g_closeSession = {OpcUaId_CloseSessionRequest, &OpcUa_CloseSessionResponse_EncodeableType,
                                    closeSession, nullptr};
OpcUa_ServiceType g_read = {OpcUaId_ReadRequest, &OpcUa_ReadResponse_EncodeableType, readService, nullptr};
OpcUa_ServiceType* g_services[] = {&g_getEndpoints, &g_findServers, &g_createSession, &g_activateSession,
                                   &g_closeSession, &g_read,        nullptr};

OpcUa_StatusCode onEvent(OpcUa_Endpoint, OpcUa_Void* data, OpcUa_Endpoint_Event event,
                         OpcUa_StatusCode status, OpcUa_UInt32 channelId, OpcUa_ByteString*, OpcUa_String*,
                         OpcUa_UInt16)
{
    auto* server = static_cast<TestServer*>(data);
    switch (event)
    {
    case OpcUa_Endpoint_Event_SecureChannelOpened:
        ++(OpcUa_IsBad(status) ? server->openFailed : server->opened);
        if (OpcUa_IsGood(status))
            server->lastOpenedChannel = channelId;
        break;
    case OpcUa_Endpoint_Event_SecureChannelClosed:
        ++server->closed;
        break;
    case OpcUa_Endpoint_Event_SecureChannelRenewed:
        ++server->renewed;
        break;
    case OpcUa_Endpoint_Event_UnsupportedServiceRequested:
        ++server->unsupported;
        break;
    case OpcUa_Endpoint_Event_DecoderError:
        ++server->decodeErrors;
        break;
    default:
        break;
    }
    return OpcUa_Good;
}
} // namespace

uint16_t freePort()
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    uint16_t port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

TestServer::TestServer()
{
    instance = this;
    OpcUa_P_Initialize(&m_platform);
    OpcUa_ProxyStubConfiguration configuration;
    OpcUa_ProxyStub_GetConfiguration(&configuration);
    OpcUa_ProxyStub_Initialize(m_platform, &configuration);
}

TestServer::~TestServer()
{
    stop();
    OpcUa_ProxyStub_Clear();
    OpcUa_P_Clean(&m_platform);
    instance = nullptr;
}

bool TestServer::start(const std::string& host, OpcUa_ServiceType** services)
{
    OpcUa_Endpoint_SecurityPolicyConfiguration policy;
    OpcUa_String_Initialize(&policy.sSecurityPolicyUri);
    OpcUa_String_AttachCopy(&policy.sSecurityPolicyUri, kPolicyNone);
    policy.uMessageSecurityModes = OPCUA_ENDPOINT_MESSAGESECURITYMODE_NONE;
    bool ok = false;
    // A port found free may be taken by someone else before we bind it: try a few.
    for (int attempt = 0; attempt < 10 && !ok; ++attempt)
    {
        m_url = "opc.tcp://" + host + ":" + std::to_string(freePort());
        if (OpcUa_IsBad(OpcUa_Endpoint_Create(&m_endpoint, OpcUa_Endpoint_SerializerType_Binary,
                                              services != nullptr ? services : g_services)))
            break;
        ok = OpcUa_IsGood(OpcUa_Endpoint_Open(m_endpoint, m_url.c_str(), onEvent, this, nullptr, nullptr,
                                              nullptr, 1, &policy));
        if (!ok)
            OpcUa_Endpoint_Delete(&m_endpoint);
    }
    OpcUa_String_Clear(&policy.sSecurityPolicyUri);
    return ok;
}

void TestServer::stop()
{
    if (m_endpoint == nullptr)
        return;
    OpcUa_Endpoint_Close(m_endpoint);
    OpcUa_Endpoint_Delete(&m_endpoint);
}

OpcUa_NodeId TestServer::newSession()
{
    std::lock_guard lock(m_mutex);
    OpcUa_NodeId id;
    OpcUa_NodeId_Initialize(&id);
    id.NamespaceIndex = 1;
    id.Identifier.Numeric = m_nextSession++;
    m_sessions.insert(id.Identifier.Numeric);
    return id;
}

bool TestServer::hasSession(const OpcUa_NodeId& token)
{
    std::lock_guard lock(m_mutex);
    return token.IdentifierType == OpcUa_IdentifierType_Numeric && token.NamespaceIndex == 1 &&
           m_sessions.count(token.Identifier.Numeric) > 0;
}

bool TestServer::closeSession(const OpcUa_NodeId& token)
{
    std::lock_guard lock(m_mutex);
    return token.IdentifierType == OpcUa_IdentifierType_Numeric && token.NamespaceIndex == 1 &&
           m_sessions.erase(token.Identifier.Numeric) > 0;
}
} // namespace uatcp::test
