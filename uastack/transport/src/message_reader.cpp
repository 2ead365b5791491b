#include "message_reader.h"

#include "tcp_status.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>

namespace uatcp
{
void MessageReader::reserve(size_t capacity)
{
    if (capacity <= m_buffer.size())
        return;
    compact();
    m_buffer.resize(capacity);
}

void MessageReader::compact()
{
    if (m_begin == 0)
        return;
    std::memmove(m_buffer.data(), m_buffer.data() + m_begin, m_end - m_begin);
    m_end -= m_begin;
    m_begin = 0;
}

MessageReader::Result MessageReader::next(int fd, uint32_t minSize, uint32_t maxSize, View& view)
{
    reserve(maxSize);
    for (bool readOnce = false;; readOnce = true)
    {
        size_t buffered = m_end - m_begin;
        size_t wanted = kMessageHeaderSize;
        if (buffered >= kMessageHeaderSize)
        {
            // Refused as soon as the header is known, before anything more is read.
            MessageHeader header = parseMessageHeader(m_buffer.data() + m_begin);
            view.status = header.type == MessageType::Unknown ? status::BadTcpMessageTypeInvalid
                          : header.size < minSize || header.size < kMessageHeaderSize
                              ? status::BadDecodingError
                          : header.size > maxSize ? status::BadTcpMessageTooLarge
                                                  : status::Good;
            if (status::isBad(view.status))
                return Result::Refused;
            if (buffered >= header.size)
            {
                view.header = header;
                view.data = m_buffer.data() + m_begin;
                view.size = header.size;
                m_begin += header.size;
                if (m_begin == m_end)
                    m_begin = m_end = 0;
                return Result::Message;
            }
            wanted = header.size;
        }
        if (readOnce)
            return Result::Pending;
        if (m_begin + wanted > m_buffer.size())
            compact();
        ssize_t n;
        do
            n = ::recv(fd, m_buffer.data() + m_end, m_buffer.size() - m_end, 0);
        while (n < 0 && errno == EINTR);
        if (n == 0)
            return Result::Closed;
        if (n < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK ? Result::Pending : Result::Error;
        m_end += static_cast<size_t>(n);
    }
}
} // namespace uatcp
