// uaserver_testserver driven by the stack's own client over loopback: what the outside client
// does not do. Our client checks the server's CreateSession signature and nonce, tries certificate
// tokens on None and Basic256 channels (no endpoint offers them: refused whoever signed them), and
// a closed session's token is refused.
#include "stackclient.h"
#include "test_certificates.h"
#include "testserver_process.h"

#include <uaplatformlayer.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

using namespace uaservertest;

namespace
{
class StackClientRows : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { ASSERT_EQ(0, UaPlatformLayer::init()); }
    static void TearDownTestSuite() { UaPlatformLayer::cleanup(); }

    void SetUp() override
    {
        root = folder.path();
        std::filesystem::create_directories(root + "/pki/trusted");
        std::filesystem::create_directories(root + "/pki/crl");
        sectest::writeFile(root + "/server.der", server.certificate);
        sectest::writeFile(root + "/server.key", server.privateKeyPem());
        sectest::writeFile(root + "/pki/trusted/client.der", client.certificate);
    }

    std::vector<std::string> arguments() const
    {
        return {"--policy",      "None",
                "--policy",      "Basic256:Sign,SignAndEncrypt",
                "--certificate", root + "/server.der",
                "--key",         root + "/server.key",
                "--pki",         root + "/pki",
                "--trace-file",  root + "/trace.log",
                "--trace-level", "1"};
    }

    std::string trace() const
    {
        std::ifstream in(root + "/trace.log");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    sectest::TempFolder folder;
    std::string root;
    sectest::Identity server = sectest::makeIdentity("uaserver test server", 2048);
    sectest::Identity client = sectest::makeIdentity("stack client", 2048);
    sectest::Identity user = sectest::makeIdentity("user", 2048);
    sectest::Identity stranger = sectest::makeIdentity("stranger", 2048);
};

TEST_F(StackClientRows, CertificateTokensAreRefusedAndClosedSessionsForgotten)
{
    TestServerProcess process(arguments(), {"DEVICE_ROOT=" + root});
    ASSERT_FALSE(process.url().empty());
    struct Row
    {
        const char* name;
        const char* policy;
        OpcUa_MessageSecurityMode mode;
        const sectest::Identity* tokenSigner;
        OpcUa_StatusCode expected;
    };
    const Row rows[] = {
        {"None, certificate token", kPolicyNone, OpcUa_MessageSecurityMode_None, &user,
         OpcUa_BadIdentityTokenInvalid},
        {"Basic256 Sign, certificate token", kPolicyBasic256, OpcUa_MessageSecurityMode_Sign, &user,
         OpcUa_BadIdentityTokenInvalid},
        {"Basic256 SignAndEncrypt, anonymous", kPolicyBasic256, OpcUa_MessageSecurityMode_SignAndEncrypt,
         nullptr, OpcUa_Good},
        {"None, anonymous", kPolicyNone, OpcUa_MessageSecurityMode_None, nullptr, OpcUa_Good},
        {"Basic256 Sign, token signed by another key", kPolicyBasic256, OpcUa_MessageSecurityMode_Sign,
         &stranger, OpcUa_BadIdentityTokenInvalid},
        {"None, token signed by another key", kPolicyNone, OpcUa_MessageSecurityMode_None, &stranger,
         OpcUa_BadIdentityTokenInvalid},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        StackClient session;
        ASSERT_EQ(OpcUa_Good, session.connect(process.url(), row.policy, row.mode, client.certificate,
                                              client.privateKeyDer(), server.certificate));
        ASSERT_EQ(OpcUa_Good, session.createSession());
        const bool secured = row.mode != OpcUa_MessageSecurityMode_None;
        EXPECT_EQ(secured, session.serverSignatureValid);
        EXPECT_EQ(32u, session.serverNonce().size()); // on every channel: logons are bound to it
        const OpcUa_StatusCode activated =
            row.tokenSigner ? session.activateSession(user.certificate, row.tokenSigner->privateKeyDer())
                            : session.activateSession();
        EXPECT_EQ(row.expected, activated);
        if (OpcUa_IsGood(activated))
        {
            double product = 0;
            EXPECT_EQ(OpcUa_Good, session.multiply(3, 4, product));
            EXPECT_EQ(12.0, product);
            EXPECT_EQ(OpcUa_Good, session.closeSession());
            // The token of the closed session no longer names a session.
            EXPECT_EQ(OpcUa_BadSessionIdInvalid, session.multiply(3, 4, product));
            EXPECT_EQ(OpcUa_BadSessionIdInvalid, session.closeSession());
        }
        session.disconnect();
    }
    EXPECT_EQ(0, process.stop());
    EXPECT_NE(std::string::npos, trace().find("Error: UaServer::ActivateSession - X509 token not offered"))
        << trace();
}
// Only a request that accepts the binary TCP transport (or names no profile) gets the endpoints;
// one naming other profiles alone gets an empty list, not a fault.
TEST_F(StackClientRows, GetEndpointsIsFilteredByTransportProfile)
{
    TestServerProcess process(arguments(), {"DEVICE_ROOT=" + root});
    ASSERT_FALSE(process.url().empty());
    StackClient client;
    ASSERT_EQ(OpcUa_Good, client.connect(process.url()));
    const std::string binary = "http://opcfoundation.org/UA-Profile/Transport/uatcp-uasc-uabinary";
    const std::string https = "http://opcfoundation.org/UA-Profile/Transport/https-uabinary";
    const struct
    {
        std::vector<std::string> profiles;
        int endpoints;
    } rows[] = {{{}, 3}, {{binary}, 3}, {{https}, 0}, {{https, binary}, 3}, {{binary + "/"}, 0}};
    for (const auto& row : rows)
        EXPECT_EQ(row.endpoints, client.getEndpoints(process.url(), row.profiles)) << row.profiles.size();
    EXPECT_EQ(0, process.stop());
}
} // namespace
