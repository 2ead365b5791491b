#include "chunk_io.h"

#include "tcp_status.h"

namespace uatcp
{
ChunkReadResult readChunk(int fd, Clock::time_point firstByteDeadline, int bodyTimeoutMs, uint32_t minSize,
                          uint32_t maxSize, MessageHeader& header, Bytes& chunk)
{
    ChunkReadResult result;
    result.io = waitReadable(fd, firstByteDeadline);
    if (result.io != IoResult::Ok)
        return result;
    auto bodyDeadline = Clock::now() + std::chrono::milliseconds(bodyTimeoutMs);
    chunk.resize(kMessageHeaderSize);
    result.io = readExact(fd, chunk.data(), kMessageHeaderSize, bodyDeadline);
    if (result.io != IoResult::Ok)
        return result;
    header = parseMessageHeader(chunk.data());
    if (header.type == MessageType::Unknown)
    {
        result.status = status::BadTcpMessageTypeInvalid;
        return result;
    }
    if (header.size < minSize || header.size < kMessageHeaderSize)
    {
        result.status = status::BadDecodingError;
        return result;
    }
    if (header.size > maxSize)
    {
        result.status = status::BadTcpMessageTooLarge;
        return result;
    }
    chunk.resize(header.size);
    result.io =
        readExact(fd, chunk.data() + kMessageHeaderSize, header.size - kMessageHeaderSize, bodyDeadline);
    return result;
}
} // namespace uatcp
