#include "chunk_layer.h"

#include "tcp_status.h"

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

void ChunkAssembler::reset()
{
    m_chunkCount = 0;
    m_requestId = 0;
    m_message.clear();
    m_message.shrink_to_fit();
}

ChunkAssembler::Result ChunkAssembler::add(char chunkType, uint32_t requestId, const uint8_t* body,
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
    m_requestId = requestId;
    ++m_chunkCount;
    m_message.insert(m_message.end(), body, body + size);
    return chunkType == 'F' ? Result::Complete : Result::Incomplete;
}

Bytes ChunkAssembler::takeMessage()
{
    Bytes message = std::move(m_message);
    m_message = Bytes();
    m_chunkCount = 0;
    return message;
}

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

size_t headerSize(const ChunkWriteParams& p)
{
    Bytes scratch;
    BinaryWriter w(scratch);
    return writeChunkStart(w, p, 'F') + kSequenceHeaderSize;
}
} // namespace

uint32_t buildChunks(const ChunkWriteParams& params, ChannelSecurity& security, SequenceCounter& sequence,
                     const uint8_t* body, size_t size, std::vector<Bytes>& chunks)
{
    chunks.clear();
    bool asymmetric = params.type == MessageType::Open;
    size_t maxBody = security.maxBodySize(params.chunkSize, headerSize(params), asymmetric);
    if (maxBody == 0)
        return status::BadTcpInternalError;
    if (params.maxMessageSize != 0 && size > params.maxMessageSize)
        return status::BadTcpMessageTooLarge;
    size_t count = size == 0 ? 1 : (size + maxBody - 1) / maxBody;
    if (params.maxChunkCount != 0 && count > params.maxChunkCount)
        return status::BadTcpMessageTooLarge;
    chunks.reserve(count);
    for (size_t i = 0; i < count; ++i)
    {
        size_t offset = i * maxBody;
        size_t part = std::min(maxBody, size - offset);
        Bytes chunk;
        chunk.reserve(params.chunkSize);
        BinaryWriter w(chunk);
        size_t securedFrom = writeChunkStart(w, params, i + 1 == count ? 'F' : 'C');
        w.uint32(sequence.next());
        w.uint32(params.requestId);
        if (part > 0)
            w.raw(body + offset, part);
        uint32_t result = security.protect(chunk, securedFrom, asymmetric, params.tokenId);
        if (status::isBad(result))
        {
            chunks.clear();
            return result;
        }
        chunks.push_back(std::move(chunk));
    }
    return status::Good;
}

} // namespace uatcp
