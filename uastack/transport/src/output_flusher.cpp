#include "output_flusher.h"

#include "server_connection.h"

#include <cerrno>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace uatcp
{
namespace
{
// How often a waiting connection is looked at for a peer that takes nothing.
constexpr int kStallCheckMs = 100;
} // namespace

OutputFlusher::~OutputFlusher()
{
    stop();
}

bool OutputFlusher::start()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = false;
    }
    m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
    m_wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_epoll < 0 || m_wake < 0)
        return false;
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.ptr = nullptr;
    if (::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_wake, &event) != 0)
        return false;
    m_thread = std::thread([this] { run(); });
    std::lock_guard lock(m_mutex);
    m_accepting = true;
    return true;
}

void OutputFlusher::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_accepting = false;
    }
    if (m_thread.joinable())
    {
        uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(m_wake, &one, sizeof one);
        m_thread.join();
    }
    for (auto& [raw, connection] : m_watched)
        connection->abandonOutput();
    m_watched.clear();
    std::vector<std::shared_ptr<ServerConnection>> incoming;
    {
        std::lock_guard lock(m_mutex);
        incoming.swap(m_incoming);
    }
    for (auto& connection : incoming)
        connection->abandonOutput();
    m_waiting = 0;
    for (int* fd : {&m_epoll, &m_wake})
    {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

void OutputFlusher::watch(std::shared_ptr<ServerConnection> connection)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_accepting)
        {
            m_incoming.push_back(std::move(connection));
            ++m_waiting;
            // Under the lock: stop closes the descriptor only after it has cleared m_accepting, so
            // the write never reaches a closed descriptor, nor one that another file took over.
            uint64_t one = 1;
            [[maybe_unused]] ssize_t n = ::write(m_wake, &one, sizeof one);
            return;
        }
    }
    // Nobody would write it: the connection ends.
    connection->abandonOutput();
}

size_t OutputFlusher::waiting()
{
    return m_waiting.load();
}

bool OutputFlusher::arm(ServerConnection* connection, bool added)
{
    epoll_event event{};
    // One event per arming: the thread writes, then arms again if the socket left some over.
    event.events = EPOLLOUT | EPOLLONESHOT;
    event.data.ptr = connection;
    if (::epoll_ctl(m_epoll, added ? EPOLL_CTL_ADD : EPOLL_CTL_MOD, connection->outputFd(), &event) == 0)
        return true;
    connection->abandonOutput();
    return false;
}

void OutputFlusher::forget(ServerConnection* connection)
{
    ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, connection->outputFd(), nullptr);
    // The last reference may be this one: the connection goes outside the table.
    auto kept = std::move(m_watched[connection]);
    m_watched.erase(connection);
    --m_waiting;
}

void OutputFlusher::run()
{
    std::vector<epoll_event> events(64);
    std::vector<std::shared_ptr<ServerConnection>> incoming;
    for (;;)
    {
        int n = ::epoll_wait(m_epoll, events.data(), static_cast<int>(events.size()),
                             m_watched.empty() ? -1 : kStallCheckMs);
        if (n < 0 && errno != EINTR)
            return;
        for (int i = 0; i < n; ++i)
        {
            auto* connection = static_cast<ServerConnection*>(events[i].data.ptr);
            if (connection == nullptr)
            {
                uint64_t count = 0;
                [[maybe_unused]] ssize_t r = ::read(m_wake, &count, sizeof count);
                continue;
            }
            if (connection->flushOutput() != ServerConnection::FlushResult::WaitForSocket ||
                !arm(connection, false))
                forget(connection);
        }
        {
            std::lock_guard lock(m_mutex);
            if (m_stopping)
                return;
            incoming.swap(m_incoming);
        }
        for (auto& connection : incoming)
        {
            ServerConnection* raw = connection.get();
            // A connection is handed over again only after its last hand-over was done with.
            bool added = m_watched.emplace(raw, std::move(connection)).second;
            if (!added)
                --m_waiting;
            if (!arm(raw, added))
                forget(raw);
        }
        incoming.clear();
        auto now = Clock::now();
        std::vector<ServerConnection*> stalled;
        for (auto& [raw, connection] : m_watched)
        {
            if (connection->outputStalled(now))
                stalled.push_back(raw);
        }
        // Closed for its stall: what it still held is dropped, and so is the connection.
        for (ServerConnection* raw : stalled)
        {
            raw->flushOutput();
            forget(raw);
        }
    }
}
} // namespace uatcp
