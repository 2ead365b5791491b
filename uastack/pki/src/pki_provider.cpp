// The folder store behind OpcUa_PKIProvider: certificates and keys read with libcrypto.
#include <opcua_memory.h>
#include <opcua_pki.h>
#include <opcua_platform.h>
#include <opcua_statuscodes.h>

#include "pki_files.h"

#if __has_include(<opcua_crypto.h>)
#include <opcua_crypto.h>
#endif

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstring>
#include <new>
#include <optional>
#include <string>

namespace
{
struct ProviderConfiguration
{
    OpcUa_UInt32 pkiType = 0;
    std::string trustedLocation;
    std::string revokedLocation;
    OpcUa_UInt32 flags = 0;
};

struct DirectoryStore
{
    std::string trustedFolder;
};

ProviderConfiguration* configurationOf(OpcUa_PKIProvider* provider)
{
    return provider ? static_cast<ProviderConfiguration*>(provider->Handle) : nullptr;
}

// A resolved location for the log.
const char* describe(const std::optional<std::string>& hostPath)
{
    return hostPath ? hostPath->c_str() : "(a path leaving the device root)";
}

bool looksLikePem(const std::vector<unsigned char>& content)
{
    static const char marker[] = "-----BEGIN ";
    const std::string_view text(reinterpret_cast<const char*>(content.data()), content.size());
    return text.find(marker) != std::string_view::npos;
}

int passwordCallback(char* buffer, int size, int writing, void* user);

// The whole content as one DER certificate; null when it is not exactly that.
X509* decodeDer(const std::vector<unsigned char>& content)
{
    const unsigned char* cursor = content.data();
    X509* certificate = d2i_X509(nullptr, &cursor, static_cast<long>(content.size()));
    if (certificate && cursor != content.data() + content.size())
    {
        // Trailing bytes: not one certificate.
        X509_free(certificate);
        return nullptr;
    }
    return certificate;
}

// The certificate of a DER file, or the first one of a PEM file; null when there is none.
X509* decodeCertificate(const std::vector<unsigned char>& content)
{
    if (X509* certificate = decodeDer(content))
        return certificate;
    if (!looksLikePem(content))
        return nullptr;
    ERR_clear_error();
    BIO* bio = BIO_new_mem_buf(content.data(), static_cast<int>(content.size()));
    if (!bio)
        return nullptr;
    // Without a password for anything encrypted, so that nothing is asked on a terminal.
    X509* certificate = PEM_read_bio_X509(bio, nullptr, passwordCallback, nullptr);
    BIO_free(bio);
    return certificate;
}

// Hands the password over; without one nothing is given, so libcrypto never falls back to
// asking on a terminal.
int passwordCallback(char* buffer, int size, int /*writing*/, void* user)
{
    const auto* password = static_cast<const char*>(user);
    if (!password || size <= 0)
        return 0;
    const std::size_t length = std::strlen(password);
    if (length > static_cast<std::size_t>(size))
        return 0;
    std::memcpy(buffer, password, length);
    return static_cast<int>(length);
}

OpcUa_StatusCode openStore(OpcUa_PKIProvider* provider, OpcUa_Void** store)
{
    ProviderConfiguration* configuration = configurationOf(provider);
    if (!configuration || !store)
        return OpcUa_BadInvalidArgument;
    // Locations resolve below the device root (a host path outside it too): the log says where
    // the store is looked for, so that a store nobody finds does not fail every peer silently.
    const auto trusted = opcua_pki::hostPath(configuration->trustedLocation.c_str());
    if (!trusted || !opcua_pki::isDirectory(*trusted))
    {
        OpcUa_Trace_Imp(OPCUA_TRACE_LEVEL_ERROR,
                        "PKI store: trusted certificate folder \"%s\" not found at %s",
                        configuration->trustedLocation.c_str(), describe(trusted));
        return OpcUa_BadNotFound;
    }
    std::optional<std::string> revoked;
    if (!configuration->revokedLocation.empty())
    {
        revoked = opcua_pki::hostPath(configuration->revokedLocation.c_str());
        if (!revoked || !opcua_pki::exists(*revoked))
            OpcUa_Trace_Imp(OPCUA_TRACE_LEVEL_WARNING,
                            "PKI store: revocation list location \"%s\" not found at %s",
                            configuration->revokedLocation.c_str(), describe(revoked));
    }
    OpcUa_Trace_Imp(OPCUA_TRACE_LEVEL_INFO,
                    "PKI store opened: trusted certificates in %s, revocation lists in %s", trusted->c_str(),
                    revoked ? revoked->c_str() : "(none)");
    auto* opened = new (std::nothrow) DirectoryStore{*trusted};
    if (!opened)
        return OpcUa_BadOutOfMemory;
    *store = opened;
    return OpcUa_Good;
}

OpcUa_StatusCode closeStore(OpcUa_PKIProvider* provider, OpcUa_Void** store)
{
    if (!configurationOf(provider) || !store || !*store)
        return OpcUa_BadInvalidArgument;
    delete static_cast<DirectoryStore*>(*store);
    *store = nullptr;
    return OpcUa_Good;
}

OpcUa_StatusCode loadCertificate(OpcUa_PKIProvider* provider, const OpcUa_Void* loadHandle, OpcUa_Void* store,
                                 OpcUa_ByteString* certificate)
{
    if (!configurationOf(provider) || !loadHandle || !store || !certificate)
        return OpcUa_BadInvalidArgument;
    const auto path = opcua_pki::hostPath(static_cast<const OpcUa_CharA*>(loadHandle));
    if (!path)
        return OpcUa_BadInvalidArgument;
    const auto content = opcua_pki::readFile(*path);
    if (!content)
        return OpcUa_BadNotFound;
    X509* decoded = decodeCertificate(*content);
    if (!decoded)
    {
        ERR_clear_error();
        return OpcUa_BadCertificateInvalid;
    }
    unsigned char* der = nullptr;
    const int length = i2d_X509(decoded, &der);
    X509_free(decoded);
    if (length <= 0)
    {
        ERR_clear_error();
        return OpcUa_BadCertificateInvalid;
    }
    const OpcUa_StatusCode status =
        opcua_pki::toByteString(der, static_cast<std::size_t>(length), certificate);
    OPENSSL_free(der);
    return status;
}

OpcUa_StatusCode saveCertificate(OpcUa_PKIProvider* provider, const OpcUa_ByteString* certificate,
                                 OpcUa_Void* store, const OpcUa_Void* saveHandle)
{
    if (!configurationOf(provider) || !certificate || !store || !saveHandle || certificate->Length <= 0 ||
        !certificate->Data)
        return OpcUa_BadInvalidArgument;
    const std::vector<unsigned char> bytes(certificate->Data, certificate->Data + certificate->Length);
    X509* decoded = decodeDer(bytes);
    if (!decoded)
    {
        ERR_clear_error();
        return OpcUa_BadCertificateInvalid;
    }
    X509_free(decoded);
    const auto path = opcua_pki::hostPath(static_cast<const OpcUa_CharA*>(saveHandle));
    if (!path)
        return OpcUa_BadInvalidArgument;
    return opcua_pki::writeFile(*path, bytes.data(), bytes.size()) ? OpcUa_Good : OpcUa_BadNotFound;
}

OpcUa_StatusCode loadPrivateKey(const OpcUa_CharA* file, OpcUa_UInt32 format, const OpcUa_CharA* password,
                                OpcUa_ByteString* privateKey)
{
    if (!file || !privateKey)
        return OpcUa_BadInvalidArgument;
    if (format != OPCUA_PKI_FORMAT_PEM)
        return OpcUa_BadNotSupported;
    const auto path = opcua_pki::hostPath(file);
    if (!path)
        return OpcUa_BadInvalidArgument;
    const auto content = opcua_pki::readFile(*path);
    if (!content)
        return OpcUa_BadNotFound;
    BIO* bio = BIO_new_mem_buf(content->data(), static_cast<int>(content->size()));
    if (!bio)
        return OpcUa_BadOutOfMemory;
    const char* given = (password && *password) ? password : nullptr;
    EVP_PKEY* key = PEM_read_bio_PrivateKey(bio, nullptr, passwordCallback, const_cast<char*>(given));
    BIO_free(bio);
    if (!key)
    {
        ERR_clear_error();
        const std::string_view text(reinterpret_cast<const char*>(content->data()), content->size());
        return text.find("ENCRYPTED") != std::string_view::npos ? OpcUa_BadSecurityChecksFailed
                                                                : OpcUa_BadDecodingError;
    }
    unsigned char* der = nullptr;
    const int length = i2d_PrivateKey(key, &der);
    EVP_PKEY_free(key);
    if (length <= 0)
    {
        ERR_clear_error();
        return OpcUa_BadDecodingError;
    }
    const OpcUa_StatusCode status =
        opcua_pki::toByteString(der, static_cast<std::size_t>(length), privateKey);
    OPENSSL_clear_free(der, static_cast<std::size_t>(length));
    return status;
}
#if __has_include(<opcua_crypto.h>)
OpcUa_StatusCode validateCertificate(OpcUa_PKIProvider* provider, const OpcUa_ByteString* certificate,
                                     OpcUa_Void*, OpcUa_Int32* validationCode)
{
    const ProviderConfiguration* configuration = configurationOf(provider);
    if (!configuration || !certificate)
        return OpcUa_BadInvalidArgument;
    OpcUa_CertificateStoreConfiguration store{};
    store.PkiType = configuration->pkiType;
    store.TrustedCertificateListLocation = const_cast<OpcUa_CharA*>(configuration->trustedLocation.c_str());
    store.RevokedCertificateListLocation = const_cast<OpcUa_CharA*>(configuration->revokedLocation.c_str());
    store.Flags = configuration->flags;
    const OpcUa_StatusCode status = OpcUa_PKIProvider_ValidateCertificate(&store, certificate);
    if (validationCode)
        *validationCode = static_cast<OpcUa_Int32>(status);
    return status;
}
#endif
} // namespace

OpcUa_StatusCode OpcUa_PKIProvider_Create(OpcUa_Void* configuration, OpcUa_PKIProvider* provider)
{
    if (!configuration || !provider)
        return OpcUa_BadInvalidArgument;
    std::memset(provider, 0, sizeof *provider);
    const auto* given = static_cast<const OpcUa_CertificateStoreConfiguration*>(configuration);
    if (given->PkiType != OPCUA_PKI_TYPE_DIRECTORY_STORE)
        return OpcUa_BadNotSupported;
    if (!given->TrustedCertificateListLocation || !*given->TrustedCertificateListLocation)
        return OpcUa_BadInvalidArgument;
    auto* copy = new (std::nothrow) ProviderConfiguration;
    if (!copy)
        return OpcUa_BadOutOfMemory;
    copy->pkiType = given->PkiType;
    copy->trustedLocation = given->TrustedCertificateListLocation;
    copy->revokedLocation =
        given->RevokedCertificateListLocation ? given->RevokedCertificateListLocation : "";
    copy->flags = given->Flags;
    provider->Handle = copy;
    provider->OpenCertificateStore = openStore;
    provider->CloseCertificateStore = closeStore;
    provider->LoadCertificate = loadCertificate;
    provider->SaveCertificate = saveCertificate;
    provider->LoadPrivateKeyFromFile = loadPrivateKey;
#if __has_include(<opcua_crypto.h>)
    provider->ValidateCertificate = validateCertificate;
#endif
    return OpcUa_Good;
}

OpcUa_StatusCode OpcUa_PKIProvider_Delete(OpcUa_PKIProvider* provider)
{
    if (!provider)
        return OpcUa_BadInvalidArgument;
    delete configurationOf(provider);
    std::memset(provider, 0, sizeof *provider);
    return OpcUa_Good;
}
