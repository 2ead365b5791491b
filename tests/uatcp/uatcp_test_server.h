// A small OPC UA server made of the stack alone: GetEndpoints, FindServers,
// CreateSession, ActivateSession, Read of a few fixed values and
// CloseSession, behind one None endpoint on loopback.
#pragma once
#include <opcua.h>
#include <opcua_transport.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace uatcp::test
{
// Values the Read service answers with (namespace 1, numeric ids).
constexpr OpcUa_UInt32 kDoubleNode = 1;        // 3.5
constexpr OpcUa_UInt32 kStringNode = 2;        // "uatcp"
constexpr OpcUa_UInt32 kBigArrayNode = 3;      // Int32[kBigArrayLength], element i = i
constexpr OpcUa_Int32 kBigArrayLength = 60000; // 240 kB: several chunks
constexpr double kDoubleValue = 3.5;
constexpr const char* kApplicationUri = "urn:uatcp:testserver";

// What a secured endpoint of the test server offers beside None.
struct TestSecurity
{
    std::vector<uint8_t> certificate; // DER
    std::vector<uint8_t> privateKey;  // DER
    std::string trustedFolder;        // UTF-8 paths of the folder store
    std::string revocationPath;
    // Policy URIs with their mode masks (0x2 Sign, 0x4 SignAndEncrypt).
    std::vector<std::pair<std::string, uint16_t>> policies;
};

class TestServer
{
public:
    TestServer();
    ~TestServer();
    // Opens the endpoint on a free port of host; false when that fails. A
    // service table of the caller's replaces the test server's own.
    bool start(const std::string& host = "127.0.0.1", OpcUa_ServiceType** services = nullptr,
               const TestSecurity* security = nullptr);
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
    std::atomic<int> sessionsActivated{0};
    std::atomic<OpcUa_StatusCode> lastCloseStatus{0};

    // The last refused OpenSecureChannel: its status and the client certificate.
    OpcUa_StatusCode lastOpenFailure();
    std::vector<uint8_t> lastRefusedCertificate();
    void recordRefusal(OpcUa_StatusCode status, const OpcUa_ByteString* certificate);
    const TestSecurity* security() const { return m_secured ? &m_security : nullptr; }

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
    bool m_secured = false;
    TestSecurity m_security;
    std::shared_ptr<void> m_pkiConfig;
    OpcUa_StatusCode m_lastOpenFailure = OpcUa_Good;
    std::vector<uint8_t> m_lastRefusedCertificate;
};

// Begins the response of a service handler; every handler answers through it and endResponse.
template <typename Response>
inline Response* beginResponse(OpcUa_Endpoint endpoint, OpcUa_Handle context, OpcUa_EncodeableType** type,
                               const OpcUa_RequestHeader& header)
{
    OpcUa_Void* response = nullptr;
    if (OpcUa_IsBad(OpcUa_Endpoint_BeginSendResponse(endpoint, context, &response, type)))
        return nullptr;
    auto* r = static_cast<Response*>(response);
    r->ResponseHeader.Timestamp = OpcUa_DateTime_UtcNow();
    r->ResponseHeader.RequestHandle = header.RequestHandle;
    return r;
}

template <typename Response>
inline OpcUa_StatusCode endResponse(OpcUa_Endpoint endpoint, OpcUa_Handle context, Response* response,
                                    OpcUa_EncodeableType* type)
{
    OpcUa_Void* object = response;
    OpcUa_StatusCode result = OpcUa_Endpoint_EndSendResponse(endpoint, &context, OpcUa_Good, object, type);
    OpcUa_EncodeableObject_Delete(type, &object);
    return OpcUa_IsBad(result) && result != OpcUa_BadSecureChannelClosed ? result : OpcUa_Good;
}

// A free TCP port on loopback at the time of the call.
uint16_t freePort();
} // namespace uatcp::test
