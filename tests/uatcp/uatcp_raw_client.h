// A hand-driven opc.tcp peer for tests: sends exactly the bytes a test asks
// for and reads back whole messages, so misbehaving clients can be played.
#pragma once
#include "chunk_layer.h"
#include "secure_messages.h"
#include "socket_io.h"
#include "tcp_messages.h"
#include "tcp_status.h"

#include <sys/socket.h>

#include <optional>
#include <string>

namespace uatcp::test
{
struct ReceivedMessage
{
    MessageHeader header;
    Bytes bytes;
};

class RawClient
{
public:
    bool connect(uint16_t port, const std::string& host = "127.0.0.1")
    {
        OpcTcpUrl url{host, port, ""};
        return connectTo(url, 5000, m_socket) == status::Good;
    }
    // Keeps at most about bytes of what the server sends in the socket (a peer that reads little).
    void limitReceiveBuffer(int bytes)
    {
        ::setsockopt(m_socket.fd(), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    }
    bool send(const Bytes& bytes)
    {
        return writeAll(m_socket.fd(), bytes.data(), bytes.size(), 5000) == IoResult::Ok;
    }
    // The next whole message, or nothing when the connection closed or nothing came in time.
    std::optional<ReceivedMessage> read(int timeoutMs = 20000)
    {
        auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        ReceivedMessage m;
        m.bytes.resize(8);
        if (readExact(m_socket.fd(), m.bytes.data(), 8, deadline) != IoResult::Ok)
            return std::nullopt;
        m.header = parseMessageHeader(m.bytes.data());
        if (m.header.size < 8 || m.header.size > (1u << 26))
            return std::nullopt;
        m.bytes.resize(m.header.size);
        if (readExact(m_socket.fd(), m.bytes.data() + 8, m.header.size - 8, deadline) != IoResult::Ok)
            return std::nullopt;
        return m;
    }
    // The error code of the next message if it is an Error message, else 0.
    uint32_t readError(int timeoutMs = 20000)
    {
        auto m = read(timeoutMs);
        if (!m || m->header.type != MessageType::Error)
            return 0;
        ErrorMessage error;
        decodeError(m->bytes.data() + 8, m->bytes.size() - 8, error);
        return error.error;
    }
    // True when the peer closes the connection within the time-out.
    bool closedByPeer(int timeoutMs = 20000)
    {
        auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        uint8_t byte;
        for (;;)
        {
            IoResult r = readExact(m_socket.fd(), &byte, 1, deadline);
            if (r == IoResult::Closed || r == IoResult::Error)
                return true;
            if (r == IoResult::Timeout)
                return false;
        }
    }
    bool hello(uint32_t bufferSize = 65536, uint32_t maxMessage = 0, uint32_t maxChunks = 0)
    {
        HelloMessage h{{0, bufferSize, bufferSize, maxMessage, maxChunks}, "opc.tcp://127.0.0.1"};
        if (!send(encodeHello(h)))
            return false;
        auto m = read();
        return m && m->header.type == MessageType::Acknowledge;
    }
    Bytes chunk(MessageType type, char chunkType, uint32_t channelId, uint32_t tokenId,
                uint32_t sequenceNumber, uint32_t requestId, const Bytes& body,
                const std::string& policy = kSecurityPolicyNone)
    {
        Bytes out;
        BinaryWriter w(out);
        writeMessageHeader(w, type, chunkType, 0);
        w.uint32(channelId);
        if (type == MessageType::Open)
        {
            w.string(policy);
            w.int32(-1);
            w.int32(-1);
        }
        else
        {
            w.uint32(tokenId);
        }
        w.uint32(sequenceNumber);
        w.uint32(requestId);
        w.raw(body.data(), body.size());
        w.patchUInt32(4, static_cast<uint32_t>(out.size()));
        return out;
    }
    bool sendOpen(uint32_t lifetimeMs = 60000, const std::string& policy = kSecurityPolicyNone,
                  uint32_t mode = 1)
    {
        OpenRequest request;
        request.requestType = 0;
        request.securityMode = mode;
        request.requestedLifetime = lifetimeMs;
        return send(chunk(MessageType::Open, 'F', 0, 0, m_sequence++, 1, encodeOpenRequest(request), policy));
    }
    // Opens a channel; returns false unless the server answered with its response.
    bool open(uint32_t lifetimeMs = 60000, const std::string& policy = kSecurityPolicyNone, uint32_t mode = 1)
    {
        if (!sendOpen(lifetimeMs, policy, mode))
            return false;
        auto m = read();
        if (!m || m->header.type != MessageType::Open)
            return false;
        ChunkInfo info;
        if (parseChunkHeaders(m->bytes, info) != status::Good ||
            parseSequenceHeader(m->bytes, m->bytes.size(), info) != status::Good)
            return false;
        OpenResponse response;
        Bytes body(m->bytes.begin() + static_cast<long>(info.bodyOffset), m->bytes.end());
        if (decodeOpenResponse(body, response) != status::Good)
            return false;
        channelId = response.channelId;
        tokenId = response.tokenId;
        return true;
    }
    // Renews the channel's token; the previous one is kept in previousTokenId.
    bool renew(uint32_t lifetimeMs = 60000)
    {
        OpenRequest request;
        request.requestType = 1;
        request.securityMode = 1;
        request.requestedLifetime = lifetimeMs;
        if (!send(chunk(MessageType::Open, 'F', channelId, 0, m_sequence++, 50, encodeOpenRequest(request))))
            return false;
        auto m = read();
        if (!m || m->header.type != MessageType::Open)
            return false;
        ChunkInfo info;
        OpenResponse response;
        if (parseChunkHeaders(m->bytes, info) != status::Good ||
            parseSequenceHeader(m->bytes, m->bytes.size(), info) != status::Good ||
            decodeOpenResponse(Bytes(m->bytes.begin() + static_cast<long>(info.bodyOffset), m->bytes.end()),
                               response) != status::Good ||
            response.channelId != channelId)
            return false;
        previousTokenId = tokenId;
        tokenId = response.tokenId;
        return true;
    }
    // Sends a one-chunk message with the given token and returns the token of the answer (0 if none).
    uint32_t echoWithToken(uint32_t token, uint32_t requestId)
    {
        if (!send(chunk(MessageType::Message, 'F', channelId, token, m_sequence++, requestId, Bytes(4, 1))))
            return 0;
        auto m = read();
        ChunkInfo info;
        if (!m || m->header.type != MessageType::Message || parseChunkHeaders(m->bytes, info) != status::Good)
            return 0;
        return info.tokenId;
    }
    bool sendMessage(char chunkType, const Bytes& body, uint32_t requestId = 2)
    {
        return send(
            chunk(MessageType::Message, chunkType, channelId, tokenId, m_sequence++, requestId, body));
    }
    uint32_t nextSequence() { return m_sequence++; }

    uint32_t channelId = 0;
    uint32_t tokenId = 0;
    uint32_t previousTokenId = 0;

private:
    Socket m_socket;
    uint32_t m_sequence = 1;
};
} // namespace uatcp::test
