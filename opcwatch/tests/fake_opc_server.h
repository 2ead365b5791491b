// The server operations behind the Vos requests, as a test double: start and stop count,
// the running server's settings live in an object that stop deletes (so a request that uses
// them outside the lock meets freed memory under the sanitizers), and every settings access
// checks that its thread holds the server's lock.
#pragma once

#include "opcvosserver.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

class FakeOpcServer : public OpcServerOperations
{
public:
    OpcUa_StatusCode StartUaServer() override
    {
        std::lock_guard guard(*this);
        ++m_starts;
        if (m_startFails)
            return 0x80000000;
        if (!m_settings)
            m_settings = std::make_unique<Settings>();
        return OpcUa_Good;
    }

    OpcUa_StatusCode StopUaServer() override
    {
        std::lock_guard guard(*this);
        ++m_stops;
        m_settings.reset();
        return OpcUa_Good;
    }

    void lockServer() override
    {
        m_lock.lock();
        m_owner = std::this_thread::get_id();
        ++m_depth;
    }

    void unlockServer() override
    {
        if (--m_depth == 0)
            m_owner = std::thread::id();
        m_lock.unlock();
    }

    bool isServerRunning() override
    {
        checkLocked();
        return m_settings != nullptr;
    }

    OpcUa_UInt32 defaultSubscriptionMode() override
    {
        checkLocked();
        return m_settings->m_defaultSubscriptionMode;
    }

    void setDefaultSubscriptionMode(OpcUa_UInt32 mode) override
    {
        checkLocked();
        m_settings->m_defaultSubscriptionMode = mode;
    }

    // For std::lock_guard.
    void lock() { lockServer(); }
    void unlock() { unlockServer(); }

    std::atomic<int> m_starts{0};
    std::atomic<int> m_stops{0};
    // Accesses from a thread that did not hold the lock.
    std::atomic<int> m_unlockedAccesses{0};
    bool m_startFails = false;

private:
    struct Settings
    {
        // As a configuration without the element has it.
        OpcUa_UInt32 m_defaultSubscriptionMode = 2;
    };

    void checkLocked()
    {
        if (m_owner.load() != std::this_thread::get_id())
            ++m_unlockedAccesses;
    }

    std::recursive_mutex m_lock;
    std::atomic<std::thread::id> m_owner{};
    int m_depth = 0;
    std::unique_ptr<Settings> m_settings;
};
