// A channel protection of the test's own, plugged in through the policy
// registry, proves the slot the signing and encrypting policies use: the
// certificate check at OpenSecureChannel, the nonce exchange, keys per token
// across renewals, and chunks that fail their check.
#include "tcp_client.h"
#include "uatcp_echo_server.h"
#include "uatcp_raw_client.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

using namespace uatcp;
using namespace uatcp::test;

namespace
{
constexpr const char* kPolicy = "urn:uatcp:test:policy#Checksum";
constexpr uint32_t kBadCertificateUntrusted = 0x801A0000;
constexpr uint8_t kAsymmetricKey = 0x5A;

Bytes text(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

// XORs everything after the headers with a key per token and appends a
// checksum: weak on purpose, but any change to a chunk is found.
class ChecksumSecurity final : public ChannelSecurity
{
public:
    explicit ChecksumSecurity(const SecurityCredentials& credentials) : m_credentials(credentials) {}
    const std::string& policyUri() const override { return m_uri; }
    SecurityMode mode() const override { return m_mode; }
    uint32_t setMode(SecurityMode mode) override
    {
        if (mode != SecurityMode::Sign && mode != SecurityMode::SignAndEncrypt)
            return status::BadSecurityModeRejected;
        m_mode = mode;
        return status::Good;
    }
    uint32_t acceptPeer(const Bytes& senderCertificate, const Bytes&) override
    {
        // Servers trust one client certificate; clients expect the server's.
        const Bytes& expected =
            m_credentials.peerCertificate.empty() ? text("trusted-client") : m_credentials.peerCertificate;
        return senderCertificate == expected ? status::Good : kBadCertificateUntrusted;
    }
    Bytes senderCertificate() const override { return m_credentials.ownCertificate; }
    Bytes receiverThumbprint() const override { return {}; }
    Bytes createNonce() override
    {
        std::lock_guard lock(m_mutex);
        return Bytes{static_cast<uint8_t>(m_random()), static_cast<uint8_t>(m_random()), 7, 9};
    }
    uint32_t activateToken(uint32_t tokenId, const Bytes& clientNonce, const Bytes& serverNonce) override
    {
        if (clientNonce.size() != 4 || serverNonce.size() != 4)
            return status::BadSecurityChecksFailed;
        std::lock_guard lock(m_mutex);
        m_keys[tokenId] = static_cast<uint8_t>((clientNonce[0] ^ serverNonce[0] ^ tokenId) | 1);
        ++activated;
        return status::Good;
    }
    void retireToken(uint32_t tokenId) override
    {
        std::lock_guard lock(m_mutex);
        retired += static_cast<int>(m_keys.erase(tokenId));
    }
    size_t maxBodySize(size_t chunkSize, size_t headerSize, bool) const override
    {
        return chunkSize > headerSize + 4 ? chunkSize - headerSize - 4 : 0;
    }
    uint32_t protect(Bytes& chunk, size_t securedFrom, bool asymmetric, uint32_t tokenId) override
    {
        uint8_t key;
        if (!keyFor(asymmetric, tokenId, key))
            return status::BadSecureChannelTokenUnknown;
        uint32_t sum = checksum(chunk, securedFrom, chunk.size());
        BinaryWriter(chunk).uint32(sum);
        for (size_t i = securedFrom; i < chunk.size(); ++i)
            chunk[i] ^= key;
        BinaryWriter(chunk).patchUInt32(4, static_cast<uint32_t>(chunk.size()));
        return status::Good;
    }
    uint32_t unprotect(Bytes& chunk, size_t securedFrom, bool asymmetric, uint32_t tokenId,
                       size_t& plainEnd) override
    {
        uint8_t key;
        if (!keyFor(asymmetric, tokenId, key))
            return status::BadSecureChannelTokenUnknown;
        if (chunk.size() < securedFrom + 4)
            return status::BadSecurityChecksFailed;
        for (size_t i = securedFrom; i < chunk.size(); ++i)
            chunk[i] ^= key;
        plainEnd = chunk.size() - 4;
        uint32_t sum = 0;
        BinaryReader(chunk.data() + plainEnd, 4).uint32(sum);
        return sum == checksum(chunk, securedFrom, plainEnd) ? status::Good : status::BadSecurityChecksFailed;
    }

    static inline std::atomic<int> activated{0};
    static inline std::atomic<int> retired{0};

private:
    static uint32_t checksum(const Bytes& b, size_t from, size_t to)
    {
        uint32_t sum = 2166136261u;
        for (size_t i = from; i < to; ++i)
            sum = (sum ^ b[i]) * 16777619u;
        return sum;
    }
    bool keyFor(bool asymmetric, uint32_t tokenId, uint8_t& key)
    {
        if (asymmetric)
        {
            key = kAsymmetricKey;
            return true;
        }
        std::lock_guard lock(m_mutex);
        auto it = m_keys.find(tokenId);
        if (it == m_keys.end())
            return false;
        key = it->second;
        return true;
    }

    SecurityCredentials m_credentials;
    std::string m_uri = kPolicy;
    SecurityMode m_mode = SecurityMode::Invalid;
    std::mutex m_mutex;
    std::map<uint32_t, uint8_t> m_keys;
    std::mt19937 m_random{std::random_device{}()};
};

struct UatcpSecuritySlot : ::testing::Test
{
    EchoHandler handler;
    std::unique_ptr<TcpServer> server;
    void SetUp() override
    {
        registerChannelSecurity(kPolicy, [](const SecurityCredentials& c)
                                { return std::make_unique<ChecksumSecurity>(c); });
        ServerSettings settings = echoSettings();
        settings.policies.push_back({kPolicy, 0x4});
        settings.credentials.ownCertificate = text("server-cert");
        settings.minTokenLifetimeMs = 1000;
        server = std::make_unique<TcpServer>(settings, handler);
        ASSERT_EQ(server->open("opc.tcp://127.0.0.1:0"), status::Good);
    }
    void TearDown() override { server->close(); }
    std::string url() const { return "opc.tcp://127.0.0.1:" + std::to_string(server->port()); }
    ClientSettings clientSettings(const std::string& certificate)
    {
        ClientSettings s;
        s.policyUri = kPolicy;
        s.mode = SecurityMode::SignAndEncrypt;
        s.requestedLifetimeMs = 1000;
        s.credentials.ownCertificate = text(certificate);
        s.credentials.peerCertificate = text("server-cert");
        return s;
    }
};
} // namespace

TEST_F(UatcpSecuritySlot, ProtectedChannelCarriesMessagesAcrossRenewals)
{
    ClientConnection client;
    ASSERT_EQ(client.connect(url(), clientSettings("trusted-client"), nullptr), status::Good);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    uint32_t round = 0;
    while (client.tokenId() < 4 && std::chrono::steady_clock::now() < deadline)
    {
        Bytes request(20000 + round, static_cast<uint8_t>(round));
        Bytes response;
        ASSERT_EQ(client.invoke(request, response, 30000), status::Good);
        ASSERT_EQ(response, request);
        ++round;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_GE(client.tokenId(), 4u);
    EXPECT_GE(handler.count(ChannelEvent::Renewed), 3u);
    // Both sides derived keys for every token and dropped the old ones.
    EXPECT_GE(ChecksumSecurity::activated.load(), 8);
    EXPECT_GE(ChecksumSecurity::retired.load(), 2);
}

TEST_F(UatcpSecuritySlot, UntrustedClientCertificateIsRefusedAndReported)
{
    ClientConnection client;
    EXPECT_EQ(client.connect(url(), clientSettings("intruder"), nullptr), kBadCertificateUntrusted);
    ASSERT_TRUE(handler.waitFor(ChannelEvent::Opened, 1, false));
    auto events = handler.events();
    EXPECT_EQ(events.front().status, kBadCertificateUntrusted);
    EXPECT_EQ(events.front().certificate, text("intruder"));
    ClientConnection trusted;
    EXPECT_EQ(trusted.connect(url(), clientSettings("trusted-client"), nullptr), status::Good);
}

TEST_F(UatcpSecuritySlot, ChangedChunkFailsItsCheckAndClosesTheConnection)
{
    // An OPN protected by hand, with the trusted certificate; flipBit changes one byte after protection.
    auto play = [&](bool flipBit)
    {
        ChecksumSecurity security({});
        OpenRequest request;
        request.securityMode = 3;
        request.clientNonce = security.createNonce();
        auto raw = std::make_unique<RawClient>();
        EXPECT_TRUE(raw->connect(server->port()));
        EXPECT_TRUE(raw->hello());
        Bytes plain = raw->chunk(MessageType::Open, 'F', 0, 0, 1, 1, encodeOpenRequest(request), kPolicy);
        ChunkInfo info;
        EXPECT_EQ(parseChunkHeaders(plain, info), status::Good);
        Bytes chunk;
        BinaryWriter w(chunk);
        w.raw(plain.data(), 12);
        w.string(std::string(kPolicy));
        Bytes cert = text("trusted-client");
        w.byteString(cert.data(), static_cast<int32_t>(cert.size()));
        w.int32(-1);
        size_t securedFrom = chunk.size();
        w.raw(plain.data() + info.securedFrom, plain.size() - info.securedFrom);
        EXPECT_EQ(security.protect(chunk, securedFrom, true, 0), status::Good);
        if (flipBit)
            chunk[securedFrom + 12] ^= 0x01;
        EXPECT_TRUE(raw->send(chunk));
        return raw;
    };
    auto intact = play(false);
    auto answer = intact->read();
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->header.type, MessageType::Open);

    auto changed = play(true);
    EXPECT_EQ(changed->readError(), status::BadSecurityChecksFailed);
    EXPECT_TRUE(changed->closedByPeer());
    ClientConnection trusted;
    EXPECT_EQ(trusted.connect(url(), clientSettings("trusted-client"), nullptr), status::Good);
}
