// Reading whole messages (connection messages and chunks) from a socket.
#pragma once
#include "socket_io.h"
#include "tcp_messages.h"

namespace uatcp
{
struct ChunkReadResult
{
    IoResult io = IoResult::Ok;
    uint32_t status = 0; // a protocol fault when io is Ok but the header is unacceptable
};

// Waits until firstByteDeadline for a message to start, then reads it whole
// within bodyTimeoutMs. Sizes below minSize or above maxSize are refused
// before anything more is read.
ChunkReadResult readChunk(int fd, Clock::time_point firstByteDeadline, int bodyTimeoutMs, uint32_t minSize,
                          uint32_t maxSize, MessageHeader& header, Bytes& chunk);
} // namespace uatcp
