#include "link.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vos
{

namespace
{
constexpr int ROUTER_ANSWER_MS = 10000;
}

OrxLink::~OrxLink()
{
    Close();
}

ULONG OrxLink::Open(USHORT port, const std::string& name)
{
    Close();
    if (name.size() > MAX_PORT_NAME)
        return VOSERR_INVALID_PARAMETER;
    std::string request(2, '\0');
    std::memcpy(request.data(), &port, 2);
    request += name;
    // A router that is ending refuses the request; the next attempt starts a new one.
    ULONG error = VOSERR_ROUTER_NOT_RUNNING;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    do
    {
        int fd = ConnectRouter(error);
        if (fd < 0)
            return error;
        OrxMessage answer;
        m_reader = FrameReader{};
        error = RouterRequest(fd, m_reader, ROUTER_CMD_CONNECT, request.data(), request.size(), answer,
                              ROUTER_ANSWER_MS);
        if (error == VOSERR_NOERROR && answer.Cmd()->length == sizeof(OrxAddr))
        {
            std::lock_guard<std::mutex> lock(m_sendLock);
            std::memcpy(&m_addr, answer.Cmd()->Data(), sizeof m_addr);
            m_fd = fd;
            return VOSERR_NOERROR;
        }
        ::close(fd);
        if (error != VOSERR_ROUTER_NOT_RUNNING)
            return error == VOSERR_NOERROR ? VOSERR_INVALID_MESSAGE : error;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < deadline);
    return error;
}

void OrxLink::Shutdown()
{
    // Without the send lock: a sender blocked on a full socket must not delay the shutdown.
    int fd = m_fd;
    if (fd >= 0)
        ::shutdown(fd, SHUT_RDWR);
}

void OrxLink::Close()
{
    {
        std::lock_guard<std::mutex> lock(m_sendLock);
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        m_addr = OrxAddr{};
    }
    m_reader = FrameReader{};
}

bool OrxLink::IsOpen() const
{
    std::lock_guard<std::mutex> lock(m_sendLock);
    return m_fd >= 0;
}

OrxAddr OrxLink::Addr() const
{
    std::lock_guard<std::mutex> lock(m_sendLock);
    return m_addr;
}

ULONG OrxLink::Send(const OrxCmd& header, const void* data, size_t length)
{
    if (length > MAX_FRAME - sizeof(OrxCmd))
        return VOSERR_INVALID_SIZE;
    std::lock_guard<std::mutex> lock(m_sendLock);
    if (m_fd < 0)
        return VOSERR_PORT_NOT_CONNECTED;
    OrxCmd h = header;
    h.source = m_addr;
    return SendFrame(m_fd, h, data, length) ? VOSERR_NOERROR : VOSERR_PORT_NOT_CONNECTED;
}

int OrxLink::Receive(OrxMessage& msg, int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;)
    {
        bool bad = false;
        if (m_reader.Next(msg, bad))
            return 1;
        if (bad || m_fd < 0)
            return -1;
        int wait = -1;
        if (timeoutMs >= 0)
        {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                return 0;
            wait = static_cast<int>(left);
        }
        pollfd pfd{m_fd, POLLIN, 0};
        int n = ::poll(&pfd, 1, wait);
        if (n < 0 && errno != EINTR)
            return -1;
        if (n > 0 && m_reader.Fill(m_fd) == FrameReader::Fill_::Closed)
            return -1;
    }
}

ULONG ResolvePortName(const std::string& name, OrxAddr& addr)
{
    if (name.empty() || name.size() > MAX_PORT_NAME)
        return VOSERR_INVALID_PARAMETER;
    ULONG error = VOSERR_NOERROR;
    int fd = ConnectRouter(error);
    if (fd < 0)
        return error;
    OrxMessage answer;
    FrameReader reader;
    error = RouterRequest(fd, reader, ROUTER_CMD_RESOLVE, name.data(), name.size(), answer, ROUTER_ANSWER_MS);
    ::close(fd);
    if (error == VOSERR_NOERROR)
    {
        if (answer.Cmd()->length != sizeof(OrxAddr))
            return VOSERR_INVALID_MESSAGE;
        std::memcpy(&addr, answer.Cmd()->Data(), sizeof addr);
    }
    return error;
}

} // namespace vos
