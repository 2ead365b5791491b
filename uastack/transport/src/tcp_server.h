// The server half of the transport: listeners, the connections they accept
// (each with its reader thread and secure channel) and the worker pool that
// runs requests.
#pragma once
#include "server_connection.h"

#include <functional>

namespace uatcp
{
class TcpServer
{
public:
    TcpServer(ServerSettings settings, ServerHandler& handler);
    ~TcpServer();
    uint32_t open(const std::string& url);
    void close();
    const ServerSettings& settings() const { return m_settings; }
    ServerHandler& handler() { return m_handler; }
    bool dispatch(std::function<void()> job) { return m_pool.post(std::move(job)); }
    uint16_t port() const { return m_port; }
    size_t connectionCount();

private:
    void acceptLoop();
    void reapFinished();

    ServerSettings m_settings;
    ServerHandler& m_handler;
    WorkerPool m_pool;
    std::vector<Socket> m_listeners;
    Socket m_wakeRead;
    Socket m_wakeWrite;
    std::thread m_acceptThread;
    std::atomic<bool> m_stopping{false};
    std::mutex m_mutex;
    std::vector<std::shared_ptr<ServerConnection>> m_connections;
    uint16_t m_port = 0;
};

uint32_t nextSecureChannelId();
} // namespace uatcp
