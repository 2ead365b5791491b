// A discovery server stand-in on loopback: the stack-only test server of the transport tests with a
// service table of its own, whose GetEndpoints answers a scripted list and whose RegisterServer
// records what it received and over which security the channel carried it.
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
    std::string channelPolicy;    // of the secure channel the request came on
    OpcUa_UInt16 channelMode = 0; // OPCUA_ENDPOINT_MESSAGESECURITYMODE_* bit
};

// One endpoint GetEndpoints offers; a secured stand-in names its certificate in each.
struct ScriptedEndpoint
{
    std::string url;
    std::string policy;
    OpcUa_MessageSecurityMode mode = OpcUa_MessageSecurityMode_None;
};

class DiscoveryStandIn
{
public:
    DiscoveryStandIn();
    ~DiscoveryStandIn();
    DiscoveryStandIn(const DiscoveryStandIn&) = delete;
    DiscoveryStandIn& operator=(const DiscoveryStandIn&) = delete;

    // Without security the stand-in offers the None policy alone.
    bool start(const uatcp::test::TestSecurity* security = nullptr);
    void stop() { m_server.stop(); }
    const std::string& url() const { return m_server.url(); }

    // The endpoints GetEndpoints offers from now on.
    void script(std::vector<ScriptedEndpoint> endpoints);
    int getEndpointsCalls() const;
    // The status of the last OpenSecureChannel the stand-in refused.
    OpcUa_StatusCode lastRefusal() { return m_server.lastOpenFailure(); }
    std::vector<RegisteredServerCopy> registrations() const;

private:
    friend struct DiscoveryStandInServices;
    uatcp::test::TestServer m_server;
    mutable std::mutex m_mutex;
    std::vector<ScriptedEndpoint> m_script;
    int m_getEndpointsCalls = 0;
    std::vector<RegisteredServerCopy> m_registrations;
};
} // namespace uaservertest
