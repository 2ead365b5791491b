// The test server with secured endpoints driven by the real outside client
// (node-opcua-client): each policy and mode with certificates trusted both
// ways, responses over several chunks, a renewal; an untrusted client is
// refused and its certificate reaches the endpoint callback; a revoked one is
// refused; a flipped bit closes that channel while another keeps working.
#include "test_certificates.h"
#include "uatcp_node_runner.h"
#include "uatcp_test_server.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace uatcp::test;

namespace
{
constexpr const char* kBasic256 = "http://opcfoundation.org/UA/SecurityPolicy#Basic256";
constexpr const char* kBasic128Rsa15 = "http://opcfoundation.org/UA/SecurityPolicy#Basic128Rsa15";
constexpr OpcUa_UInt16 kSignModes = OPCUA_ENDPOINT_MESSAGESECURITYMODE_SIGN |
                                    OPCUA_ENDPOINT_MESSAGESECURITYMODE_SIGNANDENCRYPT;

bool waitUntil(const std::function<bool()>& condition)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!condition() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return condition();
}

// Forwards one connection to the server and flips one bit in the n-th MSG
// chunk the client sends (counting from 1); later bytes pass unchanged.
class BitFlipProxy
{
public:
    BitFlipProxy(uint16_t serverPort, int chunkToDamage) : m_serverPort(serverPort), m_chunkToDamage(chunkToDamage)
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        if (::bind(m_listener, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(m_listener, 1) == 0 &&
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&a), &length) == 0)
            m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] { run(); });
    }
    ~BitFlipProxy()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_listener);
    }
    uint16_t port() const { return m_port; }
    bool damaged() const { return m_damaged; }

private:
    void run()
    {
        pollfd accept{m_listener, POLLIN, 0};
        while (!m_stop && ::poll(&accept, 1, 100) <= 0)
        {
        }
        if (m_stop)
            return;
        int client = ::accept(m_listener, nullptr, nullptr);
        int server = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(m_serverPort);
        if (client < 0 || ::connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
        {
            ::close(client);
            ::close(server);
            return;
        }
        std::vector<uint8_t> pending; // client bytes not yet forwarded as whole chunks
        int messages = 0;
        uint8_t buffer[65536];
        pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
        while (!m_stop)
        {
            if (::poll(fds, 2, 100) <= 0)
                continue;
            if (fds[1].revents)
            {
                ssize_t n = ::read(server, buffer, sizeof buffer);
                if (n <= 0 || ::send(client, buffer, static_cast<size_t>(n), MSG_NOSIGNAL) != n)
                    break;
            }
            if (fds[0].revents)
            {
                ssize_t n = ::read(client, buffer, sizeof buffer);
                if (n <= 0)
                    break;
                pending.insert(pending.end(), buffer, buffer + n);
                while (pending.size() >= 8)
                {
                    size_t size = pending[4] | pending[5] << 8 | pending[6] << 16 | size_t(pending[7]) << 24;
                    if (size < 8 || pending.size() < size)
                        break;
                    if (std::equal(pending.begin(), pending.begin() + 3, "MSG") && ++messages == m_chunkToDamage)
                    {
                        pending[size - 3] ^= 0x10; // in the signature (or encrypted text)
                        m_damaged = true;
                    }
                    if (::send(server, pending.data(), size, MSG_NOSIGNAL) != static_cast<ssize_t>(size))
                        m_stop = true;
                    pending.erase(pending.begin(), pending.begin() + static_cast<long>(size));
                }
            }
        }
        ::close(client);
        ::close(server);
    }

    uint16_t m_serverPort;
    int m_chunkToDamage;
    int m_listener = -1;
    uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_damaged{false};
    std::thread m_thread;
};

class SecureNodeClient : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root = folder.path();
        trusted = root + "/pki/trusted";
        crl = root + "/pki/crl";
        home = root + "/home";
        for (const auto& f : {trusted, crl, home})
            std::filesystem::create_directories(f);
        // The store's paths resolve below the device root.
        setenv("DEVICE_ROOT", root.c_str(), 1);
        serverIdentity = sectest::makeIdentity("uatcp test server", 2048, nullptr, false, -1, 365, kApplicationUri);
        sectest::writeFile(trusted + "/server.der", serverIdentity.certificate);
        TestSecurity security;
        security.certificate = serverIdentity.certificate;
        security.privateKey = serverIdentity.privateKeyDer();
        security.trustedFolder = trusted;
        security.revocationPath = crl;
        security.policies = {{kBasic256, kSignModes}, {kBasic128Rsa15, kSignModes}};
        ASSERT_TRUE(server.start("127.0.0.1", nullptr, &security));
    }

    ProcessResult run(const std::string& policy, const std::string& mode, const std::string& url,
                      const std::vector<std::string>& more = {})
    {
        std::vector<std::string> options;
        if (policy == "Basic128Rsa15")
            options.push_back("--security-revert=CVE-2023-46809"); // PKCS #1 v1.5 decryption
        std::vector<std::string> args = {url, policy, mode};
        args.insert(args.end(), more.begin(), more.end());
        return runNodeScript(options, "secure_session.js", args, {"HOME=" + home});
    }

    std::string clientPki() const { return home + "/.config/node-opcua-default-nodejs/PKI"; }

    // First contact: the client is refused as untrusted, and the callback has its certificate.
    // It is then trusted as an administrator would do with a rejected one.
    void trustClient()
    {
        ProcessResult r = run("Basic256", "SignAndEncrypt", server.url());
        EXPECT_NE(r.exitCode, 0) << r.output;
        ASSERT_TRUE(waitUntil([&] { return server.openFailed.load() >= 1; }));
        EXPECT_EQ(server.lastOpenFailure(), OpcUa_BadCertificateUntrusted);
        clientCertificate = server.lastRefusedCertificate();
        ASSERT_FALSE(clientCertificate.empty());
        sectest::writeFile(trusted + "/client.der", clientCertificate);
    }

    void expectSummary(const ProcessResult& r)
    {
        ASSERT_EQ(r.exitCode, 0) << r.output;
        EXPECT_NE(r.output.find("\"double\":3.5"), std::string::npos) << r.output;
        EXPECT_NE(r.output.find("\"text\":\"uatcp\""), std::string::npos) << r.output;
        EXPECT_EQ(jsonField(r.output, "endpoints"), 5);
        EXPECT_EQ(jsonField(r.output, "secured"), 4);
        EXPECT_EQ(jsonField(r.output, "arrayLength"), kBigArrayLength);
        EXPECT_EQ(jsonField(r.output, "arrayLast"), kBigArrayLength - 1);
    }

    sectest::TempFolder folder;
    std::string root, trusted, crl, home;
    sectest::Identity serverIdentity;
    std::vector<uint8_t> clientCertificate;
    TestServer server;
};

struct PolicyMode
{
    const char* policy;
    const char* mode;
};

class SecureNodeClientPolicies : public SecureNodeClient, public ::testing::WithParamInterface<PolicyMode>
{
};
} // namespace

TEST_P(SecureNodeClientPolicies, SessionAndReadsOverSeveralChunks)
{
    ASSERT_NO_FATAL_FAILURE(trustClient());
    ProcessResult r = run(GetParam().policy, GetParam().mode, server.url());
    ASSERT_NO_FATAL_FAILURE(expectSummary(r));
    // The session was signed both ways: the server checked the client's signature.
    EXPECT_EQ(server.sessionsActivated.load(), 1);
    EXPECT_GE(server.reads.load(), 1);
    EXPECT_EQ(server.decodeErrors.load(), 0);
    EXPECT_TRUE(waitUntil([&] { return server.closed.load() == server.opened.load(); }));
}

INSTANTIATE_TEST_SUITE_P(All, SecureNodeClientPolicies,
                         ::testing::Values(PolicyMode{"Basic256", "Sign"}, PolicyMode{"Basic256", "SignAndEncrypt"},
                                           PolicyMode{"Basic128Rsa15", "Sign"},
                                           PolicyMode{"Basic128Rsa15", "SignAndEncrypt"}));

TEST_F(SecureNodeClient, UntrustedClientIsRefusedWithItsCertificateReported)
{
    ASSERT_NO_FATAL_FAILURE(trustClient());
    // What reached the callback is the client's own certificate.
    EXPECT_EQ(clientCertificate, sectest::pemToDer(sectest::readTextFile(clientPki() + "/own/certs/client_certificate.pem")));
}

TEST_F(SecureNodeClient, TokenRenewalsDuringTheRun)
{
    ASSERT_NO_FATAL_FAILURE(trustClient());
    ProcessResult r = run("Basic256", "SignAndEncrypt", server.url(), {"2000", "2"});
    ASSERT_NO_FATAL_FAILURE(expectSummary(r));
    EXPECT_GE(jsonField(r.output, "renewals"), 2);
    EXPECT_GE(server.renewed.load(), 2);
}

TEST_F(SecureNodeClient, RevokedClientIsRefused)
{
    ASSERT_NO_FATAL_FAILURE(trustClient());
    // The client's self-signed certificate revoked by a list signed with its own key.
    sectest::Identity client = sectest::identityOf(
        sectest::readTextFile(clientPki() + "/own/private/private_key.pem"), clientCertificate);
    ASSERT_NE(client.key, nullptr);
    sectest::writeFile(crl + "/client.crl", sectest::makeRevocationList(client, {client.serial}));
    int refusedBefore = server.openFailed.load();
    ProcessResult r = run("Basic256", "Sign", server.url());
    EXPECT_NE(r.exitCode, 0) << r.output;
    ASSERT_TRUE(waitUntil([&] { return server.openFailed.load() > refusedBefore; }));
    EXPECT_EQ(server.lastOpenFailure(), OpcUa_BadCertificateRevoked);
    EXPECT_EQ(server.sessionsCreated.load(), 0);
}

TEST_F(SecureNodeClient, FlippedBitClosesThatChannelWhileAnotherKeepsWorking)
{
    ASSERT_NO_FATAL_FAILURE(trustClient());
    uint16_t port = static_cast<uint16_t>(std::stoi(server.url().substr(server.url().rfind(':') + 1)));
    for (const char* mode : {"Sign", "SignAndEncrypt"})
    {
        SCOPED_TRACE(mode);
        int closedBefore = server.closed.load();
        BitFlipProxy proxy(port, 6); // after endpoints, session and the first reads
        ProcessResult damaged;
        std::thread victim([&] {
            damaged = run("Basic256", mode, "opc.tcp://127.0.0.1:" + std::to_string(proxy.port()),
                          {"600000", "0", "40", "0"});
        });
        ProcessResult healthy = run("Basic256", mode, server.url(), {"600000", "0", "40"});
        victim.join();
        EXPECT_TRUE(proxy.damaged());
        EXPECT_NE(damaged.exitCode, 0) << damaged.output;
        ASSERT_NO_FATAL_FAILURE(expectSummary(healthy));
        EXPECT_EQ(jsonField(healthy.output, "reads"), 40);
        EXPECT_TRUE(waitUntil([&] { return server.closed.load() >= closedBefore + 2; }));
    }
    // And the server still takes new clients.
    ASSERT_NO_FATAL_FAILURE(expectSummary(run("Basic128Rsa15", "SignAndEncrypt", server.url())));
}
