// Only the user token types the endpoints offer log on, and a password only encrypted as its policy
// demands: the stack's own client over loopback against the test server in this process, whose
// token configuration each row sets. A refused activation leaves the session unactivated, and its
// reason is traced.
#include "freeport.h"
#include "inprocess_server.h"
#include "stackclient.h"
#include "testnodemanager.h"

#include <test_certificates.h>

#include <uaplatformlayer.h>
#include <uatracecapture.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>

using namespace uaservertest;

namespace
{
// The test server with the token configuration a test switches while it runs.
class TokenConfig : public TestServerConfig
{
public:
    using TestServerConfig::TestServerConfig;

    UaStatus getUserIdentityTokenConfig(bool& enableAnonymous, bool& enableUserPw) override
    {
        enableAnonymous = anonymous;
        enableUserPw = userName;
        return OpcUa_Good;
    }

    std::atomic<bool> anonymous{true};
    std::atomic<bool> userName{true};
};

enum class Token
{
    Absent,
    Anonymous,
    UserName,
    UserNameInClear
};

TEST(UaServerUserTokens, ActivateSessionTakesOnlyTheOfferedTokenTypes)
{
    ASSERT_EQ(0, UaPlatformLayer::init());
    TestServerOptions options;
    options.port = freePort();
    options.policies.push_back({kPolicyNone, 0x1});
    options.users["operator"] = "secret";
    const sectest::Identity server = sectest::makeIdentity("usertokens server", 2048);
    options.certificate = server.certificate;
    options.privateKey = server.privateKeyDer();
    TokenConfig config(options, [] { return new TestNodeManager("urn:uaserver:usertokens", 0); });
    InProcessServer inProcess;
    ASSERT_TRUE(inProcess.start(config));

    struct Row
    {
        const char* name;
        bool anonymous;
        bool userName;
        Token token;
        OpcUa_StatusCode expected;
    };
    const Row rows[] = {
        {"anonymous only, no token", true, false, Token::Absent, OpcUa_Good},
        {"anonymous only, anonymous token", true, false, Token::Anonymous, OpcUa_Good},
        {"anonymous only, user name", true, false, Token::UserName, OpcUa_BadIdentityTokenInvalid},
        {"user name only, no token", false, true, Token::Absent, OpcUa_BadIdentityTokenInvalid},
        {"user name only, anonymous token", false, true, Token::Anonymous, OpcUa_BadIdentityTokenInvalid},
        {"user name only, user name", false, true, Token::UserName, OpcUa_Good},
        {"neither enabled, user name", false, false, Token::UserName, OpcUa_Good},
        {"neither enabled, anonymous token", false, false, Token::Anonymous, OpcUa_BadIdentityTokenInvalid},
        // The offered policy encrypts the password, on a channel without security too.
        {"user name only, password in clear", false, true, Token::UserNameInClear,
         OpcUa_BadIdentityTokenInvalid},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        config.anonymous = row.anonymous;
        config.userName = row.userName;
        UaTraceCapture trace(1);
        StackClient client;
        ASSERT_EQ(OpcUa_Good, client.connect(config.url(), kPolicyNone, OpcUa_MessageSecurityMode_None, {},
                                             {}, server.certificate));
        ASSERT_EQ(OpcUa_Good, client.createSession());
        const OpcUa_StatusCode activated =
            row.token == Token::UserName          ? client.activateWithUserName("operator", "secret")
            : row.token == Token::UserNameInClear ? client.activateWithUserName("operator", "secret", true)
            : row.token == Token::Anonymous       ? client.activateWithAnonymousToken()
                                                  : client.activateSession();
        EXPECT_EQ(row.expected, activated);
        // The server's State: readable only on an activated session.
        EXPECT_EQ(OpcUa_IsGood(row.expected) ? OpcUa_Good : OpcUa_BadSessionNotActivated, client.read(2259));
        const std::string policyId = row.token >= Token::UserName ? "UserName" : "Anonymous";
        const std::string reason = row.token == Token::UserNameInClear
                                       ? " token without the encryption its policy demands"
                                       : " token not offered";
        EXPECT_EQ(
            OpcUa_IsGood(row.expected) ? 0u : 1u,
            trace.count(1, "Error: UaServer::ActivateSession - " + policyId + reason + " [ret=0x80200000]"));
        client.closeSession();
        client.disconnect();
    }

    inProcess.stopServer();
    inProcess.stopCore();
    UaPlatformLayer::cleanup();
}
} // namespace
