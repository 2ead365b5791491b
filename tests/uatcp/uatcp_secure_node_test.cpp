// The test server with secured endpoints driven by the real outside client
// (node-opcua-client): each policy and mode with certificates trusted both
// ways, responses over several chunks, a renewal; an untrusted client is
// refused and its certificate reaches the endpoint callback; a client of a
// trusted authority is served until it is revoked; a flipped bit or a
// replayed chunk closes that channel while another keeps working.
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
constexpr OpcUa_UInt16 kSignModes =
    OPCUA_ENDPOINT_MESSAGESECURITYMODE_SIGN | OPCUA_ENDPOINT_MESSAGESECURITYMODE_SIGNANDENCRYPT;

bool waitUntil(const std::function<bool()>& condition)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!condition() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return condition();
}

// Forwards connections to the server and flips one bit in (or replays) the
// n-th chunk of one type ("MSG" or "OPN", counting from 1) that the client
// sends on a secured channel; everything else passes unchanged.
class BitFlipProxy
{
public:
    BitFlipProxy(uint16_t serverPort, int chunkToDamage, std::string typeToDamage = "MSG")
        : m_serverPort(serverPort), m_chunkToDamage(chunkToDamage), m_typeToDamage(std::move(typeToDamage))
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = loopback(0);
        socklen_t length = sizeof a;
        if (::bind(m_listener, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
            ::listen(m_listener, 4) == 0 &&
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&a), &length) == 0)
            m_port = ntohs(a.sin_port);
        m_acceptor = std::thread([this] { acceptLoop(); });
    }
    ~BitFlipProxy()
    {
        m_stop = true;
        m_acceptor.join();
        for (auto& t : m_connections)
            t.join();
        ::close(m_listener);
    }
    uint16_t port() const { return m_port; }
    bool damaged() const { return m_damaged; }
    // Sends the chosen chunk twice, unchanged, instead of flipping a bit.
    void replayInstead() { m_replay = true; }

private:
    static sockaddr_in loopback(uint16_t port)
    {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(port);
        return a;
    }

    void acceptLoop()
    {
        pollfd p{m_listener, POLLIN, 0};
        while (!m_stop)
        {
            if (::poll(&p, 1, 100) <= 0)
                continue;
            int client = ::accept(m_listener, nullptr, nullptr);
            if (client >= 0)
                m_connections.emplace_back([this, client] { forward(client); });
        }
    }

    void forward(int client)
    {
        int server = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = loopback(m_serverPort);
        if (::connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
        {
            ::close(client);
            ::close(server);
            return;
        }
        std::vector<uint8_t> pending; // client bytes not yet forwarded as whole chunks
        bool secured = false;
        int messages = 0;
        bool open = true;
        uint8_t buffer[65536];
        pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
        while (!m_stop && open)
        {
            if (::poll(fds, 2, 100) <= 0)
                continue;
            if (fds[1].revents)
            {
                ssize_t n = ::read(server, buffer, sizeof buffer);
                open = n > 0 && ::send(client, buffer, static_cast<size_t>(n), MSG_NOSIGNAL) == n;
            }
            if (open && fds[0].revents)
            {
                ssize_t n = ::read(client, buffer, sizeof buffer);
                open = n > 0;
                if (open)
                    pending.insert(pending.end(), buffer, buffer + n);
                while (open && pending.size() >= 8)
                {
                    size_t size = pending[4] | pending[5] << 8 | pending[6] << 16 | size_t(pending[7]) << 24;
                    if (size < 8 || pending.size() < size)
                        break;
                    std::string type(pending.begin(), pending.begin() + 3);
                    if (type == "OPN")
                        secured =
                            secured || std::string(pending.begin(), pending.begin() + size).find("#Basic") !=
                                           std::string::npos;
                    bool replay = false;
                    if (type == m_typeToDamage && secured && ++messages == m_chunkToDamage)
                    {
                        replay = m_replay;
                        if (!replay)
                            pending[size - 3] ^= 0x10; // in the signature (or encrypted text)
                        m_damaged = true;
                    }
                    open = ::send(server, pending.data(), size, MSG_NOSIGNAL) == static_cast<ssize_t>(size);
                    if (open && replay)
                        open =
                            ::send(server, pending.data(), size, MSG_NOSIGNAL) == static_cast<ssize_t>(size);
                    pending.erase(pending.begin(), pending.begin() + static_cast<long>(size));
                }
            }
        }
        ::close(client);
        ::close(server);
    }

    uint16_t m_serverPort;
    int m_chunkToDamage;
    std::string m_typeToDamage;
    bool m_replay = false;
    int m_listener = -1;
    uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_damaged{false};
    std::thread m_acceptor;
    std::vector<std::thread> m_connections; // touched by the acceptor only until it is joined
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
        serverIdentity =
            sectest::makeIdentity("uatcp test server", 2048, nullptr, false, -1, 365, kApplicationUri);
        sectest::writeFile(trusted + "/server.der", serverIdentity.certificate);
        TestSecurity security;
        security.certificate = serverIdentity.certificate;
        security.privateKey = serverIdentity.privateKeyDer();
        security.trustedFolder = trusted;
        security.revocationPath = crl;
        security.policies = {{kBasic256, kSignModes}, {kBasic128Rsa15, kSignModes}};
        ASSERT_TRUE(server.start("127.0.0.1", nullptr, &security));
    }

    // The device makes 1024-bit server keys of its own; 2048 bits are common elsewhere.
    virtual int serverKeyBits() const { return 2048; }

    ProcessResult run(const std::string& policy, const std::string& mode, const std::string& url,
                      const std::vector<std::string>& more = {}, std::vector<std::string> environment = {})
    {
        std::vector<std::string> options;
        if (policy == "Basic128Rsa15")
            options.push_back("--security-revert=CVE-2023-46809"); // PKCS #1 v1.5 decryption
        std::vector<std::string> args = {url, policy, mode};
        args.insert(args.end(), more.begin(), more.end());
        environment.push_back("HOME=" + home);
        return runNodeScript(options, "secure_session.js", args, environment);
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
    int serverBits;
};

class SecureNodeClientPolicies : public SecureNodeClient, public ::testing::WithParamInterface<PolicyMode>
{
protected:
    int serverKeyBits() const override { return GetParam().serverBits; }
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
                         ::testing::Values(PolicyMode{"Basic256", "Sign", 2048},
                                           PolicyMode{"Basic256", "SignAndEncrypt", 2048},
                                           PolicyMode{"Basic128Rsa15", "Sign", 2048},
                                           PolicyMode{"Basic128Rsa15", "SignAndEncrypt", 2048},
                                           PolicyMode{"Basic256", "SignAndEncrypt", 1024},
                                           PolicyMode{"Basic128Rsa15", "SignAndEncrypt", 1024}));

TEST_F(SecureNodeClient, UntrustedClientIsRefusedWithItsCertificateReported)
{
    ASSERT_NO_FATAL_FAILURE(trustClient());
    // What reached the callback is the client's own certificate.
    EXPECT_EQ(clientCertificate,
              sectest::pemToDer(sectest::readTextFile(clientPki() + "/own/certs/client_certificate.pem")));
}

TEST_F(SecureNodeClient, TokenRenewalsDuringTheRun)
{
    ASSERT_NO_FATAL_FAILURE(trustClient());
    ProcessResult r = run("Basic256", "SignAndEncrypt", server.url(), {"2000", "2"});
    ASSERT_NO_FATAL_FAILURE(expectSummary(r));
    EXPECT_GE(jsonField(r.output, "renewals"), 2);
    EXPECT_GE(server.renewed.load(), 2);
}

TEST_F(SecureNodeClient, ClientOfATrustedAuthorityUntilItIsRevoked)
{
    // The client's certificate comes from an authority the server trusts; the
    // client's own certificate is not in the trust list.
    sectest::Identity authority = sectest::makeIdentity("uatcp test authority", 2048, nullptr, true);
    sectest::Identity client = sectest::makeIdentity("uatcp client", 2048, &authority);
    sectest::writeFile(trusted + "/authority.der", authority.certificate);
    sectest::writeFile(home + "/client.pem", client.certificatePem());
    sectest::writeFile(home + "/client.key", client.privateKeyPem());
    std::vector<std::string> files = {"CLIENT_CERTIFICATE=" + home + "/client.pem",
                                      "CLIENT_PRIVATE_KEY=" + home + "/client.key"};
    ASSERT_NO_FATAL_FAILURE(expectSummary(run("Basic256", "SignAndEncrypt", server.url(), {}, files)));
    EXPECT_EQ(server.openFailed.load(), 0);

    sectest::writeFile(crl + "/authority.crl", sectest::makeRevocationList(authority, {client.serial}));
    ProcessResult r = run("Basic256", "Sign", server.url(), {}, files);
    EXPECT_NE(r.exitCode, 0) << r.output;
    ASSERT_TRUE(waitUntil([&] { return server.openFailed.load() >= 1; }));
    EXPECT_EQ(server.lastOpenFailure(), OpcUa_BadCertificateRevoked);
    EXPECT_EQ(server.lastRefusedCertificate(), client.certificate);
    EXPECT_EQ(server.sessionsCreated.load(), 1);
}

TEST_F(SecureNodeClient, FlippedBitClosesThatChannelWhileAnotherKeepsWorking)
{
    ASSERT_NO_FATAL_FAILURE(trustClient());
    uint16_t port = static_cast<uint16_t>(std::stoi(server.url().substr(server.url().rfind(':') + 1)));
    for (const char* mode : {"Sign", "SignAndEncrypt"})
    {
        SCOPED_TRACE(mode);
        server.lastCloseStatus = OpcUa_Good;
        int closedBefore = server.closed.load();
        BitFlipProxy proxy(port, 6); // after endpoints, session and the first reads
        ProcessResult damaged;
        std::thread victim(
            [&]
            {
                damaged = run("Basic256", mode, "opc.tcp://127.0.0.1:" + std::to_string(proxy.port()),
                              {"600000", "0", "40", "0"});
            });
        ASSERT_TRUE(waitUntil([&] { return proxy.damaged(); }));
        // The damaged channel is reported closed for its failed check.
        EXPECT_TRUE(
            waitUntil([&] { return server.lastCloseStatus.load() == OpcUa_BadSecurityChecksFailed; }));
        ProcessResult healthy = run("Basic256", mode, server.url(), {"600000", "0", "40"});
        victim.join();
        EXPECT_NE(damaged.exitCode, 0) << damaged.output;
        ASSERT_NO_FATAL_FAILURE(expectSummary(healthy));
        EXPECT_EQ(jsonField(healthy.output, "reads"), 40);
        EXPECT_TRUE(waitUntil([&] { return server.closed.load() >= closedBefore + 2; }));
    }
    // And the server still takes new clients.
    ASSERT_NO_FATAL_FAILURE(expectSummary(run("Basic128Rsa15", "SignAndEncrypt", server.url())));
}

TEST_F(SecureNodeClient, DamagedOpenSecureChannelIsAFailedOpen)
{
    ASSERT_NO_FATAL_FAILURE(trustClient());
    uint16_t port = static_cast<uint16_t>(std::stoi(server.url().substr(server.url().rfind(':') + 1)));
    int refusedBefore = server.openFailed.load();
    BitFlipProxy proxy(port, 1, "OPN");
    ProcessResult r = run("Basic256", "SignAndEncrypt", "opc.tcp://127.0.0.1:" + std::to_string(proxy.port()),
                          {"600000", "0", "1", "0"});
    EXPECT_TRUE(proxy.damaged());
    EXPECT_NE(r.exitCode, 0) << r.output;
    ASSERT_TRUE(waitUntil([&] { return server.openFailed.load() > refusedBefore; }));
    EXPECT_EQ(server.lastOpenFailure(), OpcUa_BadSecurityChecksFailed);
    EXPECT_EQ(server.lastRefusedCertificate(), clientCertificate);
    EXPECT_EQ(server.sessionsCreated.load(), 0);
}

TEST_F(SecureNodeClient, ReplayedChunkClosesTheChannel)
{
    ASSERT_NO_FATAL_FAILURE(trustClient());
    uint16_t port = static_cast<uint16_t>(std::stoi(server.url().substr(server.url().rfind(':') + 1)));
    BitFlipProxy proxy(port, 6);
    proxy.replayInstead();
    ProcessResult r = run("Basic256", "SignAndEncrypt", "opc.tcp://127.0.0.1:" + std::to_string(proxy.port()),
                          {"600000", "0", "40", "0"});
    EXPECT_TRUE(proxy.damaged());
    EXPECT_NE(r.exitCode, 0) << r.output;
    EXPECT_TRUE(waitUntil([&] { return server.lastCloseStatus.load() == OpcUa_BadSequenceNumberInvalid; }));
}
