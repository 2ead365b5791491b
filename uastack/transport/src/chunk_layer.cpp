#include "chunk_layer.h"

#include "tcp_status.h"

#include <algorithm>

namespace uatcp
{
uint32_t parseChunkHeaders(const Bytes& chunk, ChunkInfo& info)
{
    if (chunk.size() < kMessageHeaderSize + 4)
        return status::BadDecodingError;
    MessageHeader header = parseMessageHeader(chunk.data());
    info.type = header.type;
    info.chunkType = header.chunkType;
    if (header.type != MessageType::Message && header.type != MessageType::Open &&
        header.type != MessageType::Close)
        return status::BadTcpMessageTypeInvalid;
    if (header.chunkType != 'F' && header.chunkType != 'C' && header.chunkType != 'A')
        return status::BadTcpMessageTypeInvalid;
    BinaryReader r(chunk.data() + kMessageHeaderSize, chunk.size() - kMessageHeaderSize);
    r.uint32(info.channelId);
    if (header.type == MessageType::Open)
    {
        std::optional<std::string> uri;
        std::optional<Bytes> certificate;
        std::optional<Bytes> thumbprint;
        if (!r.string(uri, kMaxPolicyUriLength) || !r.byteString(certificate, kMaxCertificateLength) ||
            !r.byteString(thumbprint, kMaxCertificateLength))
            return status::BadDecodingError;
        info.policyUri = uri.value_or(std::string());
        info.senderCertificate = certificate.value_or(Bytes());
        info.receiverThumbprint = thumbprint.value_or(Bytes());
    }
    else if (!r.uint32(info.tokenId))
    {
        return status::BadDecodingError;
    }
    info.securedFrom = kMessageHeaderSize + r.position();
    return status::Good;
}

uint32_t parseSequenceHeader(const Bytes& chunk, size_t plainEnd, ChunkInfo& info)
{
    if (plainEnd > chunk.size() || plainEnd < info.securedFrom + kSequenceHeaderSize)
        return status::BadDecodingError;
    BinaryReader r(chunk.data() + info.securedFrom, plainEnd - info.securedFrom);
    r.uint32(info.sequenceNumber);
    r.uint32(info.requestId);
    info.bodyOffset = info.securedFrom + kSequenceHeaderSize;
    info.bodyEnd = plainEnd;
    return status::Good;
}

uint32_t SequenceCounter::next()
{
    uint32_t value = m_next;
    m_next = value >= kSequenceWrapLimit ? 1 : value + 1;
    return value;
}

bool SequenceChecker::accept(uint32_t sequenceNumber)
{
    if (!m_started)
    {
        m_started = true;
        m_last = sequenceNumber;
        return true;
    }
    bool ok = m_last > kSequenceWrapLimit - 1 ? (sequenceNumber == m_last + 1 || sequenceNumber < 1024)
                                              : sequenceNumber == m_last + 1;
    if (ok)
        m_last = sequenceNumber;
    return ok;
}

namespace
{
bool appendTo(Bytes& message, const uint8_t* body, size_t size)
{
    message.insert(message.end(), body, body + size);
    return true;
}
bool appendTo(PagedBytes& message, const uint8_t* body, size_t size)
{
    return message.append(body, size);
}
bool reserveIn(Bytes& message, size_t capacity)
{
    message.reserve(capacity);
    return true;
}
bool reserveIn(PagedBytes& message, size_t capacity)
{
    return message.reserve(capacity);
}
void release(Bytes& message)
{
    message.clear();
    message.shrink_to_fit();
}
void release(PagedBytes& message)
{
    message.clear();
}
} // namespace

template <typename Storage> void BasicChunkAssembler<Storage>::reset()
{
    m_chunkCount = 0;
    m_requestId = 0;
    release(m_message);
}

template <typename Storage> bool BasicChunkAssembler<Storage>::reserve(size_t capacity)
{
    return reserveIn(m_message, capacity);
}

template <typename Storage>
AssemblyResult BasicChunkAssembler<Storage>::add(char chunkType, uint32_t requestId, const uint8_t* body,
                                                 size_t size, uint32_t& error)
{
    error = status::Good;
    if (m_chunkCount > 0 && requestId != m_requestId)
    {
        // Chunks of two messages must not interleave on one channel.
        reset();
        error = status::BadTcpMessageTypeInvalid;
        return Result::Error;
    }
    if (chunkType == 'A')
    {
        reset();
        return Result::Aborted;
    }
    if (chunkType != 'C' && chunkType != 'F')
    {
        reset();
        error = status::BadTcpMessageTypeInvalid;
        return Result::Error;
    }
    if ((m_maxChunkCount != 0 && m_chunkCount + 1 > m_maxChunkCount) ||
        (m_maxMessageSize != 0 && m_message.size() + size > m_maxMessageSize))
    {
        reset();
        error = status::BadTcpMessageTooLarge;
        return Result::Error;
    }
    if (!appendTo(m_message, body, size))
    {
        reset();
        error = status::BadTcpNotEnoughResources;
        return Result::Error;
    }
    m_requestId = requestId;
    ++m_chunkCount;
    return chunkType == 'F' ? Result::Complete : Result::Incomplete;
}

template <typename Storage> Storage BasicChunkAssembler<Storage>::takeMessage()
{
    Storage message = std::move(m_message);
    m_message = Storage();
    m_chunkCount = 0;
    return message;
}

template class BasicChunkAssembler<Bytes>;
template class BasicChunkAssembler<PagedBytes>;

namespace
{
// Writes message header, channel id and security header; returns the offset
// where the sequence header will start.
size_t writeChunkStart(BinaryWriter& w, const ChunkWriteParams& p, char chunkType)
{
    writeMessageHeader(w, p.type, chunkType, 0);
    w.uint32(p.channelId);
    if (p.type == MessageType::Open)
    {
        w.string(p.policyUri);
        w.byteString(p.senderCertificate.empty() ? nullptr : p.senderCertificate.data(),
                     static_cast<int32_t>(p.senderCertificate.size()));
        w.byteString(p.receiverThumbprint.empty() ? nullptr : p.receiverThumbprint.data(),
                     static_cast<int32_t>(p.receiverThumbprint.size()));
    }
    else
    {
        w.uint32(p.tokenId);
    }
    return w.size();
}

// What writeChunkStart writes, and the sequence header after it.
size_t headerSize(const ChunkWriteParams& p)
{
    size_t securityHeader =
        p.type == MessageType::Open
            ? 12 + p.policyUri.size() + p.senderCertificate.size() + p.receiverThumbprint.size()
            : 4;
    return kMessageHeaderSize + 4 + securityHeader + kSequenceHeaderSize;
}

// One protected chunk in place of what chunk held.
uint32_t writeChunk(const ChunkWriteParams& params, ChannelSecurity& security, uint32_t sequenceNumber,
                    char chunkType, const uint8_t* body, size_t part, Bytes& chunk)
{
    chunk.clear();
    chunk.reserve(params.chunkSize);
    BinaryWriter w(chunk);
    size_t securedFrom = writeChunkStart(w, params, chunkType);
    w.uint32(sequenceNumber);
    w.uint32(params.requestId);
    if (part > 0)
        w.raw(body, part);
    return security.protect(chunk, securedFrom, params.type == MessageType::Open, params.tokenId);
}

size_t maxBodyOf(const ChunkWriteParams& params, const ChannelSecurity& security)
{
    return security.maxBodySize(params.chunkSize, headerSize(params), params.type == MessageType::Open);
}
} // namespace

uint32_t countChunks(const ChunkWriteParams& params, const ChannelSecurity& security, size_t size,
                     size_t& count)
{
    size_t maxBody = maxBodyOf(params, security);
    if (maxBody == 0)
        return status::BadTcpInternalError;
    if (params.maxMessageSize != 0 && size > params.maxMessageSize)
        return status::BadTcpMessageTooLarge;
    count = size == 0 ? 1 : (size + maxBody - 1) / maxBody;
    if (params.maxChunkCount != 0 && count > params.maxChunkCount)
        return status::BadTcpMessageTooLarge;
    return status::Good;
}

uint32_t buildChunks(const ChunkWriteParams& params, ChannelSecurity& security, SequenceCounter& sequence,
                     const uint8_t* body, size_t size, std::vector<Bytes>& chunks)
{
    chunks.clear();
    size_t count = 0;
    uint32_t result = countChunks(params, security, size, count);
    if (status::isBad(result))
        return result;
    size_t maxBody = maxBodyOf(params, security);
    chunks.resize(count);
    for (size_t i = 0; i < count; ++i)
    {
        size_t offset = i * maxBody;
        result = writeChunk(params, security, sequence.next(), i + 1 == count ? 'F' : 'C', body + offset,
                            std::min(maxBody, size - offset), chunks[i]);
        if (status::isBad(result))
        {
            chunks.clear();
            return result;
        }
    }
    return status::Good;
}

uint32_t writeChunks(const ChunkWriteParams& params, ChannelSecurity& security, uint32_t firstSequence,
                     const uint8_t* body, size_t size, Bytes& out)
{
    size_t count = 0;
    uint32_t result = countChunks(params, security, size, count);
    if (status::isBad(result))
        return result;
    if (count == 1)
        return writeChunk(params, security, firstSequence, 'F', body, size, out);
    // Each chunk is protected on its own before it joins the others.
    thread_local Bytes chunk;
    size_t maxBody = maxBodyOf(params, security);
    SequenceCounter sequence(firstSequence);
    out.clear();
    // Room for every chunk at once: grown chunk by chunk, a large message would be copied again and
    // again as the storage doubles.
    out.reserve(count * params.chunkSize);
    for (size_t i = 0; i < count && !status::isBad(result); ++i)
    {
        size_t offset = i * maxBody;
        result = writeChunk(params, security, sequence.next(), i + 1 == count ? 'F' : 'C', body + offset,
                            std::min(maxBody, size - offset), chunk);
        out.insert(out.end(), chunk.begin(), chunk.end());
    }
    // A large message does not keep its scratch storage on this thread.
    if (chunk.capacity() > params.chunkSize * 2)
        Bytes().swap(chunk);
    return result;
}

} // namespace uatcp
