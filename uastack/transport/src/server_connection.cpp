#include "server_connection.h"

#include "chunk_io.h"
#include "secure_messages.h"
#include "tcp_server.h"
#include "tcp_status.h"

#include <algorithm>
#include <utility>

namespace uatcp
{
namespace
{
constexpr uint32_t kMinChunkSize = kMessageHeaderSize + 4 + 4 + kSequenceHeaderSize; // MSG without body
constexpr int kIdlePollMs = 500;

uint16_t modeBit(SecurityMode mode)
{
    switch (mode)
    {
    case SecurityMode::None:
        return 0x1;
    case SecurityMode::Sign:
        return 0x2;
    case SecurityMode::SignAndEncrypt:
        return 0x4;
    default:
        return 0;
    }
}
} // namespace

ServerConnection::ServerConnection(TcpServer& server, Socket socket)
    : m_server(server), m_settings(server.settings()), m_socket(std::move(socket)),
      m_acceptedAt(Clock::now()), m_sendTimeoutMs(server.settings().ioTimeoutMs)
{
}

ServerConnection::~ServerConnection()
{
    join();
}

void ServerConnection::start()
{
    m_thread = std::thread([self = shared_from_this()] { self->run(); });
}

void ServerConnection::stop()
{
    std::lock_guard lock(m_sendMutex);
    m_alive = false;
    m_socket.shutdown();
}

bool ServerConnection::stalledInHandshake(Clock::time_point now) const
{
    Stage stage = m_stage;
    // A client between its Hello and its OpenSecureChannel gets the time Hello may take.
    return stage == Stage::AwaitingHello ||
           (stage == Stage::AwaitingOpen &&
            now - m_acceptedAt >= std::chrono::milliseconds(m_settings.helloTimeoutMs));
}

void ServerConnection::evict()
{
    m_evicted = true;
    // The accept thread must not wait for this peer: the Error goes out only if it fits at once.
    fail(status::BadTcpServerTooBusy, "Closed for a new connection", 0);
}

void ServerConnection::join()
{
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
    else if (m_thread.joinable())
        m_thread.detach();
}

uint32_t ServerConnection::channelId() const
{
    std::lock_guard lock(m_sendMutex);
    return m_channelId;
}

std::string ServerConnection::policyUri() const
{
    std::lock_guard lock(m_sendMutex);
    return m_policyUri;
}

SecurityMode ServerConnection::securityMode() const
{
    std::lock_guard lock(m_sendMutex);
    return m_mode;
}

void ServerConnection::finishRequest(uint32_t requestId)
{
    std::lock_guard lock(m_sendMutex);
    m_pendingRequests.erase(requestId);
}

ChunkWriteParams ServerConnection::messageParamsLocked(uint32_t requestId) const
{
    ChunkWriteParams p;
    p.type = MessageType::Message;
    p.channelId = m_channelId;
    p.tokenId = m_sendTokenId;
    p.requestId = requestId;
    p.chunkSize = m_limits.sendChunkSize;
    p.maxMessageSize = m_limits.sendMaxMessageSize;
    p.maxChunkCount = m_limits.sendMaxChunkCount;
    return p;
}

uint32_t ServerConnection::sendChunksLocked(const std::vector<Bytes>& chunks)
{
    for (const auto& chunk : chunks)
    {
        if (writeAll(m_socket.fd(), chunk.data(), chunk.size(), m_sendTimeoutMs) != IoResult::Ok)
        {
            // A peer that does not take its data loses the connection.
            m_alive = false;
            m_socket.shutdown();
            return status::BadConnectionClosed;
        }
    }
    return status::Good;
}

uint32_t ServerConnection::sendResponse(uint32_t channelId, uint32_t requestId, uint32_t requestHandle,
                                        const uint8_t* body, size_t size)
{
    std::lock_guard lock(m_sendMutex);
    m_pendingRequests.erase(requestId);
    if (!m_alive || channelId != m_channelId || !m_security)
        return status::BadSecureChannelClosed;
    ChunkWriteParams params = messageParamsLocked(requestId);
    std::vector<Bytes> chunks;
    uint32_t result = buildChunks(params, *m_security, m_sendSequence, body, size, chunks);
    if (result == status::BadTcpMessageTooLarge)
    {
        // Too large for the client's limits: it gets a fault in its place.
        Bytes fault = encodeServiceFault(requestHandle, status::BadResponseTooLarge);
        result = buildChunks(params, *m_security, m_sendSequence, fault.data(), fault.size(), chunks);
        if (status::isBad(result))
            return result;
        sendChunksLocked(chunks);
        return status::BadResponseTooLarge;
    }
    if (status::isBad(result))
        return result;
    return sendChunksLocked(chunks);
}

void ServerConnection::fail(uint32_t error, const std::string& reason, int sendTimeoutMs)
{
    m_server.handler().onConnectionError(error, reason);
    std::lock_guard lock(m_sendMutex);
    if (m_failStatus == status::Good)
        m_failStatus = error;
    if (m_alive)
    {
        Bytes message = encodeError(ErrorMessage{error, reason});
        writeAll(m_socket.fd(), message.data(), message.size(), sendTimeoutMs);
    }
    m_alive = false;
    m_socket.shutdown();
}

void ServerConnection::run()
{
    uint32_t closeStatus = status::BadConnectionClosed;
    if (receiveHello())
    {
        for (;;)
        {
            {
                std::lock_guard lock(m_sendMutex);
                if (!m_alive)
                    break;
            }
            auto now = Clock::now();
            if (m_openChannelId != 0 && m_currentToken.expired(now))
            {
                closeStatus = status::BadSecureChannelClosed;
                fail(status::BadSecureChannelClosed, "Security token expired");
                break;
            }
            MessageHeader header;
            Bytes chunk;
            ChunkReadResult read =
                readChunk(m_socket.fd(), now + std::chrono::milliseconds(kIdlePollMs), m_settings.ioTimeoutMs,
                          kMinChunkSize, m_limits.receiveChunkSize, header, chunk);
            if (read.io == IoResult::Timeout && chunk.empty())
                continue;
            if (read.io != IoResult::Ok)
                break;
            if (status::isBad(read.status))
            {
                fail(read.status, "Invalid chunk");
                break;
            }
            ChunkOutcome outcome = handleChunk(chunk);
            if (outcome == ChunkOutcome::Closed)
                closeStatus = status::Good;
            if (outcome != ChunkOutcome::Continue)
                break;
        }
    }
    {
        std::lock_guard lock(m_sendMutex);
        m_alive = false;
        m_socket.shutdown();
    }
    {
        // The channel closes with the reason it failed, when it failed.
        std::lock_guard lock(m_sendMutex);
        if (m_failStatus != status::Good)
            closeStatus = m_failStatus;
    }
    m_assembler.reset();
    settleAssemblyCharge();
    if (m_openChannelId != 0)
        m_server.handler().onChannelEvent(ChannelEvent::Closed, m_openChannelId, closeStatus,
                                          m_clientCertificate, m_policyUri, m_mode);
    m_finished = true;
}

bool ServerConnection::receiveHello()
{
    MessageHeader header;
    Bytes message;
    auto deadline = Clock::now() + std::chrono::milliseconds(m_settings.helloTimeoutMs);
    ChunkReadResult read =
        readChunk(m_socket.fd(), deadline, m_settings.helloTimeoutMs, kMessageHeaderSize + 24,
                  kMessageHeaderSize + 20 + 4 + kMaxEndpointUrlLength, header, message);
    if (read.io == IoResult::Timeout)
    {
        fail(status::BadTimeout, "No Hello received");
        return false;
    }
    if (read.io != IoResult::Ok)
        return false;
    if (status::isBad(read.status) || header.type != MessageType::Hello || header.chunkType != 'F')
    {
        fail(status::isBad(read.status) ? read.status : status::BadTcpMessageTypeInvalid, "Hello expected");
        return false;
    }
    HelloMessage hello;
    uint32_t result =
        decodeHello(message.data() + kMessageHeaderSize, message.size() - kMessageHeaderSize, hello);
    AcknowledgeMessage ack;
    if (!status::isBad(result))
        result = negotiateServer(m_settings.limits, hello, ack, m_limits);
    if (status::isBad(result))
    {
        fail(result, "Hello refused");
        return false;
    }
    m_assembler =
        std::make_unique<ChunkAssembler>(m_limits.receiveMaxMessageSize, m_limits.receiveMaxChunkCount);
    m_stage = Stage::AwaitingOpen;
    Bytes reply = encodeAcknowledge(ack);
    std::lock_guard lock(m_sendMutex);
    return m_alive && writeAll(m_socket.fd(), reply.data(), reply.size(), m_sendTimeoutMs) == IoResult::Ok;
}

bool ServerConnection::growAssembly(size_t bodySize)
{
    size_t held = m_assembler->capacity();
    size_t needed = m_assembler->size() + bodySize;
    // A chunk over the message limits is refused for that reason, not for the budget.
    if (needed <= held || !m_assembler->fits(bodySize))
        return true;
    // Grown by doubling up to the message limit; old and new storage both exist while it is copied.
    size_t grown = std::max(needed, held * 2);
    if (m_limits.receiveMaxMessageSize != 0)
        grown = std::max(needed, std::min<size_t>(grown, m_limits.receiveMaxMessageSize));
    if (!m_server.budget().reserve(grown))
        return false;
    m_assembler->reserve(grown);
    m_server.budget().release(held);
    m_assemblyCharge = m_assemblyCharge - held + grown;
    return true;
}

void ServerConnection::settleAssemblyCharge()
{
    size_t held = m_assembler ? m_assembler->capacity() : 0;
    if (m_assemblyCharge > held)
    {
        m_server.budget().release(m_assemblyCharge - held);
        m_assemblyCharge = held;
    }
}

bool ServerConnection::acceptToken(uint32_t tokenId)
{
    auto now = Clock::now();
    if (tokenId == m_currentToken.id)
    {
        if (m_previousToken)
        {
            // The client has moved to the renewed token: the old one is done.
            std::lock_guard lock(m_sendMutex);
            m_security->retireToken(m_previousToken->id);
            m_previousToken.reset();
            m_sendTokenId = m_currentToken.id;
        }
        return true;
    }
    return m_previousToken && tokenId == m_previousToken->id && !m_previousToken->expired(now);
}

ServerConnection::ChunkOutcome ServerConnection::handleChunk(Bytes& chunk)
{
    ChunkInfo info;
    uint32_t result = parseChunkHeaders(chunk, info);
    if (status::isBad(result))
    {
        fail(result, "Invalid chunk header");
        return ChunkOutcome::Failed;
    }
    ChannelSecurity* security = nullptr;
    if (info.type == MessageType::Open)
    {
        if (info.channelId != m_openChannelId)
        {
            fail(status::BadTcpSecureChannelUnknown, "Unknown secure channel");
            return ChunkOutcome::Failed;
        }
        if (m_openChannelId != 0 && info.policyUri != m_policyUri)
        {
            fail(status::BadSecurityPolicyRejected, "Policy differs from the channel's");
            return ChunkOutcome::Failed;
        }
        std::lock_guard lock(m_sendMutex);
        if (!m_security)
        {
            bool offered = std::any_of(m_settings.policies.begin(), m_settings.policies.end(),
                                       [&](const PolicyConfig& p) { return p.uri == info.policyUri; });
            if (offered)
                m_security = createChannelSecurity(info.policyUri, m_settings.credentials);
            result = m_security ? status::Good : status::BadSecurityPolicyRejected;
        }
        // A client certificate that is not trusted fails here, before anything is decrypted.
        if (!status::isBad(result))
            result = m_security->acceptPeer(info.senderCertificate, info.receiverThumbprint);
        security = m_security.get();
    }
    else
    {
        if (m_openChannelId == 0 || info.channelId != m_openChannelId)
        {
            fail(status::BadTcpSecureChannelUnknown, "Unknown secure channel");
            return ChunkOutcome::Failed;
        }
        if (!acceptToken(info.tokenId))
        {
            fail(status::BadSecureChannelTokenUnknown, "Unknown security token");
            return ChunkOutcome::Failed;
        }
        std::lock_guard lock(m_sendMutex);
        security = m_security.get();
    }
    if (status::isBad(result))
    {
        if (m_openChannelId == 0)
            m_server.handler().onChannelEvent(ChannelEvent::Opened, 0, result, info.senderCertificate,
                                              info.policyUri, SecurityMode::Invalid);
        fail(result, "OpenSecureChannel refused");
        return ChunkOutcome::Failed;
    }
    size_t plainEnd = 0;
    result =
        security->unprotect(chunk, info.securedFrom, info.type == MessageType::Open, info.tokenId, plainEnd);
    if (!status::isBad(result))
        result = parseSequenceHeader(chunk, plainEnd, info);
    if (status::isBad(result))
    {
        // A first OpenSecureChannel that fails its signature or decryption is a failed open.
        if (m_openChannelId == 0 && info.type == MessageType::Open)
            m_server.handler().onChannelEvent(ChannelEvent::Opened, 0, status::BadSecurityChecksFailed,
                                              info.senderCertificate, info.policyUri, SecurityMode::Invalid);
        fail(status::BadSecurityChecksFailed, "Chunk failed the security checks");
        return ChunkOutcome::Failed;
    }
    if (!m_receiveSequence.accept(info.sequenceNumber))
    {
        fail(status::BadSequenceNumberInvalid, "Sequence number out of order");
        return ChunkOutcome::Failed;
    }
    size_t bodySize = info.bodyEnd - info.bodyOffset;
    // A message of one chunk is bounded by the chunk size; longer ones draw on the server's budget.
    bool singleChunk = info.chunkType == 'F' && !m_assembler->inProgress();
    if (!singleChunk && info.chunkType != 'A' && !growAssembly(bodySize))
    {
        fail(status::BadTcpNotEnoughResources, "Receive memory budget exhausted");
        return ChunkOutcome::Failed;
    }
    uint32_t error = status::Good;
    auto assembled =
        m_assembler->add(info.chunkType, info.requestId, chunk.data() + info.bodyOffset, bodySize, error);
    if (assembled == ChunkAssembler::Result::Error)
    {
        fail(error, "Message refused");
        return ChunkOutcome::Failed;
    }
    if (assembled != ChunkAssembler::Result::Complete)
    {
        settleAssemblyCharge();
        return ChunkOutcome::Continue;
    }
    uint32_t requestId = m_assembler->requestId();
    Bytes body = m_assembler->takeMessage();
    // The body takes its storage's charge along until the request has been handed over.
    size_t charge = std::exchange(m_assemblyCharge, 0);
    if (info.type != MessageType::Message)
    {
        ChunkOutcome outcome = info.type == MessageType::Close     ? ChunkOutcome::Closed
                               : handleOpen(info, std::move(body)) ? ChunkOutcome::Continue
                                                                   : ChunkOutcome::Failed;
        m_server.budget().release(charge);
        return outcome;
    }
    result = status::Good;
    {
        std::lock_guard lock(m_sendMutex);
        if (m_pendingRequests.count(requestId) > 0)
            result = status::BadTcpMessageTypeInvalid; // its answer could not be told apart
        else if (m_pendingRequests.size() >= m_settings.maxPendingRequestsPerChannel)
            result = status::BadTcpNotEnoughResources;
        else
            m_pendingRequests.insert(requestId);
    }
    if (status::isBad(result))
    {
        m_server.budget().release(charge);
        fail(result, result == status::BadTcpNotEnoughResources ? "Too many pending requests"
                                                                : "Request id already in use");
        return ChunkOutcome::Failed;
    }
    auto self = shared_from_this();
    uint32_t channelId = m_openChannelId;
    bool posted = m_server.dispatch(
        [self, channelId, requestId, charge, body = std::move(body)]() mutable
        {
            self->m_server.handler().onRequest(self, channelId, requestId, std::move(body));
            self->m_server.budget().release(charge);
        });
    if (!posted)
    {
        m_server.budget().release(charge);
        finishRequest(requestId);
        fail(status::BadTcpServerTooBusy, "Server too busy");
        return ChunkOutcome::Failed;
    }
    return ChunkOutcome::Continue;
}

bool ServerConnection::handleOpen(const ChunkInfo& info, Bytes body)
{
    OpenRequest request;
    uint32_t result = decodeOpenRequest(body, request);
    auto mode = static_cast<SecurityMode>(request.securityMode);
    bool renew = request.requestType == static_cast<uint32_t>(TokenRequestType::Renew);
    if (!status::isBad(result))
    {
        if (request.requestType > 1 || renew != (m_openChannelId != 0))
            result = status::BadRequestTypeInvalid;
        else if (renew && mode != m_mode)
            result = status::BadSecurityModeRejected;
    }
    if (!status::isBad(result) && !renew)
    {
        auto policy = std::find_if(m_settings.policies.begin(), m_settings.policies.end(),
                                   [&](const PolicyConfig& p) { return p.uri == info.policyUri; });
        bool offered = policy != m_settings.policies.end() && (policy->modeMask & modeBit(mode)) != 0;
        std::lock_guard lock(m_sendMutex);
        result = offered ? m_security->setMode(mode) : status::BadSecurityModeRejected;
    }
    Bytes serverNonce;
    uint32_t tokenId = m_currentToken.id + 1;
    if (!status::isBad(result))
    {
        std::lock_guard lock(m_sendMutex);
        serverNonce = m_security->createNonce();
        result = m_security->activateToken(tokenId, request.clientNonce, serverNonce);
    }
    if (status::isBad(result))
    {
        if (!renew)
            m_server.handler().onChannelEvent(ChannelEvent::Opened, 0, result, info.senderCertificate,
                                              info.policyUri, mode);
        fail(result, "OpenSecureChannel refused");
        return false;
    }

    uint32_t lifetime =
        request.requestedLifetime == 0 ? m_settings.defaultTokenLifetimeMs : request.requestedLifetime;
    lifetime = std::clamp(lifetime, m_settings.minTokenLifetimeMs, m_settings.maxTokenLifetimeMs);
    if (renew)
    {
        if (m_previousToken)
        {
            // Renewed again before the client used the last renewal: that one is
            // dropped, the token the client still uses stays.
            std::lock_guard lock(m_sendMutex);
            m_security->retireToken(m_currentToken.id);
        }
        else
        {
            m_previousToken = m_currentToken;
        }
    }
    else
    {
        m_openChannelId = nextSecureChannelId();
        m_clientCertificate = info.senderCertificate;
        m_stage = Stage::Open;
    }
    m_currentToken = Token{tokenId, Clock::now(), lifetime};

    OpenResponse response;
    response.header.requestHandle = request.header.requestHandle;
    response.channelId = m_openChannelId;
    response.tokenId = m_currentToken.id;
    response.createdAt = utcNowTicks();
    response.revisedLifetime = lifetime;
    response.serverNonce = serverNonce;
    Bytes responseBody = encodeOpenResponse(response);

    {
        std::lock_guard lock(m_sendMutex);
        if (!renew)
        {
            m_channelId = m_openChannelId;
            m_sendTokenId = m_currentToken.id;
            m_policyUri = info.policyUri;
            m_mode = mode;
        }
        ChunkWriteParams params;
        params.type = MessageType::Open;
        params.channelId = m_openChannelId;
        params.policyUri = m_policyUri;
        params.senderCertificate = m_security->senderCertificate();
        params.receiverThumbprint = m_security->receiverThumbprint();
        params.requestId = info.requestId;
        params.chunkSize = m_limits.sendChunkSize;
        params.maxMessageSize = m_limits.sendMaxMessageSize;
        params.maxChunkCount = m_limits.sendMaxChunkCount;
        std::vector<Bytes> chunks;
        result = buildChunks(params, *m_security, m_sendSequence, responseBody.data(), responseBody.size(),
                             chunks);
        if (!status::isBad(result))
            result = sendChunksLocked(chunks);
    }
    if (status::isBad(result))
        return false;
    m_server.handler().onChannelEvent(renew ? ChannelEvent::Renewed : ChannelEvent::Opened, m_openChannelId,
                                      status::Good, m_clientCertificate, m_policyUri, m_mode);
    return true;
}
} // namespace uatcp
