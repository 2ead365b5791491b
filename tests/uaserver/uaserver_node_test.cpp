// uaserver_testserver driven by the outside client (node-opcua-client) over loopback: endpoints,
// FindServers, sessions under each policy with anonymous and user name tokens, a method call and
// the close; an untrusted client is refused and its certificate kept in the rejected folder.
#include "test_certificates.h"
#include "test_waits.h"
#include "testserver_process.h"
#include "uatcp_node_runner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

using namespace uaservertest;
using uatcp::test::jsonField;
using uatcp::test::ProcessResult;
using uatcp::test::runNodeScript;

namespace
{
sectest::Bytes readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return sectest::Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class NodeClientRows : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root = folder.path();
        home = root + "/home";
        rejected = root + "/rejected";
        for (const auto& f : {root + "/pki/trusted", root + "/pki/crl", home})
            std::filesystem::create_directories(f);
        const sectest::Identity server = sectest::makeIdentity("uaserver test server", 2048, nullptr, false,
                                                               -1, 365, "urn:uaserver:testserver");
        sectest::writeFile(root + "/server.der", server.certificate);
        sectest::writeFile(root + "/server.key", server.privateKeyPem());
    }

    std::vector<std::string> serverArguments() const
    {
        return {"--policy",      "None",
                "--policy",      "Basic128Rsa15:Sign,SignAndEncrypt",
                "--policy",      "Basic256:Sign,SignAndEncrypt",
                "--certificate", root + "/server.der",
                "--key",         root + "/server.key",
                "--pki",         root + "/pki",
                "--rejected",    rejected,
                "--user",        "operator:secret"};
    }
    std::vector<std::string> serverEnvironment() const { return {"DEVICE_ROOT=" + root}; }

    ProcessResult run(const std::string& url, const std::string& policy, const std::string& mode,
                      const std::vector<std::string>& identity)
    {
        std::vector<std::string> options;
        if (policy == "Basic128Rsa15")
            options.push_back("--security-revert=CVE-2023-46809"); // PKCS #1 v1.5 decryption
        std::vector<std::string> args = {url, policy, mode};
        args.insert(args.end(), identity.begin(), identity.end());
        return runNodeScript(options, "session_rows.js", args, {"HOME=" + home});
    }

    // The client's certificate, once it made one on its first secured contact.
    std::string clientCertificatePem() const
    {
        return sectest::readTextFile(
            home + "/.config/node-opcua-default-nodejs/PKI/own/certs/client_certificate.pem");
    }

    sectest::TempFolder folder;
    std::string root, home, rejected;
};

TEST_F(NodeClientRows, EachPolicyAndTokenOpensASessionCallsAndCloses)
{
    // A trace file at the default level: a refused client leaves its line there.
    std::vector<std::string> arguments = serverArguments();
    arguments.insert(arguments.end(), {"--trace-file", root + "/trace.log"});
    TestServerProcess server(arguments, serverEnvironment());
    ASSERT_FALSE(server.url().empty());

    // First secured contact: the client is not trusted yet, its certificate is kept under its SHA-1.
    ProcessResult refused = run(server.url(), "Basic256", "Sign", {"anonymous"});
    EXPECT_NE(refused.output.find("error"), std::string::npos) << refused.output;
    const sectest::Bytes clientDer = sectest::pemToDer(clientCertificatePem());
    ASSERT_FALSE(clientDer.empty());
    std::vector<std::string> kept;
    for (const auto& entry : std::filesystem::directory_iterator(rejected))
        kept.push_back(entry.path().filename().string());
    ASSERT_EQ(1u, kept.size());
    EXPECT_EQ(44u, kept[0].size());
    EXPECT_EQ(clientDer, readBytes(rejected + "/" + kept[0]));
    // The trace names the client and where its certificate waits.
    const std::string refusal =
        "was refused [OpcUa_BadCertificateUntrusted]; its certificate is kept as " + rejected + "/" + kept[0];
    EXPECT_TRUE(uaserver::testing::eventually(
        [&] { return sectest::readTextFile(root + "/trace.log").find(refusal) != std::string::npos; }))
        << sectest::readTextFile(root + "/trace.log");
    // Trusted as an administrator moves a rejected certificate.
    std::filesystem::rename(rejected + "/" + kept[0], root + "/pki/trusted/" + kept[0]);

    struct Row
    {
        const char* policy;
        const char* mode;
        std::vector<std::string> identity;
    };
    const Row rows[] = {
        {"None", "None", {"anonymous"}},
        {"None", "None", {"user", "operator", "secret"}},
        {"Basic128Rsa15", "Sign", {"user", "operator", "secret"}},
        {"Basic128Rsa15", "SignAndEncrypt", {"anonymous"}},
        {"Basic256", "Sign", {"anonymous"}},
        {"Basic256", "SignAndEncrypt", {"user", "operator", "secret"}},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(std::string(row.policy) + " " + row.mode + " " + row.identity[0]);
        const ProcessResult r = run(server.url(), row.policy, row.mode, row.identity);
        EXPECT_EQ(0, r.exitCode) << r.output;
        EXPECT_EQ(std::string::npos, r.output.find("error")) << r.output;
        EXPECT_EQ(5, jsonField(r.output, "endpoints")) << r.output;
        EXPECT_NE(std::string::npos, r.output.find("\"levels\":\"0,80,130,90,140\"")) << r.output;
        EXPECT_EQ(1, jsonField(r.output, "servers")) << r.output;
        EXPECT_NE(std::string::npos, r.output.find("\"applicationUri\":\"urn:uaserver:testserver\""))
            << r.output;
        EXPECT_NE(std::string::npos, r.output.find("\"callStatus\":\"Good\"")) << r.output;
        EXPECT_EQ(12, jsonField(r.output, "product")) << r.output;
        EXPECT_EQ(1, jsonField(r.output, "closed")) << r.output;
    }

    // A wrong password gets the logon's status.
    const ProcessResult wrong =
        run(server.url(), "Basic256", "SignAndEncrypt", {"user", "operator", "guess"});
    EXPECT_NE(std::string::npos, wrong.output.find("BadUserAccessDenied")) << wrong.output;
    EXPECT_EQ(-1, jsonField(wrong.output, "session")) << wrong.output;

    EXPECT_EQ(0, server.stop());
}
TEST_F(NodeClientRows, GetEndpointsIsFilteredByTransportProfile)
{
    TestServerProcess server(serverArguments(), serverEnvironment());
    ASSERT_FALSE(server.url().empty());
    const ProcessResult r = runNodeScript({}, "endpoint_profiles.js", {server.url()}, {"HOME=" + home});
    EXPECT_EQ(0, r.exitCode) << r.output;
    EXPECT_EQ(5, jsonField(r.output, "none")) << r.output;
    EXPECT_EQ(5, jsonField(r.output, "binary")) << r.output;
    EXPECT_EQ(0, jsonField(r.output, "https")) << r.output;
    EXPECT_EQ(5, jsonField(r.output, "both")) << r.output;
    EXPECT_EQ(0, server.stop());
}
} // namespace
