// A small OPC UA server made of the stack alone: GetEndpoints, FindServers,
// CreateSession, ActivateSession, Read of a few fixed values and
// CloseSession, behind one None endpoint on loopback.
#pragma once
#include <opcua.h>

#include <atomic>
#include <mutex>
#include <set>
#include <string>

namespace uatcp::test
{
// Values the Read service answers with (namespace 1, numeric ids).
constexpr OpcUa_UInt32 kDoubleNode = 1;        // 3.5
constexpr OpcUa_UInt32 kStringNode = 2;        // "uatcp"
constexpr OpcUa_UInt32 kBigArrayNode = 3;      // Int32[kBigArrayLength], element i = i
constexpr OpcUa_Int32 kBigArrayLength = 60000; // 240 kB: several chunks
constexpr double kDoubleValue = 3.5;
constexpr const char* kApplicationUri = "urn:uatcp:testserver";

class TestServer
{
public:
    TestServer();
    ~TestServer();
    // Opens the endpoint on a free port of host; false when that fails. A
    // service table of the caller's replaces the test server's own.
    bool start(const std::string& host = "127.0.0.1", OpcUa_ServiceType** services = nullptr);
    void stop();
    const std::string& url() const { return m_url; }

    std::atomic<int> opened{0};
    std::atomic<int> openFailed{0};
    std::atomic<int> closed{0};
    std::atomic<int> renewed{0};
    std::atomic<int> unsupported{0};
    std::atomic<int> decodeErrors{0};
    std::atomic<int> sessionsCreated{0};
    std::atomic<int> reads{0};
    std::atomic<OpcUa_UInt32> lastOpenedChannel{0};

    // Service implementations reach the running instance through this.
    static TestServer* instance;
    OpcUa_NodeId newSession();
    bool hasSession(const OpcUa_NodeId& token);
    bool closeSession(const OpcUa_NodeId& token);

private:
    OpcUa_Endpoint m_endpoint = nullptr;
    OpcUa_Handle m_platform = nullptr;
    std::string m_url;
    std::mutex m_mutex;
    std::set<OpcUa_UInt32> m_sessions;
    OpcUa_UInt32 m_nextSession = 1000;
};

// A free TCP port on loopback at the time of the call.
uint16_t freePort();
} // namespace uatcp::test
