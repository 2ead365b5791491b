// Endpoints that are not opc.tcp listeners: an in-process stand-in (the tests' fake endpoint)
// derives from EndpointBackend, and every endpoint call of <opcua_transport.h> made on its
// handle reaches it, so that server code runs unchanged on the stand-in and on the wire.
#pragma once

#include <opcua.h>
#include <opcua_transport.h>

namespace OpcUa
{

class OPCUA_EXPORT EndpointBackend
{
public:
    // Registers the object: its handle() reaches it through the endpoint calls from now on.
    EndpointBackend();
    // Unregisters it.
    virtual ~EndpointBackend();
    EndpointBackend(const EndpointBackend&) = delete;
    EndpointBackend& operator=(const EndpointBackend&) = delete;

    OpcUa_Endpoint handle() { return static_cast<OpcUa_Endpoint>(this); }

    // The endpoint calls, with the arguments and results of <opcua_transport.h>.
    virtual OpcUa_StatusCode open(const OpcUa_CharA* url, OpcUa_Endpoint_PfnEndpointCallback* callback,
                                  OpcUa_Void* callbackData, OpcUa_ByteString* serverCertificate,
                                  OpcUa_Key* serverPrivateKey, OpcUa_Void* pkiConfig,
                                  OpcUa_UInt32 noOfSecurityPolicies,
                                  OpcUa_Endpoint_SecurityPolicyConfiguration* securityPolicies) = 0;
    virtual OpcUa_StatusCode close() = 0;
    // OpcUa_Endpoint_Delete; the default deletes the object.
    virtual void destroy();
    virtual OpcUa_StatusCode beginSendResponse(OpcUa_Handle context, OpcUa_Void** response,
                                               OpcUa_EncodeableType** responseType) = 0;
    virtual OpcUa_StatusCode endSendResponse(OpcUa_Handle* context, OpcUa_StatusCode statusCode,
                                             OpcUa_Void* response, OpcUa_EncodeableType* responseType) = 0;
    virtual OpcUa_StatusCode cancelSendResponse(OpcUa_StatusCode status, OpcUa_String* reason,
                                                OpcUa_Handle* context) = 0;
    virtual OpcUa_StatusCode getMessageSecureChannelId(OpcUa_Handle context,
                                                       OpcUa_UInt32* secureChannelId) = 0;
    virtual OpcUa_StatusCode
    getMessageSecureChannelSecurityPolicy(OpcUa_Handle context,
                                          OpcUa_Endpoint_SecurityPolicyConfiguration* policy) = 0;
    virtual OpcUa_StatusCode setSecureChannelSessionActive(OpcUa_UInt32 secureChannelId,
                                                           OpcUa_Boolean sessionActive) = 0;
};

// Makes the endpoint for OpcUa_Endpoint_Create while it is installed; null falls back to an
// opc.tcp endpoint.
using EndpointFactory = EndpointBackend* (*)(OpcUa_ServiceType** supportedServices, void* data);

// Installs factory (null removes it) and returns the one it replaces.
OPCUA_EXPORT EndpointFactory setEndpointFactory(EndpointFactory factory, void* data);

// The registered backend behind a handle; null for an opc.tcp endpoint.
OPCUA_EXPORT EndpointBackend* endpointBackend(OpcUa_Endpoint endpoint);

} // namespace OpcUa
