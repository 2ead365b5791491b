#include "tcp_server.h"

#include "tcp_status.h"

#include <algorithm>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace uatcp
{
namespace
{
constexpr int kAcceptPollMs = 500;
} // namespace

uint32_t nextSecureChannelId()
{
    static std::atomic<uint32_t> next{static_cast<uint32_t>(::getpid()) << 12 | 1};
    uint32_t id;
    do
        id = next.fetch_add(1);
    while (id == 0);
    return id;
}

TcpServer::TcpServer(ServerSettings settings, ServerHandler& handler)
    : m_settings(std::move(settings)), m_handler(handler), m_budget(m_settings.receiveBudget)
{
    if (m_settings.useWorkerPool)
        m_pool = std::make_unique<WorkerPool>(m_settings.pool);
}

TcpServer::~TcpServer()
{
    close();
}

uint32_t TcpServer::open(const std::string& url)
{
    OpcTcpUrl parsed;
    if (!parseOpcTcpUrl(url, parsed))
        return status::BadTcpEndpointUrlInvalid;
    uint32_t result = openListeners(parsed, m_listeners);
    if (status::isBad(result))
        return result;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0)
    {
        m_listeners.clear();
        return status::BadInternalError;
    }
    m_wakeRead = Socket(pipeFds[0]);
    m_wakeWrite = Socket(pipeFds[1]);
    if (!m_flusher.start())
    {
        m_listeners.clear();
        return status::BadInternalError;
    }
    m_port = localPort(m_listeners.front());
    m_acceptThread = std::thread([this] { acceptLoop(); });
    return status::Good;
}

void TcpServer::close()
{
    if (m_acceptThread.joinable())
    {
        m_stopping = true;
        char wake = 1;
        [[maybe_unused]] ssize_t n = ::write(m_wakeWrite.fd(), &wake, 1);
        m_acceptThread.join();
    }
    std::vector<std::shared_ptr<ServerConnection>> connections;
    {
        std::lock_guard lock(m_mutex);
        connections.swap(m_connections);
    }
    for (auto& c : connections)
        c->stop();
    // Workers first: a blocked reader waiting for queue space is released by it.
    if (m_pool)
        m_pool->stop();
    // Output still waiting for a socket is dropped with its connection.
    m_flusher.stop();
    for (auto& c : connections)
        c->join();
    m_listeners.clear();
}

size_t TcpServer::connectionCount()
{
    std::lock_guard lock(m_mutex);
    reapFinished();
    return m_connections.size();
}

void TcpServer::reapFinished()
{
    auto finished = std::stable_partition(m_connections.begin(), m_connections.end(),
                                          [](const auto& c) { return !c->finished(); });
    for (auto it = finished; it != m_connections.end(); ++it)
        (*it)->join();
    m_connections.erase(finished, m_connections.end());
}

bool TcpServer::setSessionActive(uint32_t channelId, bool active)
{
    std::lock_guard lock(m_mutex);
    for (const auto& c : m_connections)
    {
        if (!c->finished() && !c->evicted() && c->channelId() == channelId)
        {
            c->setSessionActive(active);
            return true;
        }
    }
    return false;
}

bool TcpServer::makeRoomLocked()
{
    size_t counted = std::count_if(m_connections.begin(), m_connections.end(),
                                   [](const auto& c) { return !c->evicted(); });
    if (counted < m_settings.maxConnections)
        return true;
    // Connections are kept oldest first. Silent connections and stalled handshakes go first, then
    // channels that carry no session, so that connections nobody uses cannot lock clients out.
    auto now = Clock::now();
    auto pick = [&](auto evictable)
    {
        auto it = std::find_if(m_connections.begin(), m_connections.end(),
                               [&](const auto& c) { return !c->evicted() && evictable(*c); });
        return it == m_connections.end() ? nullptr : it->get();
    };
    ServerConnection* victim = pick([&](const ServerConnection& c) { return c.stalledInHandshake(now); });
    if (victim == nullptr)
        victim = pick([](const ServerConnection& c) { return c.channelWithoutSession(); });
    if (victim == nullptr)
        return false;
    victim->evict();
    return true;
}

void TcpServer::acceptLoop()
{
    std::vector<pollfd> fds;
    for (const auto& l : m_listeners)
        fds.push_back(pollfd{l.fd(), POLLIN, 0});
    fds.push_back(pollfd{m_wakeRead.fd(), POLLIN, 0});
    while (!m_stopping)
    {
        for (auto& p : fds)
            p.revents = 0;
        int n = ::poll(fds.data(), fds.size(), kAcceptPollMs);
        {
            std::lock_guard lock(m_mutex);
            reapFinished();
        }
        if (n <= 0 || m_stopping)
            continue;
        for (size_t i = 0; i + 1 < fds.size(); ++i)
        {
            if ((fds[i].revents & POLLIN) == 0)
                continue;
            Socket socket = acceptConnection(m_listeners[i]);
            if (!socket.valid())
                continue;
            std::lock_guard lock(m_mutex);
            reapFinished();
            if (!makeRoomLocked())
            {
                Bytes message =
                    encodeError(ErrorMessage{status::BadTcpServerTooBusy, "Too many connections"});
                writeAll(socket.fd(), message.data(), message.size(), 100);
                continue;
            }
            auto connection = std::make_shared<ServerConnection>(*this, std::move(socket));
            m_connections.push_back(connection);
            connection->start();
        }
    }
}
} // namespace uatcp
