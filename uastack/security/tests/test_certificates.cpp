#include "test_certificates.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace sectest
{
namespace
{
std::atomic<long> g_serial{100};

void addExtension(X509* certificate, X509* issuer, int nid, const char* value)
{
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    if (!extension)
        throw std::runtime_error("extension");
    X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
}

std::string bioText(BIO* bio)
{
    char* data = nullptr;
    long length = BIO_get_mem_data(bio, &data);
    std::string text(data, static_cast<size_t>(length));
    BIO_free(bio);
    return text;
}
} // namespace

Identity::Identity(Identity&& other) noexcept
    : key(other.key), certificate(std::move(other.certificate)), serial(other.serial)
{
    other.key = nullptr;
}

Identity& Identity::operator=(Identity&& other) noexcept
{
    std::swap(key, other.key);
    certificate = std::move(other.certificate);
    serial = other.serial;
    return *this;
}

Identity::~Identity()
{
    EVP_PKEY_free(key);
}

Bytes Identity::privateKeyDer() const
{
    int length = i2d_PrivateKey(key, nullptr);
    Bytes der(static_cast<size_t>(length));
    unsigned char* p = der.data();
    i2d_PrivateKey(key, &p);
    return der;
}

std::string Identity::privateKeyPem() const
{
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_PrivateKey_traditional(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
    return bioText(bio);
}

std::string Identity::certificatePem() const
{
    const unsigned char* p = certificate.data();
    X509* x = d2i_X509(nullptr, &p, static_cast<long>(certificate.size()));
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(bio, x);
    X509_free(x);
    return bioText(bio);
}

Identity makeIdentity(const std::string& commonName, int bits, const Identity* issuer, bool ca,
                      int notBeforeDays, int notAfterDays, const std::string& uri)
{
    Identity identity;
    identity.key = EVP_RSA_gen(static_cast<unsigned int>(bits));
    if (!identity.key)
        throw std::runtime_error("key");
    identity.serial = g_serial++;
    X509* certificate = X509_new();
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), identity.serial);
    X509_gmtime_adj(X509_getm_notBefore(certificate), static_cast<long>(notBeforeDays) * 86400);
    X509_gmtime_adj(X509_getm_notAfter(certificate), static_cast<long>(notAfterDays) * 86400);
    X509_set_pubkey(certificate, identity.key);
    X509_NAME* name = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1, 0);
    X509* issuerCertificate = nullptr;
    if (issuer)
    {
        const unsigned char* p = issuer->certificate.data();
        issuerCertificate = d2i_X509(nullptr, &p, static_cast<long>(issuer->certificate.size()));
        X509_set_issuer_name(certificate, X509_get_subject_name(issuerCertificate));
    }
    else
    {
        X509_set_issuer_name(certificate, name);
    }
    X509* signer = issuerCertificate ? issuerCertificate : certificate;
    addExtension(certificate, signer, NID_basic_constraints, ca ? "critical,CA:TRUE" : "critical,CA:FALSE");
    addExtension(
        certificate, signer, NID_key_usage,
        ca ? "critical,keyCertSign,cRLSign,digitalSignature"
           : "critical,digitalSignature,nonRepudiation,keyEncipherment,dataEncipherment,keyCertSign");
    addExtension(certificate, signer, NID_subject_key_identifier, "hash");
    addExtension(certificate, signer, NID_subject_alt_name,
                 ("URI:" + (uri.empty() ? "urn:test:" + commonName : uri)).c_str());
    if (X509_sign(certificate, issuer ? issuer->key : identity.key, EVP_sha256()) <= 0)
        throw std::runtime_error("sign");
    int length = i2d_X509(certificate, nullptr);
    identity.certificate.resize(static_cast<size_t>(length));
    unsigned char* out = identity.certificate.data();
    i2d_X509(certificate, &out);
    X509_free(certificate);
    X509_free(issuerCertificate);
    return identity;
}

Bytes makeRevocationList(const Identity& issuer, const std::vector<long>& serials)
{
    const unsigned char* p = issuer.certificate.data();
    X509* issuerCertificate = d2i_X509(nullptr, &p, static_cast<long>(issuer.certificate.size()));
    X509_CRL* list = X509_CRL_new();
    X509_CRL_set_version(list, 1);
    X509_CRL_set_issuer_name(list, X509_get_subject_name(issuerCertificate));
    ASN1_TIME* now = ASN1_TIME_adj(nullptr, time(nullptr), -1, 0);
    ASN1_TIME* next = ASN1_TIME_adj(nullptr, time(nullptr), 30, 0);
    X509_CRL_set1_lastUpdate(list, now);
    X509_CRL_set1_nextUpdate(list, next);
    for (long serial : serials)
    {
        X509_REVOKED* revoked = X509_REVOKED_new();
        ASN1_INTEGER* number = ASN1_INTEGER_new();
        ASN1_INTEGER_set(number, serial);
        X509_REVOKED_set_serialNumber(revoked, number);
        X509_REVOKED_set_revocationDate(revoked, now);
        X509_CRL_add0_revoked(list, revoked);
        ASN1_INTEGER_free(number);
    }
    X509_CRL_sort(list);
    X509_CRL_sign(list, issuer.key, EVP_sha256());
    int length = i2d_X509_CRL(list, nullptr);
    Bytes der(static_cast<size_t>(length));
    unsigned char* out = der.data();
    i2d_X509_CRL(list, &out);
    ASN1_TIME_free(now);
    ASN1_TIME_free(next);
    X509_CRL_free(list);
    X509_free(issuerCertificate);
    return der;
}

Identity identityOf(const std::string& privateKeyPem, const Bytes& certificate)
{
    Identity identity;
    BIO* bio = BIO_new_mem_buf(privateKeyPem.data(), static_cast<int>(privateKeyPem.size()));
    identity.key = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    identity.certificate = certificate;
    const unsigned char* p = certificate.data();
    if (X509* x = d2i_X509(nullptr, &p, static_cast<long>(certificate.size())))
    {
        identity.serial = ASN1_INTEGER_get(X509_get0_serialNumber(x));
        X509_free(x);
    }
    return identity;
}

Bytes pemToDer(const std::string& pem)
{
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    X509* x = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    if (!x)
        return {};
    int length = i2d_X509(x, nullptr);
    Bytes der(static_cast<size_t>(length));
    unsigned char* out = der.data();
    i2d_X509(x, &out);
    X509_free(x);
    return der;
}

std::string readTextFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const Bytes& content)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
}

void writeFile(const std::string& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary) << content;
}

TempFolder::TempFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "uasec-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp");
    m_path = pattern;
}

TempFolder::~TempFolder()
{
    std::error_code error;
    std::filesystem::remove_all(m_path, error);
}
} // namespace sectest
