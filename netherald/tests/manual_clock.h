// A clock the test steps by hand, and a sender that keeps what it is given, for the SSDP
// notices of the device object.
#pragma once

#include "ssdp_announcer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace netheraldtest
{
class ManualClock : public netherald::Clock
{
public:
    bool waitFor(std::chrono::milliseconds duration, netherald::CancelToken& token) override
    {
        const int64_t deadline = m_now.load() + duration.count();
        {
            std::lock_guard lock(m_mutex);
            m_waiting.push_back(&token);
        }
        bool passed = false;
        {
            std::unique_lock lock(token.m_mutex);
            token.m_changed.wait(lock, [&] { return token.m_cancelled || m_now.load() >= deadline; });
            passed = !token.m_cancelled;
        }
        std::lock_guard lock(m_mutex);
        m_waiting.remove(&token);
        return passed;
    }

    void advance(std::chrono::milliseconds step)
    {
        m_now += step.count();
        std::lock_guard lock(m_mutex);
        for (netherald::CancelToken* token : m_waiting)
        {
            std::lock_guard wake(token->m_mutex);
            token->m_changed.notify_all();
        }
    }

    size_t waiting()
    {
        std::lock_guard lock(m_mutex);
        return m_waiting.size();
    }

    // Waits (generously, in real time) until `count` waits are in progress.
    bool waitForWaiters(size_t count)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (waiting() != count)
        {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

private:
    std::atomic<int64_t> m_now{0};
    std::mutex m_mutex;
    std::list<netherald::CancelToken*> m_waiting;
};

class RecordingSender : public netherald::DatagramSender
{
public:
    struct Datagram
    {
        std::string localAddress;
        std::string bytes;
    };

    void send(const std::string& localAddress, const std::string& datagram, netherald::UPnPLog&) override
    {
        std::lock_guard lock(m_mutex);
        m_sent.push_back({localAddress, datagram});
    }

    std::vector<Datagram> sent()
    {
        std::lock_guard lock(m_mutex);
        return m_sent;
    }

    // Waits (generously) until `count` datagrams went out.
    bool waitForSent(size_t count)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (sent().size() < count)
        {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

private:
    std::mutex m_mutex;
    std::vector<Datagram> m_sent;
};
} // namespace netheraldtest
