// Known answers of the building blocks (P_SHA1, HMAC-SHA1, AES-CBC) and of
// each policy's key layout, padding and chunk sizes; RSA round trips.
#include "crypto_primitives.h"
#include "security_policies.h"
#include "security_status.h"
#include "test_certificates.h"

#include <gtest/gtest.h>

using namespace uasec;

namespace
{
Bytes hex(const std::string& text)
{
    Bytes out;
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return out;
}

Bytes range(uint8_t from, size_t count)
{
    Bytes out(count);
    for (size_t i = 0; i < count; ++i)
        out[i] = static_cast<uint8_t>(from + i);
    return out;
}
} // namespace

TEST(PSha1, KnownAnswers)
{
    EXPECT_EQ(pSha1(range(0, 16), range(0x40, 16), 48),
              hex("4ee28a88053b5a7cc8df8344ef94037741efb7845aa9b4067ae361ecb8c4cdb696d2c3cf75b30b9be4316b69a4"
                  "83320c"));
    Bytes long72 = pSha1(range(0, 32), range(0x80, 32), 72);
    EXPECT_EQ(long72,
              hex("2f738c0d36c86c17dc1c0c4578d6a194847b817095b34c840403604f0947ac4c65c6792491c962f86e5e0e6a"
                  "721bbe089fac625f1bb675de6f7505e6f9f876d13931c23e12b6613d"));
    // A shorter request is a prefix of the longer stream.
    Bytes short30 = pSha1(range(0, 32), range(0x80, 32), 30);
    EXPECT_TRUE(std::equal(short30.begin(), short30.end(), long72.begin()));
}

TEST(PSha1, PolicyKeyLayout)
{
    struct Case
    {
        const char* uri;
        size_t nonce, signing, encrypting;
    };
    for (const Case& c : {Case{kPolicyBasic128Rsa15, 16, 16, 16}, Case{kPolicyBasic256, 32, 24, 32}})
    {
        SCOPED_TRACE(c.uri);
        const PolicyDescription* policy = findPolicy(c.uri);
        ASSERT_NE(policy, nullptr);
        EXPECT_EQ(policy->nonceLength, c.nonce);
        Bytes secret = range(0, c.nonce), seed = range(0x80, c.nonce);
        Bytes stream = pSha1(secret, seed, c.signing + c.encrypting + 16);
        SymmetricKeys keys = deriveKeys(*policy, secret, seed);
        EXPECT_EQ(keys.signingKey, Bytes(stream.begin(), stream.begin() + c.signing));
        EXPECT_EQ(keys.encryptingKey,
                  Bytes(stream.begin() + c.signing, stream.begin() + c.signing + c.encrypting));
        EXPECT_EQ(keys.iv, Bytes(stream.end() - 16, stream.end()));
    }
    EXPECT_EQ(findPolicy("http://opcfoundation.org/UA/SecurityPolicy#None"), nullptr);
}

TEST(Hmac, KnownAnswer)
{
    const char* text = "Hi There";
    EXPECT_EQ(hmacSha1(Bytes(20, 0x0b), reinterpret_cast<const uint8_t*>(text), 8),
              hex("b617318655057264e28bc0b6fb378c8ef146be00"));
}

TEST(Aes, CbcKnownAnswersBothWays)
{
    struct Case
    {
        const char* key;
        const char* cipher;
    };
    const Bytes iv = range(0, 16);
    const Bytes plain = hex("6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51");
    for (const Case& c : {Case{"2b7e151628aed2a6abf7158809cf4f3c",
                               "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"},
                          Case{"603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4",
                               "f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"}})
    {
        Bytes data = plain;
        ASSERT_EQ(aesCbc(true, hex(c.key), iv, data.data(), data.size()), status::Good);
        EXPECT_EQ(data, hex(c.cipher));
        ASSERT_EQ(aesCbc(false, hex(c.key), iv, data.data(), data.size()), status::Good);
        EXPECT_EQ(data, plain);
    }
    Bytes odd(15);
    EXPECT_EQ(aesCbc(true, range(0, 16), iv, odd.data(), odd.size()), status::BadInvalidArgument);
    EXPECT_EQ(aesCbc(true, range(0, 24), iv, odd.data(), 0), status::BadInvalidArgument);
}

TEST(PolicySizes, Padding)
{
    BlockSizes symmetric = symmetricSizes();
    // 108 plain + 1 size byte + 20 signature = 129: 15 bytes pad to 144.
    EXPECT_EQ(paddingFor(108, symmetric), 15u);
    EXPECT_EQ(paddingFor(107, symmetric), 0u);
    const PolicyDescription& b256 = *findPolicy(kPolicyBasic256);
    const PolicyDescription& b128 = *findPolicy(kPolicyBasic128Rsa15);
    BlockSizes oaep2048 = asymmetricSizes(b256, 256, 256);
    EXPECT_EQ(oaep2048.plainBlock, 214u);
    EXPECT_EQ(oaep2048.cipherBlock, 256u);
    EXPECT_FALSE(oaep2048.extraPaddingByte);
    // 100 + 1 + 256 = 357 -> 428 (two plain blocks): 71 padding bytes.
    EXPECT_EQ(paddingFor(100, oaep2048), 71u);
    BlockSizes pkcs1024 = asymmetricSizes(b128, 128, 128);
    EXPECT_EQ(pkcs1024.plainBlock, 117u);
    EXPECT_EQ(paddingFor(100, pkcs1024), 5u); // 100 + 1 + 128 = 229 -> 234
    // Keys above 2048 bits need the second padding size byte.
    BlockSizes oaep4096 = asymmetricSizes(b256, 512, 256);
    EXPECT_TRUE(oaep4096.extraPaddingByte);
    EXPECT_EQ(paddingFor(100, oaep4096), 112u); // 100 + 2 + 256 = 358 -> 470
}

TEST(PolicySizes, MaxBodyOfAChunk)
{
    // Symmetric: 8 message header + 4 channel + 4 token + 8 sequence = 24.
    EXPECT_EQ(maxBodyFor(8192, 24, symmetricSizes(), false), 8192u - 24 - 20);
    EXPECT_EQ(maxBodyFor(8192, 24, symmetricSizes(), true), 511u * 16 - 8 - 1 - 20);
    // Asymmetric with the security header ending at 100 (sequence header 100..108).
    const PolicyDescription& b256 = *findPolicy(kPolicyBasic256);
    const PolicyDescription& b128 = *findPolicy(kPolicyBasic128Rsa15);
    EXPECT_EQ(maxBodyFor(8192, 108, asymmetricSizes(b256, 256, 256), true), 31u * 214 - 8 - 1 - 256);
    EXPECT_EQ(maxBodyFor(8192, 108, asymmetricSizes(b128, 256, 256), true), 31u * 245 - 8 - 1 - 256);
    EXPECT_EQ(maxBodyFor(8192, 108, asymmetricSizes(b256, 128, 256), true), 63u * 86 - 8 - 1 - 256);
    EXPECT_EQ(maxBodyFor(8192, 108, asymmetricSizes(b256, 512, 256), true), 15u * 470 - 8 - 2 - 256);
    EXPECT_EQ(maxBodyFor(300, 108, asymmetricSizes(b256, 256, 256), true), 0u);
}

TEST(Rsa, SignVerifyAndBothPaddingsRoundTrip)
{
    sectest::Identity a = sectest::makeIdentity("a", 2048);
    Bytes der = a.privateKeyDer();
    RsaKey privateKey = RsaKey::fromPrivateKey(der.data(), der.size());
    std::string pem = a.privateKeyPem();
    RsaKey fromPem = RsaKey::fromPrivateKey(reinterpret_cast<const uint8_t*>(pem.data()), pem.size());
    RsaKey publicKey = RsaKey::fromCertificate(a.certificate.data(), a.certificate.size());
    ASSERT_FALSE(privateKey.isNull());
    ASSERT_FALSE(fromPem.isNull());
    ASSERT_FALSE(publicKey.isNull());
    EXPECT_EQ(publicKey.sizeInBits(), 2048u);
    Bytes spki = publicKey.publicKeyDer();
    EXPECT_FALSE(RsaKey::fromPublicKey(spki.data(), spki.size()).isNull());

    Bytes message = range(1, 200);
    Bytes signature;
    ASSERT_EQ(rsaSha1Sign(fromPem, message.data(), message.size(), signature), status::Good);
    EXPECT_EQ(signature.size(), 256u);
    EXPECT_EQ(rsaSha1Verify(publicKey, message.data(), message.size(), signature.data(), signature.size()),
              status::Good);
    message[7] ^= 0x10;
    EXPECT_EQ(rsaSha1Verify(publicKey, message.data(), message.size(), signature.data(), signature.size()),
              status::BadSecurityChecksFailed);

    for (RsaPadding padding : {RsaPadding::Pkcs1, RsaPadding::OaepSha1})
    {
        Bytes plain = range(3, 500); // several blocks
        Bytes cipher, back;
        ASSERT_EQ(rsaEncrypt(publicKey, padding, plain.data(), plain.size(), cipher), status::Good);
        size_t block = 256 - rsaPaddingOverhead(padding);
        EXPECT_EQ(cipher.size(), (500 + block - 1) / block * 256);
        ASSERT_EQ(rsaDecrypt(privateKey, padding, cipher.data(), cipher.size(), back), status::Good);
        EXPECT_EQ(back, plain);
        cipher[300] ^= 1;
        Bytes damaged;
        EXPECT_FALSE(rsaDecrypt(privateKey, padding, cipher.data(), cipher.size(), damaged) == status::Good &&
                     damaged == plain);
        EXPECT_EQ(rsaDecrypt(privateKey, padding, cipher.data(), cipher.size() - 1, damaged),
                  status::BadSecurityChecksFailed);
    }
}

TEST(Rsa, UnreadableKeysAreNull)
{
    Bytes junk = range(0, 64);
    EXPECT_TRUE(RsaKey::fromPrivateKey(junk.data(), junk.size()).isNull());
    EXPECT_TRUE(RsaKey::fromCertificate(junk.data(), junk.size()).isNull());
    EXPECT_TRUE(RsaKey::fromPrivateKey(nullptr, 0).isNull());
}

TEST(Random, NoncesDiffer)
{
    Bytes a = randomBytes(32), b = randomBytes(32);
    EXPECT_EQ(a.size(), 32u);
    EXPECT_NE(a, b);
}
