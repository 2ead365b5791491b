#include "tcp_messages.h"

#include "tcp_status.h"

#include <algorithm>
#include <cstring>

namespace uatcp
{
namespace
{
struct TypeName
{
    MessageType type;
    const char* name;
};
constexpr TypeName kTypeNames[] = {
    {MessageType::Hello, "HEL"},        {MessageType::Acknowledge, "ACK"}, {MessageType::Error, "ERR"},
    {MessageType::ReverseHello, "RHE"}, {MessageType::Message, "MSG"},     {MessageType::Open, "OPN"},
    {MessageType::Close, "CLO"},
};

Bytes finish(Bytes& out)
{
    BinaryWriter w(out);
    w.patchUInt32(4, static_cast<uint32_t>(out.size()));
    return std::move(out);
}

Bytes startMessage(MessageType type)
{
    Bytes out;
    BinaryWriter w(out);
    writeMessageHeader(w, type, 'F', 0);
    return out;
}
} // namespace

MessageHeader parseMessageHeader(const uint8_t* data)
{
    MessageHeader h;
    for (const auto& t : kTypeNames)
    {
        if (std::memcmp(data, t.name, 3) == 0)
            h.type = t.type;
    }
    h.chunkType = static_cast<char>(data[3]);
    BinaryReader r(data + 4, 4);
    r.uint32(h.size);
    return h;
}

void writeMessageHeader(BinaryWriter& w, MessageType type, char chunkType, uint32_t size)
{
    for (const auto& t : kTypeNames)
    {
        if (t.type == type)
            w.raw(t.name, 3);
    }
    w.byte(static_cast<uint8_t>(chunkType));
    w.uint32(size);
}

namespace
{
void writeFields(BinaryWriter& w, const AcknowledgeMessage& m)
{
    w.uint32(m.protocolVersion);
    w.uint32(m.receiveBufferSize);
    w.uint32(m.sendBufferSize);
    w.uint32(m.maxMessageSize);
    w.uint32(m.maxChunkCount);
}

bool readFields(BinaryReader& r, AcknowledgeMessage& m)
{
    return r.uint32(m.protocolVersion) && r.uint32(m.receiveBufferSize) && r.uint32(m.sendBufferSize) &&
           r.uint32(m.maxMessageSize) && r.uint32(m.maxChunkCount);
}
} // namespace

Bytes encodeHello(const HelloMessage& m)
{
    Bytes out = startMessage(MessageType::Hello);
    BinaryWriter w(out);
    writeFields(w, m);
    w.string(m.endpointUrl);
    return finish(out);
}

Bytes encodeAcknowledge(const AcknowledgeMessage& m)
{
    Bytes out = startMessage(MessageType::Acknowledge);
    BinaryWriter w(out);
    writeFields(w, m);
    return finish(out);
}

Bytes encodeError(const ErrorMessage& m)
{
    Bytes out = startMessage(MessageType::Error);
    BinaryWriter w(out);
    w.uint32(m.error);
    w.string(m.reason.substr(0, kMaxErrorReasonLength));
    return finish(out);
}

uint32_t decodeHello(const uint8_t* body, size_t size, HelloMessage& m)
{
    BinaryReader r(body, size);
    std::optional<std::string> url;
    if (!readFields(r, m))
        return status::BadDecodingError;
    if (!r.string(url, kMaxEndpointUrlLength))
        return status::BadTcpEndpointUrlInvalid;
    m.endpointUrl = url.value_or(std::string());
    return status::Good;
}

uint32_t decodeAcknowledge(const uint8_t* body, size_t size, AcknowledgeMessage& m)
{
    BinaryReader r(body, size);
    return readFields(r, m) ? status::Good : status::BadDecodingError;
}

uint32_t decodeError(const uint8_t* body, size_t size, ErrorMessage& m)
{
    BinaryReader r(body, size);
    std::optional<std::string> reason;
    if (!r.uint32(m.error) || !r.string(reason, kMaxErrorReasonLength))
        return status::BadDecodingError;
    m.reason = reason.value_or(std::string());
    return status::Good;
}

uint32_t negotiateServer(const ConnectionLimits& own, const HelloMessage& hello, AcknowledgeMessage& ack,
                         NegotiatedLimits& result)
{
    if (hello.receiveBufferSize < kMinBufferSize || hello.sendBufferSize < kMinBufferSize)
        return status::BadTcpNotEnoughResources;
    ack.protocolVersion = 0;
    ack.receiveBufferSize = std::min(own.receiveBufferSize, hello.sendBufferSize);
    ack.sendBufferSize = std::min(own.sendBufferSize, hello.receiveBufferSize);
    ack.maxMessageSize = own.maxMessageSize;
    ack.maxChunkCount = own.maxChunkCount;
    result.receiveChunkSize = ack.receiveBufferSize;
    result.sendChunkSize = ack.sendBufferSize;
    result.receiveMaxMessageSize = own.maxMessageSize;
    result.receiveMaxChunkCount = own.maxChunkCount;
    result.sendMaxMessageSize = hello.maxMessageSize;
    result.sendMaxChunkCount = hello.maxChunkCount;
    return status::Good;
}

uint32_t negotiateClient(const HelloMessage& sent, const AcknowledgeMessage& ack, NegotiatedLimits& result)
{
    // The server may only lower what we offered.
    if (ack.receiveBufferSize < kMinBufferSize || ack.sendBufferSize < kMinBufferSize ||
        ack.receiveBufferSize > sent.sendBufferSize || ack.sendBufferSize > sent.receiveBufferSize)
        return status::BadTcpNotEnoughResources;
    result.receiveChunkSize = ack.sendBufferSize;
    result.sendChunkSize = ack.receiveBufferSize;
    result.receiveMaxMessageSize = sent.maxMessageSize;
    result.receiveMaxChunkCount = sent.maxChunkCount;
    result.sendMaxMessageSize = ack.maxMessageSize;
    result.sendMaxChunkCount = ack.maxChunkCount;
    return status::Good;
}
} // namespace uatcp
