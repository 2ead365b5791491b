// Sockets for opc.tcp: URL parsing, listening, connecting, and reads/writes
// with time-outs that never block in the kernel beyond them.
#pragma once
#include "binary_io.h"

#include <chrono>
#include <string>
#include <vector>

namespace uatcp
{
struct OpcTcpUrl
{
    std::string host; // without brackets for IPv6 literals
    uint16_t port = 0;
    std::string path;
};

// "opc.tcp://host:port[/path]"; the scheme is case-insensitive, the port required.
bool parseOpcTcpUrl(const std::string& url, OpcTcpUrl& parsed);

class Socket
{
public:
    Socket() = default;
    explicit Socket(int fd) : m_fd(fd) {}
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    Socket(Socket&& other) noexcept : m_fd(other.release()) {}
    Socket& operator=(Socket&& other) noexcept;
    ~Socket() { close(); }
    int fd() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    int release()
    {
        int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void close();
    // Ends both directions; a thread blocked in a read on this socket wakes up.
    void shutdown();
    // Reads without MSG_DONTWAIT then wait in the kernel for data, at most timeoutMs each
    // (EAGAIN after that); writes and the helpers below never wait there.
    void setBlockingWithReceiveTimeout(int timeoutMs);

private:
    int m_fd = -1;
};

enum class IoResult
{
    Ok,
    Timeout,
    Closed,
    Error,
    WouldBlock // the socket took what it could at once, not all
};

using Clock = std::chrono::steady_clock;

// Reads exactly size bytes, waiting at most until the deadline.
IoResult readExact(int fd, uint8_t* data, size_t size, Clock::time_point deadline);
// Waits until data can be read or the deadline passes.
IoResult waitReadable(int fd, Clock::time_point deadline);
// Writes all bytes, waiting at most timeoutMs for the peer to take them.
IoResult writeAll(int fd, const uint8_t* data, size_t size, int timeoutMs);
// Writes what the socket takes without waiting: Ok when all of it went, WouldBlock when written
// (which may be 0) is all it took.
IoResult writeSome(int fd, const uint8_t* data, size_t size, size_t& written);

// Listening sockets for an endpoint URL. A numeric host binds that address;
// "localhost" (any case) binds the loopback addresses, 127.0.0.1 and ::1 (the
// latter where the host has IPv6); any other name binds all local addresses,
// IPv6 and IPv4, because the name only says how clients reach this machine.
uint32_t openListeners(const OpcTcpUrl& url, std::vector<Socket>& listeners);
// Why the calling thread's last openListeners could not listen, such as
// "cannot listen on 127.0.0.1 port 4840: Address already in use"; empty after
// a success or a failure of another kind.
std::string lastListenFailure();
// The local port a socket is bound to (0 when unknown).
uint16_t localPort(const Socket& socket);
// Accepts one pending connection (non-blocking result socket) or an invalid one.
Socket acceptConnection(const Socket& listener);
// Connects to host:port within the time-out; tries every resolved address.
uint32_t connectTo(const OpcTcpUrl& url, int timeoutMs, Socket& socket);
} // namespace uatcp
