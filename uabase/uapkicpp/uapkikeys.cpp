#include "uapkikeys.h"

#include "uafilepaths.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
EVP_PKEY* share(EVP_PKEY* key)
{
    if (key)
        EVP_PKEY_up_ref(key);
    return key;
}

// Replaces target's reference by a shared one of source's key.
void assignShared(EVP_PKEY*& target, EVP_PKEY* source)
{
    if (target == source)
        return;
    EVP_PKEY* old = target;
    target = share(source);
    EVP_PKEY_free(old);
}

// Opens a file for writing that only its owner may read; an existing file is truncated and its
// permissions narrowed too.
FILE* openPrivateFile(const UaString& fileName)
{
    const auto host = uaHostPath(fileName.toUtf8());
    if (!host)
        return nullptr;
    const int descriptor = ::open(host->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (descriptor < 0)
        return nullptr;
    if (::fchmod(descriptor, S_IRUSR | S_IWUSR) != 0)
    {
        ::close(descriptor);
        return nullptr;
    }
    FILE* file = ::fdopen(descriptor, "w");
    if (!file)
        ::close(descriptor);
    return file;
}
} // namespace

UaPkiPublicKey::UaPkiPublicKey() : m_key(EVP_PKEY_new()) {}

UaPkiPublicKey::UaPkiPublicKey(EVP_PKEY* key) : m_key(key) {}

UaPkiPublicKey::UaPkiPublicKey(const UaPkiPublicKey& other) : UaPkiErrorList(other), m_key(share(other.m_key))
{
}

UaPkiPublicKey& UaPkiPublicKey::operator=(const UaPkiPublicKey& other)
{
    UaPkiErrorList::operator=(other);
    assignShared(m_key, other.m_key);
    return *this;
}

UaPkiPublicKey::~UaPkiPublicKey()
{
    EVP_PKEY_free(m_key);
}

EVP_PKEY* UaPkiPublicKey::acquireKey() const
{
    return share(m_key);
}

UaPkiPrivateKey::UaPkiPrivateKey() : m_key(EVP_PKEY_new()) {}

UaPkiPrivateKey::UaPkiPrivateKey(EVP_PKEY* key) : m_key(key) {}

UaPkiPrivateKey::UaPkiPrivateKey(const UaPkiPrivateKey& other) : m_key(share(other.m_key)) {}

UaPkiPrivateKey& UaPkiPrivateKey::operator=(const UaPkiPrivateKey& other)
{
    assignShared(m_key, other.m_key);
    return *this;
}

UaPkiPrivateKey::~UaPkiPrivateKey()
{
    EVP_PKEY_free(m_key);
}

UaPkiRsaKeyPair::UaPkiRsaKeyPair(int bits) : m_key(nullptr)
{
    EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr);
    BIGNUM* exponent = BN_new();
    const bool generated =
        context && exponent && BN_set_word(exponent, RSA_F4) == 1 && EVP_PKEY_keygen_init(context) == 1 &&
        EVP_PKEY_CTX_set_rsa_keygen_bits(context, bits) == 1 &&
        EVP_PKEY_CTX_set1_rsa_keygen_pubexp(context, exponent) == 1 && EVP_PKEY_keygen(context, &m_key) == 1;
    BN_free(exponent);
    EVP_PKEY_CTX_free(context);
    if (!generated)
    {
        addLibraryErrors();
        EVP_PKEY_free(m_key);
        m_key = EVP_PKEY_new();
    }
}

UaPkiRsaKeyPair::UaPkiRsaKeyPair(const UaPkiRsaKeyPair& other)
    : UaPkiErrorList(other), m_key(share(other.m_key))
{
}

UaPkiRsaKeyPair& UaPkiRsaKeyPair::operator=(const UaPkiRsaKeyPair& other)
{
    UaPkiErrorList::operator=(other);
    assignShared(m_key, other.m_key);
    return *this;
}

UaPkiRsaKeyPair::~UaPkiRsaKeyPair()
{
    EVP_PKEY_free(m_key);
}

bool UaPkiRsaKeyPair::hasKey() const
{
    return m_key && EVP_PKEY_get_base_id(m_key) == EVP_PKEY_RSA;
}

UaPkiPrivateKey UaPkiRsaKeyPair::privateKey() const
{
    return UaPkiPrivateKey(share(m_key));
}

UaPkiPublicKey UaPkiRsaKeyPair::publicKey() const
{
    if (!hasKey())
        return UaPkiPublicKey();
    // Through the encoded public key, so that the new object holds no private part.
    unsigned char* encoded = nullptr;
    const int length = i2d_PUBKEY(m_key, &encoded);
    EVP_PKEY* publicPart = nullptr;
    if (length > 0)
    {
        const unsigned char* cursor = encoded;
        publicPart = d2i_PUBKEY(nullptr, &cursor, length);
    }
    OPENSSL_free(encoded);
    return publicPart ? UaPkiPublicKey(publicPart) : UaPkiPublicKey();
}

int UaPkiRsaKeyPair::toPEMFile(const UaString& fileName, const char* password)
{
    if (!hasKey())
        return -1;
    errno = 0;
    FILE* file = openPrivateFile(fileName);
    if (!file)
    {
        const int error = errno;
        addLibraryErrors();
        addSystemError("Could not open file for writing", error);
        return -1;
    }
    // An empty password protects nothing and could not be given back to the loader: none.
    const bool encrypt = password && *password;
    const EVP_CIPHER* cipher = encrypt ? EVP_aes_256_cbc() : nullptr;
    const int length = encrypt ? static_cast<int>(std::strlen(password)) : 0;
    errno = 0;
    const bool written =
        PEM_write_PrivateKey(file, m_key, cipher,
                             encrypt ? reinterpret_cast<const unsigned char*>(password) : nullptr, length,
                             nullptr, nullptr) == 1;
    const int writeError = errno;
    if (!uaCloseFileSynced(file) || !written)
    {
        addLibraryErrors();
        addSystemError("Could not write the file", written ? errno : writeError);
        return -1;
    }
    return 0;
}
