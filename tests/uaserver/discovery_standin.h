// A discovery server stand-in on loopback: the stack-only test server of the transport tests with a
// service table of its own, whose GetEndpoints answers a scripted list and whose RegisterServer
// records what it received.
#pragma once

#include <uatcp_test_server.h>

#include <opcua.h>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace uaservertest
{
// What one RegisterServer carried.
struct RegisteredServerCopy
{
    std::string serverUri, productUri, gatewayServerUri, semaphoreFilePath;
    std::vector<std::pair<std::string, std::string>> serverNames; // locale, text
    int serverType = -1;
    std::vector<std::string> discoveryUrls;
    bool isOnline = false;
};

class DiscoveryStandIn
{
public:
    DiscoveryStandIn();
    ~DiscoveryStandIn();
    DiscoveryStandIn(const DiscoveryStandIn&) = delete;
    DiscoveryStandIn& operator=(const DiscoveryStandIn&) = delete;

    bool start();
    void stop() { m_server.stop(); }
    const std::string& url() const { return m_server.url(); }

    // The endpoints GetEndpoints offers from now on: (URL, security policy URI), mode None.
    void script(std::vector<std::pair<std::string, std::string>> endpoints);
    int getEndpointsCalls() const;
    std::vector<RegisteredServerCopy> registrations() const;

private:
    friend struct DiscoveryStandInServices;
    uatcp::test::TestServer m_server;
    mutable std::mutex m_mutex;
    std::vector<std::pair<std::string, std::string>> m_script;
    int m_getEndpointsCalls = 0;
    std::vector<RegisteredServerCopy> m_registrations;
};
} // namespace uaservertest
