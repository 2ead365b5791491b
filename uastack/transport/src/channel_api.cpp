// Client channels of the stack: connect, synchronous service calls and the
// discovery calls the server uses to register itself.
#include "stack_settings.h"
#include "tcp_client.h"
#include "tcp_status.h"

#include <opcua_binarycodec.hpp>
#include <opcua_transport.h>

#include <memory>

namespace
{
using namespace uatcp;

constexpr uint32_t kDefaultLifetimeMs = 600000;
constexpr uint32_t kDefaultTimeoutMs = 10000;

struct Channel
{
    ClientConnection connection;
    uint32_t timeoutMs = kDefaultTimeoutMs;
};

Channel* channelOf(OpcUa_Channel handle)
{
    return static_cast<Channel*>(handle);
}

// Moves the response header out of a response (every response starts with it).
void takeResponseHeader(OpcUa_Void* response, OpcUa_ResponseHeader* target)
{
    auto* header = static_cast<OpcUa_ResponseHeader*>(response);
    *target = *header;
    OpcUa_ResponseHeader_Initialize(header);
}

// Runs a request whose fields are borrowed from the caller; the response of
// the expected type (or a ServiceFault) comes back in *response.
OpcUa_StatusCode call(OpcUa_Channel channel, OpcUa_Void* request, OpcUa_EncodeableType* requestType,
                      OpcUa_EncodeableType* expected, OpcUa_ResponseHeader* responseHeader,
                      OpcUa_Void** response)
{
    OpcUa_EncodeableType* type = nullptr;
    OpcUa_StatusCode result = OpcUa_Channel_InvokeService(channel, request, requestType, response, &type);
    if (OpcUa_IsBad(result))
        return result;
    if (type != expected && type != &OpcUa_ServiceFault_EncodeableType)
    {
        OpcUa_EncodeableObject_Delete(type, response);
        return OpcUa_BadUnknownResponse;
    }
    takeResponseHeader(*response, responseHeader);
    if (type != expected)
        OpcUa_EncodeableObject_Delete(type, response);
    return OpcUa_Good;
}
} // namespace

// Linkage comes from the declarations in <opcua_transport.h>.
OPCUA_EXPORT OpcUa_StatusCode OpcUa_Channel_Create(OpcUa_Channel* channel,
                                                   OpcUa_Channel_SerializerType serializerType)
{
    if (channel == nullptr)
        return OpcUa_BadInvalidArgument;
    *channel = nullptr;
    if (serializerType != OpcUa_Channel_SerializerType_Binary)
        return OpcUa_BadNotSupported;
    *channel = new Channel;
    return OpcUa_Good;
}

OPCUA_EXPORT OpcUa_StatusCode OpcUa_Channel_Connect(
    OpcUa_Channel channel, const OpcUa_CharA* url, OpcUa_Channel_PfnConnectionStateChanged* callback,
    OpcUa_Void* callbackData, OpcUa_ByteString* clientCertificate, OpcUa_Key* clientPrivateKey,
    OpcUa_ByteString* serverCertificate, OpcUa_Void* pkiConfig, OpcUa_String* requestedSecurityPolicyUri,
    OpcUa_Int32 requestedLifetime, OpcUa_Int32 messageSecurityMode, OpcUa_UInt32 networkTimeout)
{
    Channel* c = channelOf(channel);
    if (c == nullptr || url == nullptr)
        return OpcUa_BadInvalidArgument;
    ClientSettings settings;
    settings.limits = clientLimitsFromConfiguration();
    const char* policy = OpcUa_String_GetRawString(requestedSecurityPolicyUri);
    if (policy != nullptr && policy[0] != '\0')
        settings.policyUri = policy;
    settings.mode = static_cast<SecurityMode>(messageSecurityMode);
    settings.requestedLifetimeMs =
        requestedLifetime > 0 ? static_cast<uint32_t>(requestedLifetime) : kDefaultLifetimeMs;
    c->timeoutMs = networkTimeout > 0 && networkTimeout < 0x7FFFFFFF ? networkTimeout : kDefaultTimeoutMs;
    settings.timeoutMs = static_cast<int>(c->timeoutMs);
    settings.credentials.ownCertificate = bytesOf(clientCertificate);
    if (clientPrivateKey != nullptr)
        settings.credentials.ownPrivateKey = bytesOf(&clientPrivateKey->Key);
    settings.credentials.pkiConfig = pkiConfig;
    settings.credentials.peerCertificate = bytesOf(serverCertificate);
    ClientConnection::EventCallback events;
    if (callback != nullptr)
    {
        events = [channel, callback, callbackData](ClientEvent event, uint32_t status)
        {
            OpcUa_Channel_Event e = event == ClientEvent::Connected      ? OpcUa_Channel_Event_Connected
                                    : event == ClientEvent::Disconnected ? OpcUa_Channel_Event_Disconnected
                                                                         : OpcUa_Channel_Event_Renewed;
            callback(channel, callbackData, e, status);
        };
    }
    return c->connection.connect(url, settings, std::move(events));
}

OPCUA_EXPORT OpcUa_StatusCode OpcUa_Channel_Disconnect(OpcUa_Channel channel)
{
    Channel* c = channelOf(channel);
    if (c == nullptr)
        return OpcUa_BadInvalidArgument;
    bool wasConnected = c->connection.connected();
    // Also after the server dropped the connection, so the channel can connect again.
    c->connection.disconnect();
    return wasConnected ? OpcUa_Good : OpcUa_BadNotConnected;
}

OPCUA_EXPORT OpcUa_Void OpcUa_Channel_Delete(OpcUa_Channel* channel)
{
    if (channel == nullptr || *channel == nullptr)
        return;
    delete channelOf(*channel);
    *channel = nullptr;
}

OPCUA_EXPORT OpcUa_StatusCode OpcUa_Channel_InvokeService(OpcUa_Channel channel, OpcUa_Void* request,
                                                          OpcUa_EncodeableType* requestType,
                                                          OpcUa_Void** response,
                                                          OpcUa_EncodeableType** responseType)
{
    Channel* c = channelOf(channel);
    if (response != nullptr)
        *response = nullptr;
    if (responseType != nullptr)
        *responseType = nullptr;
    if (c == nullptr || request == nullptr || requestType == nullptr || response == nullptr ||
        responseType == nullptr)
        return OpcUa_BadInvalidArgument;
    OpcUa::BinaryEncoder encoder;
    OpcUa_StatusCode result = encoder.writeMessage(requestType, request);
    if (OpcUa_IsBad(result))
        return result;
    Bytes body(encoder.data(), encoder.data() + encoder.size());
    Bytes answer;
    uint32_t hint = static_cast<OpcUa_RequestHeader*>(request)->TimeoutHint;
    uint32_t timeout = hint > 0 && hint < 0x7FFFFFFF ? hint : c->timeoutMs;
    result = c->connection.invoke(body, answer, static_cast<int>(timeout));
    if (OpcUa_IsBad(result))
        return result;
    OpcUa::BinaryDecoder decoder(answer.data(), answer.size());
    return decoder.readMessage(responseType, response);
}

OPCUA_EXPORT OpcUa_StatusCode OpcUa_ClientApi_GetEndpoints(
    OpcUa_Channel channel, const OpcUa_RequestHeader* requestHeader, const OpcUa_String* endpointUrl,
    OpcUa_Int32 noOfLocaleIds, const OpcUa_String* localeIds, OpcUa_Int32 noOfProfileUris,
    const OpcUa_String* profileUris, OpcUa_ResponseHeader* responseHeader, OpcUa_Int32* noOfEndpoints,
    OpcUa_EndpointDescription** endpoints)
{
    if (requestHeader == nullptr || responseHeader == nullptr || noOfEndpoints == nullptr ||
        endpoints == nullptr)
        return OpcUa_BadInvalidArgument;
    *noOfEndpoints = 0;
    *endpoints = nullptr;
    // The request only borrows the caller's values and is never cleared.
    OpcUa_GetEndpointsRequest request;
    OpcUa_GetEndpointsRequest_Initialize(&request);
    request.RequestHeader = *requestHeader;
    if (endpointUrl != nullptr)
        request.EndpointUrl = *endpointUrl;
    request.NoOfLocaleIds = noOfLocaleIds;
    request.LocaleIds = const_cast<OpcUa_String*>(localeIds);
    request.NoOfProfileUris = noOfProfileUris;
    request.ProfileUris = const_cast<OpcUa_String*>(profileUris);
    OpcUa_Void* response = nullptr;
    OpcUa_StatusCode result = call(channel, &request, &OpcUa_GetEndpointsRequest_EncodeableType,
                                   &OpcUa_GetEndpointsResponse_EncodeableType, responseHeader, &response);
    if (OpcUa_IsBad(result) || response == nullptr)
        return result;
    auto* r = static_cast<OpcUa_GetEndpointsResponse*>(response);
    *noOfEndpoints = r->Endpoints != nullptr && r->NoOfEndpoints > 0 ? r->NoOfEndpoints : 0;
    *endpoints = *noOfEndpoints > 0 ? r->Endpoints : nullptr;
    r->NoOfEndpoints = 0;
    r->Endpoints = nullptr;
    OpcUa_EncodeableObject_Delete(&OpcUa_GetEndpointsResponse_EncodeableType, &response);
    return OpcUa_Good;
}

OPCUA_EXPORT OpcUa_StatusCode OpcUa_ClientApi_FindServers(
    OpcUa_Channel channel, const OpcUa_RequestHeader* requestHeader, const OpcUa_String* endpointUrl,
    OpcUa_Int32 noOfLocaleIds, const OpcUa_String* localeIds, OpcUa_Int32 noOfServerUris,
    const OpcUa_String* serverUris, OpcUa_ResponseHeader* responseHeader, OpcUa_Int32* noOfServers,
    OpcUa_ApplicationDescription** servers)
{
    if (requestHeader == nullptr || responseHeader == nullptr || noOfServers == nullptr || servers == nullptr)
        return OpcUa_BadInvalidArgument;
    *noOfServers = 0;
    *servers = nullptr;
    OpcUa_FindServersRequest request;
    OpcUa_FindServersRequest_Initialize(&request);
    request.RequestHeader = *requestHeader;
    if (endpointUrl != nullptr)
        request.EndpointUrl = *endpointUrl;
    request.NoOfLocaleIds = noOfLocaleIds;
    request.LocaleIds = const_cast<OpcUa_String*>(localeIds);
    request.NoOfServerUris = noOfServerUris;
    request.ServerUris = const_cast<OpcUa_String*>(serverUris);
    OpcUa_Void* response = nullptr;
    OpcUa_StatusCode result = call(channel, &request, &OpcUa_FindServersRequest_EncodeableType,
                                   &OpcUa_FindServersResponse_EncodeableType, responseHeader, &response);
    if (OpcUa_IsBad(result) || response == nullptr)
        return result;
    auto* r = static_cast<OpcUa_FindServersResponse*>(response);
    *noOfServers = r->Servers != nullptr && r->NoOfServers > 0 ? r->NoOfServers : 0;
    *servers = *noOfServers > 0 ? r->Servers : nullptr;
    r->NoOfServers = 0;
    r->Servers = nullptr;
    OpcUa_EncodeableObject_Delete(&OpcUa_FindServersResponse_EncodeableType, &response);
    return OpcUa_Good;
}

OPCUA_EXPORT OpcUa_StatusCode OpcUa_ClientApi_RegisterServer(OpcUa_Channel channel,
                                                             const OpcUa_RequestHeader* requestHeader,
                                                             const OpcUa_RegisteredServer* server,
                                                             OpcUa_ResponseHeader* responseHeader)
{
    if (requestHeader == nullptr || server == nullptr || responseHeader == nullptr)
        return OpcUa_BadInvalidArgument;
    OpcUa_RegisterServerRequest request;
    OpcUa_RegisterServerRequest_Initialize(&request);
    request.RequestHeader = *requestHeader;
    request.Server = *server;
    OpcUa_Void* response = nullptr;
    OpcUa_StatusCode result = call(channel, &request, &OpcUa_RegisterServerRequest_EncodeableType,
                                   &OpcUa_RegisterServerResponse_EncodeableType, responseHeader, &response);
    OpcUa_EncodeableObject_Delete(&OpcUa_RegisterServerResponse_EncodeableType, &response);
    return result;
}
