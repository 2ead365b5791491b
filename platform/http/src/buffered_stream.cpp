#include "buffered_stream.h"

#include "socket_io.h"

#include <arpa/inet.h>
#include <poll.h>

#include <algorithm>
#include <cstring>

namespace http::detail
{
bool BufferedStream::is_writable() const
{
    if (m_parked)
        return true;
    pollfd descriptor{m_socket, POLLOUT, 0};
    return poll(&descriptor, 1, static_cast<int>(m_writeTimeout.count())) > 0 &&
           (descriptor.revents & POLLOUT);
}

ssize_t BufferedStream::read(char* buffer, size_t size)
{
    const size_t count = std::min(size, m_request.size() - m_read);
    std::memcpy(buffer, m_request.data() + m_read, count);
    m_read += count;
    return static_cast<ssize_t>(count);
}

ssize_t BufferedStream::write(const char* data, size_t size)
{
    if (m_parked)
        return static_cast<ssize_t>(size);
    // Answers go out also while the server stops, so no stop descriptor here.
    return sendSomeBefore(m_socket, data, size, std::chrono::steady_clock::now() + m_writeTimeout, -1);
}

void addressText(const sockaddr_storage& address, std::string& ip, int& port)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET)
    {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
        port = ntohs(v4.sin_port);
    }
    else if (address.ss_family == AF_INET6)
    {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
        port = ntohs(v6.sin6_port);
    }
    ip = text;
}

void BufferedStream::get_remote_ip_and_port(std::string& ip, int& port) const
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (getpeername(m_socket, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        addressText(address, ip, port);
}

void BufferedStream::get_local_ip_and_port(std::string& ip, int& port) const
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        addressText(address, ip, port);
}
} // namespace http::detail
