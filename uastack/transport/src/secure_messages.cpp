#include "secure_messages.h"

#include "tcp_status.h"

namespace uatcp
{
namespace
{
constexpr uint32_t kMaxHeaderStringLength = 65536;
constexpr int kMaxDiagnosticDepth = 8;

bool skipDiagnosticInfo(BinaryReader& r, int depth)
{
    if (depth > kMaxDiagnosticDepth)
        return false;
    uint8_t mask;
    if (!r.uint8(mask))
        return false;
    for (uint8_t bit : {0x01, 0x02, 0x04, 0x08})
    {
        if ((mask & bit) && !r.skip(4))
            return false;
    }
    std::optional<std::string> text;
    if ((mask & 0x10) && !r.string(text, kMaxHeaderStringLength))
        return false;
    if ((mask & 0x20) && !r.skip(4))
        return false;
    if (mask & 0x40)
        return skipDiagnosticInfo(r, depth + 1);
    return true;
}

void writeNullExtensionObject(BinaryWriter& w)
{
    w.numericNodeId(0, 0);
    w.byte(0);
}
} // namespace

bool readTypeId(BinaryReader& r, uint32_t& encodingId)
{
    uint16_t ns;
    bool numeric;
    return r.nodeId(ns, encodingId, numeric) && numeric && ns == 0;
}

bool readRequestHeader(BinaryReader& r, RequestHeaderInfo& header)
{
    uint16_t ns;
    uint32_t id;
    bool numeric;
    uint32_t returnDiagnostics;
    std::optional<std::string> auditEntryId;
    return r.nodeId(ns, id, numeric) && r.int64(header.timestamp) && r.uint32(header.requestHandle) &&
           r.uint32(returnDiagnostics) && r.string(auditEntryId, kMaxHeaderStringLength) &&
           r.uint32(header.timeoutHint) && r.skipExtensionObject(kMaxHeaderStringLength);
}

bool readResponseHeader(BinaryReader& r, ResponseHeaderInfo& header)
{
    if (!r.int64(header.timestamp) || !r.uint32(header.requestHandle) || !r.uint32(header.serviceResult) ||
        !skipDiagnosticInfo(r, 0))
        return false;
    int32_t count;
    if (!r.int32(count) || count > 4096)
        return false;
    for (int32_t i = 0; i < count; ++i)
    {
        std::optional<std::string> text;
        if (!r.string(text, kMaxHeaderStringLength))
            return false;
    }
    return r.skipExtensionObject(kMaxHeaderStringLength);
}

void writeRequestHeader(BinaryWriter& w, uint32_t requestHandle, uint32_t timeoutHint)
{
    w.numericNodeId(0, 0);
    w.int64(utcNowTicks());
    w.uint32(requestHandle);
    w.uint32(0);
    w.string(std::nullopt);
    w.uint32(timeoutHint);
    writeNullExtensionObject(w);
}

void writeResponseHeader(BinaryWriter& w, uint32_t requestHandle, uint32_t serviceResult)
{
    w.int64(utcNowTicks());
    w.uint32(requestHandle);
    w.uint32(serviceResult);
    w.byte(0);   // no diagnostics
    w.int32(-1); // no string table
    writeNullExtensionObject(w);
}

uint32_t decodeOpenRequest(const Bytes& body, OpenRequest& request)
{
    BinaryReader r(body.data(), body.size());
    uint32_t typeId;
    if (!readTypeId(r, typeId) || typeId != encoding::OpenSecureChannelRequest)
        return status::BadDecodingError;
    std::optional<Bytes> nonce;
    if (!readRequestHeader(r, request.header) || !r.uint32(request.clientProtocolVersion) ||
        !r.uint32(request.requestType) || !r.uint32(request.securityMode) ||
        !r.byteString(nonce, kMaxNonceLength) || !r.uint32(request.requestedLifetime))
        return status::BadDecodingError;
    request.clientNonce = nonce.value_or(Bytes());
    return status::Good;
}

Bytes encodeOpenRequest(const OpenRequest& request)
{
    Bytes out;
    BinaryWriter w(out);
    w.numericNodeId(0, encoding::OpenSecureChannelRequest);
    writeRequestHeader(w, request.header.requestHandle, request.header.timeoutHint);
    w.uint32(request.clientProtocolVersion);
    w.uint32(request.requestType);
    w.uint32(request.securityMode);
    w.byteString(request.clientNonce.data(), static_cast<int32_t>(request.clientNonce.size()));
    w.uint32(request.requestedLifetime);
    return out;
}

uint32_t decodeOpenResponse(const Bytes& body, OpenResponse& response)
{
    BinaryReader r(body.data(), body.size());
    uint32_t typeId;
    if (!readTypeId(r, typeId))
        return status::BadDecodingError;
    if (typeId == encoding::ServiceFault)
    {
        if (!readResponseHeader(r, response.header))
            return status::BadDecodingError;
        return status::isBad(response.header.serviceResult) ? response.header.serviceResult : status::Bad;
    }
    std::optional<Bytes> nonce;
    if (typeId != encoding::OpenSecureChannelResponse || !readResponseHeader(r, response.header) ||
        !r.uint32(response.serverProtocolVersion) || !r.uint32(response.channelId) ||
        !r.uint32(response.tokenId) || !r.int64(response.createdAt) || !r.uint32(response.revisedLifetime) ||
        !r.byteString(nonce, kMaxNonceLength))
        return status::BadDecodingError;
    response.serverNonce = nonce.value_or(Bytes());
    return status::Good;
}

Bytes encodeOpenResponse(const OpenResponse& response)
{
    Bytes out;
    BinaryWriter w(out);
    w.numericNodeId(0, encoding::OpenSecureChannelResponse);
    writeResponseHeader(w, response.header.requestHandle, response.header.serviceResult);
    w.uint32(response.serverProtocolVersion);
    w.uint32(response.channelId);
    w.uint32(response.tokenId);
    w.int64(response.createdAt);
    w.uint32(response.revisedLifetime);
    w.byteString(response.serverNonce.data(), static_cast<int32_t>(response.serverNonce.size()));
    return out;
}

Bytes encodeCloseRequest(uint32_t requestHandle)
{
    Bytes out;
    BinaryWriter w(out);
    w.numericNodeId(0, encoding::CloseSecureChannelRequest);
    writeRequestHeader(w, requestHandle, 0);
    return out;
}

Bytes encodeServiceFault(uint32_t requestHandle, uint32_t serviceResult)
{
    Bytes out;
    BinaryWriter w(out);
    w.numericNodeId(0, encoding::ServiceFault);
    writeResponseHeader(w, requestHandle, serviceResult);
    return out;
}

uint32_t peekRequestHandle(const Bytes& body)
{
    BinaryReader r(body.data(), body.size());
    uint32_t typeId;
    RequestHeaderInfo header;
    if (!readTypeId(r, typeId) || !readRequestHeader(r, header))
        return 0;
    return header.requestHandle;
}

bool peekFault(const Bytes& body, uint32_t& serviceResult)
{
    BinaryReader r(body.data(), body.size());
    uint32_t typeId;
    ResponseHeaderInfo header;
    if (!readTypeId(r, typeId) || typeId != encoding::ServiceFault || !readResponseHeader(r, header))
        return false;
    serviceResult = header.serviceResult;
    return true;
}
} // namespace uatcp
