// Platform layer and proxy/stub set-up, the configuration record in force, version texts and trace.
#include <opcua.h>
#include <opcua_binarycodec.hpp>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>

namespace
{
struct State
{
    std::mutex mutex;
    bool platformInitialized = false;
    bool proxyStubInitialized = false;
    OpcUa_ProxyStubConfiguration configuration{};
    std::string configText;
    OpcUa_PfnTraceSink* sink = nullptr;
    void* sinkContext = nullptr;
};

State& state()
{
    static State s;
    return s;
}

// Trace settings read on every trace call without taking the lock.
std::atomic<bool> g_traceEnabled{false};
std::atomic<OpcUa_UInt32> g_traceLevel{0};

int g_platformHandle = 0;

OpcUa_Int32 resolve(OpcUa_Int32 value, OpcUa_Int32 fallback)
{
    return value < 0 ? fallback : value;
}

OpcUa_ProxyStubConfiguration resolved(const OpcUa_ProxyStubConfiguration& c)
{
    OpcUa_ProxyStubConfiguration r = c;
    r.iSerializer_MaxAlloc = resolve(c.iSerializer_MaxAlloc, OPCUA_SERIALIZER_DEFAULT_MAXALLOC);
    r.iSerializer_MaxStringLength =
        resolve(c.iSerializer_MaxStringLength, OPCUA_SERIALIZER_DEFAULT_MAXSTRINGLENGTH);
    r.iSerializer_MaxByteStringLength =
        resolve(c.iSerializer_MaxByteStringLength, OPCUA_SERIALIZER_DEFAULT_MAXBYTESTRINGLENGTH);
    r.iSerializer_MaxArrayLength =
        resolve(c.iSerializer_MaxArrayLength, OPCUA_SERIALIZER_DEFAULT_MAXARRAYLENGTH);
    r.iSerializer_MaxMessageSize =
        resolve(c.iSerializer_MaxMessageSize, OPCUA_SERIALIZER_DEFAULT_MAXMESSAGESIZE);
    return r;
}

OpcUa_ProxyStubConfiguration defaults()
{
    OpcUa_ProxyStubConfiguration c{};
    c.bProxyStub_Trace_Enabled = OpcUa_False;
    c.uProxyStub_Trace_Level = 0xFFFFFFFFu;
    c.iSerializer_MaxAlloc = -1;
    c.iSerializer_MaxStringLength = -1;
    c.iSerializer_MaxByteStringLength = -1;
    c.iSerializer_MaxArrayLength = -1;
    c.iSerializer_MaxMessageSize = -1;
    c.bSecureListener_ThreadPool_Enabled = OpcUa_False;
    c.iSecureListener_ThreadPool_MinThreads = -1;
    c.iSecureListener_ThreadPool_MaxThreads = -1;
    c.iSecureListener_ThreadPool_MaxJobs = -1;
    c.bSecureListener_ThreadPool_BlockOnAdd = OpcUa_True;
    c.uSecureListener_ThreadPool_Timeout = OpcUa_Infinite;
    c.bTcpListener_ClientThreadsEnabled = OpcUa_False;
    c.iTcpListener_DefaultChunkSize = -1;
    c.iTcpConnection_DefaultChunkSize = -1;
    c.iTcpTransport_MaxMessageLength = -1;
    c.iTcpTransport_MaxChunkCount = -1;
    c.bTcpStream_ExpectWriteToBlock = OpcUa_False;
    return c;
}

void apply(const OpcUa_ProxyStubConfiguration& c)
{
    State& s = state();
    s.configuration = resolved(c);
    g_traceEnabled = c.bProxyStub_Trace_Enabled != 0;
    g_traceLevel = c.uProxyStub_Trace_Level;
}
} // namespace

namespace OpcUa
{
EncodingLimits EncodingLimits::current()
{
    OpcUa_ProxyStubConfiguration c;
    OpcUa_ProxyStub_GetConfiguration(&c);
    EncodingLimits l;
    l.maxAlloc = c.iSerializer_MaxAlloc;
    l.maxStringLength = c.iSerializer_MaxStringLength;
    l.maxByteStringLength = c.iSerializer_MaxByteStringLength;
    l.maxArrayLength = c.iSerializer_MaxArrayLength;
    l.maxMessageSize = c.iSerializer_MaxMessageSize;
    return l;
}
} // namespace OpcUa

extern "C"
{

    OPCUA_EXPORT OpcUa_StatusCode OpcUa_P_Initialize(OpcUa_Handle* handle)
    {
        if (handle == nullptr)
            return OpcUa_BadInvalidArgument;
        State& s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.platformInitialized)
            return OpcUa_BadInvalidState;
        s.platformInitialized = true;
        *handle = &g_platformHandle;
        return OpcUa_Good;
    }

    OPCUA_EXPORT OpcUa_Void OpcUa_P_Clean(OpcUa_Handle* handle)
    {
        State& s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        s.platformInitialized = false;
        if (handle != nullptr)
            *handle = nullptr;
    }

    OPCUA_EXPORT OpcUa_StringA OpcUa_P_GetVersion(void)
    {
        static char text[] = "Platform layer\\Linux\\1.0.0";
        return text;
    }

    OPCUA_EXPORT OpcUa_StringA OpcUa_P_GetConfigString(void)
    {
        static char text[] =
            "Threads: std::thread\\Mutexes: recursive\\Clock: system UTC, steady ticks\\Random: mt19937_64";
        return text;
    }

    OPCUA_EXPORT OpcUa_StatusCode OpcUa_ProxyStub_Initialize(OpcUa_Handle platformLayer,
                                                             OpcUa_ProxyStubConfiguration* configuration)
    {
        if (configuration == nullptr)
            return OpcUa_BadInvalidArgument;
        State& s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.platformInitialized || platformLayer != &g_platformHandle)
            return OpcUa_BadInvalidState;
        s.proxyStubInitialized = true;
        apply(*configuration);
        return OpcUa_Good;
    }

    OPCUA_EXPORT OpcUa_StatusCode OpcUa_ProxyStub_ReInitialize(OpcUa_ProxyStubConfiguration* configuration)
    {
        if (configuration == nullptr)
            return OpcUa_BadInvalidArgument;
        State& s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.proxyStubInitialized)
            return OpcUa_BadInvalidState;
        apply(*configuration);
        return OpcUa_Good;
    }

    OPCUA_EXPORT OpcUa_Void OpcUa_ProxyStub_Clear(void)
    {
        State& s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        s.proxyStubInitialized = false;
        apply(defaults());
    }

    OPCUA_EXPORT OpcUa_StringA OpcUa_ProxyStub_GetVersion(void)
    {
        static char text[] = "Stack\\1.0.0\\Binary encoding\\Types 1.05";
        return text;
    }

    OPCUA_EXPORT OpcUa_StringA OpcUa_ProxyStub_GetStaticConfigString(void)
    {
        static char text[] =
            "Encoding: binary\\Default max alloc: 16777216\\Default max message size: 16777216"
            "\\Default max array length: 65536\\Max nesting depth: 64";
        return text;
    }

    OPCUA_EXPORT OpcUa_StringA OpcUa_ProxyStub_GetConfigString(void)
    {
        State& s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.proxyStubInitialized)
            s.configuration = resolved(defaults());
        const OpcUa_ProxyStubConfiguration& c = s.configuration;
        char buffer[1024];
        std::snprintf(
            buffer, sizeof(buffer),
            "TraceEnabled: %d\\TraceLevel: 0x%08X\\MaxAlloc: %d\\MaxStringLength: %d\\MaxByteStringLength: %d"
            "\\MaxArrayLength: %d\\MaxMessageSize: %d\\ThreadPoolEnabled: %d\\ThreadPoolMinThreads: %d"
            "\\ThreadPoolMaxThreads: %d\\ThreadPoolMaxJobs: %d\\ThreadPoolBlockOnAdd: %d\\ThreadPoolTimeout: "
            "%u"
            "\\ClientThreadsEnabled: %d\\ListenerChunkSize: %d\\ConnectionChunkSize: %d\\MaxMessageLength: %d"
            "\\MaxChunkCount: %d\\ExpectWriteToBlock: %d",
            c.bProxyStub_Trace_Enabled, c.uProxyStub_Trace_Level, c.iSerializer_MaxAlloc,
            c.iSerializer_MaxStringLength, c.iSerializer_MaxByteStringLength, c.iSerializer_MaxArrayLength,
            c.iSerializer_MaxMessageSize, c.bSecureListener_ThreadPool_Enabled,
            c.iSecureListener_ThreadPool_MinThreads, c.iSecureListener_ThreadPool_MaxThreads,
            c.iSecureListener_ThreadPool_MaxJobs, c.bSecureListener_ThreadPool_BlockOnAdd,
            c.uSecureListener_ThreadPool_Timeout, c.bTcpListener_ClientThreadsEnabled,
            c.iTcpListener_DefaultChunkSize, c.iTcpConnection_DefaultChunkSize,
            c.iTcpTransport_MaxMessageLength, c.iTcpTransport_MaxChunkCount, c.bTcpStream_ExpectWriteToBlock);
        s.configText = buffer;
        return s.configText.data();
    }

    OPCUA_EXPORT OpcUa_Void OpcUa_ProxyStub_GetConfiguration(OpcUa_ProxyStubConfiguration* configuration)
    {
        if (configuration == nullptr)
            return;
        State& s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        *configuration = s.proxyStubInitialized ? s.configuration : resolved(defaults());
    }

    OPCUA_EXPORT OpcUa_Void OpcUa_Trace_SetSink(OpcUa_PfnTraceSink* sink, OpcUa_Void* context)
    {
        State& s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        s.sink = sink;
        s.sinkContext = context;
    }

    OPCUA_EXPORT OpcUa_Boolean OpcUa_Trace_Imp(OpcUa_UInt32 level, const OpcUa_CharA* format, ...)
    {
        if (format == nullptr || !g_traceEnabled.load())
            return OpcUa_False;
        if ((level & OPCUA_TRACE_LEVEL_ALWAYS) == 0 && (level & g_traceLevel.load()) == 0)
            return OpcUa_False;
        char buffer[1024];
        va_list args;
        va_start(args, format);
        OpcUa_StringA_vsnprintf(buffer, sizeof(buffer), format, args);
        va_end(args);
        State& s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.sink != nullptr)
            s.sink(level, buffer, s.sinkContext);
        else
            std::fputs(buffer, stderr);
        return OpcUa_True;
    }

} // extern "C"
