// The server's one thread for output that sockets would not take at once. A
// sender never waits for a peer: what a socket leaves over stays in its
// connection's output and is handed here, and the sender goes back to its own
// work. This thread writes on as the sockets take more, and gives up on a
// connection whose peer takes nothing for the send time-out.
#pragma once
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace uatcp
{
class ServerConnection;

class OutputFlusher
{
public:
    OutputFlusher() = default;
    ~OutputFlusher();
    OutputFlusher(const OutputFlusher&) = delete;
    OutputFlusher& operator=(const OutputFlusher&) = delete;

    bool start();
    // Ends the thread and lets go of every connection still waiting.
    void stop();
    // The connection's output waits for its socket; called by the thread that has just stopped
    // writing it, which hands the writing over until flushOutput() reports it done.
    void watch(std::shared_ptr<ServerConnection> connection);
    // Connections whose output waits now.
    size_t waiting();

private:
    void run();
    // False when the socket cannot be watched: the connection is then ended.
    bool arm(ServerConnection* connection, bool added);
    void forget(ServerConnection* connection);

    int m_epoll = -1;
    int m_wake = -1;
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<std::shared_ptr<ServerConnection>> m_incoming;
    bool m_stopping = false;
    // Under m_mutex: whether watch hands connections over and wakes the thread; cleared by stop
    // before it closes the wake descriptor.
    bool m_accepting = false;
    // The flusher thread's own: the connections whose output it writes.
    std::unordered_map<ServerConnection*, std::shared_ptr<ServerConnection>> m_watched;
    std::atomic<size_t> m_waiting{0};
};
} // namespace uatcp
