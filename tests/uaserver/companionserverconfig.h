// The test server's configuration with the DI and PLCopen models in place of the test namespace:
// its start-up starts DI and then PLCopen (namespaces 2 and 3), its shut-down ends both, and they
// are deleted with the configuration, after the core has shut down, as the application does it.
#pragma once

#include "testserverconfig.h"

#include <companion_models.h>

class CompanionServerConfig : public TestServerConfig
{
public:
    explicit CompanionServerConfig(TestServerOptions options)
        : TestServerConfig(std::move(options), [] { return nullptr; })
    {
    }

    UaStatus startUp(ServerManager* serverManager) override
    {
        m_models.startUp(serverManager);
        return OpcUa_Good;
    }
    UaStatus shutDown() override { return m_models.shutDown(); }

private:
    uaserver::testing::CompanionModels m_models;
};
