#include "certificate_validation.h"

#include "security_status.h"

#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace uasec
{
namespace
{
namespace fs = std::filesystem;

Bytes readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return in ? Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()) : Bytes();
}

std::vector<fs::path> filesAt(const std::string& location)
{
    std::vector<fs::path> files;
    if (location.empty())
        return files;
    std::error_code error;
    if (fs::is_directory(location, error))
    {
        for (const auto& entry : fs::directory_iterator(location, error))
            if (entry.is_regular_file(error))
                files.push_back(entry.path());
    }
    else if (fs::is_regular_file(location, error))
    {
        files.emplace_back(location);
    }
    return files;
}

// Adds every certificate (DER, or one or more PEM blocks) of the file.
void addCertificates(X509_STORE* store, const Bytes& content)
{
    if (content.empty() || content.size() > INT_MAX)
        return;
    const unsigned char* p = content.data();
    if (X509* certificate = d2i_X509(nullptr, &p, static_cast<long>(content.size())))
    {
        X509_STORE_add_cert(store, certificate);
        X509_free(certificate);
        return;
    }
    BIO* bio = BIO_new_mem_buf(content.data(), static_cast<int>(content.size()));
    while (X509* certificate = bio ? PEM_read_bio_X509(bio, nullptr, nullptr, nullptr) : nullptr)
    {
        X509_STORE_add_cert(store, certificate);
        X509_free(certificate);
    }
    BIO_free(bio);
}

size_t addRevocationLists(X509_STORE* store, const Bytes& content)
{
    if (content.empty() || content.size() > INT_MAX)
        return 0;
    const unsigned char* p = content.data();
    if (X509_CRL* list = d2i_X509_CRL(nullptr, &p, static_cast<long>(content.size())))
    {
        X509_STORE_add_crl(store, list);
        X509_CRL_free(list);
        return 1;
    }
    size_t count = 0;
    BIO* bio = BIO_new_mem_buf(content.data(), static_cast<int>(content.size()));
    while (X509_CRL* list = bio ? PEM_read_bio_X509_CRL(bio, nullptr, nullptr, nullptr) : nullptr)
    {
        X509_STORE_add_crl(store, list);
        X509_CRL_free(list);
        ++count;
    }
    BIO_free(bio);
    return count;
}

// Issuers without a revocation list in the store count as not revoked.
int tolerateMissingLists(int ok, X509_STORE_CTX* context)
{
    if (!ok && X509_STORE_CTX_get_error(context) == X509_V_ERR_UNABLE_TO_GET_CRL)
    {
        X509_STORE_CTX_set_error(context, X509_V_OK);
        return 1;
    }
    return ok;
}

uint32_t statusOf(int error, int depth)
{
    bool issuer = depth > 0;
    switch (error)
    {
    case X509_V_OK:
        return status::Good;
    case X509_V_ERR_CERT_NOT_YET_VALID:
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_ERROR_IN_CERT_NOT_BEFORE_FIELD:
    case X509_V_ERR_ERROR_IN_CERT_NOT_AFTER_FIELD:
        return issuer ? status::BadCertificateIssuerTimeInvalid : status::BadCertificateTimeInvalid;
    case X509_V_ERR_CERT_REVOKED:
        return issuer ? status::BadCertificateIssuerRevoked : status::BadCertificateRevoked;
    case X509_V_ERR_CERT_SIGNATURE_FAILURE:
    case X509_V_ERR_UNABLE_TO_DECRYPT_CERT_SIGNATURE:
    case X509_V_ERR_UNABLE_TO_DECODE_ISSUER_PUBLIC_KEY:
        return status::BadCertificateInvalid;
    case X509_V_ERR_CRL_SIGNATURE_FAILURE:
    case X509_V_ERR_CRL_NOT_YET_VALID:
    case X509_V_ERR_CRL_HAS_EXPIRED:
    case X509_V_ERR_UNABLE_TO_DECRYPT_CRL_SIGNATURE:
        return status::BadCertificateRevocationUnknown;
    default:
        return status::BadCertificateUntrusted;
    }
}
} // namespace

uint32_t validateCertificate(const CertificateStorePaths& paths, const uint8_t* der, size_t size)
{
    if (!der || size == 0 || size > INT_MAX)
        return status::BadCertificateInvalid;
    const unsigned char* p = der;
    X509* certificate = d2i_X509(nullptr, &p, static_cast<long>(size));
    if (!certificate)
        return status::BadCertificateInvalid;
    X509_STORE* store = X509_STORE_new();
    X509_STORE_CTX* context = X509_STORE_CTX_new();
    uint32_t result = status::BadOutOfMemory;
    if (store && context)
    {
        for (const auto& file : filesAt(paths.trustedFolder))
            addCertificates(store, readFile(file));
        size_t lists = 0;
        for (const auto& file : filesAt(paths.revocationPath))
            lists += addRevocationLists(store, readFile(file));
        unsigned long flags = X509_V_FLAG_PARTIAL_CHAIN | X509_V_FLAG_CHECK_SS_SIGNATURE;
        if (lists > 0)
            flags |= X509_V_FLAG_CRL_CHECK | X509_V_FLAG_CRL_CHECK_ALL;
        X509_STORE_set_flags(store, flags);
        X509_STORE_set_verify_cb(store, tolerateMissingLists);
        if (X509_STORE_CTX_init(context, store, certificate, nullptr) == 1)
        {
            int verified = X509_verify_cert(context);
            result = verified == 1 ? status::Good
                                   : statusOf(X509_STORE_CTX_get_error(context),
                                              X509_STORE_CTX_get_error_depth(context));
            if (verified != 1 && result == status::Good)
                result = status::BadCertificateUntrusted;
        }
    }
    X509_STORE_CTX_free(context);
    X509_STORE_free(store);
    X509_free(certificate);
    return result;
}
} // namespace uasec
