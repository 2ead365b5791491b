#pragma once

#include <httplib.h>

#include <chrono>
#include <string>

namespace http::detail
{
// The library's view of one connection: it reads the request we took in whole and
// writes its answer to the socket, each write within the write time-out. Once `parked`
// is set, writes go nowhere: a parked request is answered when its wait ends.
class BufferedStream final : public httplib::Stream
{
public:
    BufferedStream(int socket, const std::string& request, std::chrono::milliseconds writeTimeout,
                   const bool& parked)
        : m_socket(socket), m_request(request), m_writeTimeout(writeTimeout), m_parked(parked)
    {
    }

    bool is_readable() const override { return m_read < m_request.size(); }
    bool is_writable() const override;
    ssize_t read(char* buffer, size_t size) override;
    ssize_t write(const char* data, size_t size) override;
    void get_remote_ip_and_port(std::string& ip, int& port) const override;
    void get_local_ip_and_port(std::string& ip, int& port) const override;
    socket_t socket() const override { return m_socket; }

private:
    int m_socket;
    const std::string& m_request;
    size_t m_read = 0;
    std::chrono::milliseconds m_writeTimeout;
    const bool& m_parked;
};

// The dotted address and port of a socket address.
void addressText(const sockaddr_storage& address, std::string& ip, int& port);
} // namespace http::detail
