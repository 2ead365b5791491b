// What a server connection sends: each message takes its sequence numbers and
// its place in the output under the lock, is built, signed and encrypted
// outside it, and is written in that order by whichever thread finds it next,
// as far as the socket takes it at once; the server's flusher writes the rest.
#include "server_connection.h"

#include "secure_messages.h"
#include "tcp_server.h"
#include "tcp_status.h"

#include <algorithm>

namespace uatcp
{
namespace
{
// A connection whose peer leaves this much of its answers unread (beyond what
// the sockets hold) is closed: it does not read them, or asks far faster.
constexpr size_t kMaxQueuedOutput = 4u << 20;
// Slots whose storage grew beyond this for one large message give it back.
constexpr size_t kSpareOutputCapacity = 256u << 10;
} // namespace

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

bool ServerConnection::removePendingLocked(uint32_t requestId)
{
    auto it = std::find(m_pendingRequests.begin(), m_pendingRequests.end(), requestId);
    if (it == m_pendingRequests.end())
        return false;
    *it = m_pendingRequests.back();
    m_pendingRequests.pop_back();
    return true;
}

void ServerConnection::finishRequest(uint32_t requestId)
{
    std::lock_guard lock(m_sendMutex);
    removePendingLocked(requestId);
}

ServerConnection::Outgoing* ServerConnection::reserveLocked(const ChunkWriteParams& params, size_t size,
                                                            uint32_t& firstSequence, uint32_t& result)
{
    size_t count = 0;
    result = countChunks(params, *m_security, size, count);
    if (status::isBad(result))
        return nullptr;
    firstSequence = m_sendSequence.next();
    for (size_t i = 1; i < count; ++i)
        m_sendSequence.next();
    Outgoing* out;
    if (m_spareOutgoing.empty())
    {
        m_outgoing.push_back(std::make_unique<Outgoing>());
        out = m_outgoing.back().get();
    }
    else
    {
        out = m_spareOutgoing.back();
        m_spareOutgoing.pop_back();
    }
    out->ready = false;
    out->failed = false;
    out->next = nullptr;
    if (m_outTail != nullptr)
        m_outTail->next = out;
    else
        m_outHead = out;
    m_outTail = out;
    ++m_building;
    return out;
}

uint32_t ServerConnection::complete(Outgoing* out, uint32_t buildResult)
{
    std::unique_lock lock(m_sendMutex);
    out->ready = true;
    // A message that could not be built leaves a gap in the sequence numbers, so the peer gives up.
    out->failed = status::isBad(buildResult);
    out->written = 0;
    m_queuedBytes += out->bytes.size();
    if (--m_building == 0 && m_tokenToRetire != 0)
    {
        m_security->retireToken(m_tokenToRetire);
        m_tokenToRetire = 0;
    }
    // Over the bound behind a socket that does not take it: the peer does not read its answers.
    // One message alone may be larger; it was allowed by the peer's own limits.
    if (m_alive && m_outHead != out && m_queuedBytes > kMaxQueuedOutput)
    {
        lock.unlock();
        fail(status::BadTcpNotEnoughResources, "Output queue over its bound", 0);
        return status::BadTcpNotEnoughResources;
    }
    if (m_writing)
        return buildResult; // the thread or the flusher writing now takes this one in turn
    m_writing = true;
    uint32_t result = buildResult;
    if (writeReadyLocked(lock, result) == FlushResult::WaitForSocket)
    {
        // The socket is full: the flusher writes the rest, this thread goes back to its work.
        m_outputProgressAt = Clock::now();
        lock.unlock();
        m_server.flusher().watch(shared_from_this());
    }
    return result;
}

ServerConnection::FlushResult ServerConnection::writeReadyLocked(std::unique_lock<std::mutex>& lock,
                                                                 uint32_t& result)
{
    while (m_outHead != nullptr && m_outHead->ready)
    {
        Outgoing* first = m_outHead;
        if (!first->failed && m_alive)
        {
            size_t written = 0;
            lock.unlock();
            IoResult io = writeSome(m_socket.fd(), first->bytes.data() + first->written,
                                    first->bytes.size() - first->written, written);
            lock.lock();
            first->written += written;
            m_queuedBytes -= written;
            if (io == IoResult::WouldBlock && m_alive)
            {
                if (written > 0)
                    m_outputProgressAt = Clock::now();
                return FlushResult::WaitForSocket;
            }
            if (io != IoResult::Ok)
            {
                // A peer that does not take its data loses the connection.
                m_alive = false;
                m_socket.shutdown();
                result = status::BadConnectionClosed;
            }
        }
        m_outHead = first->next;
        if (m_outHead == nullptr)
            m_outTail = nullptr;
        m_queuedBytes -= first->bytes.size() - first->written;
        if (first->bytes.capacity() > kSpareOutputCapacity)
            Bytes().swap(first->bytes);
        m_spareOutgoing.push_back(first);
    }
    m_writing = false;
    return FlushResult::Done;
}

ServerConnection::FlushResult ServerConnection::flushOutput()
{
    std::unique_lock lock(m_sendMutex);
    uint32_t result = status::Good;
    return writeReadyLocked(lock, result);
}

bool ServerConnection::outputStalled(Clock::time_point now)
{
    {
        std::lock_guard lock(m_sendMutex);
        if (!m_alive)
            return true;
        if (now - m_outputProgressAt <= std::chrono::milliseconds(m_sendTimeoutMs))
            return false;
    }
    fail(status::BadTimeout, "Peer takes no data", 0);
    return true;
}

void ServerConnection::abandonOutput()
{
    {
        std::lock_guard lock(m_sendMutex);
        m_alive = false;
        m_socket.shutdown();
    }
    flushOutput();
}

uint32_t ServerConnection::send(const ChunkWriteParams& params, const uint8_t* body, size_t size)
{
    uint32_t firstSequence = 0;
    uint32_t result = status::Good;
    Outgoing* out;
    {
        std::lock_guard lock(m_sendMutex);
        out = reserveLocked(params, size, firstSequence, result);
    }
    if (out == nullptr)
        return result;
    return complete(out, writeChunks(params, *m_security, firstSequence, body, size, out->bytes));
}

uint32_t ServerConnection::sendResponse(uint32_t channelId, uint32_t requestId, uint32_t requestHandle,
                                        const uint8_t* body, size_t size)
{
    ChunkWriteParams params;
    uint32_t firstSequence = 0;
    uint32_t result = status::Good;
    Outgoing* out = nullptr;
    Bytes fault;
    {
        std::lock_guard lock(m_sendMutex);
        removePendingLocked(requestId);
        if (!m_alive || channelId != m_channelId || !m_security)
            return status::BadSecureChannelClosed;
        params = messageParamsLocked(requestId);
        out = reserveLocked(params, size, firstSequence, result);
        if (result == status::BadTcpMessageTooLarge)
        {
            // Too large for the client's limits: it gets a fault in its place.
            fault = encodeServiceFault(requestHandle, status::BadResponseTooLarge);
            body = fault.data();
            size = fault.size();
            out = reserveLocked(params, size, firstSequence, result);
            if (out == nullptr)
                return result;
            result = status::BadResponseTooLarge;
        }
        if (out == nullptr)
            return result;
    }
    uint32_t written = complete(out, writeChunks(params, *m_security, firstSequence, body, size, out->bytes));
    return status::isBad(result) ? result : written;
}

void ServerConnection::retireTokenWhenUnused(uint32_t tokenId)
{
    std::lock_guard lock(m_sendMutex);
    m_sendTokenId = m_currentToken.id;
    // Messages already numbered may still be signed with the old token's keys.
    if (m_building == 0)
        m_security->retireToken(tokenId);
    else
        m_tokenToRetire = tokenId;
}

void ServerConnection::fail(uint32_t error, const std::string& reason, int sendTimeoutMs)
{
    m_server.handler().onConnectionError(error, reason);
    std::unique_lock lock(m_sendMutex);
    if (m_failStatus == status::Good)
        m_failStatus = error;
    // The Error goes out unless a message is being written right now: it must not cut into one.
    bool sayWhy = m_alive && !m_writing;
    m_alive = false;
    if (sayWhy)
    {
        m_writing = true;
        lock.unlock();
        Bytes message = encodeError(ErrorMessage{error, reason});
        writeAll(m_socket.fd(), message.data(), message.size(), sendTimeoutMs);
        lock.lock();
        m_writing = false;
    }
    m_socket.shutdown();
}
} // namespace uatcp
