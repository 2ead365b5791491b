#include "tcp_client.h"

#include "chunk_io.h"
#include "secure_messages.h"
#include "tcp_status.h"

#include <algorithm>

namespace uatcp
{
namespace
{
constexpr int kReaderPollMs = 200;
constexpr uint32_t kMinChunk = kMessageHeaderSize + 4 + 4 + kSequenceHeaderSize;

uint32_t errorFromMessage(const Bytes& message)
{
    ErrorMessage error;
    if (decodeError(message.data() + kMessageHeaderSize, message.size() - kMessageHeaderSize, error) !=
            status::Good ||
        !status::isBad(error.error))
        return status::BadTcpInternalError;
    return error.error;
}
} // namespace

ClientConnection::~ClientConnection()
{
    disconnect();
}

bool ClientConnection::connected() const
{
    std::lock_guard lock(m_mutex);
    return m_open;
}

uint32_t ClientConnection::channelId() const
{
    std::lock_guard lock(m_mutex);
    return m_channelId;
}

uint32_t ClientConnection::tokenId() const
{
    std::lock_guard lock(m_mutex);
    return m_tokenId;
}

Clock::time_point ClientConnection::renewTime() const
{
    return m_tokenCreated + std::chrono::milliseconds(static_cast<uint64_t>(m_lifetimeMs) * 3 / 4);
}

uint32_t ClientConnection::connect(const std::string& url, const ClientSettings& settings,
                                   EventCallback callback)
{
    if (m_socket.valid() || m_readerThread.joinable())
        return status::BadInvalidState;
    m_settings = settings;
    m_callback = std::move(callback);
    {
        // A channel connected again starts afresh.
        std::lock_guard lock(m_mutex);
        m_channelId = 0;
        m_tokenId = 0;
        m_previousTokenId = 0;
        m_renewPending = false;
    }
    m_receiveSequence = SequenceChecker();
    m_sendSequence = SequenceCounter();
    m_security = createChannelSecurity(settings.policyUri, settings.credentials);
    if (!m_security)
        return status::BadSecurityPolicyRejected;
    uint32_t result = m_security->setMode(settings.mode);
    if (status::isBad(result))
        return result;
    result = handshake(url);
    if (status::isBad(result))
    {
        m_socket.close();
        return result;
    }
    {
        std::lock_guard lock(m_mutex);
        m_open = true;
    }
    // Responses are read as they come, in one read each; the read wakes for renewals in time.
    m_socket.setBlockingWithReceiveTimeout(kReaderPollMs);
    m_reader = std::make_unique<MessageReader>(m_limits.receiveChunkSize);
    m_readerThread = std::thread([this] { readerLoop(); });
    if (m_callback)
        m_callback(ClientEvent::Connected, status::Good);
    return status::Good;
}

uint32_t ClientConnection::handshake(const std::string& url)
{
    OpcTcpUrl parsed;
    if (!parseOpcTcpUrl(url, parsed))
        return status::BadTcpEndpointUrlInvalid;
    auto deadline = Clock::now() + std::chrono::milliseconds(m_settings.timeoutMs);
    uint32_t result = connectTo(parsed, m_settings.timeoutMs, m_socket);
    if (status::isBad(result))
        return result;

    HelloMessage hello{{0, m_settings.limits.receiveBufferSize, m_settings.limits.sendBufferSize,
                        m_settings.limits.maxMessageSize, m_settings.limits.maxChunkCount},
                       url};
    Bytes message = encodeHello(hello);
    if (writeAll(m_socket.fd(), message.data(), message.size(), m_settings.timeoutMs) != IoResult::Ok)
        return status::BadConnectionClosed;
    MessageHeader header;
    ChunkReadResult read =
        readChunk(m_socket.fd(), deadline, m_settings.timeoutMs, kMessageHeaderSize, 8192, header, message);
    if (read.io == IoResult::Timeout)
        return status::BadTimeout;
    if (read.io != IoResult::Ok)
        return status::BadConnectionClosed;
    if (header.type == MessageType::Error)
        return errorFromMessage(message);
    AcknowledgeMessage ack;
    if (header.type != MessageType::Acknowledge ||
        decodeAcknowledge(message.data() + kMessageHeaderSize, message.size() - kMessageHeaderSize, ack) !=
            status::Good)
        return status::BadTcpMessageTypeInvalid;
    result = negotiateClient(hello, ack, m_limits);
    if (status::isBad(result))
        return result;
    m_assembler =
        std::make_unique<ChunkAssembler>(m_limits.receiveMaxMessageSize, m_limits.receiveMaxChunkCount);
    {
        std::lock_guard lock(m_sendMutex);
        result = sendOpenLocked(static_cast<uint32_t>(TokenRequestType::Issue), m_nextRequestId++);
    }
    if (status::isBad(result))
        return result;
    return readOpenResponse(deadline);
}

uint32_t ClientConnection::sendOpenLocked(uint32_t requestType, uint32_t requestId)
{
    OpenRequest request;
    request.header.requestHandle = requestId;
    request.header.timeoutHint = static_cast<uint32_t>(m_settings.timeoutMs);
    request.requestType = requestType;
    request.securityMode = static_cast<uint32_t>(m_settings.mode);
    request.requestedLifetime = m_settings.requestedLifetimeMs;
    request.clientNonce = m_security->createNonce();
    Bytes body = encodeOpenRequest(request);
    ChunkWriteParams params;
    params.type = MessageType::Open;
    params.policyUri = m_settings.policyUri;
    params.requestId = requestId;
    params.chunkSize = m_limits.sendChunkSize;
    params.maxMessageSize = m_limits.sendMaxMessageSize;
    params.maxChunkCount = m_limits.sendMaxChunkCount;
    {
        std::lock_guard lock(m_mutex);
        params.channelId = m_channelId;
        m_openRequestId = requestId;
        m_clientNonce = request.clientNonce;
    }
    params.senderCertificate = m_security->senderCertificate();
    params.receiverThumbprint = m_security->receiverThumbprint();
    std::vector<Bytes> chunks;
    uint32_t result = buildChunks(params, *m_security, m_sendSequence, body.data(), body.size(), chunks);
    if (status::isBad(result))
        return result;
    for (const auto& chunk : chunks)
    {
        if (writeAll(m_socket.fd(), chunk.data(), chunk.size(), m_settings.timeoutMs) != IoResult::Ok)
            return status::BadConnectionClosed;
    }
    return status::Good;
}

uint32_t ClientConnection::unprotectChunk(Bytes& chunk, ChunkInfo& info)
{
    uint32_t result = parseChunkHeaders(chunk, info);
    if (status::isBad(result))
        return result;
    if (info.type == MessageType::Open)
    {
        result = m_security->acceptPeer(info.senderCertificate, info.receiverThumbprint);
        if (status::isBad(result))
            return result;
    }
    size_t plainEnd = 0;
    result = m_security->unprotect(chunk, info.securedFrom, info.type == MessageType::Open, info.tokenId,
                                   plainEnd);
    if (!status::isBad(result))
        result = parseSequenceHeader(chunk, plainEnd, info);
    if (status::isBad(result))
        return status::BadSecurityChecksFailed;
    if (!m_receiveSequence.accept(info.sequenceNumber))
        return status::BadSequenceNumberInvalid;
    return status::Good;
}

uint32_t ClientConnection::readOpenResponse(Clock::time_point deadline)
{
    for (;;)
    {
        MessageHeader header;
        Bytes chunk;
        ChunkReadResult read = readChunk(m_socket.fd(), deadline, m_settings.timeoutMs, kMinChunk,
                                         m_limits.receiveChunkSize, header, chunk);
        if (read.io == IoResult::Timeout)
            return status::BadTimeout;
        if (read.io != IoResult::Ok)
            return status::BadConnectionClosed;
        if (status::isBad(read.status))
            return read.status;
        if (header.type == MessageType::Error)
            return errorFromMessage(chunk);
        ChunkInfo info;
        uint32_t result = unprotectChunk(chunk, info);
        if (status::isBad(result))
            return result;
        if (info.type != MessageType::Open)
            return status::BadTcpMessageTypeInvalid;
        uint32_t error;
        auto assembled = m_assembler->add(info.chunkType, info.requestId, chunk.data() + info.bodyOffset,
                                          info.bodyEnd - info.bodyOffset, error);
        if (assembled == ChunkAssembler::Result::Error)
            return error;
        if (assembled == ChunkAssembler::Result::Aborted)
            return status::BadSecureChannelClosed;
        if (assembled == ChunkAssembler::Result::Complete)
            return applyOpenResponse(m_assembler->takeMessage());
    }
}

uint32_t ClientConnection::applyOpenResponse(const Bytes& body)
{
    OpenResponse response;
    uint32_t result = decodeOpenResponse(body, response);
    if (status::isBad(result))
        return result;
    if (status::isBad(response.header.serviceResult))
        return response.header.serviceResult;
    std::lock_guard lock(m_mutex);
    if (m_channelId != 0 && response.channelId != m_channelId)
        return status::BadSecureChannelIdInvalid;
    if (response.channelId == 0 || response.revisedLifetime == 0)
        return status::BadDecodingError;
    result = m_security->activateToken(response.tokenId, m_clientNonce, response.serverNonce);
    if (status::isBad(result))
        return result;
    // Responses may still come with the token before; the one before that is done.
    if (m_previousTokenId != 0)
        m_security->retireToken(m_previousTokenId);
    m_channelId = response.channelId;
    m_previousTokenId = m_tokenId;
    m_tokenId = response.tokenId;
    m_lifetimeMs = response.revisedLifetime;
    m_tokenCreated = Clock::now();
    m_renewPending = false;
    return status::Good;
}

void ClientConnection::readerLoop()
{
    uint32_t closeStatus = status::BadConnectionClosed;
    Clock::time_point partialSince;
    for (;;)
    {
        auto now = Clock::now();
        Clock::time_point renewAt;
        bool renewDue;
        {
            std::lock_guard lock(m_mutex);
            if (!m_open)
                break;
            renewAt = renewTime();
            renewDue = !m_renewPending && now >= renewAt;
            if (renewDue)
                m_renewPending = true;
        }
        if (renewDue)
        {
            std::lock_guard lock(m_sendMutex);
            uint32_t requestId;
            {
                std::lock_guard stateLock(m_mutex);
                requestId = m_nextRequestId++;
            }
            if (status::isBad(sendOpenLocked(static_cast<uint32_t>(TokenRequestType::Renew), requestId)))
                break;
        }
        bool wasPartial = m_reader->partial();
        MessageReader::View view;
        MessageReader::Result read =
            m_reader->next(m_socket.fd(), kMinChunk, m_limits.receiveChunkSize, view);
        if (read == MessageReader::Result::Pending)
        {
            // A response that stops half-way ends the connection.
            if (!m_reader->partial() || !wasPartial)
                partialSince = Clock::now();
            else if (Clock::now() - partialSince > std::chrono::milliseconds(m_settings.timeoutMs))
                break;
            continue;
        }
        if (read == MessageReader::Result::Closed || read == MessageReader::Result::Error)
            break;
        if (read == MessageReader::Result::Refused)
        {
            closeStatus = view.status;
            break;
        }
        if (m_reader->partial())
            partialSince = Clock::now();
        Bytes& chunk = m_chunk;
        chunk.assign(view.data, view.data + view.size);
        if (view.header.type == MessageType::Error)
        {
            closeStatus = errorFromMessage(chunk);
            break;
        }
        ChunkInfo info;
        uint32_t result = unprotectChunk(chunk, info);
        if (!status::isBad(result) && info.type == MessageType::Message)
        {
            std::lock_guard lock(m_mutex);
            if (info.channelId != m_channelId)
                result = status::BadSecureChannelIdInvalid;
            else if (info.tokenId != m_tokenId && info.tokenId != m_previousTokenId)
                result = status::BadSecureChannelTokenUnknown;
        }
        if (status::isBad(result))
        {
            closeStatus = result;
            break;
        }
        uint32_t error;
        auto assembled = m_assembler->add(info.chunkType, info.requestId, chunk.data() + info.bodyOffset,
                                          info.bodyEnd - info.bodyOffset, error);
        if (assembled == ChunkAssembler::Result::Error)
        {
            closeStatus = error;
            break;
        }
        if (assembled == ChunkAssembler::Result::Aborted)
        {
            // The server gave up on a response part-way: that call fails.
            BinaryReader r(chunk.data() + info.bodyOffset, info.bodyEnd - info.bodyOffset);
            uint32_t abortStatus = status::BadCommunicationError;
            r.uint32(abortStatus);
            std::lock_guard lock(m_mutex);
            auto it = m_pending.find(info.requestId);
            if (it != m_pending.end())
            {
                it->second->done = true;
                it->second->status = status::isBad(abortStatus) ? abortStatus : status::BadCommunicationError;
                m_pending.erase(it);
                m_callDone.notify_all();
            }
            continue;
        }
        if (assembled != ChunkAssembler::Result::Complete)
            continue;
        uint32_t requestId = m_assembler->requestId();
        Bytes body = m_assembler->takeMessage();
        if (info.type == MessageType::Open)
        {
            result = applyOpenResponse(body);
            if (status::isBad(result))
            {
                closeStatus = result;
                break;
            }
            if (m_callback)
                m_callback(ClientEvent::Renewed, status::Good);
            continue;
        }
        std::lock_guard lock(m_mutex);
        auto it = m_pending.find(requestId);
        if (it != m_pending.end())
        {
            it->second->done = true;
            it->second->response = std::move(body);
            m_pending.erase(it);
            m_callDone.notify_all();
        }
    }
    bool wasOpen;
    {
        std::lock_guard lock(m_mutex);
        wasOpen = m_open;
        m_open = false;
    }
    failAll(closeStatus);
    // A reader stopped by disconnect() leaves the socket to it: its CloseSecureChannel is still to go out.
    if (wasOpen)
        m_socket.shutdown();
    if (wasOpen && m_callback)
        m_callback(ClientEvent::Disconnected, closeStatus);
}

void ClientConnection::failAll(uint32_t status)
{
    std::lock_guard lock(m_mutex);
    for (auto& [id, call] : m_pending)
    {
        call->done = true;
        call->status = status;
    }
    m_pending.clear();
    m_callDone.notify_all();
}

uint32_t ClientConnection::invoke(const Bytes& request, Bytes& response, int timeoutMs)
{
    auto call = std::make_shared<PendingCall>();
    ChunkWriteParams params;
    {
        std::lock_guard lock(m_mutex);
        if (!m_open)
            return status::BadNotConnected;
        params.requestId = m_nextRequestId++;
        if (m_nextRequestId == 0)
            m_nextRequestId = 1;
        params.channelId = m_channelId;
        params.tokenId = m_tokenId;
        m_pending[params.requestId] = call;
    }
    params.type = MessageType::Message;
    params.chunkSize = m_limits.sendChunkSize;
    params.maxMessageSize = m_limits.sendMaxMessageSize;
    params.maxChunkCount = m_limits.sendMaxChunkCount;
    uint32_t result;
    {
        std::lock_guard lock(m_sendMutex);
        std::vector<Bytes> chunks;
        result = buildChunks(params, *m_security, m_sendSequence, request.data(), request.size(), chunks);
        if (result == status::BadTcpMessageTooLarge)
            result = status::BadRequestTooLarge;
        for (size_t i = 0; !status::isBad(result) && i < chunks.size(); ++i)
        {
            if (writeAll(m_socket.fd(), chunks[i].data(), chunks[i].size(), m_settings.timeoutMs) !=
                IoResult::Ok)
            {
                result = status::BadConnectionClosed;
                m_socket.shutdown();
            }
        }
    }
    std::unique_lock lock(m_mutex);
    if (status::isBad(result))
    {
        m_pending.erase(params.requestId);
        return result;
    }
    if (!m_callDone.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return call->done; }))
    {
        m_pending.erase(params.requestId);
        return status::BadTimeout;
    }
    if (status::isBad(call->status))
        return call->status;
    response = std::move(call->response);
    return status::Good;
}

void ClientConnection::disconnect()
{
    bool wasOpen;
    uint32_t channelId;
    uint32_t tokenId;
    {
        std::lock_guard lock(m_mutex);
        wasOpen = m_open;
        m_open = false;
        channelId = m_channelId;
        tokenId = m_tokenId;
    }
    if (wasOpen)
    {
        std::lock_guard lock(m_sendMutex);
        Bytes body = encodeCloseRequest(0);
        ChunkWriteParams params;
        params.type = MessageType::Close;
        params.channelId = channelId;
        params.tokenId = tokenId;
        params.chunkSize = m_limits.sendChunkSize;
        std::vector<Bytes> chunks;
        if (buildChunks(params, *m_security, m_sendSequence, body.data(), body.size(), chunks) ==
            status::Good)
        {
            for (const auto& chunk : chunks)
                writeAll(m_socket.fd(), chunk.data(), chunk.size(), 1000);
        }
    }
    m_socket.shutdown();
    // Called from the state callback the reader thread is still running: it ends by itself.
    if (m_readerThread.joinable() && m_readerThread.get_id() == std::this_thread::get_id())
        return;
    if (m_readerThread.joinable())
        m_readerThread.join();
    failAll(status::BadSecureChannelClosed);
    m_socket.close();
    if (wasOpen && m_callback)
        m_callback(ClientEvent::Disconnected, status::Good);
}
} // namespace uatcp
