// Server endpoints of the stack: the service table on top of the transport
// core, request contexts and the response calls.
#include "endpoint_backends.h"
#include "stack_settings.h"
#include "secure_messages.h"
#include "tcp_server.h"
#include "tcp_status.h"

#include <opcua_binarycodec.hpp>
#include <opcua_transport.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

namespace
{
using namespace uatcp;

// One received request until it is answered. The stack and the service each
// hold a reference; the service's goes with the answer.
struct RequestContext
{
    std::shared_ptr<ServerConnection> connection;
    uint32_t channelId = 0;
    uint32_t requestId = 0;
    uint32_t requestHandle = 0;
    const OpcUa_ServiceType* service = nullptr;
    std::atomic<bool> answered{false};
    std::atomic<int> references{2};
};

// Contexts kept for reuse by the thread that last let one go; most requests are
// answered on the thread that began them.
class ContextCache
{
public:
    ~ContextCache()
    {
        for (RequestContext* c : m_spare)
            delete c;
    }
    RequestContext* take()
    {
        if (m_spare.empty())
            return new RequestContext;
        RequestContext* c = m_spare.back();
        m_spare.pop_back();
        c->answered = false;
        c->references = 2;
        return c;
    }
    void give(RequestContext* c)
    {
        c->connection.reset();
        if (m_spare.size() < kKept)
            m_spare.push_back(c);
        else
            delete c;
    }

private:
    static constexpr size_t kKept = 16;
    std::vector<RequestContext*> m_spare;
};

thread_local ContextCache t_contexts;

void release(RequestContext* context)
{
    if (context->references.fetch_sub(1) == 1)
        t_contexts.give(context);
}

bool sameLimits(const OpcUa::EncodingLimits& a, const OpcUa::EncodingLimits& b)
{
    return a.maxAlloc == b.maxAlloc && a.maxStringLength == b.maxStringLength &&
           a.maxByteStringLength == b.maxByteStringLength && a.maxArrayLength == b.maxArrayLength &&
           a.maxMessageSize == b.maxMessageSize && a.maxDepth == b.maxDepth;
}

// The encoder for responses of this thread, kept with its storage while the
// serializer limits stay as they are.
class ResponseEncoder
{
public:
    OpcUa::BinaryEncoder& fresh()
    {
        OpcUa::EncodingLimits limits = OpcUa::EncodingLimits::current();
        if (m_encoder && sameLimits(m_encoder->limits(), limits))
            m_encoder->reset();
        else
            m_encoder = std::make_unique<OpcUa::BinaryEncoder>(limits);
        return *m_encoder;
    }
    // A large response does not keep its storage on the thread.
    void done()
    {
        constexpr size_t kKeptSize = 1u << 20;
        if (m_encoder && m_encoder->size() > kKeptSize)
            m_encoder.reset();
    }

private:
    std::unique_ptr<OpcUa::BinaryEncoder> m_encoder;
};

thread_local ResponseEncoder t_encoder;

uint32_t sendFault(ServerConnection& connection, uint32_t channelId, uint32_t requestId,
                   uint32_t requestHandle, uint32_t result)
{
    Bytes fault = encodeServiceFault(requestHandle, result);
    connection.sendResponse(channelId, requestId, requestHandle, fault);
    return result;
}

class Endpoint final : public ServerHandler
{
public:
    explicit Endpoint(OpcUa_ServiceType** services)
    {
        for (OpcUa_ServiceType** s = services; s != nullptr && *s != nullptr; ++s)
            m_services.push_back(*s);
    }
    ~Endpoint() override { close(); }

    OpcUa_StatusCode open(const char* url, OpcUa_Endpoint_PfnEndpointCallback* callback,
                          OpcUa_Void* callbackData, const OpcUa_ByteString* certificate,
                          const OpcUa_Key* privateKey, const void* pkiConfig, OpcUa_UInt32 policyCount,
                          const OpcUa_Endpoint_SecurityPolicyConfiguration* policies)
    {
        std::lock_guard lock(m_mutex);
        if (m_server)
            return OpcUa_BadInvalidState;
        ServerSettings settings = serverSettingsFromConfiguration();
        for (OpcUa_UInt32 i = 0; i < policyCount; ++i)
        {
            const char* uri = OpcUa_String_GetRawString(&policies[i].sSecurityPolicyUri);
            if (uri != nullptr)
                settings.policies.push_back({uri, policies[i].uMessageSecurityModes});
        }
        if (settings.policies.empty())
            return OpcUa_BadInvalidArgument;
        settings.credentials.ownCertificate = bytesOf(certificate);
        if (privateKey != nullptr)
            settings.credentials.ownPrivateKey = bytesOf(&privateKey->Key);
        settings.credentials.pkiConfig = pkiConfig;
        // A secured policy needs the endpoint's certificate with its matching key; without them
        // every client of that policy would be refused.
        for (const PolicyConfig& policy : settings.policies)
            if (policy.uri != kSecurityPolicyNone && !createChannelSecurity(policy.uri, settings.credentials))
            {
                OpcUa_Trace_Imp(
                    OPCUA_TRACE_LEVEL_ERROR,
                    "opc.tcp endpoint %s: policy %s unknown or without certificate and matching key", url,
                    policy.uri.c_str());
                return OpcUa_BadInvalidArgument;
            }
        m_callback = callback;
        m_callbackData = callbackData;
        auto server = std::make_unique<TcpServer>(std::move(settings), *this);
        OpcUa_StatusCode result = server->open(url);
        if (OpcUa_IsBad(result))
        {
            // Whatever the trace level: the status does not say that another program holds the port.
            const std::string failure = lastListenFailure();
            if (!failure.empty())
                OpcUa_Trace_Imp(OPCUA_TRACE_LEVEL_ERROR | OPCUA_TRACE_LEVEL_ALWAYS,
                                "opc.tcp endpoint %s: %s\n", url, failure.c_str());
            return result;
        }
        m_server = std::move(server);
        OpcUa_Trace_Imp(OPCUA_TRACE_LEVEL_INFO, "opc.tcp endpoint listening at %s", url);
        return OpcUa_Good;
    }

    OpcUa_StatusCode close()
    {
        std::unique_ptr<TcpServer> server;
        {
            std::lock_guard lock(m_mutex);
            server = std::move(m_server);
        }
        if (!server)
            return OpcUa_BadInvalidState;
        server->close();
        return OpcUa_Good;
    }

    OpcUa_StatusCode setSessionActive(OpcUa_UInt32 channelId, bool active)
    {
        std::lock_guard lock(m_mutex);
        if (!m_server)
            return OpcUa_BadInvalidState;
        return m_server->setSessionActive(channelId, active) ? OpcUa_Good : OpcUa_BadSecureChannelIdInvalid;
    }

    void onChannelEvent(ChannelEvent event, uint32_t channelId, uint32_t status,
                        const Bytes& clientCertificate, const std::string& policyUri,
                        SecurityMode mode) override
    {
        notify(static_cast<OpcUa_Endpoint_Event>(event), channelId, status, clientCertificate, policyUri,
               static_cast<OpcUa_UInt16>(mode));
    }

    void onConnectionError(uint32_t status, const std::string& reason) override
    {
        OpcUa_Trace_Imp(OPCUA_TRACE_LEVEL_WARNING, "opc.tcp connection dropped [0x%08X]: %s", status,
                        reason.c_str());
    }

    void onRequest(const std::shared_ptr<ServerConnection>& connection, uint32_t channelId,
                   uint32_t requestId, Bytes body) override
    {
        onRequestView(connection, channelId, requestId, body.data(), body.size());
    }

    void onRequestView(const std::shared_ptr<ServerConnection>& connection, uint32_t channelId,
                       uint32_t requestId, const uint8_t* body, size_t size) override
    {
        OpcUa::BinaryDecoder decoder(body, size);
        OpcUa_EncodeableType* type = nullptr;
        OpcUa_Void* request = nullptr;
        OpcUa_UInt32 encodingId = 0;
        OpcUa_StatusCode result = decoder.readMessage(&type, &request, &encodingId);
        const OpcUa_ServiceType* service = nullptr;
        if (OpcUa_IsGood(result))
        {
            for (const OpcUa_ServiceType* s : m_services)
            {
                if (s->RequestTypeId == type->TypeId && s->BeginInvoke != nullptr)
                    service = s;
            }
        }
        bool unknownType = OpcUa_IsBad(result) && encodingId != 0 &&
                           OpcUa_EncodeableTypeTable_FindByEncodingId(encodingId) == nullptr;
        if (service == nullptr)
        {
            OpcUa_EncodeableObject_Delete(type, &request);
            bool unsupported = OpcUa_IsGood(result) || unknownType;
            notify(unsupported ? OpcUa_Endpoint_Event_UnsupportedServiceRequested
                               : OpcUa_Endpoint_Event_DecoderError,
                   channelId, unsupported ? OpcUa_BadServiceUnsupported : result, Bytes(),
                   connection->policyUri(), static_cast<OpcUa_UInt16>(connection->securityMode()));
            sendFault(*connection, channelId, requestId, peekRequestHandle(Bytes(body, body + size)),
                      unsupported ? OpcUa_BadServiceUnsupported : OpcUa_BadDecodingError);
            return;
        }

        RequestContext* context = t_contexts.take();
        context->connection = connection;
        context->channelId = channelId;
        context->requestId = requestId;
        // Every request starts with its request header.
        context->requestHandle = static_cast<OpcUa_RequestHeader*>(request)->RequestHandle;
        context->service = service;
        result = service->BeginInvoke(this, context, &request, type);
        if (OpcUa_IsBad(result) && !context->answered.exchange(true))
        {
            // Refused without an answer: the client still gets one.
            sendFault(*connection, channelId, requestId, context->requestHandle, result);
            release(context);
        }
        release(context);
        OpcUa_EncodeableObject_Delete(type, &request);
    }

private:
    void notify(OpcUa_Endpoint_Event event, uint32_t channelId, uint32_t status, const Bytes& certificate,
                const std::string& policyUri, OpcUa_UInt16 mode)
    {
        if (m_callback == nullptr)
            return;
        OpcUa_ByteString cert{static_cast<OpcUa_Int32>(certificate.size()),
                              certificate.empty() ? nullptr : const_cast<OpcUa_Byte*>(certificate.data())};
        if (certificate.empty())
            cert.Length = -1;
        OpcUa_String policy;
        OpcUa_String_Initialize(&policy);
        OpcUa_String_AttachCopy(&policy, policyUri.c_str());
        m_callback(this, m_callbackData, event, status, channelId, &cert, &policy, mode);
        OpcUa_String_Clear(&policy);
    }

    std::vector<const OpcUa_ServiceType*> m_services;
    std::mutex m_mutex;
    std::unique_ptr<TcpServer> m_server;
    OpcUa_Endpoint_PfnEndpointCallback* m_callback = nullptr;
    OpcUa_Void* m_callbackData = nullptr;
};

RequestContext* openContext(OpcUa_Handle context)
{
    auto* c = static_cast<RequestContext*>(context);
    return c != nullptr && !c->answered.load() ? c : nullptr;
}

// Marks the context answered; null when it already was.
RequestContext* takeContext(OpcUa_Handle* context)
{
    if (context == nullptr || *context == nullptr)
        return nullptr;
    auto* c = static_cast<RequestContext*>(*context);
    if (c->answered.exchange(true))
        return nullptr;
    *context = nullptr;
    return c;
}
} // namespace

// Linkage comes from the declarations in <opcua_transport.h>.
OPCUA_EXPORT OpcUa_StatusCode OpcUa_Endpoint_Create(OpcUa_Endpoint* endpoint,
                                                    OpcUa_Endpoint_SerializerType serializerType,
                                                    OpcUa_ServiceType** supportedServices)
{
    if (endpoint == nullptr || supportedServices == nullptr)
        return OpcUa_BadInvalidArgument;
    *endpoint = nullptr;
    if (serializerType != OpcUa_Endpoint_SerializerType_Binary)
        return OpcUa_BadNotSupported;
    if (OpcUa::EndpointBackend* backend = OpcUa::createBackendEndpoint(supportedServices))
    {
        *endpoint = backend->handle();
        return OpcUa_Good;
    }
    *endpoint = new Endpoint(supportedServices);
    return OpcUa_Good;
}

OPCUA_EXPORT OpcUa_StatusCode OpcUa_Endpoint_Open(
    OpcUa_Endpoint endpoint, const OpcUa_CharA* url, OpcUa_Endpoint_PfnEndpointCallback* callback,
    OpcUa_Void* callbackData, OpcUa_ByteString* serverCertificate, OpcUa_Key* serverPrivateKey,
    OpcUa_Void* pkiConfig, OpcUa_UInt32 noOfSecurityPolicies,
    OpcUa_Endpoint_SecurityPolicyConfiguration* securityPolicies)
{
    if (OpcUa::EndpointBackend* backend = OpcUa::endpointBackend(endpoint))
        return backend->open(url, callback, callbackData, serverCertificate, serverPrivateKey, pkiConfig,
                             noOfSecurityPolicies, securityPolicies);
    if (endpoint == nullptr || url == nullptr || (noOfSecurityPolicies > 0 && securityPolicies == nullptr))
        return OpcUa_BadInvalidArgument;
    return static_cast<Endpoint*>(endpoint)->open(url, callback, callbackData, serverCertificate,
                                                  serverPrivateKey, pkiConfig, noOfSecurityPolicies,
                                                  securityPolicies);
}

OPCUA_EXPORT OpcUa_StatusCode OpcUa_Endpoint_Close(OpcUa_Endpoint endpoint)
{
    if (OpcUa::EndpointBackend* backend = OpcUa::endpointBackend(endpoint))
        return backend->close();
    if (endpoint == nullptr)
        return OpcUa_BadInvalidArgument;
    return static_cast<Endpoint*>(endpoint)->close();
}

OPCUA_EXPORT OpcUa_Void OpcUa_Endpoint_Delete(OpcUa_Endpoint* endpoint)
{
    if (OpcUa::EndpointBackend* backend = OpcUa::endpointBackend(endpoint != nullptr ? *endpoint : nullptr))
    {
        *endpoint = nullptr;
        backend->destroy();
        return;
    }
    if (endpoint == nullptr || *endpoint == nullptr)
        return;
    delete static_cast<Endpoint*>(*endpoint);
    *endpoint = nullptr;
}

OPCUA_EXPORT OpcUa_StatusCode OpcUa_Endpoint_BeginSendResponse(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                                               OpcUa_Void** response,
                                                               OpcUa_EncodeableType** responseType)
{
    if (OpcUa::EndpointBackend* backend = OpcUa::endpointBackend(endpoint))
        return backend->beginSendResponse(context, response, responseType);
    if (response != nullptr)
        *response = nullptr;
    RequestContext* c = openContext(context);
    if (endpoint == nullptr || c == nullptr || response == nullptr || responseType == nullptr)
        return OpcUa_BadInvalidArgument;
    *responseType = c->service->ResponseEncodeableType;
    return OpcUa_EncodeableObject_Create(*responseType, response);
}

OPCUA_EXPORT OpcUa_StatusCode OpcUa_Endpoint_EndSendResponse(OpcUa_Endpoint endpoint, OpcUa_Handle* context,
                                                             OpcUa_StatusCode statusCode,
                                                             OpcUa_Void* response,
                                                             OpcUa_EncodeableType* responseType)
{
    if (OpcUa::EndpointBackend* backend = OpcUa::endpointBackend(endpoint))
        return backend->endSendResponse(context, statusCode, response, responseType);
    if (endpoint == nullptr)
        return OpcUa_BadInvalidArgument;
    RequestContext* c = takeContext(context);
    if (c == nullptr)
        return OpcUa_BadInvalidArgument;
    OpcUa_StatusCode result;
    if (OpcUa_IsBad(statusCode) || response == nullptr || responseType == nullptr)
    {
        uint32_t fault = OpcUa_IsBad(statusCode) ? statusCode : OpcUa_BadInternalError;
        sendFault(*c->connection, c->channelId, c->requestId, c->requestHandle, fault);
        result = OpcUa_IsBad(statusCode) ? OpcUa_Good : OpcUa_BadInvalidArgument;
    }
    else
    {
        OpcUa::BinaryEncoder& encoder = t_encoder.fresh();
        result = encoder.writeMessage(responseType, response);
        if (OpcUa_IsBad(result))
            sendFault(*c->connection, c->channelId, c->requestId, c->requestHandle, result);
        else
            result = c->connection->sendResponse(c->channelId, c->requestId, c->requestHandle, encoder.data(),
                                                 encoder.size());
        t_encoder.done();
    }
    release(c);
    return result;
}

OPCUA_EXPORT OpcUa_StatusCode OpcUa_Endpoint_CancelSendResponse(OpcUa_Endpoint endpoint,
                                                                OpcUa_StatusCode status, OpcUa_String* reason,
                                                                OpcUa_Handle* context)
{
    if (OpcUa::EndpointBackend* backend = OpcUa::endpointBackend(endpoint))
        return backend->cancelSendResponse(status, reason, context);
    if (endpoint == nullptr)
        return OpcUa_BadInvalidArgument;
    RequestContext* c = takeContext(context);
    if (c == nullptr)
        return OpcUa_BadInvalidArgument;
    if (OpcUa_IsBad(status))
        sendFault(*c->connection, c->channelId, c->requestId, c->requestHandle, status);
    else
        c->connection->finishRequest(c->requestId);
    release(c);
    return OpcUa_Good;
}

OPCUA_EXPORT OpcUa_StatusCode OpcUa_Endpoint_GetMessageSecureChannelId(OpcUa_Endpoint endpoint,
                                                                       OpcUa_Handle context,
                                                                       OpcUa_UInt32* secureChannelId)
{
    if (OpcUa::EndpointBackend* backend = OpcUa::endpointBackend(endpoint))
        return backend->getMessageSecureChannelId(context, secureChannelId);
    RequestContext* c = openContext(context);
    if (endpoint == nullptr || c == nullptr || secureChannelId == nullptr)
        return OpcUa_BadInvalidArgument;
    *secureChannelId = c->channelId;
    return OpcUa_Good;
}

OPCUA_EXPORT OpcUa_StatusCode OpcUa_Endpoint_GetMessageSecureChannelSecurityPolicy(
    OpcUa_Endpoint endpoint, OpcUa_Handle context, OpcUa_Endpoint_SecurityPolicyConfiguration* policy)
{
    if (OpcUa::EndpointBackend* backend = OpcUa::endpointBackend(endpoint))
        return backend->getMessageSecureChannelSecurityPolicy(context, policy);
    RequestContext* c = openContext(context);
    if (endpoint == nullptr || c == nullptr || policy == nullptr)
        return OpcUa_BadInvalidArgument;
    OpcUa_String_Initialize(&policy->sSecurityPolicyUri);
    policy->uMessageSecurityModes = 0;
    if (c->connection->channelId() != c->channelId)
        return OpcUa_BadSecureChannelClosed;
    OpcUa_StatusCode result =
        OpcUa_String_AttachCopy(&policy->sSecurityPolicyUri, c->connection->policyUri().c_str());
    static const OpcUa_UInt16 modeBits[] = {0, OPCUA_ENDPOINT_MESSAGESECURITYMODE_NONE,
                                            OPCUA_ENDPOINT_MESSAGESECURITYMODE_SIGN,
                                            OPCUA_ENDPOINT_MESSAGESECURITYMODE_SIGNANDENCRYPT};
    auto mode = static_cast<uint32_t>(c->connection->securityMode());
    policy->uMessageSecurityModes = mode < 4 ? modeBits[mode] : 0;
    return result;
}

OPCUA_EXPORT OpcUa_StatusCode OpcUa_Endpoint_SetSecureChannelSessionActive(OpcUa_Endpoint endpoint,
                                                                           OpcUa_UInt32 secureChannelId,
                                                                           OpcUa_Boolean sessionActive)
{
    if (OpcUa::EndpointBackend* backend = OpcUa::endpointBackend(endpoint))
        return backend->setSecureChannelSessionActive(secureChannelId, sessionActive);
    if (endpoint == nullptr)
        return OpcUa_BadInvalidArgument;
    return static_cast<Endpoint*>(endpoint)->setSessionActive(secureChannelId, sessionActive != OpcUa_False);
}

OPCUA_EXPORT OpcUa_StatusCode OpcUa_ServerApi_CreateFault(OpcUa_RequestHeader* requestHeader,
                                                          OpcUa_StatusCode serviceResult,
                                                          OpcUa_DiagnosticInfo* serviceDiagnostics,
                                                          OpcUa_Int32* noOfStringTable,
                                                          OpcUa_String** stringTable, OpcUa_Void** fault,
                                                          OpcUa_EncodeableType** faultType)
{
    if (fault == nullptr || faultType == nullptr)
        return OpcUa_BadInvalidArgument;
    *faultType = &OpcUa_ServiceFault_EncodeableType;
    OpcUa_StatusCode result = OpcUa_EncodeableObject_Create(*faultType, fault);
    if (OpcUa_IsBad(result))
        return result;
    OpcUa_ResponseHeader& header = static_cast<OpcUa_ServiceFault*>(*fault)->ResponseHeader;
    header.Timestamp = OpcUa_DateTime_UtcNow();
    header.RequestHandle = requestHeader != nullptr ? requestHeader->RequestHandle : 0;
    header.ServiceResult = serviceResult;
    if (serviceDiagnostics != nullptr)
    {
        header.ServiceDiagnostics = *serviceDiagnostics;
        OpcUa_DiagnosticInfo_Initialize(serviceDiagnostics);
    }
    if (noOfStringTable != nullptr && stringTable != nullptr && *noOfStringTable > 0 &&
        *stringTable != nullptr)
    {
        header.NoOfStringTable = *noOfStringTable;
        header.StringTable = *stringTable;
        *noOfStringTable = 0;
        *stringTable = nullptr;
    }
    return OpcUa_Good;
}
