// uaserver_testserver against clients that attack sessions, with the outside client
// (node-opcua-client) over loopback: a session taken over from another channel, a captured logon
// sent again, a flood of sessions nobody activates, and channels kept bare after their sessions
// closed. After each a fresh client (or the owner) must still be served.
#include "test_certificates.h"
#include "testserver_process.h"
#include "uatcp_node_runner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace uaservertest;
using uatcp::test::jsonField;
using uatcp::test::jsonText;
using uatcp::test::ProcessResult;
using uatcp::test::runNodeScript;

namespace
{
class HostileClients : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root = folder.path();
        for (const auto& f : {root + "/pki/trusted", root + "/pki/crl", root + "/home"})
            std::filesystem::create_directories(f);
        const sectest::Identity server = sectest::makeIdentity("uaserver test server", 2048);
        sectest::writeFile(root + "/server.der", server.certificate);
        sectest::writeFile(root + "/server.key", server.privateKeyPem());
        // The owner's certificate is trusted; its key stays with the client.
        const sectest::Identity owner =
            sectest::makeIdentity("owner", 2048, nullptr, false, -1, 365, "urn:uaserver-hostile-test");
        sectest::writeFile(root + "/pki/trusted/owner.der", owner.certificate);
        sectest::writeFile(root + "/owner.pem", owner.certificatePem());
        sectest::writeFile(root + "/owner.key", owner.privateKeyPem());
    }

    // The case against a server of its own; its JSON line.
    std::string run(const std::vector<std::string>& arguments)
    {
        TestServerProcess server({"--policy", "None", "--policy", "Basic256:Sign,SignAndEncrypt",
                                  "--certificate", root + "/server.der", "--key", root + "/server.key",
                                  "--pki", root + "/pki", "--user", "operator:secret"},
                                 {"DEVICE_ROOT=" + root});
        EXPECT_FALSE(server.url().empty());
        std::vector<std::string> args = {server.url()};
        args.insert(args.end(), arguments.begin(), arguments.end());
        const ProcessResult r =
            runNodeScript({}, "hostile_clients.js", args, {"HOME=" + root + "/home"}, 300);
        EXPECT_EQ(0, r.exitCode) << r.output;
        EXPECT_EQ(std::string::npos, r.output.find("\"error\"")) << r.output;
        EXPECT_EQ(1, jsonField(r.output, "done")) << r.output;
        EXPECT_EQ(0, server.stop());
        return r.output;
    }

    sectest::TempFolder folder;
    std::string root;
};

// The token of a session made on a secured channel activates nothing on a channel without the
// owner's certificate; the owner keeps its session.
TEST_F(HostileClients, ASecuredSessionIsNotTakenOverFromAnotherChannel)
{
    const std::string json =
        run({"takeover", root + "/owner.pem", root + "/owner.key", "operator", "secret"});
    EXPECT_EQ("Good", jsonText(json, "ownerBefore")) << json;
    EXPECT_EQ("BadSecurityChecksFailed", jsonText(json, "takeover")) << json;
    EXPECT_EQ("BadSecureChannelIdInvalid", jsonText(json, "attackerRead")) << json;
    EXPECT_EQ("Good", jsonText(json, "ownerAfter")) << json;
}

// A password is encrypted for the server and bound to its session's last nonce, also over None:
// captured, it logs on neither in another session nor again in its own.
TEST_F(HostileClients, ACapturedLogonDoesNotLogOnAgain)
{
    const std::string json = run({"replay", "operator", "secret"});
    EXPECT_EQ("encrypted", jsonText(json, "logon")) << json;
    EXPECT_EQ("BadIdentityTokenRejected", jsonText(json, "intoSecondSession")) << json;
    EXPECT_EQ("BadIdentityTokenRejected", jsonText(json, "intoSameSession")) << json;
    EXPECT_EQ("Good", jsonText(json, "ownerAfter")) << json;
}

// One connection creating more sessions than the table holds and activating none: each new one
// takes the place of the oldest never activated, and a fresh client logs on at once. Over None
// too, each gets a nonce to bind its logon to.
TEST_F(HostileClients, SessionsNobodyActivatesKeepNoClientOut)
{
    const std::string json = run({"flood", "120"});
    EXPECT_EQ("Good:120", jsonText(json, "created")) << json;
    EXPECT_EQ(3600000, jsonField(json, "revisedTimeout")) << json;
    EXPECT_EQ(32, jsonField(json, "nonceLength")) << json;
    EXPECT_EQ("Good", jsonText(json, "fresh")) << json;
    EXPECT_EQ("BadSessionIdInvalid", jsonText(json, "firstOfFlood")) << json;
}

// As many bare channels as the server takes connections, each of whose session was activated and
// closed: they are evictable again, and a fresh client is served.
TEST_F(HostileClients, ChannelsWhoseSessionsClosedKeepNoClientOut)
{
    const std::string json = run({"closed", "100"});
    EXPECT_EQ(100, jsonField(json, "closedSessions")) << json;
    EXPECT_EQ("Good", jsonText(json, "fresh")) << json;
}
} // namespace
