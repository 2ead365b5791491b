// Round trips per second of a small Read (one Double value) over loopback
// against the test server, with 1 and with 16 concurrent connections, each
// connection with its own session; over None and over Basic256
// SignAndEncrypt.
#include "test_certificates.h"
#include "uatcp_session_client.h"
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

void readRoundTrips(benchmark::State& state, const char* policyUri, OpcUa_MessageSecurityMode mode)
{
    if (server() == nullptr)
    {
        state.SkipWithError("server failed");
        return;
    }
    SessionClient connection;
    ClientCredentials own{credentials().client.certificate, credentials().client.privateKeyDer(),
                          credentials().server.certificate};
    if (OpcUa_IsBad(connection.connect(server()->url(), policyUri, mode, &own)) ||
        !connection.createSession())
    {
        state.SkipWithError("connection failed");
        return;
    }
    for (auto _ : state)
    {
        if (!connection.readDouble())
        {
            state.SkipWithError("read failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_ReadRoundTrip(benchmark::State& state)
{
    readRoundTrips(state, kPolicyNoneUri, OpcUa_MessageSecurityMode_None);
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
