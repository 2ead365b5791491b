// The registration of the server with a discovery server: the stand-in on loopback answers
// GetEndpoints from a script and records RegisterServer; the server runs on fake endpoints.
#include "discovery_standin.h"

#include <discoveryserverentry.h>
#include <test_certificates.h>
#include <uaservertestbed.h>

#include <opcua_testclock.hpp>
#include <uatracecapture.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

namespace
{
using namespace servertest;
using uaservertest::DiscoveryStandIn;
using uaservertest::ScriptedEndpoint;

constexpr const char* kBasic256 = "http://opcfoundation.org/UA/SecurityPolicy#Basic256";

// Started before the bed: the fake endpoint factory would turn its endpoint into a fake one.
struct StartedStandIn : DiscoveryStandIn
{
    StartedStandIn() { EXPECT_TRUE(start()); }
};

template <class Predicate> bool waitFor(Predicate done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done())
    {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

std::string failedRegistration(OpcUa_StatusCode result)
{
    char text[80];
    std::snprintf(text, sizeof text, "Error: Registration with Discovery Server failed [ret=0x%lx]",
                  static_cast<unsigned long>(result));
    return text;
}

// The lines of the stack client calls, in order.
std::vector<std::string> clientCalls(const UaTraceCapture& traces)
{
    std::vector<std::string> calls;
    for (const auto& text : traces.texts())
        if (text.rfind("CALL OpcUa_C", 0) == 0 || text.rfind("DONE OpcUa_C", 0) == 0)
            calls.push_back(text);
    return calls;
}

// A server whose background thread waits for the test instead of 10 s: the time-out it asks for
// is recorded, and only wakeUp (a step, or shutDown) ends a wait.
class SteppedServer : public UaServer
{
public:
    ~SteppedServer() override { shutDown(); }

    // Moves the clock on and wakes the thread once; returns when it waits again.
    bool step(OpcUa::TestClock& clock, OpcUa_UInt32 milliseconds)
    {
        const size_t before = waits().size();
        clock.advance(milliseconds);
        wakeUp();
        return waitForWaits(before + 1);
    }
    bool waitForWaits(size_t count)
    {
        std::unique_lock lock(m_mutex);
        return m_waiting.wait_for(lock, std::chrono::seconds(60), [&] { return m_waits.size() >= count; });
    }
    std::vector<OpcUa_UInt32> waits()
    {
        std::lock_guard lock(m_mutex);
        return m_waits;
    }

protected:
    void waitForWakeUp(OpcUa_UInt32 milliseconds) override
    {
        {
            std::lock_guard lock(m_mutex);
            m_waits.push_back(milliseconds);
        }
        m_waiting.notify_all();
        UaServer::waitForWakeUp(OpcUa_Infinite);
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_waiting;
    std::vector<OpcUa_UInt32> m_waits;
};

class Registration : public ::testing::Test
{
protected:
    Registration()
    {
        bed.config.serverNames = {"Registered test server"};
        bed.endpointRows.push_back({"opc.tcp://localhost:4841", {{kSecurityPolicyNone, 0x1}}, {}, {}});
    }

    OpcUa_RegisteredServer record()
    {
        OpcUa_RegisteredServer server;
        OpcUa_RegisteredServer_Initialize(&server);
        UaString("urn:test:server").copyTo(&server.ServerUri);
        server.IsOnline = OpcUa_True;
        return server;
    }

    StartedStandIn standIn;
    ServerBed bed;
};

TEST_F(Registration, ChoosesTheFirstOpcTcpEndpointWithNoneOrBasic128Rsa15)
{
    ASSERT_TRUE(bed.start().isGood());
    const std::string url = standIn.url();
    struct Case
    {
        std::vector<ScriptedEndpoint> offered;
        OpcUa_StatusCode result;
        OpcUa_Int32 chosen;
    } cases[] = {
        // Another scheme, a policy we cannot use, then the one to register on.
        {{{"http://127.0.0.1:1", kSecurityPolicyNone}, {url, kBasic256}, {url, kSecurityPolicyNone}},
         OpcUa_Good,
         2},
        // 11 characters are too few for a URL.
        {{{"opc.tcp://a", kSecurityPolicyNone}, {url, kSecurityPolicyNone}}, OpcUa_Good, 1},
        {{{"opc.tcp://a", kSecurityPolicyNone}, {"http://127.0.0.1:1", kSecurityPolicyNone}},
         OpcUa_BadInternalError,
         -1},
    };
    for (const Case& c : cases)
    {
        standIn.script(c.offered);
        const size_t registered = standIn.registrations().size();
        DiscoveryServerEntry entry(url.c_str());
        OpcUa_RegisteredServer server = record();
        UaTraceCapture traces;
        EXPECT_EQ(c.result, bed.server.registerWithDiscoveryServer(entry, server));
        EXPECT_EQ(c.chosen, entry.chosen);
        EXPECT_EQ(static_cast<OpcUa_Int32>(c.offered.size()), entry.noOfEndpoints);
        EXPECT_EQ(registered + (c.result == OpcUa_Good ? 1 : 0), standIn.registrations().size());
        EXPECT_EQ(c.result == OpcUa_Good ? 0u : 1u,
                  traces.count(1, "Error: Registration with Discovery Server failed [ret=0x80020000]"));
        OpcUa_RegisteredServer_Clear(&server);
    }
}

// Our server and a discovery server with certificates, each side's store trusting the other's
// certificate unless a test takes that back.
class SecuredRegistration : public ::testing::Test
{
protected:
    SecuredRegistration()
    {
        setenv("DEVICE_ROOT", folder.path().c_str(), 1);
        std::filesystem::create_directories(standInTrusts);
        std::filesystem::create_directories(serverTrusts);
        sectest::writeFile(serverTrusts + "/discovery.der", discovery.certificate);
        uatcp::test::TestSecurity security;
        security.certificate = discovery.certificate;
        security.privateKey = discovery.privateKeyDer();
        security.trustedFolder = standInTrusts;
        security.policies = {{kBasic256, OPCUA_ENDPOINT_MESSAGESECURITYMODE_SIGNANDENCRYPT},
                             {kSecurityPolicyBasic128Rsa15, OPCUA_ENDPOINT_MESSAGESECURITYMODE_SIGN}};
        EXPECT_TRUE(standIn.start(&security));
        bed = std::make_unique<ServerBed>();
        bed->endpointRows[0].certificate = server.certificate;
        bed->endpointRows[0].privateKey = server.privateKeyDer();
        bed->trustedFolder = serverTrusts;
    }

    sectest::TempFolder folder;
    const std::string standInTrusts = folder.path() + "/discovery-trusts";
    const std::string serverTrusts = folder.path() + "/server-trusts";
    sectest::Identity server =
        sectest::makeIdentity("registered", 2048, nullptr, false, -1, 365, "urn:test:server");
    sectest::Identity discovery = sectest::makeIdentity("discovery", 2048);
    DiscoveryStandIn standIn;
    std::unique_ptr<ServerBed> bed; // made after the stand-in has opened its endpoint
};

TEST_F(SecuredRegistration, RegistersOverTheChosenBasic128Rsa15EndpointOnlyWhileTrusted)
{
    ASSERT_TRUE(bed->start().isGood());
    const std::string url = standIn.url();
    // Of another scheme with None, Basic256 and Basic128Rsa15, the third is the one to use.
    standIn.script({{"http://127.0.0.1:1", kSecurityPolicyNone},
                    {url, kBasic256, OpcUa_MessageSecurityMode_SignAndEncrypt},
                    {url, kSecurityPolicyBasic128Rsa15, OpcUa_MessageSecurityMode_Sign}});
    OpcUa_RegisteredServer record;
    OpcUa_RegisteredServer_Initialize(&record);
    UaString("urn:test:server").copyTo(&record.ServerUri);
    // Trusted, then no longer, then again: a refused connect gives the choice up.
    for (const bool trusted : {true, false, true})
    {
        SCOPED_TRACE(trusted ? "trusted" : "not trusted");
        if (trusted)
            sectest::writeFile(standInTrusts + "/server.der", server.certificate);
        else
            std::filesystem::remove(standInTrusts + "/server.der");
        const size_t before = standIn.registrations().size();
        DiscoveryServerEntry entry(url.c_str());
        UaTraceCapture traces;
        const OpcUa_StatusCode result = bed->server.registerWithDiscoveryServer(entry, record);
        EXPECT_EQ(trusted, OpcUa_IsGood(result));
        EXPECT_EQ(trusted ? 2 : -1, entry.chosen);
        EXPECT_EQ(trusted ? 0u : 1u, traces.count(1, failedRegistration(result).c_str()));
        if (!trusted)
        {
            EXPECT_EQ(OpcUa_BadCertificateUntrusted, standIn.lastRefusal());
            EXPECT_EQ(before, standIn.registrations().size());
            continue;
        }
        ASSERT_EQ(before + 1, standIn.registrations().size());
        const auto sent = standIn.registrations().back();
        EXPECT_EQ("urn:test:server", sent.serverUri);
        EXPECT_EQ(kSecurityPolicyBasic128Rsa15, sent.channelPolicy);
        EXPECT_EQ(OPCUA_ENDPOINT_MESSAGESECURITYMODE_SIGN, sent.channelMode);
    }
    OpcUa_RegisteredServer_Clear(&record);
}

TEST_F(Registration, TracesEveryClientCallAndRegistersAgainWithoutAskingForEndpoints)
{
    ASSERT_TRUE(bed.start().isGood());
    standIn.script({{standIn.url(), kSecurityPolicyNone}});
    DiscoveryServerEntry entry(standIn.url().c_str());
    OpcUa_RegisteredServer server = record();
    UaTraceCapture traces;
    ASSERT_EQ(OpcUa_Good, bed.server.registerWithDiscoveryServer(entry, server));
    const std::vector<std::string> channel[2] = {
        {"CALL OpcUa_Channel_Create", "DONE OpcUa_Channel_Create [ret=0x0]", "CALL OpcUa_Channel_Connect",
         "DONE OpcUa_Channel_Connect [ret=0x0]"},
        {"CALL OpcUa_Channel_Disconnect", "DONE OpcUa_Channel_Disconnect [ret=0x0]",
         "CALL OpcUa_Channel_Delete", "DONE OpcUa_Channel_Delete"}};
    std::vector<std::string> expected = channel[0];
    expected.insert(expected.end(), {"CALL OpcUa_ClientApi_GetEndpoints",
                                     "DONE OpcUa_ClientApi_GetEndpoints [ret=0x0,status=0x0]"});
    expected.insert(expected.end(), channel[1].begin(), channel[1].end());
    const size_t phaseOne = expected.size();
    expected.insert(expected.end(), channel[0].begin(), channel[0].end());
    expected.insert(expected.end(), {"CALL OpcUa_ClientApi_RegisterServer",
                                     "DONE OpcUa_ClientApi_RegisterServer [ret=0x0,status=0x0]"});
    expected.insert(expected.end(), channel[1].begin(), channel[1].end());
    EXPECT_EQ(expected, clientCalls(traces));

    traces.clear();
    ASSERT_EQ(OpcUa_Good, bed.server.registerWithDiscoveryServer(entry, server));
    EXPECT_EQ(std::vector<std::string>(expected.begin() + static_cast<long>(phaseOne), expected.end()),
              clientCalls(traces));
    EXPECT_EQ(1, standIn.getEndpointsCalls());
    EXPECT_EQ(2u, standIn.registrations().size());
    OpcUa_RegisteredServer_Clear(&server);
}

TEST_F(Registration, ARefusedConnectOrAServerThatIsDownMeansAskingForEndpointsAgain)
{
    ASSERT_TRUE(bed.start().isGood());
    // The stand-in offers None only: the channel to the chosen endpoint is refused.
    standIn.script({{standIn.url(), kSecurityPolicyBasic128Rsa15}});
    DiscoveryServerEntry entry(standIn.url().c_str());
    OpcUa_RegisteredServer server = record();
    EXPECT_TRUE(OpcUa_IsBad(bed.server.registerWithDiscoveryServer(entry, server)));
    EXPECT_EQ(-1, entry.chosen);
    EXPECT_TRUE(OpcUa_IsBad(bed.server.registerWithDiscoveryServer(entry, server)));
    EXPECT_EQ(2, standIn.getEndpointsCalls());
    EXPECT_TRUE(standIn.registrations().empty());

    standIn.stop();
    for (int attempt = 0; attempt < 2; ++attempt)
    {
        UaTraceCapture traces;
        EXPECT_TRUE(OpcUa_IsBad(bed.server.registerWithDiscoveryServer(entry, server)));
        EXPECT_EQ(1u, traces.count(1, "Error: Discovery Server not available"));
        EXPECT_EQ(1u, traces.count(4, "CALL OpcUa_Channel_Connect"));
    }
    OpcUa_RegisteredServer_Clear(&server);
}

TEST_F(Registration, TheThreadRegistersTheServerRecordAtStart)
{
    bed.config.discoveryUrls = {standIn.url()};
    standIn.script({{standIn.url(), kSecurityPolicyNone}});
    ASSERT_TRUE(bed.start().isGood());
    ASSERT_TRUE(waitFor([&] { return !standIn.registrations().empty(); }));
    const auto sent = standIn.registrations().front();
    EXPECT_EQ("urn:test:server", sent.serverUri);
    EXPECT_EQ("urn:test:product", sent.productUri);
    ASSERT_EQ(1u, sent.serverNames.size());
    EXPECT_EQ("Registered test server", sent.serverNames[0].second);
    EXPECT_EQ(0, sent.serverType);
    EXPECT_EQ("", sent.gatewayServerUri);
    EXPECT_EQ("", sent.semaphoreFilePath);
    EXPECT_EQ((std::vector<std::string>{"opc.tcp://localhost:4840", "opc.tcp://localhost:4841"}),
              sent.discoveryUrls);
    EXPECT_TRUE(sent.isOnline);
}

// The bed's configuration and endpoints under a server whose waits the test steps.
struct SteppedBed
{
    UaStatus start()
    {
        EXPECT_TRUE(bed.serverManager.startUp(&bed.config).isGood());
        return server.startUp(&bed.serverManager);
    }
    ServerBed& bed;
    SteppedServer server;
};

TEST_F(Registration, AnIntervalBelowTenSecondsActsAsTenAndShutDownEndsTheWait)
{
    OpcUa::TestClock clock;
    bed.config.discoveryUrls = {standIn.url()};
    bed.config.registrationInterval = 2000;
    standIn.script({{standIn.url(), kSecurityPolicyNone}});
    UaTraceCapture traces;
    SteppedBed stepped{bed, {}};
    ASSERT_TRUE(stepped.start().isGood());
    ASSERT_TRUE(stepped.server.waitForWaits(1));
    EXPECT_EQ(1u, standIn.registrations().size());
    // 3 s would have been past a 2 s interval; 10 s are not more than 10.
    ASSERT_TRUE(stepped.server.step(clock, 3000));
    ASSERT_TRUE(stepped.server.step(clock, 7000));
    EXPECT_EQ(1u, standIn.registrations().size());
    ASSERT_TRUE(stepped.server.step(clock, 1000));
    EXPECT_EQ(2u, standIn.registrations().size());
    EXPECT_EQ(1, standIn.getEndpointsCalls());

    // The waits never time out here: shutDown gets through by waking the thread.
    EXPECT_TRUE(stepped.server.shutDown().isGood());
    EXPECT_EQ(std::vector<OpcUa_UInt32>(4, 10000), stepped.server.waits());
    EXPECT_TRUE(traces.contains(4, "<== UaServer::run"));
}

TEST_F(Registration, WithoutADiscoveryUrlNoChannelIsMade)
{
    UaTraceCapture traces;
    SteppedBed stepped{bed, {}};
    ASSERT_TRUE(stepped.start().isGood());
    ASSERT_TRUE(stepped.server.waitForWaits(1));
    EXPECT_TRUE(
        traces.contains(4, "==> UaServer::run - Background purge and discovery registration thread started"));
    EXPECT_EQ(0u, traces.count(4, "CALL OpcUa_Channel_Create"));
    EXPECT_EQ(0, standIn.getEndpointsCalls());
}
} // namespace
