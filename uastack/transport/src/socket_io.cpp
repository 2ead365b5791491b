#include "socket_io.h"

#include "tcp_status.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <strings.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace uatcp
{
namespace
{
void setNonBlocking(int fd)
{
    int flags = fcntl(fd, F_GETFL, 0);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

void setNoDelay(int fd)
{
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

int remainingMs(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0)
        return 0;
    return left > 1000000 ? 1000000 : static_cast<int>(left);
}

bool isNumericHost(const std::string& host)
{
    in6_addr a6;
    in_addr a4;
    return inet_pton(AF_INET, host.c_str(), &a4) == 1 || inet_pton(AF_INET6, host.c_str(), &a6) == 1;
}

thread_local std::string t_listenFailure;

// Keeps why an endpoint cannot listen (errno of the failed call): a port that another program
// holds is the common cause, and the status alone does not tell it.
uint32_t listenFailed(const char* address, uint16_t port, int error)
{
    t_listenFailure = "cannot listen on " + std::string(address) + " port " + std::to_string(port) + ": " +
                      std::strerror(error);
    return status::BadCommunicationError;
}

// 0, or the errno value of the call that failed.
int bindAndListen(int family, const sockaddr* address, socklen_t length, bool dualStack, Socket& out)
{
    Socket s(::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!s.valid())
        return errno;
    int one = 1;
    setsockopt(s.fd(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (family == AF_INET6)
    {
        int v6only = dualStack ? 0 : 1;
        setsockopt(s.fd(), IPPROTO_IPV6, IPV6_V6ONLY, &v6only, sizeof v6only);
    }
    if (::bind(s.fd(), address, length) != 0 || ::listen(s.fd(), SOMAXCONN) != 0)
        return errno;
    setNonBlocking(s.fd());
    out = std::move(s);
    return 0;
}
} // namespace

bool parseOpcTcpUrl(const std::string& url, OpcTcpUrl& parsed)
{
    static const std::string scheme = "opc.tcp://";
    if (url.size() <= scheme.size() || strncasecmp(url.c_str(), scheme.c_str(), scheme.size()) != 0)
        return false;
    std::string rest = url.substr(scheme.size());
    size_t slash = rest.find('/');
    std::string authority = rest.substr(0, slash);
    parsed.path = slash == std::string::npos ? std::string() : rest.substr(slash);
    std::string portText;
    if (!authority.empty() && authority[0] == '[')
    {
        size_t close = authority.find(']');
        if (close == std::string::npos || close + 1 >= authority.size() || authority[close + 1] != ':')
            return false;
        parsed.host = authority.substr(1, close - 1);
        portText = authority.substr(close + 2);
    }
    else
    {
        size_t colon = authority.rfind(':');
        if (colon == std::string::npos || authority.find(':') != colon)
            return false;
        parsed.host = authority.substr(0, colon);
        portText = authority.substr(colon + 1);
    }
    if (parsed.host.empty() || portText.empty() || portText.size() > 5)
        return false;
    unsigned long port = 0;
    for (char c : portText)
    {
        if (c < '0' || c > '9')
            return false;
        port = port * 10 + static_cast<unsigned long>(c - '0');
    }
    if (port > 65535)
        return false;
    parsed.port = static_cast<uint16_t>(port);
    return true;
}

Socket& Socket::operator=(Socket&& other) noexcept
{
    if (this != &other)
    {
        close();
        m_fd = other.release();
    }
    return *this;
}

void Socket::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

void Socket::shutdown()
{
    if (m_fd >= 0)
        ::shutdown(m_fd, SHUT_RDWR);
}

void Socket::setBlockingWithReceiveTimeout(int timeoutMs)
{
    int flags = fcntl(m_fd, F_GETFL, 0);
    fcntl(m_fd, F_SETFL, flags & ~O_NONBLOCK);
    timeval timeout{timeoutMs / 1000, static_cast<suseconds_t>(timeoutMs % 1000) * 1000};
    setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
}

IoResult waitReadable(int fd, Clock::time_point deadline)
{
    for (;;)
    {
        pollfd p{fd, POLLIN, 0};
        int n = ::poll(&p, 1, remainingMs(deadline));
        if (n > 0)
            return IoResult::Ok;
        if (n == 0)
            return IoResult::Timeout;
        if (errno != EINTR)
            return IoResult::Error;
    }
}

IoResult readExact(int fd, uint8_t* data, size_t size, Clock::time_point deadline)
{
    size_t done = 0;
    while (done < size)
    {
        ssize_t n = ::recv(fd, data + done, size - done, MSG_DONTWAIT);
        if (n > 0)
        {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n == 0)
            return IoResult::Closed;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return IoResult::Error;
        IoResult wait = waitReadable(fd, deadline);
        if (wait != IoResult::Ok)
            return wait;
    }
    return IoResult::Ok;
}

IoResult writeSome(int fd, const uint8_t* data, size_t size, size_t& written)
{
    written = 0;
    while (written < size)
    {
        ssize_t n = ::send(fd, data + written, size - written, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0)
        {
            written += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return IoResult::WouldBlock;
        return n < 0 && (errno == EPIPE || errno == ECONNRESET) ? IoResult::Closed : IoResult::Error;
    }
    return IoResult::Ok;
}

IoResult writeAll(int fd, const uint8_t* data, size_t size, int timeoutMs)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    size_t done = 0;
    while (done < size)
    {
        ssize_t n = ::send(fd, data + done, size - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0)
        {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return errno == EPIPE || errno == ECONNRESET ? IoResult::Closed : IoResult::Error;
        pollfd p{fd, POLLOUT, 0};
        int r = ::poll(&p, 1, remainingMs(deadline));
        if (r == 0)
            return IoResult::Timeout;
        if (r < 0 && errno != EINTR)
            return IoResult::Error;
    }
    return IoResult::Ok;
}

std::string lastListenFailure()
{
    return t_listenFailure;
}

uint32_t openListeners(const OpcTcpUrl& url, std::vector<Socket>& listeners)
{
    listeners.clear();
    t_listenFailure.clear();
    if (isNumericHost(url.host))
    {
        addrinfo hints{};
        hints.ai_flags = AI_NUMERICHOST | AI_PASSIVE;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        std::string port = std::to_string(url.port);
        if (getaddrinfo(url.host.c_str(), port.c_str(), &hints, &found) != 0 || found == nullptr)
            return status::BadTcpEndpointUrlInvalid;
        Socket s;
        const int error = bindAndListen(found->ai_family, found->ai_addr, found->ai_addrlen, false, s);
        freeaddrinfo(found);
        if (error != 0)
            return listenFailed(url.host.c_str(), url.port, error);
        listeners.push_back(std::move(s));
        return status::Good;
    }
    if (strcasecmp(url.host.c_str(), "localhost") == 0)
    {
        // This machine's own clients only, whichever way they resolve the name.
        sockaddr_in loopback4{};
        loopback4.sin_family = AF_INET;
        loopback4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        loopback4.sin_port = htons(url.port);
        Socket s4;
        if (const int error =
                bindAndListen(AF_INET, reinterpret_cast<sockaddr*>(&loopback4), sizeof loopback4, false, s4))
            return listenFailed("127.0.0.1", url.port, error);
        // Port 0: both listen on the one the system chose.
        const uint16_t port = localPort(s4);
        listeners.push_back(std::move(s4));
        sockaddr_in6 loopback6{};
        loopback6.sin6_family = AF_INET6;
        loopback6.sin6_addr = in6addr_loopback;
        loopback6.sin6_port = htons(port);
        Socket s6;
        const int error =
            bindAndListen(AF_INET6, reinterpret_cast<sockaddr*>(&loopback6), sizeof loopback6, false, s6);
        if (error == 0)
            listeners.push_back(std::move(s6));
        else if (error != EAFNOSUPPORT && error != EADDRNOTAVAIL) // a host without IPv6 has no ::1
        {
            listeners.clear();
            return listenFailed("::1", port, error);
        }
        return status::Good;
    }
    sockaddr_in6 any6{};
    any6.sin6_family = AF_INET6;
    any6.sin6_addr = in6addr_any;
    any6.sin6_port = htons(url.port);
    Socket s;
    if (bindAndListen(AF_INET6, reinterpret_cast<sockaddr*>(&any6), sizeof any6, true, s) == 0)
    {
        listeners.push_back(std::move(s));
        return status::Good;
    }
    sockaddr_in any4{};
    any4.sin_family = AF_INET;
    any4.sin_addr.s_addr = htonl(INADDR_ANY);
    any4.sin_port = htons(url.port);
    if (const int error = bindAndListen(AF_INET, reinterpret_cast<sockaddr*>(&any4), sizeof any4, false, s))
        return listenFailed("every address", url.port, error);
    listeners.push_back(std::move(s));
    return status::Good;
}

uint16_t localPort(const Socket& socket)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (getsockname(socket.fd(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
    return ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
}

Socket acceptConnection(const Socket& listener)
{
    for (;;)
    {
        int fd = ::accept4(listener.fd(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd >= 0)
        {
            setNoDelay(fd);
            return Socket(fd);
        }
        if (errno != EINTR)
            return Socket();
    }
}

uint32_t connectTo(const OpcTcpUrl& url, int timeoutMs, Socket& socket)
{
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    std::string port = std::to_string(url.port);
    if (getaddrinfo(url.host.c_str(), port.c_str(), &hints, &found) != 0)
        return status::BadTcpEndpointUrlInvalid;
    uint32_t result = status::BadConnectionRejected;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (addrinfo* a = found; a != nullptr; a = a->ai_next)
    {
        Socket s(::socket(a->ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        if (!s.valid())
            continue;
        int rc = ::connect(s.fd(), a->ai_addr, a->ai_addrlen);
        if (rc != 0 && errno != EINPROGRESS)
            continue;
        if (rc != 0)
        {
            pollfd p{s.fd(), POLLOUT, 0};
            if (::poll(&p, 1, remainingMs(deadline)) <= 0)
            {
                result = status::BadTimeout;
                continue;
            }
            int error = 0;
            socklen_t length = sizeof error;
            getsockopt(s.fd(), SOL_SOCKET, SO_ERROR, &error, &length);
            if (error != 0)
                continue;
        }
        setNoDelay(s.fd());
        socket = std::move(s);
        result = status::Good;
        break;
    }
    freeaddrinfo(found);
    return result;
}
} // namespace uatcp
