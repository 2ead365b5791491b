/* The opc.tcp transport of the stack: server endpoints with their service
   table, and client channels with the synchronous discovery calls. */
#ifndef OPCUA_TRANSPORT_H
#define OPCUA_TRANSPORT_H

#include <opcua.h>

OPCUA_BEGIN_EXTERN_C

/* ------------------------------------------------------------------ keys */

#define OpcUa_Crypto_KeyType_Invalid 0
#define OpcUa_Crypto_KeyType_Rsa_Private 5

/* A key handed to the stack: Type is one of OpcUa_Crypto_KeyType_*, Key its
   bytes (an RSA private key in DER or PEM form). */
typedef struct _OpcUa_Key
{
    OpcUa_UInt32 Type;
    OpcUa_ByteString Key;
} OpcUa_Key;

/* --------------------------------------------------------------- endpoint */

typedef OpcUa_Handle OpcUa_Endpoint;

typedef enum _OpcUa_Endpoint_SerializerType
{
    OpcUa_Endpoint_SerializerType_Invalid = 0,
    OpcUa_Endpoint_SerializerType_Binary = 1
} OpcUa_Endpoint_SerializerType;

/* Mode mask bits of a security policy configuration. */
#define OPCUA_ENDPOINT_MESSAGESECURITYMODE_NONE 0x1
#define OPCUA_ENDPOINT_MESSAGESECURITYMODE_SIGN 0x2
#define OPCUA_ENDPOINT_MESSAGESECURITYMODE_SIGNANDENCRYPT 0x4

typedef struct _OpcUa_Endpoint_SecurityPolicyConfiguration
{
    OpcUa_String sSecurityPolicyUri;
    OpcUa_UInt16 uMessageSecurityModes;
} OpcUa_Endpoint_SecurityPolicyConfiguration;

typedef enum _OpcUa_Endpoint_Event
{
    OpcUa_Endpoint_Event_Invalid = 0,
    OpcUa_Endpoint_Event_SecureChannelOpened = 1,
    OpcUa_Endpoint_Event_SecureChannelClosed = 2,
    OpcUa_Endpoint_Event_SecureChannelRenewed = 3,
    OpcUa_Endpoint_Event_UnsupportedServiceRequested = 4,
    OpcUa_Endpoint_Event_DecoderError = 5
} OpcUa_Endpoint_Event;

/* Called on the stack's threads. securityMode is the channel's
   MessageSecurityMode value (1 None, 2 Sign, 3 SignAndEncrypt; 0 unknown). The
   certificate and policy are only valid during the call. */
typedef OpcUa_StatusCode(OpcUa_Endpoint_PfnEndpointCallback)(
    OpcUa_Endpoint endpoint, OpcUa_Void* callbackData, OpcUa_Endpoint_Event event, OpcUa_StatusCode status,
    OpcUa_UInt32 secureChannelId, OpcUa_ByteString* clientCertificate, OpcUa_String* securityPolicyUri,
    OpcUa_UInt16 securityMode);

/* A service's begin-invoke function. *request is the decoded request; a
   function that takes the request over sets *request to null, otherwise the
   stack frees it on return. A good result means the service answers the
   request through context (EndSendResponse or CancelSendResponse); a bad
   result without an answer makes the stack send a ServiceFault with it. */
typedef OpcUa_StatusCode(OpcUa_PfnBeginInvokeService)(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                                      OpcUa_Void** request,
                                                      OpcUa_EncodeableType* requestType);
typedef OpcUa_StatusCode(OpcUa_PfnInvokeService)(OpcUa_Endpoint endpoint, OpcUa_Void* request,
                                                 OpcUa_EncodeableType* requestType);

typedef struct _OpcUa_ServiceType
{
    OpcUa_UInt32 RequestTypeId;
    OpcUa_EncodeableType* ResponseEncodeableType;
    OpcUa_PfnBeginInvokeService* BeginInvoke;
    OpcUa_PfnInvokeService* Invoke; /* not used: services are begun and answered */
} OpcUa_ServiceType;

/* supportedServices: null-terminated array of service records; it must stay
   valid while the endpoint exists. */
OPCUA_EXPORT OpcUa_StatusCode OpcUa_Endpoint_Create(OpcUa_Endpoint* endpoint,
                                                    OpcUa_Endpoint_SerializerType serializerType,
                                                    OpcUa_ServiceType** supportedServices);

/* Listens on "opc.tcp://host:port[/path]" and starts serving. A numeric host
   binds that address; any other host name binds every local address of the
   port. The certificate and key are copied; the PKI configuration (the
   certificate store configuration of the PKI provider) must stay valid while
   the endpoint is open. The callback may be null. */
OPCUA_EXPORT OpcUa_StatusCode OpcUa_Endpoint_Open(
    OpcUa_Endpoint endpoint, const OpcUa_CharA* url, OpcUa_Endpoint_PfnEndpointCallback* callback,
    OpcUa_Void* callbackData, OpcUa_ByteString* serverCertificate, OpcUa_Key* serverPrivateKey,
    OpcUa_Void* pkiConfig, OpcUa_UInt32 noOfSecurityPolicies,
    OpcUa_Endpoint_SecurityPolicyConfiguration* securityPolicies);

/* Stops listening and closes every connection; waits for the stack's threads. */
OPCUA_EXPORT OpcUa_StatusCode OpcUa_Endpoint_Close(OpcUa_Endpoint endpoint);
/* Closes if needed, frees the endpoint and sets *endpoint to null. */
OPCUA_EXPORT OpcUa_Void OpcUa_Endpoint_Delete(OpcUa_Endpoint* endpoint);

/* An empty (initialised) response of the service's response type. Bad when
   the context has already been answered. */
OPCUA_EXPORT OpcUa_StatusCode OpcUa_Endpoint_BeginSendResponse(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                                               OpcUa_Void** response,
                                                               OpcUa_EncodeableType** responseType);
/* Encodes and sends the response (a ServiceFault with statusCode when that is
   bad); uses up the context and sets *context to null. The response stays the
   caller's. A response whose channel has gone is dropped. */
OPCUA_EXPORT OpcUa_StatusCode OpcUa_Endpoint_EndSendResponse(OpcUa_Endpoint endpoint, OpcUa_Handle* context,
                                                             OpcUa_StatusCode statusCode,
                                                             OpcUa_Void* response,
                                                             OpcUa_EncodeableType* responseType);
/* Drops the response; with a bad status the client gets a ServiceFault with
   it while its channel is alive, with a good status nothing is sent. Uses up
   the context and sets *context to null. */
OPCUA_EXPORT OpcUa_StatusCode OpcUa_Endpoint_CancelSendResponse(OpcUa_Endpoint endpoint,
                                                                OpcUa_StatusCode status, OpcUa_String* reason,
                                                                OpcUa_Handle* context);

OPCUA_EXPORT OpcUa_StatusCode OpcUa_Endpoint_GetMessageSecureChannelId(OpcUa_Endpoint endpoint,
                                                                       OpcUa_Handle context,
                                                                       OpcUa_UInt32* secureChannelId);
/* Fills policy with a copy of the channel's policy URI (the caller clears it)
   and its mode as a mask bit (OPCUA_ENDPOINT_MESSAGESECURITYMODE_*). */
OPCUA_EXPORT OpcUa_StatusCode OpcUa_Endpoint_GetMessageSecureChannelSecurityPolicy(
    OpcUa_Endpoint endpoint, OpcUa_Handle context, OpcUa_Endpoint_SecurityPolicyConfiguration* policy);

/* Marks whether the secure channel carries an activated session. When every connection is
   taken, a new client closes the oldest connection still in its handshake, or else the oldest
   channel without an activated session; channels marked here stay. BadSecureChannelIdInvalid
   when no such channel is open. */
OPCUA_EXPORT OpcUa_StatusCode OpcUa_Endpoint_SetSecureChannelSessionActive(OpcUa_Endpoint endpoint,
                                                                           OpcUa_UInt32 secureChannelId,
                                                                           OpcUa_Boolean sessionActive);

/* A new ServiceFault answering requestHeader with serviceResult. The
   diagnostics and string table, when given, are moved into the fault (the
   caller's are left empty). */
OPCUA_EXPORT OpcUa_StatusCode OpcUa_ServerApi_CreateFault(OpcUa_RequestHeader* requestHeader,
                                                          OpcUa_StatusCode serviceResult,
                                                          OpcUa_DiagnosticInfo* serviceDiagnostics,
                                                          OpcUa_Int32* noOfStringTable,
                                                          OpcUa_String** stringTable, OpcUa_Void** fault,
                                                          OpcUa_EncodeableType** faultType);

/* ---------------------------------------------------------------- channel */

typedef OpcUa_Handle OpcUa_Channel;

typedef enum _OpcUa_Channel_SerializerType
{
    OpcUa_Channel_SerializerType_Invalid = 0,
    OpcUa_Channel_SerializerType_Binary = 1
} OpcUa_Channel_SerializerType;

typedef enum _OpcUa_Channel_Event
{
    OpcUa_Channel_Event_Invalid = 0,
    OpcUa_Channel_Event_Connected = 1,
    OpcUa_Channel_Event_Disconnected = 2,
    OpcUa_Channel_Event_Renewed = 3
} OpcUa_Channel_Event;

typedef OpcUa_StatusCode(OpcUa_Channel_PfnConnectionStateChanged)(OpcUa_Channel channel,
                                                                  OpcUa_Void* callbackData,
                                                                  OpcUa_Channel_Event event,
                                                                  OpcUa_StatusCode status);

OPCUA_EXPORT OpcUa_StatusCode OpcUa_Channel_Create(OpcUa_Channel* channel,
                                                   OpcUa_Channel_SerializerType serializerType);
/* Connects and opens a secure channel; returns once it is open or has failed
   (within networkTimeout milliseconds). messageSecurityMode is a
   MessageSecurityMode value; requestedLifetime the token lifetime in ms. */
OPCUA_EXPORT OpcUa_StatusCode OpcUa_Channel_Connect(
    OpcUa_Channel channel, const OpcUa_CharA* url, OpcUa_Channel_PfnConnectionStateChanged* callback,
    OpcUa_Void* callbackData, OpcUa_ByteString* clientCertificate, OpcUa_Key* clientPrivateKey,
    OpcUa_ByteString* serverCertificate, OpcUa_Void* pkiConfig, OpcUa_String* requestedSecurityPolicyUri,
    OpcUa_Int32 requestedLifetime, OpcUa_Int32 messageSecurityMode, OpcUa_UInt32 networkTimeout);
/* Closes the secure channel and the connection; BadNotConnected when the
   channel was not connected (any remains of a dropped connection are cleaned
   up all the same). Not to be called from the channel's own callback. */
OPCUA_EXPORT OpcUa_StatusCode OpcUa_Channel_Disconnect(OpcUa_Channel channel);
/* Disconnects if needed, frees the channel and sets *channel to null. */
OPCUA_EXPORT OpcUa_Void OpcUa_Channel_Delete(OpcUa_Channel* channel);

/* Sends one request and waits for its response (at most the request header's
   TimeoutHint, or the channel's network time-out when that is 0). *response
   is a new object of *responseType (a ServiceFault when the server refused);
   free it with OpcUa_EncodeableObject_Delete. */
OPCUA_EXPORT OpcUa_StatusCode OpcUa_Channel_InvokeService(OpcUa_Channel channel, OpcUa_Void* request,
                                                          OpcUa_EncodeableType* requestType,
                                                          OpcUa_Void** response,
                                                          OpcUa_EncodeableType** responseType);

/* Synchronous discovery calls. The result is the call's own status; the
   server's answer (a fault included) is in the response header. Output arrays
   belong to the caller afterwards. */
OPCUA_EXPORT OpcUa_StatusCode OpcUa_ClientApi_GetEndpoints(
    OpcUa_Channel channel, const OpcUa_RequestHeader* requestHeader, const OpcUa_String* endpointUrl,
    OpcUa_Int32 noOfLocaleIds, const OpcUa_String* localeIds, OpcUa_Int32 noOfProfileUris,
    const OpcUa_String* profileUris, OpcUa_ResponseHeader* responseHeader, OpcUa_Int32* noOfEndpoints,
    OpcUa_EndpointDescription** endpoints);
OPCUA_EXPORT OpcUa_StatusCode OpcUa_ClientApi_FindServers(
    OpcUa_Channel channel, const OpcUa_RequestHeader* requestHeader, const OpcUa_String* endpointUrl,
    OpcUa_Int32 noOfLocaleIds, const OpcUa_String* localeIds, OpcUa_Int32 noOfServerUris,
    const OpcUa_String* serverUris, OpcUa_ResponseHeader* responseHeader, OpcUa_Int32* noOfServers,
    OpcUa_ApplicationDescription** servers);
OPCUA_EXPORT OpcUa_StatusCode OpcUa_ClientApi_RegisterServer(OpcUa_Channel channel,
                                                             const OpcUa_RequestHeader* requestHeader,
                                                             const OpcUa_RegisteredServer* server,
                                                             OpcUa_ResponseHeader* responseHeader);

OPCUA_END_EXTERN_C

#endif
