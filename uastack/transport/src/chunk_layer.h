// Secure-conversation chunks (OPN, MSG, CLO): header parsing, reassembly of
// chunks into messages under size and count limits, splitting of messages
// into chunks, and the sequence numbers that order them.
#pragma once
#include "binary_io.h"
#include "channel_security.h"
#include "paged_bytes.h"
#include "tcp_messages.h"

#include <string>
#include <vector>

namespace uatcp
{
constexpr uint32_t kMaxPolicyUriLength = 256;
constexpr uint32_t kMaxCertificateLength = 32768;
constexpr size_t kSequenceHeaderSize = 8;

struct ChunkInfo
{
    MessageType type = MessageType::Unknown;
    char chunkType = 0;
    uint32_t channelId = 0;
    // Asymmetric security header (OPN only).
    std::string policyUri;
    Bytes senderCertificate;
    Bytes receiverThumbprint;
    // Symmetric security header (MSG, CLO).
    uint32_t tokenId = 0;
    size_t securedFrom = 0; // offset of the sequence header
    uint32_t sequenceNumber = 0;
    uint32_t requestId = 0;
    size_t bodyOffset = 0;
    size_t bodyEnd = 0;
};

// Parses the message header, channel id and security header of a whole chunk.
uint32_t parseChunkHeaders(const Bytes& chunk, ChunkInfo& info);
// Parses the sequence header once the chunk has been unprotected.
uint32_t parseSequenceHeader(const Bytes& chunk, size_t plainEnd, ChunkInfo& info);

// Sequence numbers: each chunk one more than the last; after 4294966271 a
// sender starts again below 1024.
constexpr uint32_t kSequenceWrapLimit = 4294966271u;

class SequenceCounter
{
public:
    explicit SequenceCounter(uint32_t first = 1) : m_next(first) {}
    uint32_t next();

private:
    uint32_t m_next;
};

class SequenceChecker
{
public:
    bool accept(uint32_t sequenceNumber);

private:
    bool m_started = false;
    uint32_t m_last = 0;
};

// Joins the chunks of one message at a time under the message limits. The storage is Bytes, or
// PagedBytes where the memory held for a message must go back to the system with it.
enum class AssemblyResult
{
    Incomplete,
    Complete,
    Aborted,
    Error
};

template <typename Storage> class BasicChunkAssembler
{
public:
    using Result = AssemblyResult;
    // Zero limits mean no limit.
    BasicChunkAssembler(uint32_t maxMessageSize, uint32_t maxChunkCount)
        : m_maxMessageSize(maxMessageSize), m_maxChunkCount(maxChunkCount)
    {
    }
    Result add(char chunkType, uint32_t requestId, const uint8_t* body, size_t size, uint32_t& error);
    Storage takeMessage();
    uint32_t requestId() const { return m_requestId; }
    bool inProgress() const { return m_chunkCount > 0; }
    // The bytes held so far and the storage they take, so that a caller can
    // account for the storage before it grows.
    size_t size() const { return m_message.size(); }
    size_t capacity() const { return m_message.capacity(); }
    // False when the storage cannot be had.
    bool reserve(size_t capacity);
    // Whether one more chunk body of size bytes stays within the message limits.
    bool fits(size_t size) const
    {
        return (m_maxChunkCount == 0 || m_chunkCount < m_maxChunkCount) &&
               (m_maxMessageSize == 0 || m_message.size() + size <= m_maxMessageSize);
    }

private:
    void reset();
    uint32_t m_maxMessageSize;
    uint32_t m_maxChunkCount;
    uint32_t m_requestId = 0;
    uint32_t m_chunkCount = 0;
    Storage m_message;
};

extern template class BasicChunkAssembler<Bytes>;
extern template class BasicChunkAssembler<PagedBytes>;
using ChunkAssembler = BasicChunkAssembler<Bytes>;
using PagedChunkAssembler = BasicChunkAssembler<PagedBytes>;

struct ChunkWriteParams
{
    MessageType type = MessageType::Message;
    uint32_t channelId = 0;
    uint32_t tokenId = 0;
    // Asymmetric header fields, used for OPN.
    std::string policyUri;
    Bytes senderCertificate;
    Bytes receiverThumbprint;
    uint32_t requestId = 0;
    size_t chunkSize = 0;
    uint32_t maxMessageSize = 0; // 0 means no limit
    uint32_t maxChunkCount = 0;  // 0 means no limit
};

// Splits a message body into protected chunks ready to send. Fails with
// BadTcpMessageTooLarge when the peer's limits do not allow the message.
uint32_t buildChunks(const ChunkWriteParams& params, ChannelSecurity& security, SequenceCounter& sequence,
                     const uint8_t* body, size_t size, std::vector<Bytes>& chunks);

// The same in two steps, so that the sequence numbers can be taken apart from
// the work: how many chunks the message takes (BadTcpMessageTooLarge beyond the
// peer's limits), then its protected chunks one after another in out (whose
// storage is reused), numbered on from firstSequence.
uint32_t countChunks(const ChunkWriteParams& params, const ChannelSecurity& security, size_t size,
                     size_t& count);
uint32_t writeChunks(const ChunkWriteParams& params, ChannelSecurity& security, uint32_t firstSequence,
                     const uint8_t* body, size_t size, Bytes& out);

} // namespace uatcp
