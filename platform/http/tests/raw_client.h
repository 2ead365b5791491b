// A plain HTTP client for the server tests (loopback unless given another address): it
// sends exactly the bytes it is given, so requests can be malformed, oversized or left
// unfinished.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace httptest
{
class RawClient
{
public:
    explicit RawClient(uint16_t port, const std::string& host = "127.0.0.1")
    {
        m_socket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1 || m_socket < 0 ||
            connect(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        {
            if (m_socket >= 0)
                close(m_socket);
            throw std::runtime_error("connect failed");
        }
    }
    ~RawClient() { close(m_socket); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool send(const std::string& bytes)
    {
        size_t done = 0;
        while (done < bytes.size())
        {
            const ssize_t n = ::send(m_socket, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }

    // Everything up to the server's close; what came before a time-out when it does not close.
    std::string receiveAll(std::chrono::seconds timeout = std::chrono::seconds(60))
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        std::string text;
        char chunk[4096];
        for (;;)
        {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd descriptor{m_socket, POLLIN, 0};
            if (poll(&descriptor, 1, static_cast<int>(std::max<long long>(left.count(), 0))) <= 0)
            {
                m_closed = false;
                return text;
            }
            const ssize_t n = recv(m_socket, chunk, sizeof chunk, 0);
            if (n <= 0)
            {
                m_closed = true;
                return text;
            }
            text.append(chunk, static_cast<size_t>(n));
        }
    }
    bool closedByServer() const { return m_closed; }

private:
    int m_socket = -1;
    bool m_closed = false;
};

// The status code of an answer, 0 when there is none.
inline int statusOf(const std::string& answer)
{
    if (answer.compare(0, 9, "HTTP/1.1 ") != 0 || answer.size() < 12)
        return 0;
    return std::stoi(answer.substr(9, 3));
}

inline std::string bodyOf(const std::string& answer)
{
    const size_t end = answer.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : answer.substr(end + 4);
}

// One request on a new connection; the whole answer.
inline std::string exchange(uint16_t port, const std::string& request, const std::string& host = "127.0.0.1")
{
    RawClient client(port, host);
    client.send(request);
    return client.receiveAll();
}

inline std::string get(uint16_t port, const std::string& target, const std::string& host = "127.0.0.1")
{
    return httptest::exchange(port, "GET " + target + " HTTP/1.1\r\nHost: " + host + "\r\n\r\n", host);
}

struct AmongIdle
{
    std::string answer;     // to the normal request; empty when none came within the bound
    size_t idleWaiting = 0; // idle connections still open and unanswered after it
};

// A normal GET sent while `idle` other connections hold half-sent requests (a request
// line and no end of the head): its answer, as far as it came within the bound.
inline AmongIdle getAmongIdleConnections(uint16_t port, const std::string& target, size_t idle,
                                         std::chrono::seconds bound, const std::string& host = "127.0.0.1")
{
    std::vector<std::unique_ptr<RawClient>> idlers;
    for (size_t i = 0; i < idle; ++i)
    {
        idlers.push_back(std::make_unique<RawClient>(port, host));
        idlers.back()->send("GET " + target + " HTTP/1.1\r\nHost: " + host + "\r\n");
    }
    AmongIdle result;
    RawClient client(port, host);
    client.send("GET " + target + " HTTP/1.1\r\nHost: " + host + "\r\n\r\n");
    result.answer = client.receiveAll(bound);
    for (const auto& idler : idlers)
        if (idler->receiveAll(std::chrono::seconds(0)).empty() && !idler->closedByServer())
            ++result.idleWaiting;
    return result;
}
} // namespace httptest
