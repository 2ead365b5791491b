#include "uatcp_test_server.h"

#if __has_include(<opcua_crypto.h>) && __has_include(<opcua_pki.h>)
#include <opcua_crypto.h>
#include <opcua_pki.h>
#define UATCP_TEST_SECURITY 1
#endif

#include <arpa/inet.h>
#include <cstring>
#include <map>
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

void setBytes(OpcUa_ByteString* target, const std::vector<uint8_t>& bytes)
{
    OpcUa_ByteString_Initialize(target);
    if (bytes.empty())
        return;
    target->Data = static_cast<OpcUa_Byte*>(OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(bytes.size())));
    std::memcpy(target->Data, bytes.data(), bytes.size());
    target->Length = static_cast<OpcUa_Int32>(bytes.size());
}

std::vector<uint8_t> bytesOf(const OpcUa_ByteString& s)
{
    return s.Length > 0 ? std::vector<uint8_t>(s.Data, s.Data + s.Length) : std::vector<uint8_t>();
}

// The nonce and client certificate of each secured session, for its activation.
struct SessionSecrets
{
    std::vector<uint8_t> serverNonce;
    std::vector<uint8_t> clientCertificate;
};
std::mutex g_secretsMutex;
std::map<OpcUa_UInt32, SessionSecrets> g_secrets;

// True when the request came over a channel with a policy other than None.
bool securedChannel(OpcUa_Endpoint endpoint, OpcUa_Handle context)
{
    OpcUa_Endpoint_SecurityPolicyConfiguration policy;
    OpcUa_String_Initialize(&policy.sSecurityPolicyUri);
    if (OpcUa_IsBad(OpcUa_Endpoint_GetMessageSecureChannelSecurityPolicy(endpoint, context, &policy)))
        return false;
    const OpcUa_CharA* uri = OpcUa_String_GetRawString(&policy.sSecurityPolicyUri);
    bool secured = uri != nullptr && std::strcmp(uri, kPolicyNone) != 0;
    OpcUa_String_Clear(&policy.sSecurityPolicyUri);
    return secured;
}

#ifdef UATCP_TEST_SECURITY
OpcUa_ByteString view(std::vector<uint8_t>& bytes)
{
    OpcUa_ByteString s;
    s.Length = static_cast<OpcUa_Int32>(bytes.size());
    s.Data = bytes.data();
    return s;
}

// The server's signature over the client certificate and nonce (CreateSession).
OpcUa_StatusCode signSession(const TestSecurity& security, const OpcUa_CreateSessionRequest& request,
                             OpcUa_SignatureData* signature)
{
    OpcUa_CryptoProvider provider;
    OpcUa_StatusCode result = OpcUa_CryptoProvider_Create(OpcUa_SecurityPolicy_Basic256, &provider);
    if (OpcUa_IsBad(result))
        return result;
    std::vector<uint8_t> data = bytesOf(request.ClientCertificate);
    std::vector<uint8_t> nonce = bytesOf(request.ClientNonce);
    data.insert(data.end(), nonce.begin(), nonce.end());
    std::vector<uint8_t> keyBytes = security.privateKey;
    OpcUa_Key key;
    key.Type = OpcUa_Crypto_KeyType_Rsa_Private;
    key.Key = view(keyBytes);
    result = provider.AsymmetricSign(&provider, view(data), &key, &signature->Signature);
    if (OpcUa_IsGood(result))
        setText(&signature->Algorithm, OpcUa_AlgorithmUri_RsaSha1);
    OpcUa_CryptoProvider_Delete(&provider);
    return result;
}

// Checks the client's signature over our certificate and the session's nonce (ActivateSession).
OpcUa_StatusCode verifyClient(const TestSecurity& security, SessionSecrets& secrets,
                              const OpcUa_SignatureData& signature)
{
    OpcUa_CryptoProvider provider;
    OpcUa_StatusCode result = OpcUa_CryptoProvider_Create(OpcUa_SecurityPolicy_Basic256, &provider);
    if (OpcUa_IsBad(result))
        return result;
    OpcUa_Key publicKey;
    OpcUa_ByteString certificate = view(secrets.clientCertificate);
    result = provider.GetPublicKeyFromCert(&provider, &certificate, nullptr, &publicKey);
    if (OpcUa_IsGood(result))
    {
        std::vector<uint8_t> data = security.certificate;
        data.insert(data.end(), secrets.serverNonce.begin(), secrets.serverNonce.end());
        OpcUa_ByteString sent = signature.Signature;
        result = provider.AsymmetricVerify(&provider, view(data), &publicKey, &sent);
        OpcUa_ByteString_Clear(&publicKey.Key);
    }
    OpcUa_CryptoProvider_Delete(&provider);
    return result;
}
#endif

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

void fillEndpoint(OpcUa_EndpointDescription* e, const std::string& url, const char* policyUri,
                  OpcUa_MessageSecurityMode mode, const TestSecurity* security)
{
    OpcUa_EndpointDescription_Initialize(e);
    setText(&e->EndpointUrl, url.c_str());
    fillApplication(&e->Server, url);
    e->SecurityMode = mode;
    setText(&e->SecurityPolicyUri, policyUri);
    if (security != nullptr)
        setBytes(&e->ServerCertificate, security->certificate);
    e->NoOfUserIdentityTokens = 1;
    e->UserIdentityTokens =
        static_cast<OpcUa_UserTokenPolicy*>(OpcUa_Memory_Alloc(sizeof(OpcUa_UserTokenPolicy)));
    OpcUa_UserTokenPolicy_Initialize(e->UserIdentityTokens);
    setText(&e->UserIdentityTokens->PolicyId, "Anonymous");
    e->UserIdentityTokens->TokenType = OpcUa_UserTokenType_Anonymous;
    setText(&e->TransportProfileUri, kTransportProfile);
    e->SecurityLevel = mode == OpcUa_MessageSecurityMode_None   ? 0
                       : mode == OpcUa_MessageSecurityMode_Sign ? 50
                                                                : 100;
}

// The None endpoint and, when secured, one per offered policy and mode.
OpcUa_EndpointDescription* endpointList(const std::string& url, OpcUa_Int32& count)
{
    const TestSecurity* security = TestServer::instance->security();
    std::vector<std::pair<std::string, OpcUa_MessageSecurityMode>> offered = {
        {kPolicyNone, OpcUa_MessageSecurityMode_None}};
    if (security != nullptr)
        for (const auto& [uri, modes] : security->policies)
        {
            if (modes & OPCUA_ENDPOINT_MESSAGESECURITYMODE_SIGN)
                offered.emplace_back(uri, OpcUa_MessageSecurityMode_Sign);
            if (modes & OPCUA_ENDPOINT_MESSAGESECURITYMODE_SIGNANDENCRYPT)
                offered.emplace_back(uri, OpcUa_MessageSecurityMode_SignAndEncrypt);
        }
    count = static_cast<OpcUa_Int32>(offered.size());
    auto* e = static_cast<OpcUa_EndpointDescription*>(
        OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(sizeof(OpcUa_EndpointDescription) * offered.size())));
    for (size_t i = 0; i < offered.size(); ++i)
        fillEndpoint(&e[i], url, offered[i].first.c_str(), offered[i].second, security);
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

OpcUa_StatusCode fault(OpcUa_Endpoint endpoint, OpcUa_Handle context, OpcUa_StatusCode status)
{
    return OpcUa_Endpoint_EndSendResponse(endpoint, &context, status, nullptr, nullptr);
}

OpcUa_StatusCode getEndpoints(OpcUa_Endpoint endpoint, OpcUa_Handle context, OpcUa_Void** request,
                              OpcUa_EncodeableType*)
{
    auto* req = static_cast<OpcUa_GetEndpointsRequest*>(*request);
    OpcUa_EncodeableType* type = nullptr;
    auto* r = beginResponse<OpcUa_GetEndpointsResponse>(endpoint, context, &type, req->RequestHeader);
    if (r == nullptr)
        return OpcUa_BadInternalError;
    r->Endpoints = endpointList(TestServer::instance->url(), r->NoOfEndpoints);
    return endResponse(endpoint, context, r, type);
}

OpcUa_StatusCode findServers(OpcUa_Endpoint endpoint, OpcUa_Handle context, OpcUa_Void** request,
                             OpcUa_EncodeableType*)
{
    auto* req = static_cast<OpcUa_FindServersRequest*>(*request);
    OpcUa_EncodeableType* type = nullptr;
    auto* r = beginResponse<OpcUa_FindServersResponse>(endpoint, context, &type, req->RequestHeader);
    if (r == nullptr)
        return OpcUa_BadInternalError;
    r->NoOfServers = 1;
    r->Servers =
        static_cast<OpcUa_ApplicationDescription*>(OpcUa_Memory_Alloc(sizeof(OpcUa_ApplicationDescription)));
    OpcUa_ApplicationDescription_Initialize(r->Servers);
    fillApplication(r->Servers, TestServer::instance->url());
    return endResponse(endpoint, context, r, type);
}

OpcUa_StatusCode createSession(OpcUa_Endpoint endpoint, OpcUa_Handle context, OpcUa_Void** request,
                               OpcUa_EncodeableType*)
{
    auto* req = static_cast<OpcUa_CreateSessionRequest*>(*request);
    const TestSecurity* security = TestServer::instance->security();
    bool secured = securedChannel(endpoint, context);
    if (secured && (security == nullptr || req->ClientCertificate.Length < 1))
        return fault(endpoint, context, OpcUa_BadCertificateInvalid);
    if (secured && req->ClientNonce.Length < 1)
        return fault(endpoint, context, OpcUa_BadNonceInvalid);
    OpcUa_EncodeableType* type = nullptr;
    auto* r = beginResponse<OpcUa_CreateSessionResponse>(endpoint, context, &type, req->RequestHeader);
    if (r == nullptr)
        return OpcUa_BadInternalError;
    if (secured)
    {
#ifdef UATCP_TEST_SECURITY
        if (OpcUa_IsBad(signSession(*security, *req, &r->ServerSignature)))
        {
            OpcUa_Void* object = r;
            OpcUa_EncodeableObject_Delete(type, &object);
            return fault(endpoint, context, OpcUa_BadSecurityChecksFailed);
        }
#endif
        setBytes(&r->ServerCertificate, security->certificate);
    }
    r->AuthenticationToken = TestServer::instance->newSession();
    r->SessionId = r->AuthenticationToken;
    r->SessionId.NamespaceIndex = 2;
    r->RevisedSessionTimeout = req->RequestedSessionTimeout > 0 ? req->RequestedSessionTimeout : 60000;
    randomNonce(&r->ServerNonce);
    if (secured)
    {
        std::lock_guard lock(g_secretsMutex);
        g_secrets[r->AuthenticationToken.Identifier.Numeric] = {bytesOf(r->ServerNonce),
                                                                bytesOf(req->ClientCertificate)};
    }
    r->ServerEndpoints = endpointList(TestServer::instance->url(), r->NoOfServerEndpoints);
    ++TestServer::instance->sessionsCreated;
    return endResponse(endpoint, context, r, type);
}

OpcUa_StatusCode activateSession(OpcUa_Endpoint endpoint, OpcUa_Handle context, OpcUa_Void** request,
                                 OpcUa_EncodeableType*)
{
    auto* req = static_cast<OpcUa_ActivateSessionRequest*>(*request);
    if (!TestServer::instance->hasSession(req->RequestHeader.AuthenticationToken))
        return fault(endpoint, context, OpcUa_BadSessionIdInvalid);
    std::lock_guard lock(g_secretsMutex);
    auto secrets = g_secrets.find(req->RequestHeader.AuthenticationToken.Identifier.Numeric);
    if (securedChannel(endpoint, context))
    {
        if (secrets == g_secrets.end())
            return fault(endpoint, context, OpcUa_BadSessionIdInvalid);
#ifdef UATCP_TEST_SECURITY
        if (OpcUa_IsBad(
                verifyClient(*TestServer::instance->security(), secrets->second, req->ClientSignature)))
            return fault(endpoint, context, OpcUa_BadApplicationSignatureInvalid);
#endif
    }
    OpcUa_EncodeableType* type = nullptr;
    auto* r = beginResponse<OpcUa_ActivateSessionResponse>(endpoint, context, &type, req->RequestHeader);
    if (r == nullptr)
        return OpcUa_BadInternalError;
    randomNonce(&r->ServerNonce);
    if (secrets != g_secrets.end())
        secrets->second.serverNonce = bytesOf(r->ServerNonce);
    // A channel with an activated session is not given up for a new client.
    OpcUa_UInt32 channelId = 0;
    if (OpcUa_IsGood(OpcUa_Endpoint_GetMessageSecureChannelId(endpoint, context, &channelId)))
        OpcUa_Endpoint_SetSecureChannelSessionActive(endpoint, channelId, OpcUa_True);
    ++TestServer::instance->sessionsActivated;
    return endResponse(endpoint, context, r, type);
}

OpcUa_StatusCode closeSession(OpcUa_Endpoint endpoint, OpcUa_Handle context, OpcUa_Void** request,
                              OpcUa_EncodeableType*)
{
    auto* req = static_cast<OpcUa_CloseSessionRequest*>(*request);
    if (!TestServer::instance->closeSession(req->RequestHeader.AuthenticationToken))
        return fault(endpoint, context, OpcUa_BadSessionIdInvalid);
    OpcUa_EncodeableType* type = nullptr;
    auto* r = beginResponse<OpcUa_CloseSessionResponse>(endpoint, context, &type, req->RequestHeader);
    if (r == nullptr)
        return OpcUa_BadInternalError;
    return endResponse(endpoint, context, r, type);
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
    auto* r = beginResponse<OpcUa_ReadResponse>(endpoint, context, &type, req->RequestHeader);
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
    return endResponse(endpoint, context, r, type);
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
                         OpcUa_StatusCode status, OpcUa_UInt32 channelId, OpcUa_ByteString* certificate,
                         OpcUa_String*, OpcUa_UInt16)
{
    auto* server = static_cast<TestServer*>(data);
    switch (event)
    {
    case OpcUa_Endpoint_Event_SecureChannelOpened:
        if (OpcUa_IsBad(status))
            server->recordRefusal(status, certificate);
        ++(OpcUa_IsBad(status) ? server->openFailed : server->opened);
        if (OpcUa_IsGood(status))
            server->lastOpenedChannel = channelId;
        break;
    case OpcUa_Endpoint_Event_SecureChannelClosed:
        server->lastCloseStatus = status;
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

bool TestServer::start(const std::string& host, OpcUa_ServiceType** services, const TestSecurity* security)
{
    m_secured = security != nullptr;
#ifndef UATCP_TEST_SECURITY
    if (m_secured)
        return false;
#endif
    if (m_secured)
        m_security = *security;
    std::vector<OpcUa_Endpoint_SecurityPolicyConfiguration> policies(1);
    policies[0].uMessageSecurityModes = OPCUA_ENDPOINT_MESSAGESECURITYMODE_NONE;
    if (m_secured)
        for (const auto& [uri, modes] : m_security.policies)
            policies.push_back({OpcUa_String(), modes});
    for (size_t i = 0; i < policies.size(); ++i)
    {
        OpcUa_String_Initialize(&policies[i].sSecurityPolicyUri);
        OpcUa_String_AttachCopy(&policies[i].sSecurityPolicyUri,
                                i == 0 ? kPolicyNone : m_security.policies[i - 1].first.c_str());
    }
    OpcUa_ByteString certificate;
    OpcUa_Key key;
    OpcUa_ByteString_Initialize(&certificate);
    key.Type = OpcUa_Crypto_KeyType_Rsa_Private;
    OpcUa_ByteString_Initialize(&key.Key);
    OpcUa_Void* pkiConfig = nullptr;
#ifdef UATCP_TEST_SECURITY
    if (m_secured)
    {
        setBytes(&certificate, m_security.certificate);
        setBytes(&key.Key, m_security.privateKey);
        // The store configuration must outlive the open endpoint.
        auto* store = new OpcUa_CertificateStoreConfiguration{};
        store->PkiType = OPCUA_PKI_TYPE_DIRECTORY_STORE;
        store->TrustedCertificateListLocation = m_security.trustedFolder.data();
        store->RevokedCertificateListLocation = m_security.revocationPath.data();
        m_pkiConfig = std::shared_ptr<void>(store, [](void* p)
                                            { delete static_cast<OpcUa_CertificateStoreConfiguration*>(p); });
        pkiConfig = store;
    }
#endif
    bool ok = false;
    // A port found free may be taken by someone else before we bind it: try a few.
    for (int attempt = 0; attempt < 10 && !ok; ++attempt)
    {
        m_url = "opc.tcp://" + host + ":" + std::to_string(freePort());
        if (OpcUa_IsBad(OpcUa_Endpoint_Create(&m_endpoint, OpcUa_Endpoint_SerializerType_Binary,
                                              services != nullptr ? services : g_services)))
            break;
        ok = OpcUa_IsGood(OpcUa_Endpoint_Open(m_endpoint, m_url.c_str(), onEvent, this,
                                              m_secured ? &certificate : nullptr, m_secured ? &key : nullptr,
                                              pkiConfig, static_cast<OpcUa_UInt32>(policies.size()),
                                              policies.data()));
        if (!ok)
            OpcUa_Endpoint_Delete(&m_endpoint);
    }
    for (auto& policy : policies)
        OpcUa_String_Clear(&policy.sSecurityPolicyUri);
    OpcUa_ByteString_Clear(&certificate);
    OpcUa_ByteString_Clear(&key.Key);
    return ok;
}

OpcUa_StatusCode TestServer::lastOpenFailure()
{
    std::lock_guard lock(m_mutex);
    return m_lastOpenFailure;
}

std::vector<uint8_t> TestServer::lastRefusedCertificate()
{
    std::lock_guard lock(m_mutex);
    return m_lastRefusedCertificate;
}

void TestServer::recordRefusal(OpcUa_StatusCode status, const OpcUa_ByteString* certificate)
{
    std::lock_guard lock(m_mutex);
    m_lastOpenFailure = status;
    m_lastRefusedCertificate = certificate != nullptr ? bytesOf(*certificate) : std::vector<uint8_t>();
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
