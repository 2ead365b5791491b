// The cryptographic building blocks of the secure channel and of the crypto
// provider, over OpenSSL's libcrypto. Results are status codes; nothing here
// keeps state beyond the key objects.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

typedef struct evp_pkey_st EVP_PKEY;

namespace uasec
{
using Bytes = std::vector<uint8_t>;

enum class RsaPadding
{
    Pkcs1,   // PKCS #1 v1.5
    OaepSha1 // OAEP with SHA-1 and MGF1-SHA-1
};

// Bytes of padding overhead per block of an RSA encryption.
size_t rsaPaddingOverhead(RsaPadding padding);

// An RSA key (private or public only); null when it could not be read.
class RsaKey
{
public:
    RsaKey() = default;
    explicit RsaKey(EVP_PKEY* key) : m_key(key, &freeKey) {}
    // A private key in DER (PKCS #1 or PKCS #8) or unprotected PEM.
    static RsaKey fromPrivateKey(const uint8_t* data, size_t size);
    // The public key of a DER certificate (only the first of a chain is read).
    static RsaKey fromCertificate(const uint8_t* data, size_t size);
    // A public key in DER (SubjectPublicKeyInfo or PKCS #1).
    static RsaKey fromPublicKey(const uint8_t* data, size_t size);
    bool isNull() const { return !m_key; }
    size_t sizeInBytes() const;
    size_t sizeInBits() const;
    EVP_PKEY* get() const { return m_key.get(); }
    // SubjectPublicKeyInfo DER of the key.
    Bytes publicKeyDer() const;

private:
    static void freeKey(EVP_PKEY* key);
    std::shared_ptr<EVP_PKEY> m_key;
};

Bytes sha1(const uint8_t* data, size_t size);
// HMAC-SHA1 (20 bytes).
Bytes hmacSha1(const Bytes& key, const uint8_t* data, size_t size);
// P_SHA1(secret, seed) stretched to length bytes.
Bytes pSha1(const Bytes& secret, const Bytes& seed, size_t length);
// Random bytes from the system generator; empty on failure.
Bytes randomBytes(size_t length);
// Constant-time comparison of two equally long regions.
bool equalBytes(const uint8_t* a, const uint8_t* b, size_t size);

// AES-CBC without padding over whole blocks, in place (key of 16 or 32 bytes).
uint32_t aesCbc(bool encrypt, const Bytes& key, const Bytes& iv, uint8_t* data, size_t size);

// RSA-SHA1 PKCS #1 v1.5 signatures.
uint32_t rsaSha1Sign(const RsaKey& privateKey, const uint8_t* data, size_t size, Bytes& signature);
uint32_t rsaSha1Verify(const RsaKey& publicKey, const uint8_t* data, size_t size, const uint8_t* signature,
                       size_t signatureSize);

// RSA encryption of any length, block by block (plain blocks of key size
// minus the padding overhead, cipher blocks of key size).
uint32_t rsaEncrypt(const RsaKey& publicKey, RsaPadding padding, const uint8_t* data, size_t size,
                    Bytes& out);
uint32_t rsaDecrypt(const RsaKey& privateKey, RsaPadding padding, const uint8_t* data, size_t size,
                    Bytes& out);
} // namespace uasec
