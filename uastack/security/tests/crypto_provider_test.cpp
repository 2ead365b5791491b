// The C crypto provider as the session services use it: creation per policy,
// signatures over certificate and nonce, public keys of certificates, the
// two-call decryption of an encrypted password, nonces, key derivation and
// symmetric operations; and certificate validation through a store configuration.
#include "test_certificates.h"

#include <opcua.h>
#include <opcua_crypto.h>
#include <opcua_pki.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace
{
using Bytes = std::vector<uint8_t>;

OpcUa_ByteString view(Bytes& bytes)
{
    OpcUa_ByteString s;
    s.Length = static_cast<OpcUa_Int32>(bytes.size());
    s.Data = bytes.empty() ? nullptr : bytes.data();
    return s;
}

Bytes bytesOf(const OpcUa_ByteString& s)
{
    return s.Length > 0 ? Bytes(s.Data, s.Data + s.Length) : Bytes();
}

struct Provider
{
    OpcUa_CryptoProvider p;
    explicit Provider(const char* uri) { EXPECT_EQ(OpcUa_CryptoProvider_Create(uri, &p), OpcUa_Good); }
    ~Provider() { OpcUa_CryptoProvider_Delete(&p); }
};
} // namespace

TEST(CryptoProvider, CreatesOnlySecuredPolicies)
{
    OpcUa_CryptoProvider p;
    EXPECT_EQ(OpcUa_CryptoProvider_Create("http://opcfoundation.org/UA/SecurityPolicy#None", &p),
              OpcUa_BadSecurityPolicyRejected);
    EXPECT_EQ(p.AsymmetricSign, nullptr);
    EXPECT_EQ(OpcUa_CryptoProvider_Create(nullptr, &p), OpcUa_BadInvalidArgument);
    EXPECT_EQ(OpcUa_CryptoProvider_Create(OpcUa_SecurityPolicy_Basic256, nullptr), OpcUa_BadInvalidArgument);
    Provider b128(OpcUa_SecurityPolicy_Basic128Rsa15);
    EXPECT_EQ(b128.p.NonceLength, 16u);
    EXPECT_EQ(b128.p.SymmetricSigningKeyLength, 16u);
    EXPECT_EQ(b128.p.SymmetricEncryptionKeyLength, 16u);
    Provider b256(OpcUa_SecurityPolicy_Basic256);
    EXPECT_EQ(b256.p.NonceLength, 32u);
    EXPECT_EQ(b256.p.SymmetricSigningKeyLength, 24u);
    EXPECT_EQ(b256.p.SymmetricEncryptionKeyLength, 32u);
    EXPECT_EQ(b256.p.SymmetricSignatureLength, 20u);
    EXPECT_EQ(OpcUa_CryptoProvider_Delete(&b256.p), OpcUa_Good);
    EXPECT_EQ(b256.p.Handle, nullptr);
}

TEST(CryptoProvider, SessionSignaturesWithCertificateKeys)
{
    sectest::Identity server = sectest::makeIdentity("server", 2048);
    sectest::Identity client = sectest::makeIdentity("client", 1024);
    for (const char* uri : {OpcUa_SecurityPolicy_Basic128Rsa15, OpcUa_SecurityPolicy_Basic256})
    {
        SCOPED_TRACE(uri);
        Provider provider(uri);
        OpcUa_CryptoProvider& p = provider.p;
        OpcUa_Key nonce;
        ASSERT_EQ(p.GenerateKey(&p, 32, &nonce), OpcUa_Good);
        EXPECT_EQ(nonce.Key.Length, 32);
        // Server signature over client certificate + client nonce.
        Bytes data = client.certificate;
        data.insert(data.end(), nonce.Key.Data, nonce.Key.Data + 32);
        OpcUa_ByteString_Clear(&nonce.Key);
        Bytes keyBytes = server.privateKeyDer();
        OpcUa_Key privateKey{OpcUa_Crypto_KeyType_Rsa_Private, view(keyBytes)};
        OpcUa_ByteString signature;
        ASSERT_EQ(p.AsymmetricSign(&p, view(data), &privateKey, &signature), OpcUa_Good);
        EXPECT_EQ(signature.Length, 256);
        // The client checks it with the public key of the server's certificate.
        OpcUa_Key publicKey;
        OpcUa_ByteString certificate = view(server.certificate);
        ASSERT_EQ(p.GetPublicKeyFromCert(&p, &certificate, nullptr, &publicKey), OpcUa_Good);
        EXPECT_EQ(publicKey.Type, static_cast<OpcUa_UInt32>(OpcUa_Crypto_KeyType_Rsa_Public));
        OpcUa_UInt32 bits = 0;
        EXPECT_EQ(p.GetAsymmetricKeyLength(&p, publicKey, &bits), OpcUa_Good);
        EXPECT_EQ(bits, 2048u);
        EXPECT_EQ(p.AsymmetricVerify(&p, view(data), &publicKey, &signature), OpcUa_Good);
        data[3] ^= 1;
        EXPECT_EQ(p.AsymmetricVerify(&p, view(data), &publicKey, &signature), OpcUa_BadSecurityChecksFailed);
        // A public key cannot sign.
        EXPECT_EQ(p.AsymmetricSign(&p, view(data), &publicKey, &signature), OpcUa_BadInvalidArgument);
        OpcUa_ByteString_Clear(&signature);
        OpcUa_ByteString_Clear(&publicKey.Key);
        Bytes junk(40, 3);
        OpcUa_ByteString bad = view(junk);
        EXPECT_EQ(p.GetPublicKeyFromCert(&p, &bad, nullptr, &publicKey), OpcUa_BadCertificateInvalid);
    }
}

TEST(CryptoProvider, EncryptedPasswordDecryptsInTwoCalls)
{
    sectest::Identity server = sectest::makeIdentity("server", 1024);
    for (const char* uri : {OpcUa_SecurityPolicy_Basic128Rsa15, OpcUa_SecurityPolicy_Basic256})
    {
        SCOPED_TRACE(uri);
        Provider provider(uri);
        OpcUa_CryptoProvider& p = provider.p;
        // Length, password, server nonce: longer than one RSA block.
        Bytes plain = {0, 0, 0, 0};
        const std::string password(150, 'p');
        plain.insert(plain.end(), password.begin(), password.end());
        plain.insert(plain.end(), 32, 0x5a);
        plain[0] = static_cast<uint8_t>(plain.size() - 4);
        OpcUa_Key publicKey;
        OpcUa_ByteString certificate = view(server.certificate);
        ASSERT_EQ(p.GetPublicKeyFromCert(&p, &certificate, nullptr, &publicKey), OpcUa_Good);
        OpcUa_UInt32 cipherLength = 0;
        ASSERT_EQ(p.AsymmetricEncrypt(&p, plain.data(), static_cast<OpcUa_UInt32>(plain.size()), &publicKey,
                                      nullptr, &cipherLength),
                  OpcUa_Good);
        // 186 bytes in blocks of 117 (PKCS #1 v1.5) or 86 (OAEP) of a 1024-bit key.
        EXPECT_EQ(cipherLength, std::strcmp(uri, OpcUa_SecurityPolicy_Basic256) == 0 ? 384u : 256u);
        Bytes cipher(cipherLength);
        ASSERT_EQ(p.AsymmetricEncrypt(&p, plain.data(), static_cast<OpcUa_UInt32>(plain.size()), &publicKey,
                                      cipher.data(), &cipherLength),
                  OpcUa_Good);
        OpcUa_ByteString_Clear(&publicKey.Key);

        Bytes keyBytes = server.privateKeyDer();
        OpcUa_Key privateKey{OpcUa_Crypto_KeyType_Rsa_Private, view(keyBytes)};
        OpcUa_UInt32 plainLength = 0;
        ASSERT_EQ(p.AsymmetricDecrypt(&p, cipher.data(), cipherLength, &privateKey, nullptr, &plainLength),
                  OpcUa_Good);
        EXPECT_GE(plainLength, plain.size());
        Bytes out(plainLength);
        ASSERT_EQ(p.AsymmetricDecrypt(&p, cipher.data(), cipherLength, &privateKey, out.data(), &plainLength),
                  OpcUa_Good);
        out.resize(plainLength);
        EXPECT_EQ(out, plain);
        OpcUa_UInt32 small = 10;
        EXPECT_EQ(p.AsymmetricDecrypt(&p, cipher.data(), cipherLength, &privateKey, out.data(), &small),
                  OpcUa_BadInvalidArgument);
        OpcUa_UInt32 room = plainLength;
        EXPECT_EQ(p.AsymmetricDecrypt(&p, cipher.data(), cipherLength - 1, &privateKey, out.data(), &room),
                  OpcUa_BadSecurityChecksFailed);
    }
}

TEST(CryptoProvider, DerivedKeysAndSymmetricOperations)
{
    Provider provider(OpcUa_SecurityPolicy_Basic256);
    OpcUa_CryptoProvider& p = provider.p;
    Bytes secret(32, 1), seed(32, 2);
    OpcUa_Key keys;
    ASSERT_EQ(p.DeriveKey(&p, view(secret), view(seed), 72, &keys), OpcUa_Good);
    ASSERT_EQ(keys.Key.Length, 72);
    Bytes material = bytesOf(keys.Key);
    OpcUa_ByteString_Clear(&keys.Key);
    Bytes signingKey(material.begin(), material.begin() + 24);
    Bytes encryptingKey(material.begin() + 24, material.begin() + 56);
    Bytes iv(material.begin() + 56, material.end());
    OpcUa_Key signing{OpcUa_Crypto_KeyType_Random, view(signingKey)};
    OpcUa_Key encrypting{OpcUa_Crypto_KeyType_Random, view(encryptingKey)};
    Bytes message(64, 0x33);
    OpcUa_ByteString mac;
    ASSERT_EQ(p.SymmetricSign(&p, view(message), &signing, &mac), OpcUa_Good);
    EXPECT_EQ(mac.Length, 20);
    EXPECT_EQ(p.SymmetricVerify(&p, view(message), &signing, &mac), OpcUa_Good);
    mac.Data[0] ^= 1;
    EXPECT_EQ(p.SymmetricVerify(&p, view(message), &signing, &mac), OpcUa_BadSecurityChecksFailed);
    OpcUa_ByteString_Clear(&mac);
    Bytes data = message;
    OpcUa_ByteString ivView = view(iv);
    ASSERT_EQ(p.SymmetricEncrypt(&p, data.data(), 64, &encrypting, &ivView), OpcUa_Good);
    EXPECT_NE(data, message);
    ASSERT_EQ(p.SymmetricDecrypt(&p, data.data(), 64, &encrypting, &ivView), OpcUa_Good);
    EXPECT_EQ(data, message);
    EXPECT_EQ(p.SymmetricEncrypt(&p, data.data(), 64, &signing, &ivView), OpcUa_BadInvalidArgument);
}

TEST(PkiValidation, ThroughAStoreConfiguration)
{
    sectest::TempFolder folder;
    setenv("DEVICE_ROOT", folder.path().c_str(), 1);
    std::filesystem::create_directories(folder.path() + "/PKI/CA/certs");
    std::filesystem::create_directories(folder.path() + "/PKI/CA/crl");
    sectest::Identity authority = sectest::makeIdentity("authority", 2048, nullptr, true);
    sectest::Identity good = sectest::makeIdentity("good", 1024, &authority);
    sectest::Identity revoked = sectest::makeIdentity("revoked", 1024, &authority);
    sectest::writeFile(folder.path() + "/PKI/CA/certs/authority.der", authority.certificate);
    sectest::writeFile(folder.path() + "/PKI/CA/crl/examplecrl.crl",
                       sectest::makeRevocationList(authority, {revoked.serial}));
    // Device paths with either separator.
    char trustedPath[] = "\\PKI\\CA\\certs\\";
    char revokedPath[] = "/PKI/CA/crl/examplecrl.crl";
    OpcUa_CertificateStoreConfiguration store{OPCUA_PKI_TYPE_DIRECTORY_STORE, trustedPath, revokedPath, 0, 0};
    OpcUa_ByteString certificate = view(good.certificate);
    EXPECT_EQ(OpcUa_PKIProvider_ValidateCertificate(&store, &certificate), OpcUa_Good);
    certificate = view(revoked.certificate);
    EXPECT_EQ(OpcUa_PKIProvider_ValidateCertificate(&store, &certificate), OpcUa_BadCertificateRevoked);
    sectest::Identity stranger = sectest::makeIdentity("stranger", 1024);
    certificate = view(stranger.certificate);
    EXPECT_EQ(OpcUa_PKIProvider_ValidateCertificate(&store, &certificate), OpcUa_BadCertificateUntrusted);
    store.PkiType = OPCUA_PKI_TYPE_NONE;
    EXPECT_EQ(OpcUa_PKIProvider_ValidateCertificate(&store, &certificate), OpcUa_BadNotSupported);
    EXPECT_EQ(OpcUa_PKIProvider_ValidateCertificate(nullptr, &certificate), OpcUa_BadInvalidArgument);
}

TEST(PkiValidation, ThroughTheProviderRecord)
{
    sectest::TempFolder folder;
    setenv("DEVICE_ROOT", folder.path().c_str(), 1);
    std::filesystem::create_directories(folder.path() + "/trusted");
    sectest::Identity trusted = sectest::makeIdentity("trusted", 1024);
    sectest::Identity expired = sectest::makeIdentity("expired", 1024, nullptr, false, -20, -2);
    sectest::writeFile(folder.path() + "/trusted/trusted.der", trusted.certificate);
    sectest::writeFile(folder.path() + "/trusted/expired.der", expired.certificate);
    char trustedPath[] = "/trusted";
    char revokedPath[] = "/crl";
    OpcUa_CertificateStoreConfiguration configuration{OPCUA_PKI_TYPE_DIRECTORY_STORE, trustedPath,
                                                      revokedPath, 0, 0};
    OpcUa_PKIProvider provider;
    ASSERT_EQ(OpcUa_PKIProvider_Create(&configuration, &provider), OpcUa_Good);
    ASSERT_NE(provider.ValidateCertificate, nullptr);
    OpcUa_Void* store = nullptr;
    ASSERT_EQ(provider.OpenCertificateStore(&provider, &store), OpcUa_Good);
    OpcUa_Int32 code = -1;
    OpcUa_ByteString certificate = view(trusted.certificate);
    EXPECT_EQ(provider.ValidateCertificate(&provider, &certificate, store, &code), OpcUa_Good);
    EXPECT_EQ(code, 0);
    certificate = view(expired.certificate);
    EXPECT_EQ(provider.ValidateCertificate(&provider, &certificate, store, &code),
              OpcUa_BadCertificateTimeInvalid);
    EXPECT_EQ(static_cast<OpcUa_StatusCode>(code), OpcUa_BadCertificateTimeInvalid);
    EXPECT_EQ(provider.ValidateCertificate(&provider, nullptr, store, &code), OpcUa_BadInvalidArgument);
    EXPECT_EQ(provider.CloseCertificateStore(&provider, &store), OpcUa_Good);
    EXPECT_EQ(OpcUa_PKIProvider_Delete(&provider), OpcUa_Good);
}
