// The server half of the transport: listeners, the connections they accept
// (each with its reader thread and secure channel), the flusher that writes
// what their sockets would not take at once and, when switched on, the worker
// pool that runs requests.
#pragma once
#include "output_flusher.h"
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
    // Hands a job to the worker pool; false without one, or when it refuses.
    bool dispatch(std::function<void()> job) { return m_pool && m_pool->post(std::move(job)); }
    ReceiveBudget& budget() { return m_budget; }
    OutputFlusher& flusher() { return m_flusher; }
    uint16_t port() const { return m_port; }
    size_t connectionCount();
    // Marks whether the open secure channel carries an activated session; false when there is no such
    // channel.
    bool setSessionActive(uint32_t channelId, bool active);

private:
    void acceptLoop();
    void reapFinished();
    // Makes room for a new connection when the limit is reached; false when nothing may be evicted.
    bool makeRoomLocked();

    ServerSettings m_settings;
    ServerHandler& m_handler;
    ReceiveBudget m_budget;
    std::unique_ptr<WorkerPool> m_pool;
    OutputFlusher m_flusher;
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
