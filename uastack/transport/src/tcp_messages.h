// Connection-level messages: the 8-byte header every message starts with,
// and the Hello / Acknowledge / Error exchange with its limit negotiation.
#pragma once
#include "binary_io.h"

#include <cstdint>
#include <optional>
#include <string>

namespace uatcp
{
constexpr size_t kMessageHeaderSize = 8;
constexpr uint32_t kMinBufferSize = 8192;
constexpr uint32_t kMaxEndpointUrlLength = 4096;
constexpr uint32_t kMaxErrorReasonLength = 4096;

enum class MessageType
{
    Hello,
    Acknowledge,
    Error,
    ReverseHello,
    Message,
    Open,
    Close,
    Unknown
};

struct MessageHeader
{
    MessageType type = MessageType::Unknown;
    char chunkType = 0; // 'F' final, 'C' intermediate, 'A' abort
    uint32_t size = 0;  // whole message, header included
};

MessageHeader parseMessageHeader(const uint8_t* data);
void writeMessageHeader(BinaryWriter& w, MessageType type, char chunkType, uint32_t size);

// The fields Hello and Acknowledge share.
struct AcknowledgeMessage
{
    uint32_t protocolVersion = 0;
    uint32_t receiveBufferSize = 0;
    uint32_t sendBufferSize = 0;
    uint32_t maxMessageSize = 0; // 0 means no limit
    uint32_t maxChunkCount = 0;  // 0 means no limit
};

struct HelloMessage : AcknowledgeMessage
{
    std::string endpointUrl;
};

struct ErrorMessage
{
    uint32_t error = 0;
    std::string reason;
};

Bytes encodeHello(const HelloMessage& m);
Bytes encodeAcknowledge(const AcknowledgeMessage& m);
Bytes encodeError(const ErrorMessage& m);
// The body is what follows the 8-byte header; results are status codes.
uint32_t decodeHello(const uint8_t* body, size_t size, HelloMessage& m);
uint32_t decodeAcknowledge(const uint8_t* body, size_t size, AcknowledgeMessage& m);
uint32_t decodeError(const uint8_t* body, size_t size, ErrorMessage& m);

// What one side of a connection is able to accept and send.
struct ConnectionLimits
{
    uint32_t receiveBufferSize = 65536;
    uint32_t sendBufferSize = 65536;
    uint32_t maxMessageSize = 16 * 1024 * 1024;
    uint32_t maxChunkCount = 5000;
};

// The limits in force on an established connection, seen from one side.
struct NegotiatedLimits
{
    uint32_t receiveChunkSize = 0; // largest chunk we accept
    uint32_t sendChunkSize = 0;    // largest chunk we may send
    uint32_t receiveMaxMessageSize = 0;
    uint32_t receiveMaxChunkCount = 0;
    uint32_t sendMaxMessageSize = 0; // 0 means no limit
    uint32_t sendMaxChunkCount = 0;  // 0 means no limit
};

// Server side: answers a Hello. Fails for buffers below the protocol minimum.
uint32_t negotiateServer(const ConnectionLimits& own, const HelloMessage& hello, AcknowledgeMessage& ack,
                         NegotiatedLimits& result);
// Client side: takes the server's Acknowledge to the Hello we sent.
uint32_t negotiateClient(const HelloMessage& sent, const AcknowledgeMessage& ack, NegotiatedLimits& result);
} // namespace uatcp
