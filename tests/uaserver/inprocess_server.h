// The test server's modules in the test's own process, for tests that reach into the server while
// clients talk to it over loopback: the core on a configuration, the configuration's namespace,
// then the server module. Stopped in the reverse order, each step on its own call.
#pragma once

#include "testserverconfig.h"

#include <coremodule.h>
#include <uamodule.h>
#include <uaserver.h>

#include <gtest/gtest.h>

namespace uaservertest
{
class InProcessServer
{
public:
    InProcessServer() = default;
    InProcessServer(const InProcessServer&) = delete;
    InProcessServer& operator=(const InProcessServer&) = delete;
    ~InProcessServer()
    {
        stopServer();
        stopCore();
    }

    // False, with the failed step reported to the test, unless all started.
    bool start(TestServerConfig& config)
    {
        m_core = new CoreModule();
        if (!checked(m_core->initialize() == 0 && m_core->startUp(&config) == 0, "core") ||
            !checked(config.startUp(m_core->getServerManager()).isGood(), "namespace"))
            return false;
        m_module = new UaModule();
        return checked(m_module->startUp(m_core) == 0, "server module");
    }
    UaServer* server() const { return m_module ? m_module->server() : nullptr; }

    // The server module stops (its endpoints close), then the core.
    void stopServer()
    {
        if (m_module == nullptr)
            return;
        EXPECT_EQ(0, m_module->shutDown());
        delete m_module;
        m_module = nullptr;
    }
    void stopCore()
    {
        if (m_core == nullptr)
            return;
        EXPECT_EQ(0, m_core->shutDown());
        delete m_core;
        m_core = nullptr;
    }

private:
    static bool checked(bool good, const char* step)
    {
        EXPECT_TRUE(good) << step << " did not start";
        return good;
    }

    CoreModule* m_core = nullptr;
    UaModule* m_module = nullptr;
};
} // namespace uaservertest
