/* Set-up of the stack: platform layer, proxy/stub layer and its configuration record. */
#ifndef OPCUA_PROXYSTUB_H
#define OPCUA_PROXYSTUB_H

#include <opcua_builtintypes.h>

OPCUA_BEGIN_EXTERN_C

/* Process-wide configuration. A value of -1 (or below 0) selects the stack's default. */
typedef struct _OpcUa_ProxyStubConfiguration
{
    OpcUa_Boolean bProxyStub_Trace_Enabled;
    OpcUa_UInt32 uProxyStub_Trace_Level; /* mask of OPCUA_TRACE_LEVEL_* bits */
    OpcUa_Int32 iSerializer_MaxAlloc;
    OpcUa_Int32 iSerializer_MaxStringLength;
    OpcUa_Int32 iSerializer_MaxByteStringLength;
    OpcUa_Int32 iSerializer_MaxArrayLength;
    OpcUa_Int32 iSerializer_MaxMessageSize;
    OpcUa_Boolean bSecureListener_ThreadPool_Enabled;
    OpcUa_Int32 iSecureListener_ThreadPool_MinThreads;
    OpcUa_Int32 iSecureListener_ThreadPool_MaxThreads;
    OpcUa_Int32 iSecureListener_ThreadPool_MaxJobs;
    OpcUa_Boolean bSecureListener_ThreadPool_BlockOnAdd;
    OpcUa_UInt32 uSecureListener_ThreadPool_Timeout;
    OpcUa_Boolean bTcpListener_ClientThreadsEnabled;
    OpcUa_Int32 iTcpListener_DefaultChunkSize;
    OpcUa_Int32 iTcpConnection_DefaultChunkSize;
    OpcUa_Int32 iTcpTransport_MaxMessageLength;
    OpcUa_Int32 iTcpTransport_MaxChunkCount;
    OpcUa_Boolean bTcpStream_ExpectWriteToBlock;
} OpcUa_ProxyStubConfiguration;

/* Defaults that -1 selects for the serializer limits. */
#define OPCUA_SERIALIZER_DEFAULT_MAXALLOC (16 * 1024 * 1024)
#define OPCUA_SERIALIZER_DEFAULT_MAXSTRINGLENGTH (16 * 1024 * 1024)
#define OPCUA_SERIALIZER_DEFAULT_MAXBYTESTRINGLENGTH (16 * 1024 * 1024)
#define OPCUA_SERIALIZER_DEFAULT_MAXARRAYLENGTH 65536
#define OPCUA_SERIALIZER_DEFAULT_MAXMESSAGESIZE (16 * 1024 * 1024)
/* Nesting depth of Variant, DataValue, DiagnosticInfo, ExtensionObject and structures that the
   encoder and decoder accept. */
#define OPCUA_SERIALIZER_MAXRECURSIONDEPTH 64

/* Initialises the platform layer; *handle receives its handle. A second call while initialised
   gives BadInvalidState. */
OPCUA_EXPORT OpcUa_StatusCode OpcUa_P_Initialize(OpcUa_Handle* handle);
/* Releases the platform layer; sets *handle to null. Accepts null and an uninitialised layer. */
OPCUA_EXPORT OpcUa_Void OpcUa_P_Clean(OpcUa_Handle* handle);
OPCUA_EXPORT OpcUa_StringA OpcUa_P_GetVersion(void);
OPCUA_EXPORT OpcUa_StringA OpcUa_P_GetConfigString(void);

/* Takes the record (copied) into force. Needs an initialised platform layer (BadInvalidState
   otherwise); BadInvalidArgument for a null record. */
OPCUA_EXPORT OpcUa_StatusCode OpcUa_ProxyStub_Initialize(OpcUa_Handle platformLayer,
                                                         OpcUa_ProxyStubConfiguration* configuration);
/* Replaces the record in force; BadInvalidState before Initialize. */
OPCUA_EXPORT OpcUa_StatusCode OpcUa_ProxyStub_ReInitialize(OpcUa_ProxyStubConfiguration* configuration);
OPCUA_EXPORT OpcUa_Void OpcUa_ProxyStub_Clear(void);
/* Texts whose pieces are separated by backslashes. */
OPCUA_EXPORT OpcUa_StringA OpcUa_ProxyStub_GetVersion(void);
OPCUA_EXPORT OpcUa_StringA OpcUa_ProxyStub_GetStaticConfigString(void);
/* The record now in force (the text stays valid until the next call). */
OPCUA_EXPORT OpcUa_StringA OpcUa_ProxyStub_GetConfigString(void);
/* Copies the record now in force (defaults resolved: no -1 left in the serializer limits). */
OPCUA_EXPORT OpcUa_Void OpcUa_ProxyStub_GetConfiguration(OpcUa_ProxyStubConfiguration* configuration);

OPCUA_END_EXTERN_C

#endif
