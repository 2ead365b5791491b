#include "uaplatformlayer.h"

#include "uafileengine.h"

#include <mutex>

namespace
{
struct PlatformState
{
    std::mutex mutex;
    OpcUa_Handle platformHandle = nullptr;
    bool configured = false;
    OpcUa_UInt32 useCount = 0;
    OpcUa_ProxyStubConfiguration record{};
};

PlatformState& state()
{
    static PlatformState s;
    return s;
}

// Mutex held.
void writeDefaultsOnce(PlatformState& s)
{
    if (s.configured)
        return;
    OpcUa_ProxyStubConfiguration& r = s.record;
    r.bProxyStub_Trace_Enabled = OpcUa_False;
    r.uProxyStub_Trace_Level = static_cast<OpcUa_UInt32>(-1);
    r.iSerializer_MaxAlloc = -1;
    r.iSerializer_MaxStringLength = -1;
    r.iSerializer_MaxByteStringLength = -1;
    r.iSerializer_MaxArrayLength = -1;
    r.iSerializer_MaxMessageSize = -1;
    r.bSecureListener_ThreadPool_Enabled = OpcUa_True;
    r.iSecureListener_ThreadPool_MinThreads = -1;
    r.iSecureListener_ThreadPool_MaxThreads = -1;
    r.iSecureListener_ThreadPool_MaxJobs = -1;
    r.bSecureListener_ThreadPool_BlockOnAdd = OpcUa_True;
    r.uSecureListener_ThreadPool_Timeout = static_cast<OpcUa_UInt32>(-1);
    r.bTcpListener_ClientThreadsEnabled = OpcUa_False;
    r.iTcpListener_DefaultChunkSize = -1;
    r.iTcpConnection_DefaultChunkSize = -1;
    r.iTcpTransport_MaxMessageLength = -1;
    r.iTcpTransport_MaxChunkCount = 5000;
    r.bTcpStream_ExpectWriteToBlock = OpcUa_False;
    s.configured = true;
}
} // namespace

int UaPlatformLayer::init()
{
    PlatformState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (++s.useCount > 1)
        return 0;
    if (OpcUa_IsBad(OpcUa_P_Initialize(&s.platformHandle)))
    {
        // Not initialised: the next init must try again instead of counting a dead stack.
        s.platformHandle = nullptr;
        --s.useCount;
        return -1;
    }
    writeDefaultsOnce(s);
    if (OpcUa_IsBad(OpcUa_ProxyStub_Initialize(s.platformHandle, &s.record)))
    {
        OpcUa_P_Clean(&s.platformHandle);
        --s.useCount;
        return -1;
    }
    return 0;
}

void UaPlatformLayer::cleanup()
{
    PlatformState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.useCount == 0)
        return;
    if (--s.useCount > 0)
        return;
    UaFileEngine::deleteInstance();
    OpcUa_ProxyStub_Clear();
    OpcUa_P_Clean(&s.platformHandle);
}

int UaPlatformLayer::reinit()
{
    PlatformState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    writeDefaultsOnce(s);
    return OpcUa_IsBad(OpcUa_ProxyStub_ReInitialize(&s.record)) ? -1 : 0;
}

void UaPlatformLayer::setTrace(bool enabled, unsigned level)
{
    PlatformState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    writeDefaultsOnce(s);
    s.record.bProxyStub_Trace_Enabled = enabled ? OpcUa_True : OpcUa_False;
    s.record.uProxyStub_Trace_Level = level;
}

void UaPlatformLayer::setSerializerLimits(int maxAlloc, int maxStringLength, int maxByteStringLength,
                                          int maxArrayLength, int maxMessageSize)
{
    PlatformState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    writeDefaultsOnce(s);
    s.record.iSerializer_MaxAlloc = maxAlloc;
    s.record.iSerializer_MaxStringLength = maxStringLength;
    s.record.iSerializer_MaxByteStringLength = maxByteStringLength;
    s.record.iSerializer_MaxArrayLength = maxArrayLength;
    s.record.iSerializer_MaxMessageSize = maxMessageSize;
}

void UaPlatformLayer::setThreadPool(bool enabled, int minThreads, int maxThreads, int maxJobs,
                                    bool blockOnAdd, unsigned timeout)
{
    PlatformState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    writeDefaultsOnce(s);
    s.record.bSecureListener_ThreadPool_Enabled = enabled ? OpcUa_True : OpcUa_False;
    s.record.iSecureListener_ThreadPool_MinThreads = minThreads;
    s.record.iSecureListener_ThreadPool_MaxThreads = maxThreads;
    s.record.iSecureListener_ThreadPool_MaxJobs = maxJobs;
    s.record.bSecureListener_ThreadPool_BlockOnAdd = blockOnAdd ? OpcUa_True : OpcUa_False;
    s.record.uSecureListener_ThreadPool_Timeout = timeout;
}

OpcUa_ProxyStubConfiguration UaPlatformLayer::configuration()
{
    PlatformState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    writeDefaultsOnce(s);
    return s.record;
}

OpcUa_UInt32 UaPlatformLayer::useCount()
{
    PlatformState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.useCount;
}
