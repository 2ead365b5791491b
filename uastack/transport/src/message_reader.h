// Whole messages (connection messages and chunks) from a stream socket
// through one buffer per connection: each read takes all the socket holds,
// header and body together, several messages or the start of the next one,
// so that a small request costs one system call.
#pragma once
#include "socket_io.h"
#include "tcp_messages.h"

namespace uatcp
{
class MessageReader
{
public:
    enum class Result
    {
        Message, // a whole message is in view
        Pending, // the read left no whole message, or the socket's receive time-out passed
        Refused, // the header is unacceptable; status says why
        Closed,
        Error
    };
    struct View
    {
        MessageHeader header;
        const uint8_t* data = nullptr; // the whole message, valid until the next call
        size_t size = 0;
        uint32_t status = 0; // with Refused
    };

    explicit MessageReader(size_t capacity) : m_buffer(capacity) {}
    // Messages up to capacity bytes fit; what is buffered stays.
    void reserve(size_t capacity);
    // The next message whose size lies within [minSize, maxSize] (maxSize at most the capacity).
    // Reads at most once, and only when no whole message is buffered.
    Result next(int fd, uint32_t minSize, uint32_t maxSize, View& view);
    // Part of a message is buffered.
    bool partial() const { return m_end > m_begin; }

private:
    void compact();
    Bytes m_buffer;
    size_t m_begin = 0;
    size_t m_end = 0;
};
} // namespace uatcp
