#include "crypto_primitives.h"

#include "security_status.h"

#include <openssl/bio.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <climits>

namespace uasec
{
namespace
{
struct CipherCtx
{
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    ~CipherCtx() { EVP_CIPHER_CTX_free(ctx); }
};
struct MdCtx
{
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    ~MdCtx() { EVP_MD_CTX_free(ctx); }
};
struct PkeyCtx
{
    EVP_PKEY_CTX* ctx;
    explicit PkeyCtx(EVP_PKEY* key) : ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr)) {}
    ~PkeyCtx() { EVP_PKEY_CTX_free(ctx); }
};

bool isRsa(EVP_PKEY* key)
{
    return key && EVP_PKEY_is_a(key, "RSA");
}

RsaKey checkedRsa(EVP_PKEY* key)
{
    if (key && !isRsa(key))
    {
        EVP_PKEY_free(key);
        key = nullptr;
    }
    return key ? RsaKey(key) : RsaKey();
}

// Never asks for a pass phrase: a protected key simply does not open here.
int noPassword(char*, int, int, void*)
{
    return -1;
}

int setPadding(EVP_PKEY_CTX* ctx, RsaPadding padding)
{
    if (padding == RsaPadding::Pkcs1)
        return EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING);
    return EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_OAEP_PADDING) > 0 &&
                   EVP_PKEY_CTX_set_rsa_oaep_md(ctx, EVP_sha1()) > 0 &&
                   EVP_PKEY_CTX_set_rsa_mgf1_md(ctx, EVP_sha1()) > 0
               ? 1
               : 0;
}
} // namespace

size_t rsaPaddingOverhead(RsaPadding padding)
{
    return padding == RsaPadding::Pkcs1 ? 11 : 42;
}

void RsaKey::freeKey(EVP_PKEY* key)
{
    EVP_PKEY_free(key);
}

RsaKey RsaKey::fromPrivateKey(const uint8_t* data, size_t size)
{
    if (!data || size == 0 || size > INT_MAX)
        return {};
    const unsigned char* p = data;
    EVP_PKEY* key = d2i_AutoPrivateKey(nullptr, &p, static_cast<long>(size));
    if (!key)
    {
        BIO* bio = BIO_new_mem_buf(data, static_cast<int>(size));
        if (bio)
        {
            key = PEM_read_bio_PrivateKey(bio, nullptr, noPassword, nullptr);
            BIO_free(bio);
        }
    }
    return checkedRsa(key);
}

RsaKey RsaKey::fromCertificate(const uint8_t* data, size_t size)
{
    if (!data || size == 0 || size > INT_MAX)
        return {};
    const unsigned char* p = data;
    X509* certificate = d2i_X509(nullptr, &p, static_cast<long>(size));
    if (!certificate)
        return {};
    EVP_PKEY* key = X509_get_pubkey(certificate);
    X509_free(certificate);
    return checkedRsa(key);
}

RsaKey RsaKey::fromPublicKey(const uint8_t* data, size_t size)
{
    if (!data || size == 0 || size > INT_MAX)
        return {};
    const unsigned char* p = data;
    EVP_PKEY* key = d2i_PUBKEY(nullptr, &p, static_cast<long>(size));
    if (!key)
    {
        p = data;
        key = d2i_PublicKey(EVP_PKEY_RSA, nullptr, &p, static_cast<long>(size));
    }
    return checkedRsa(key);
}

size_t RsaKey::sizeInBytes() const
{
    return m_key ? static_cast<size_t>(EVP_PKEY_get_size(m_key.get())) : 0;
}

size_t RsaKey::sizeInBits() const
{
    return m_key ? static_cast<size_t>(EVP_PKEY_get_bits(m_key.get())) : 0;
}

Bytes RsaKey::publicKeyDer() const
{
    if (!m_key)
        return {};
    int length = i2d_PUBKEY(m_key.get(), nullptr);
    if (length <= 0)
        return {};
    Bytes der(static_cast<size_t>(length));
    unsigned char* p = der.data();
    i2d_PUBKEY(m_key.get(), &p);
    return der;
}

Bytes sha1(const uint8_t* data, size_t size)
{
    Bytes digest(20);
    unsigned int length = 0;
    if (EVP_Digest(data, size, digest.data(), &length, EVP_sha1(), nullptr) != 1 || length != 20)
        return {};
    return digest;
}

Bytes hmacSha1(const Bytes& key, const uint8_t* data, size_t size)
{
    Bytes mac(20);
    unsigned int length = 0;
    if (!HMAC(EVP_sha1(), key.data(), static_cast<int>(key.size()), data, size, mac.data(), &length) ||
        length != 20)
        return {};
    return mac;
}

Bytes pSha1(const Bytes& secret, const Bytes& seed, size_t length)
{
    // A(0) = seed, A(i) = HMAC(secret, A(i-1)); output = HMAC(secret, A(i) + seed) ...
    Bytes out;
    out.reserve(length + 20);
    Bytes a = seed;
    while (out.size() < length)
    {
        a = hmacSha1(secret, a.data(), a.size());
        if (a.empty())
            return {};
        Bytes input = a;
        input.insert(input.end(), seed.begin(), seed.end());
        Bytes block = hmacSha1(secret, input.data(), input.size());
        if (block.empty())
            return {};
        out.insert(out.end(), block.begin(), block.end());
    }
    out.resize(length);
    return out;
}

Bytes randomBytes(size_t length)
{
    Bytes out(length);
    if (length > INT_MAX || (length > 0 && RAND_bytes(out.data(), static_cast<int>(length)) != 1))
        return {};
    return out;
}

bool equalBytes(const uint8_t* a, const uint8_t* b, size_t size)
{
    return CRYPTO_memcmp(a, b, size) == 0;
}

uint32_t aesCbc(bool encrypt, const Bytes& key, const Bytes& iv, uint8_t* data, size_t size)
{
    const EVP_CIPHER* cipher = key.size() == 16   ? EVP_aes_128_cbc()
                               : key.size() == 32 ? EVP_aes_256_cbc()
                                                  : nullptr;
    if (!cipher || iv.size() != 16 || size % 16 != 0 || size > INT_MAX)
        return status::BadInvalidArgument;
    CipherCtx c;
    int written = 0;
    if (!c.ctx || EVP_CipherInit_ex(c.ctx, cipher, nullptr, key.data(), iv.data(), encrypt ? 1 : 0) != 1 ||
        EVP_CIPHER_CTX_set_padding(c.ctx, 0) != 1 ||
        EVP_CipherUpdate(c.ctx, data, &written, data, static_cast<int>(size)) != 1 ||
        static_cast<size_t>(written) != size)
        return status::BadSecurityChecksFailed;
    int tail = 0;
    if (EVP_CipherFinal_ex(c.ctx, data + written, &tail) != 1 || tail != 0)
        return status::BadSecurityChecksFailed;
    return status::Good;
}

uint32_t rsaSha1Sign(const RsaKey& privateKey, const uint8_t* data, size_t size, Bytes& signature)
{
    signature.clear();
    if (privateKey.isNull())
        return status::BadInvalidArgument;
    MdCtx md;
    size_t length = 0;
    if (!md.ctx || EVP_DigestSignInit(md.ctx, nullptr, EVP_sha1(), nullptr, privateKey.get()) != 1 ||
        EVP_DigestSign(md.ctx, nullptr, &length, data, size) != 1)
        return status::BadSecurityChecksFailed;
    signature.resize(length);
    if (EVP_DigestSign(md.ctx, signature.data(), &length, data, size) != 1)
    {
        signature.clear();
        return status::BadSecurityChecksFailed;
    }
    signature.resize(length);
    return status::Good;
}

uint32_t rsaSha1Verify(const RsaKey& publicKey, const uint8_t* data, size_t size, const uint8_t* signature,
                       size_t signatureSize)
{
    if (publicKey.isNull() || !signature)
        return status::BadInvalidArgument;
    MdCtx md;
    if (!md.ctx || EVP_DigestVerifyInit(md.ctx, nullptr, EVP_sha1(), nullptr, publicKey.get()) != 1 ||
        EVP_DigestVerify(md.ctx, signature, signatureSize, data, size) != 1)
        return status::BadSecurityChecksFailed;
    return status::Good;
}

uint32_t rsaEncrypt(const RsaKey& publicKey, RsaPadding padding, const uint8_t* data, size_t size, Bytes& out)
{
    out.clear();
    size_t keySize = publicKey.sizeInBytes();
    size_t overhead = rsaPaddingOverhead(padding);
    if (publicKey.isNull() || keySize <= overhead)
        return status::BadInvalidArgument;
    size_t plainBlock = keySize - overhead;
    PkeyCtx p(publicKey.get());
    if (!p.ctx || EVP_PKEY_encrypt_init(p.ctx) != 1 || setPadding(p.ctx, padding) != 1)
        return status::BadSecurityChecksFailed;
    size_t blocks = (size + plainBlock - 1) / plainBlock;
    out.resize(blocks * keySize);
    for (size_t i = 0; i < blocks; ++i)
    {
        size_t part = std::min(plainBlock, size - i * plainBlock);
        size_t length = keySize;
        if (EVP_PKEY_encrypt(p.ctx, out.data() + i * keySize, &length, data + i * plainBlock, part) != 1 ||
            length != keySize)
        {
            out.clear();
            return status::BadSecurityChecksFailed;
        }
    }
    return status::Good;
}

uint32_t rsaDecrypt(const RsaKey& privateKey, RsaPadding padding, const uint8_t* data, size_t size,
                    Bytes& out)
{
    out.clear();
    size_t keySize = privateKey.sizeInBytes();
    if (privateKey.isNull() || keySize == 0 || size % keySize != 0)
        return status::BadSecurityChecksFailed;
    PkeyCtx p(privateKey.get());
    if (!p.ctx || EVP_PKEY_decrypt_init(p.ctx) != 1 || setPadding(p.ctx, padding) != 1)
        return status::BadSecurityChecksFailed;
    out.resize(size);
    size_t written = 0;
    for (size_t i = 0; i < size / keySize; ++i)
    {
        size_t length = out.size() - written;
        if (EVP_PKEY_decrypt(p.ctx, out.data() + written, &length, data + i * keySize, keySize) != 1)
        {
            OPENSSL_cleanse(out.data(), out.size());
            out.clear();
            return status::BadSecurityChecksFailed;
        }
        written += length;
    }
    out.resize(written);
    return status::Good;
}
} // namespace uasec
