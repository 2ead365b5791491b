#include "stack_settings.h"

#include <opcua.h>

#include <algorithm>

namespace uatcp
{
namespace
{
uint32_t positiveOr(OpcUa_Int32 value, uint32_t fallback)
{
    return value > 0 ? static_cast<uint32_t>(value) : fallback;
}

ConnectionLimits limitsFrom(const OpcUa_ProxyStubConfiguration& c, OpcUa_Int32 chunkSize)
{
    ConnectionLimits limits;
    uint32_t buffer = std::max(kMinBufferSize, positiveOr(chunkSize, limits.receiveBufferSize));
    limits.receiveBufferSize = buffer;
    limits.sendBufferSize = buffer;
    // A message must fit both the transport's and the decoder's limit.
    uint32_t serializerLimit = positiveOr(c.iSerializer_MaxMessageSize, limits.maxMessageSize);
    limits.maxMessageSize =
        std::min(positiveOr(c.iTcpTransport_MaxMessageLength, serializerLimit), serializerLimit);
    limits.maxChunkCount = positiveOr(c.iTcpTransport_MaxChunkCount, limits.maxChunkCount);
    return limits;
}

OpcUa_ProxyStubConfiguration current()
{
    OpcUa_ProxyStubConfiguration c;
    OpcUa_ProxyStub_GetConfiguration(&c);
    return c;
}
} // namespace

ServerSettings serverSettingsFromConfiguration()
{
    OpcUa_ProxyStubConfiguration c = current();
    ServerSettings settings;
    settings.limits = limitsFrom(c, c.iTcpListener_DefaultChunkSize);
    if (c.bSecureListener_ThreadPool_Enabled)
    {
        settings.pool.maxThreads = positiveOr(c.iSecureListener_ThreadPool_MaxThreads, 16);
        settings.pool.minThreads = std::min<size_t>(positiveOr(c.iSecureListener_ThreadPool_MinThreads, 2),
                                                    settings.pool.maxThreads);
        settings.pool.maxJobs = positiveOr(c.iSecureListener_ThreadPool_MaxJobs, 10000);
        settings.pool.blockWhenFull = c.bSecureListener_ThreadPool_BlockOnAdd != OpcUa_False;
    }
    else
    {
        // Without the pool each request runs on the thread that read it.
        settings.useWorkerPool = false;
    }
    return settings;
}

Bytes bytesOf(const OpcUa_ByteString* bytes)
{
    if (bytes == nullptr || bytes->Length <= 0 || bytes->Data == nullptr)
        return {};
    return Bytes(bytes->Data, bytes->Data + bytes->Length);
}

ConnectionLimits clientLimitsFromConfiguration()
{
    OpcUa_ProxyStubConfiguration c = current();
    return limitsFrom(c, c.iTcpConnection_DefaultChunkSize);
}
} // namespace uatcp
