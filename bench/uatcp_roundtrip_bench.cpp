// Round trips per second of a small Read (one Double value) over loopback
// against the test server, with 1 and with 16 concurrent connections, each
// connection with its own session.
#include "uatcp_test_server.h"

#include <opcua.h>

#include <benchmark/benchmark.h>

#include <memory>
#include <mutex>

using namespace uatcp::test;

namespace
{
constexpr const char* kNone = "http://opcfoundation.org/UA/SecurityPolicy#None";

TestServer& server()
{
    static std::unique_ptr<TestServer> instance;
    static std::once_flag started;
    std::call_once(started,
                   []
                   {
                       instance = std::make_unique<TestServer>();
                       if (!instance->start())
                           instance.reset();
                   });
    return *instance;
}

// One connection with an active session.
class Connection
{
public:
    explicit Connection(const std::string& url)
    {
        OpcUa_Channel_Create(&m_channel, OpcUa_Channel_SerializerType_Binary);
        OpcUa_String policy;
        OpcUa_String_Initialize(&policy);
        OpcUa_String_AttachCopy(&policy, kNone);
        m_ok = OpcUa_IsGood(OpcUa_Channel_Connect(m_channel, url.c_str(), nullptr, nullptr, nullptr, nullptr,
                                                  nullptr, nullptr, &policy, 600000,
                                                  OpcUa_MessageSecurityMode_None, 30000));
        OpcUa_String_Clear(&policy);
        OpcUa_NodeId_Initialize(&m_token);
        if (!m_ok)
            return;
        OpcUa_CreateSessionRequest create;
        OpcUa_CreateSessionRequest_Initialize(&create);
        create.RequestedSessionTimeout = 600000;
        OpcUa_Void* response = nullptr;
        OpcUa_EncodeableType* type = nullptr;
        m_ok = OpcUa_IsGood(OpcUa_Channel_InvokeService(
                   m_channel, &create, &OpcUa_CreateSessionRequest_EncodeableType, &response, &type)) &&
               type == &OpcUa_CreateSessionResponse_EncodeableType;
        if (m_ok)
            OpcUa_NodeId_CopyTo(&static_cast<OpcUa_CreateSessionResponse*>(response)->AuthenticationToken,
                                &m_token);
        OpcUa_EncodeableObject_Delete(type, &response);

        OpcUa_ReadRequest_Initialize(&m_read);
        m_read.NoOfNodesToRead = 1;
        m_read.NodesToRead = static_cast<OpcUa_ReadValueId*>(OpcUa_Memory_Alloc(sizeof(OpcUa_ReadValueId)));
        OpcUa_ReadValueId_Initialize(m_read.NodesToRead);
        m_read.NodesToRead->NodeId.NamespaceIndex = 1;
        m_read.NodesToRead->NodeId.Identifier.Numeric = kDoubleNode;
        m_read.NodesToRead->AttributeId = 13;
        OpcUa_NodeId_CopyTo(&m_token, &m_read.RequestHeader.AuthenticationToken);
    }
    ~Connection()
    {
        OpcUa_ReadRequest_Clear(&m_read);
        OpcUa_NodeId_Clear(&m_token);
        OpcUa_Channel_Delete(&m_channel);
    }
    bool ok() const { return m_ok; }
    // One Read round trip; false unless the value came back.
    bool read()
    {
        OpcUa_Void* response = nullptr;
        OpcUa_EncodeableType* type = nullptr;
        bool good = OpcUa_IsGood(OpcUa_Channel_InvokeService(
                        m_channel, &m_read, &OpcUa_ReadRequest_EncodeableType, &response, &type)) &&
                    type == &OpcUa_ReadResponse_EncodeableType &&
                    static_cast<OpcUa_ReadResponse*>(response)->NoOfResults == 1 &&
                    static_cast<OpcUa_ReadResponse*>(response)->Results[0].Value.Value.Double == kDoubleValue;
        OpcUa_EncodeableObject_Delete(type, &response);
        return good;
    }

private:
    OpcUa_Channel m_channel = nullptr;
    OpcUa_NodeId m_token;
    OpcUa_ReadRequest m_read;
    bool m_ok = false;
};

void BM_ReadRoundTrip(benchmark::State& state)
{
    Connection connection(server().url());
    if (!connection.ok())
    {
        state.SkipWithError("connection failed");
        return;
    }
    for (auto _ : state)
    {
        if (!connection.read())
        {
            state.SkipWithError("read failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadRoundTrip)->Threads(1)->Threads(16)->UseRealTime()->MinTime(2.0);
} // namespace

BENCHMARK_MAIN();
