// A transport-only server for tests: answers every request with its own
// body, from the worker threads, and records the channel events.
#pragma once
#include "tcp_server.h"
#include "tcp_status.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace uatcp::test
{
struct RecordedEvent
{
    ChannelEvent event;
    uint32_t channelId;
    uint32_t status;
    Bytes certificate;
};

struct HeldRequest
{
    std::shared_ptr<ServerConnection> connection;
    uint32_t channelId;
    uint32_t requestId;
    Bytes body;
};

class EchoHandler : public ServerHandler
{
public:
    void onChannelEvent(ChannelEvent event, uint32_t channelId, uint32_t status, const Bytes& certificate,
                        const std::string&, SecurityMode) override
    {
        std::lock_guard lock(m_mutex);
        m_events.push_back({event, channelId, status, certificate});
        m_changed.notify_all();
    }
    void onRequest(const std::shared_ptr<ServerConnection>& connection, uint32_t channelId,
                   uint32_t requestId, Bytes body) override
    {
        if (holdRequests)
        {
            std::lock_guard lock(m_mutex);
            m_held.push_back({connection, channelId, requestId, std::move(body)});
            m_changed.notify_all();
            return;
        }
        // Bodies starting with 'S' are answered late, so later requests overtake them.
        if (!body.empty() && body[0] == 'S')
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        connection->sendResponse(channelId, requestId, 0, body);
    }
    size_t count(ChannelEvent event, bool good = true)
    {
        std::lock_guard lock(m_mutex);
        size_t n = 0;
        for (const auto& e : m_events)
            n += e.event == event && (status::isBad(e.status) != good);
        return n;
    }
    bool waitFor(ChannelEvent event, size_t atLeast, bool good = true, int timeoutMs = 30000)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;)
        {
            if (count(event, good) >= atLeast)
                return true;
            std::unique_lock lock(m_mutex);
            if (m_changed.wait_until(lock, deadline) == std::cv_status::timeout)
                return false;
        }
    }
    std::vector<RecordedEvent> events()
    {
        std::lock_guard lock(m_mutex);
        return m_events;
    }
    std::vector<HeldRequest> waitHeld(size_t count, int timeoutMs = 30000)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return m_held.size() >= count; });
        return std::move(m_held);
    }

    std::atomic<bool> holdRequests{false};

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<RecordedEvent> m_events;
    std::vector<HeldRequest> m_held;
};

inline ServerSettings echoSettings()
{
    ServerSettings s;
    s.policies.push_back({kSecurityPolicyNone, 0x1});
    return s;
}
} // namespace uatcp::test
