// A client and a server protection object of each secured policy exchange
// real chunks (built and parsed by the channel layer): OpenSecureChannel
// asymmetrically, then messages of many sizes in Sign and SignAndEncrypt,
// over several chunks and after a renewal; every tampering is refused.
#include "chunk_layer.h"
#include "policy_channel_security.h"
#include "security_status.h"
#include "test_certificates.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace uasec;
using uatcp::SecurityMode;

namespace
{
struct Side
{
    sectest::Identity identity;
    std::unique_ptr<PolicyChannelSecurity> security;
};

struct Pair
{
    Side server;
    Side client;
    uint32_t checkedServer = 0;
};

Pair makePair(const char* uri, int serverBits, int clientBits, uint32_t* trustedResult = nullptr)
{
    Pair p;
    p.server.identity = sectest::makeIdentity("server", serverBits);
    p.client.identity = sectest::makeIdentity("client", clientBits);
    const PolicyDescription& policy = *findPolicy(uri);
    Bytes serverKey = p.server.identity.privateKeyDer();
    Bytes clientKey = p.client.identity.privateKeyDer();
    Bytes clientCertificate = p.client.identity.certificate;
    CertificateCheck serverCheck = [clientCertificate, trustedResult](const Bytes& certificate)
    {
        if (trustedResult)
            return *trustedResult;
        return certificate == clientCertificate ? status::Good : status::BadCertificateUntrusted;
    };
    p.server.security = std::make_unique<PolicyChannelSecurity>(
        policy, PolicyChannelSecurity::Role::Server, p.server.identity.certificate,
        RsaKey::fromPrivateKey(serverKey.data(), serverKey.size()), Bytes(), serverCheck);
    p.client.security = std::make_unique<PolicyChannelSecurity>(
        policy, PolicyChannelSecurity::Role::Client, p.client.identity.certificate,
        RsaKey::fromPrivateKey(clientKey.data(), clientKey.size()), p.server.identity.certificate,
        [](const Bytes&) { return status::Good; });
    return p;
}

Bytes pattern(size_t size, uint8_t seed)
{
    Bytes out(size);
    for (size_t i = 0; i < size; ++i)
        out[i] = static_cast<uint8_t>(seed + i * 7);
    return out;
}

std::vector<Bytes> build(PolicyChannelSecurity& from, uatcp::MessageType type, uint32_t tokenId,
                         const Bytes& body, uatcp::SequenceCounter& counter, size_t chunkSize = 8192)
{
    uatcp::ChunkWriteParams params;
    params.type = type;
    params.channelId = 7;
    params.tokenId = tokenId;
    params.requestId = 3;
    params.chunkSize = chunkSize;
    if (type == uatcp::MessageType::Open)
    {
        params.policyUri = from.policyUri();
        params.senderCertificate = from.senderCertificate();
        params.receiverThumbprint = from.receiverThumbprint();
    }
    std::vector<Bytes> chunks;
    EXPECT_EQ(uatcp::buildChunks(params, from, counter, body.data(), body.size(), chunks), status::Good);
    for (const Bytes& chunk : chunks)
    {
        EXPECT_LE(chunk.size(), chunkSize);
        EXPECT_EQ(chunk[4] | chunk[5] << 8 | chunk[6] << 16 | static_cast<size_t>(chunk[7]) << 24,
                  chunk.size());
    }
    return chunks;
}

// Unprotects every chunk as the receiving side would; returns the joined body or the first bad status.
uint32_t receive(PolicyChannelSecurity& at, std::vector<Bytes> chunks, Bytes& body)
{
    body.clear();
    for (Bytes& chunk : chunks)
    {
        uatcp::ChunkInfo info;
        uint32_t result = uatcp::parseChunkHeaders(chunk, info);
        if (status::isBad(result))
            return result;
        bool asymmetric = info.type == uatcp::MessageType::Open;
        if (asymmetric)
        {
            result = at.acceptPeer(info.senderCertificate, info.receiverThumbprint);
            if (status::isBad(result))
                return result;
        }
        size_t plainEnd = 0;
        result = at.unprotect(chunk, info.securedFrom, asymmetric, info.tokenId, plainEnd);
        if (status::isBad(result))
            return result;
        result = uatcp::parseSequenceHeader(chunk, plainEnd, info);
        if (status::isBad(result))
            return result;
        body.insert(body.end(), chunk.begin() + static_cast<long>(info.bodyOffset),
                    chunk.begin() + static_cast<long>(info.bodyEnd));
    }
    return status::Good;
}

// The OpenSecureChannel exchange: returns the token's nonces after both sides activated it.
void open(Pair& p, SecurityMode mode, uint32_t tokenId, uatcp::SequenceCounter& clientSeq,
          uatcp::SequenceCounter& serverSeq)
{
    ASSERT_EQ(p.client.security->setMode(mode), status::Good);
    Bytes clientNonce = p.client.security->createNonce();
    Bytes request = pattern(90, 1);
    request.insert(request.end(), clientNonce.begin(), clientNonce.end());
    Bytes got;
    ASSERT_EQ(receive(*p.server.security,
                      build(*p.client.security, uatcp::MessageType::Open, 0, request, clientSeq), got),
              status::Good);
    ASSERT_EQ(got, request);
    ASSERT_EQ(p.server.security->setMode(mode), status::Good);
    Bytes serverNonce = p.server.security->createNonce();
    ASSERT_EQ(p.server.security->activateToken(tokenId, clientNonce, serverNonce), status::Good);
    Bytes response = pattern(70, 9);
    response.insert(response.end(), serverNonce.begin(), serverNonce.end());
    ASSERT_EQ(receive(*p.client.security,
                      build(*p.server.security, uatcp::MessageType::Open, 0, response, serverSeq), got),
              status::Good);
    ASSERT_EQ(got, response);
    ASSERT_EQ(p.client.security->activateToken(tokenId, clientNonce, serverNonce), status::Good);
}

struct PolicyCase
{
    const char* uri;
    int serverBits;
    int clientBits;
};

class ChannelProtection : public ::testing::TestWithParam<PolicyCase>
{
};
} // namespace

TEST_P(ChannelProtection, MessagesOfManySizesBothWaysAndAfterRenewal)
{
    const PolicyCase& c = GetParam();
    for (SecurityMode mode : {SecurityMode::Sign, SecurityMode::SignAndEncrypt})
    {
        SCOPED_TRACE(static_cast<int>(mode));
        Pair p = makePair(c.uri, c.serverBits, c.clientBits);
        uatcp::SequenceCounter clientSeq, serverSeq;
        open(p, mode, 1, clientSeq, serverSeq);
        for (size_t size : {0u, 1u, 15u, 16u, 100u, 8000u, 8147u, 8148u, 30000u})
        {
            SCOPED_TRACE(size);
            Bytes body = pattern(size, static_cast<uint8_t>(size));
            auto chunks = build(*p.client.security, uatcp::MessageType::Message, 1, body, clientSeq);
            if (mode == SecurityMode::SignAndEncrypt && size >= 100)
            {
                // No plain text on the wire.
                EXPECT_EQ(std::search(chunks[0].begin(), chunks[0].end(), body.begin(), body.begin() + 64),
                          chunks[0].end());
            }
            Bytes got;
            ASSERT_EQ(receive(*p.server.security, chunks, got), status::Good);
            EXPECT_EQ(got, body);
            ASSERT_EQ(receive(*p.client.security,
                              build(*p.server.security, uatcp::MessageType::Message, 1, body, serverSeq),
                              got),
                      status::Good);
            EXPECT_EQ(got, body);
        }
        // Renewal: token 2 with fresh nonces; token 1 keeps working until retired.
        open(p, mode, 2, clientSeq, serverSeq);
        Bytes body = pattern(500, 3), got;
        ASSERT_EQ(receive(*p.server.security,
                          build(*p.client.security, uatcp::MessageType::Message, 2, body, clientSeq), got),
                  status::Good);
        EXPECT_EQ(got, body);
        ASSERT_EQ(receive(*p.server.security,
                          build(*p.client.security, uatcp::MessageType::Message, 1, body, clientSeq), got),
                  status::Good);
        p.server.security->retireToken(1);
        EXPECT_EQ(receive(*p.server.security,
                          build(*p.client.security, uatcp::MessageType::Message, 1, body, clientSeq), got),
                  status::BadSecureChannelTokenUnknown);
        // Keys of different tokens differ: a chunk of token 2 relabelled as token 3 after a
        // renewal to token 3 fails.
        open(p, mode, 3, clientSeq, serverSeq);
        auto chunks = build(*p.client.security, uatcp::MessageType::Message, 2, body, clientSeq);
        chunks[0][12] = 3;
        EXPECT_EQ(receive(*p.server.security, chunks, got), status::BadSecurityChecksFailed);
    }
}

TEST_P(ChannelProtection, EveryFlippedBitIsRefused)
{
    const PolicyCase& c = GetParam();
    for (SecurityMode mode : {SecurityMode::Sign, SecurityMode::SignAndEncrypt})
    {
        SCOPED_TRACE(static_cast<int>(mode));
        Pair p = makePair(c.uri, c.serverBits, c.clientBits);
        uatcp::SequenceCounter clientSeq, serverSeq;
        open(p, mode, 1, clientSeq, serverSeq);
        Bytes body = pattern(300, 5), got;
        auto chunk = build(*p.client.security, uatcp::MessageType::Message, 1, body, clientSeq)[0];
        // Every byte after the token id, one bit each (the header bytes before it are checked by the
        // channel layer or lead to another token).
        for (size_t at = 16; at < chunk.size(); ++at)
        {
            Bytes damaged = chunk;
            damaged[at] ^= static_cast<uint8_t>(1u << (at % 8));
            ASSERT_NE(receive(*p.server.security, {damaged}, got), status::Good) << "byte " << at;
        }
        // The asymmetric open of a second pair, damaged in its encrypted part.
        Pair q = makePair(c.uri, c.serverBits, c.clientBits);
        ASSERT_EQ(q.client.security->setMode(mode), status::Good);
        uatcp::SequenceCounter seq;
        auto opn = build(*q.client.security, uatcp::MessageType::Open, 0, pattern(120, 2), seq)[0];
        for (size_t at : {opn.size() - 1, opn.size() - 200, opn.size() / 2 + 200})
        {
            Bytes damaged = opn;
            damaged[at] ^= 0x04;
            EXPECT_EQ(receive(*q.server.security, {damaged}, got), status::BadSecurityChecksFailed);
        }
        EXPECT_EQ(receive(*q.server.security, {opn}, got), status::Good);
    }
}

INSTANTIATE_TEST_SUITE_P(Policies, ChannelProtection,
                         ::testing::Values(PolicyCase{kPolicyBasic256, 2048, 2048},
                                           PolicyCase{kPolicyBasic256, 1024, 2048},
                                           PolicyCase{kPolicyBasic128Rsa15, 2048, 1024},
                                           PolicyCase{kPolicyBasic128Rsa15, 1024, 1024}));

TEST(ChannelProtectionChecks, PeerCertificateThumbprintModeAndNonces)
{
    uint32_t untrusted = status::BadCertificateUntrusted;
    Pair p = makePair(kPolicyBasic256, 2048, 2048, &untrusted);
    Bytes thumbprint = sha1(p.server.identity.certificate.data(), p.server.identity.certificate.size());
    EXPECT_EQ(p.client.security->receiverThumbprint(), thumbprint);
    // The store's verdict is the answer.
    EXPECT_EQ(p.server.security->acceptPeer(p.client.identity.certificate, thumbprint),
              status::BadCertificateUntrusted);
    Pair q = makePair(kPolicyBasic256, 2048, 2048);
    thumbprint = sha1(q.server.identity.certificate.data(), q.server.identity.certificate.size());
    Bytes wrong = thumbprint;
    wrong[0] ^= 1;
    EXPECT_EQ(q.server.security->acceptPeer(q.client.identity.certificate, wrong),
              status::BadSecurityChecksFailed);
    EXPECT_EQ(q.server.security->acceptPeer({}, thumbprint), status::BadCertificateInvalid);
    EXPECT_EQ(q.server.security->acceptPeer(pattern(300, 1), thumbprint), status::BadCertificateInvalid);
    // Key sizes outside the policy's range.
    sectest::Identity big = sectest::makeIdentity("big", 3072);
    EXPECT_EQ(q.server.security->acceptPeer(big.certificate, thumbprint),
              status::BadCertificateUseNotAllowed);
    // The client only talks to the server it expects.
    sectest::Identity other = sectest::makeIdentity("other", 2048);
    EXPECT_EQ(q.client.security->acceptPeer(other.certificate, sha1(q.client.identity.certificate.data(),
                                                                    q.client.identity.certificate.size())),
              status::BadCertificateInvalid);
    // A chain counts by its first certificate; a renewal may not swap the certificate.
    Bytes chain = q.client.identity.certificate;
    chain.insert(chain.end(), other.certificate.begin(), other.certificate.end());
    EXPECT_EQ(q.server.security->acceptPeer(chain, thumbprint), status::Good);
    EXPECT_EQ(q.server.security->acceptPeer(other.certificate, thumbprint), status::BadCertificateInvalid);

    EXPECT_EQ(q.server.security->setMode(SecurityMode::None), status::BadSecurityModeRejected);
    EXPECT_EQ(q.server.security->setMode(SecurityMode::Sign), status::Good);
    EXPECT_EQ(q.server.security->setMode(SecurityMode::SignAndEncrypt), status::BadSecurityModeRejected);
    EXPECT_EQ(q.server.security->createNonce().size(), 32u);
    EXPECT_EQ(q.server.security->activateToken(1, pattern(16, 0), pattern(32, 0)), status::BadNonceInvalid);
    EXPECT_EQ(q.server.security->activateToken(1, pattern(32, 0), pattern(31, 0)), status::BadNonceInvalid);
    Bytes chunk(40, 0);
    EXPECT_EQ(q.server.security->protect(chunk, 16, false, 9), status::BadSecureChannelTokenUnknown);
}

TEST(ChannelProtectionChecks, PaddingIsStrippedOnlyWhenWellFormed)
{
    // body 4 bytes, padding size 3, three padding bytes of 3.
    Bytes chunk = {1, 2, 3, 4, 3, 3, 3, 3};
    EXPECT_EQ(stripPadding(chunk, chunk.size(), 0, false), 4u);
    chunk[5] = 2;
    EXPECT_EQ(stripPadding(chunk, chunk.size(), 0, false), 0u);
    EXPECT_EQ(stripPadding({9, 9, 9}, 3, 0, false), 0u); // padding reaches below the start
    // Two-byte size: 0x0102 = 258 bytes of 0x02, then 0x02, then 0x01.
    Bytes big(10 + 259 + 1, 0x02);
    std::fill_n(big.begin(), 10, 7);
    big.back() = 0x01;
    EXPECT_EQ(stripPadding(big, big.size(), 8, true), 10u);
    EXPECT_EQ(stripPadding(big, big.size(), 11, true), 0u);
}

TEST(ChannelProtectionChecks, RandomChunksAreRefusedWithoutHarm)
{
    for (const char* uri : {kPolicyBasic256, kPolicyBasic128Rsa15})
    {
        Pair p = makePair(uri, 1024, 1024);
        uatcp::SequenceCounter clientSeq, serverSeq;
        open(p, SecurityMode::SignAndEncrypt, 1, clientSeq, serverSeq);
        // Sizes that fit whole RSA (128) and AES (16) blocks after the 16 header bytes among them.
        for (size_t size : {0u, 1u, 23u, 24u, 40u, 44u, 100u, 144u, 272u, 528u, 1000u, 4112u})
        {
            for (bool asymmetric : {false, true})
            {
                Bytes chunk = randomBytes(size);
                chunk.resize(size);
                size_t plainEnd = 0;
                EXPECT_NE(p.server.security->unprotect(chunk, 16, asymmetric, 1, plainEnd), status::Good);
                EXPECT_EQ(plainEnd, 0u);
            }
        }
    }
}
