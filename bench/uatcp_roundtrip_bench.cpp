// Round trips per second of a small Read (one Double value) over loopback
// against the test server, with 1 and with 16 concurrent connections, each
// connection with its own session; over None and over Basic256
// SignAndEncrypt.
#include "test_certificates.h"
#include "uatcp_test_server.h"

#include <opcua.h>
#include <opcua_crypto.h>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>

using namespace uatcp::test;

namespace
{
constexpr const char* kNone = "http://opcfoundation.org/UA/SecurityPolicy#None";

// The certificates of both sides and the server's trust list (the client's certificate in it).
struct Credentials
{
    sectest::TempFolder folder;
    sectest::Identity server = sectest::makeIdentity("bench server", 2048);
    sectest::Identity client = sectest::makeIdentity("bench client", 2048);
    std::string trusted = folder.path() + "/trusted";
    Credentials()
    {
        std::filesystem::create_directories(trusted);
        setenv("DEVICE_ROOT", folder.path().c_str(), 1);
        sectest::writeFile(trusted + "/client.der", client.certificate);
    }
};

Credentials& credentials()
{
    static Credentials instance;
    return instance;
}

// One server with a None and a Basic256 (Sign, SignAndEncrypt) endpoint.
std::unique_ptr<TestServer>& serverInstance()
{
    static std::unique_ptr<TestServer> instance;
    return instance;
}

TestServer* server()
{
    static std::once_flag started;
    std::call_once(started,
                   []
                   {
                       auto& instance = serverInstance();
                       instance = std::make_unique<TestServer>();
                       TestSecurity security;
                       security.certificate = credentials().server.certificate;
                       security.privateKey = credentials().server.privateKeyDer();
                       security.trustedFolder = credentials().trusted;
                       security.policies = {{OpcUa_SecurityPolicy_Basic256,
                                             OPCUA_ENDPOINT_MESSAGESECURITYMODE_SIGN |
                                                 OPCUA_ENDPOINT_MESSAGESECURITYMODE_SIGNANDENCRYPT}};
                       if (!instance->start("127.0.0.1", nullptr, &security))
                           instance.reset();
                   });
    return serverInstance().get();
}

OpcUa_ByteString view(std::vector<uint8_t>& bytes)
{
    OpcUa_ByteString s;
    s.Length = static_cast<OpcUa_Int32>(bytes.size());
    s.Data = bytes.data();
    return s;
}

// One connection with an active session.
class Connection
{
public:
    Connection(const std::string& url, const char* policyUri, OpcUa_MessageSecurityMode mode)
    {
        bool secured = mode != OpcUa_MessageSecurityMode_None;
        std::vector<uint8_t> clientCertificate = credentials().client.certificate;
        std::vector<uint8_t> serverCertificate = credentials().server.certificate;
        std::vector<uint8_t> keyBytes = credentials().client.privateKeyDer();
        OpcUa_ByteString client = view(clientCertificate), serverCert = view(serverCertificate);
        OpcUa_Key key{OpcUa_Crypto_KeyType_Rsa_Private, view(keyBytes)};
        OpcUa_Channel_Create(&m_channel, OpcUa_Channel_SerializerType_Binary);
        OpcUa_String policy;
        OpcUa_String_Initialize(&policy);
        OpcUa_String_AttachCopy(&policy, policyUri);
        m_ok = OpcUa_IsGood(OpcUa_Channel_Connect(
            m_channel, url.c_str(), nullptr, nullptr, secured ? &client : nullptr, secured ? &key : nullptr,
            secured ? &serverCert : nullptr, nullptr, &policy, 600000, mode, 30000));
        OpcUa_String_Clear(&policy);
        OpcUa_NodeId_Initialize(&m_token);
        if (!m_ok)
            return;
        OpcUa_CreateSessionRequest create;
        OpcUa_CreateSessionRequest_Initialize(&create);
        create.RequestedSessionTimeout = 600000;
        std::vector<uint8_t> nonce(32, 7);
        if (secured)
        {
            create.ClientCertificate = view(clientCertificate);
            create.ClientNonce = view(nonce);
        }
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

void readRoundTrips(benchmark::State& state, const char* policyUri, OpcUa_MessageSecurityMode mode)
{
    if (server() == nullptr)
    {
        state.SkipWithError("server failed");
        return;
    }
    Connection connection(server()->url(), policyUri, mode);
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

void BM_ReadRoundTrip(benchmark::State& state)
{
    readRoundTrips(state, kNone, OpcUa_MessageSecurityMode_None);
}
BENCHMARK(BM_ReadRoundTrip)->Threads(1)->Threads(16)->UseRealTime()->MinTime(2.0);

void BM_ReadRoundTripBasic256SignAndEncrypt(benchmark::State& state)
{
    readRoundTrips(state, OpcUa_SecurityPolicy_Basic256, OpcUa_MessageSecurityMode_SignAndEncrypt);
}
BENCHMARK(BM_ReadRoundTripBasic256SignAndEncrypt)->Threads(1)->Threads(16)->UseRealTime()->MinTime(2.0);
} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // The server and its threads end before the program does.
    serverInstance().reset();
    return 0;
}
