// The client half of the transport: one connection with one secure channel,
// synchronous request/response calls, token renewal before expiry.
#pragma once
#include "channel_security.h"
#include "chunk_layer.h"
#include "message_reader.h"
#include "socket_io.h"
#include "tcp_messages.h"

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace uatcp
{
struct ClientSettings
{
    ConnectionLimits limits;
    std::string policyUri = kSecurityPolicyNone;
    SecurityMode mode = SecurityMode::None;
    uint32_t requestedLifetimeMs = 600000;
    int timeoutMs = 10000;
    SecurityCredentials credentials; // ours, and the server's certificate as the peer's
};

enum class ClientEvent
{
    Connected,
    Disconnected,
    Renewed
};

class ClientConnection
{
public:
    using EventCallback = std::function<void(ClientEvent event, uint32_t status)>;

    ClientConnection() = default;
    ~ClientConnection();
    ClientConnection(const ClientConnection&) = delete;
    ClientConnection& operator=(const ClientConnection&) = delete;

    // Connects, says Hello and opens the secure channel; returns when the
    // channel is open or has failed.
    uint32_t connect(const std::string& url, const ClientSettings& settings, EventCallback callback);
    // Sends one request body and waits for its response body.
    uint32_t invoke(const Bytes& request, Bytes& response, int timeoutMs);
    // Closes the secure channel and the connection; pending calls fail.
    void disconnect();
    bool connected() const;
    uint32_t channelId() const;
    uint32_t tokenId() const;

private:
    struct PendingCall
    {
        bool done = false;
        uint32_t status = 0;
        Bytes response;
    };

    uint32_t handshake(const std::string& url);
    uint32_t sendOpenLocked(uint32_t requestType, uint32_t requestId);
    uint32_t readOpenResponse(Clock::time_point deadline);
    uint32_t applyOpenResponse(const Bytes& body);
    uint32_t unprotectChunk(Bytes& chunk, ChunkInfo& info);
    void readerLoop();
    void failAll(uint32_t status);
    void closeSocket(uint32_t status);
    Clock::time_point renewTime() const;

    ClientSettings m_settings;
    EventCallback m_callback;
    Socket m_socket;
    std::thread m_readerThread;
    NegotiatedLimits m_limits;

    // Reader-thread state.
    SequenceChecker m_receiveSequence;
    std::unique_ptr<ChunkAssembler> m_assembler;
    std::unique_ptr<MessageReader> m_reader;
    Bytes m_chunk; // the chunk being checked, unprotected in place

    mutable std::mutex m_mutex; // channel state and pending calls
    std::condition_variable m_callDone;
    std::map<uint32_t, std::shared_ptr<PendingCall>> m_pending;
    bool m_open = false;
    uint32_t m_channelId = 0;
    uint32_t m_tokenId = 0;
    uint32_t m_previousTokenId = 0;
    uint32_t m_lifetimeMs = 0;
    Clock::time_point m_tokenCreated;
    bool m_renewPending = false;
    uint32_t m_nextRequestId = 1;
    uint32_t m_openRequestId = 0;
    Bytes m_clientNonce; // of the OpenSecureChannel request in flight

    std::mutex m_sendMutex; // keeps chunks of one message together
    std::unique_ptr<ChannelSecurity> m_security;
    SequenceCounter m_sendSequence;
};
} // namespace uatcp
