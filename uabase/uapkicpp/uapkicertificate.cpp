#include "uapkicertificate.h"

#include "uafilepaths.h"

#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cerrno>
#include <ctime>
#include <string>

namespace
{
struct NamePart
{
    const char* shortName;
    const UaString UaPkiIdentity::*field;
};

// Order of the entries in a name.
const NamePart g_nameParts[] = {
    {"DC", &UaPkiIdentity::domainComponent}, {"C", &UaPkiIdentity::country},
    {"ST", &UaPkiIdentity::state},           {"L", &UaPkiIdentity::locality},
    {"O", &UaPkiIdentity::organization},     {"OU", &UaPkiIdentity::organizationUnit},
    {"CN", &UaPkiIdentity::commonName},
};

struct NameField
{
    int nid;
    UaString UaPkiIdentity::*field;
};

const NameField g_readFields[] = {
    {NID_commonName, &UaPkiIdentity::commonName},
    {NID_organizationName, &UaPkiIdentity::organization},
    {NID_organizationalUnitName, &UaPkiIdentity::organizationUnit},
    {NID_localityName, &UaPkiIdentity::locality},
    {NID_stateOrProvinceName, &UaPkiIdentity::state},
    {NID_countryName, &UaPkiIdentity::country},
    {NID_domainComponent, &UaPkiIdentity::domainComponent},
};

struct ExtensionText
{
    const char* name;
    const char* value;
};

const ExtensionText g_extensions[] = {
    {"basicConstraints", "critical, CA:FALSE"},
    {"nsComment", "\"Generated with Quillmark UA Base Library using OpenSSL\""},
    {"subjectKeyIdentifier", "hash"},
    {"authorityKeyIdentifier", "keyid, issuer:always"},
    {"keyUsage",
     "critical, nonRepudiation, digitalSignature, keyEncipherment, dataEncipherment, keyCertSign"},
    {"extendedKeyUsage", "critical, serverAuth,clientAuth"},
};

// "URI:..,DNS:..,IP:..,email:.." of the parts that are present; empty when none is.
std::string subjectAltName(const UaPkiCertificateInfo& info)
{
    const std::pair<const char*, const UaString*> parts[] = {
        {"URI:", &info.URI}, {"DNS:", &info.DNSName}, {"IP:", &info.IPAddress}, {"email:", &info.eMail}};
    std::string value;
    for (const auto& [prefix, text] : parts)
    {
        if (text->isEmpty())
            continue;
        if (!value.empty())
            value += ",";
        value += prefix;
        value += text->toUtf8();
    }
    return value;
}
} // namespace

UaPkiCertificate::UaPkiCertificate() : m_certificate(nullptr) {}

UaPkiCertificate::UaPkiCertificate(const UaPkiCertificateInfo& info, const UaPkiIdentity& subject,
                                   const UaPkiRsaKeyPair& keyPair, const UaPkiIdentity& issuer,
                                   const UaPkiPrivateKey& issuerPrivateKey)
    : UaPkiCertificate(info, subject, keyPair.publicKey(), issuer, issuerPrivateKey)
{
}

UaPkiCertificate::UaPkiCertificate(const UaPkiCertificateInfo& info, const UaPkiIdentity& subject,
                                   const UaPkiPublicKey& subjectPublicKey, const UaPkiIdentity& issuer,
                                   const UaPkiPrivateKey& issuerPrivateKey)
    : m_certificate(nullptr)
{
    EVP_PKEY* key = subjectPublicKey.acquireKey();
    create(info, subject, key, issuer, issuerPrivateKey);
    EVP_PKEY_free(key);
}

UaPkiCertificate::UaPkiCertificate(const UaPkiCertificate& other)
    : UaPkiErrorList(other), m_certificate(other.m_certificate)
{
    if (m_certificate)
        X509_up_ref(m_certificate);
}

UaPkiCertificate& UaPkiCertificate::operator=(const UaPkiCertificate& other)
{
    if (this == &other)
        return *this;
    UaPkiErrorList::operator=(other);
    if (other.m_certificate)
        X509_up_ref(other.m_certificate);
    X509_free(m_certificate);
    m_certificate = other.m_certificate;
    return *this;
}

UaPkiCertificate::~UaPkiCertificate()
{
    X509_free(m_certificate);
}

void UaPkiCertificate::create(const UaPkiCertificateInfo& info, const UaPkiIdentity& subject,
                              EVP_PKEY* subjectKey, const UaPkiIdentity& issuer,
                              const UaPkiPrivateKey& issuerPrivateKey)
{
    X509* certificate = X509_new();
    if (!certificate)
        return;
    bool ok =
        X509_set_version(certificate, 2) == 1 &&
        ASN1_INTEGER_set(X509_get_serialNumber(certificate), static_cast<long>(std::time(nullptr))) == 1;

    // Names: entries are UTF-8; an empty field gets no entry (an empty attribute value is not valid).
    auto setName = [&](const UaPkiIdentity& identity, bool isSubject)
    {
        X509_NAME* name = X509_NAME_new();
        if (!name)
            return false;
        for (const NamePart& part : g_nameParts)
        {
            const UaString& value = identity.*(part.field);
            if (value.isEmpty())
                continue;
            if (X509_NAME_add_entry_by_txt(name, part.shortName, MBSTRING_UTF8,
                                           reinterpret_cast<const unsigned char*>(value.toUtf8()), -1, -1,
                                           0) != 1)
                addLibraryErrors();
        }
        const bool set = (isSubject ? X509_set_subject_name(certificate, name)
                                    : X509_set_issuer_name(certificate, name)) == 1;
        X509_NAME_free(name);
        return set;
    };
    ok = ok && setName(subject, true) && setName(issuer, false);
    ok = ok && X509_gmtime_adj(X509_getm_notBefore(certificate), 0) &&
         X509_gmtime_adj(X509_getm_notAfter(certificate), info.validTime);
    // The key first: the subject key identifier is computed from it.
    ok = ok && subjectKey && X509_set_pubkey(certificate, subjectKey) == 1;

    if (ok)
    {
        X509V3_CTX context;
        X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
        for (const ExtensionText& text : g_extensions)
        {
            X509_EXTENSION* extension = X509V3_EXT_nconf(nullptr, &context, text.name, text.value);
            if (!extension || X509_add_ext(certificate, extension, -1) != 1)
                ok = false;
            X509_EXTENSION_free(extension);
        }
        const std::string alternativeName = subjectAltName(info);
        if (ok && !alternativeName.empty())
        {
            X509_EXTENSION* extension =
                X509V3_EXT_nconf(nullptr, &context, "subjectAltName", alternativeName.c_str());
            if (!extension || X509_add_ext(certificate, extension, -1) != 1)
                ok = false;
            X509_EXTENSION_free(extension);
        }
    }
    ok = ok && issuerPrivateKey.handle() &&
         X509_sign(certificate, issuerPrivateKey.handle(), EVP_sha256()) > 0;
    if (!ok)
    {
        addLibraryErrors();
        X509_free(certificate);
        return;
    }
    m_certificate = certificate;
}

UaPkiCertificate UaPkiCertificate::fromDER(const UaByteString& der)
{
    UaPkiCertificate result;
    if (der.length() <= 0 || !der.data())
    {
        result.addError(UaString("The certificate is NULL"));
        return result;
    }
    const unsigned char* cursor = der.data();
    result.m_certificate = d2i_X509(nullptr, &cursor, der.length());
    if (!result.m_certificate)
        result.addLibraryErrors();
    return result;
}

bool UaPkiCertificate::checkNotNull()
{
    if (m_certificate)
        return true;
    addError(UaString("The certificate is NULL"));
    return false;
}

UaByteString UaPkiCertificate::toDER()
{
    UaByteString result;
    if (!checkNotNull())
        return result;
    unsigned char* der = nullptr;
    const int length = i2d_X509(m_certificate, &der);
    if (length <= 0)
    {
        addLibraryErrors();
        return result;
    }
    result.setByteString(length, der);
    OPENSSL_free(der);
    return result;
}

UaByteString UaPkiCertificate::thumbPrint()
{
    UaByteString result;
    const UaByteString der = toDER();
    if (der.length() <= 0)
        return result;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(der.data(), static_cast<std::size_t>(der.length()), digest, &length, EVP_sha1(),
                   nullptr) != 1)
    {
        addLibraryErrors();
        return result;
    }
    result.setByteString(static_cast<OpcUa_Int32>(length), digest);
    return result;
}

UaPkiIdentity UaPkiCertificate::subject()
{
    UaPkiIdentity identity;
    if (!checkNotNull())
        return identity;
    X509_NAME* name = X509_get_subject_name(m_certificate);
    for (const NameField& field : g_readFields)
    {
        const int index = X509_NAME_get_index_by_NID(name, field.nid, -1);
        if (index < 0)
        {
            addLibraryErrors();
            continue;
        }
        unsigned char* utf8 = nullptr;
        const int length =
            ASN1_STRING_to_UTF8(&utf8, X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, index)));
        if (length < 0)
        {
            addLibraryErrors();
            continue;
        }
        identity.*(field.field) = UaString::fromBytes(reinterpret_cast<const char*>(utf8), length);
        OPENSSL_free(utf8);
    }
    return identity;
}

int UaPkiCertificate::toPEMFile(const UaString& fileName)
{
    if (!checkNotNull())
        return -1;
    errno = 0;
    FILE* file = uaOpenFile(fileName.toUtf8(), "w");
    if (!file)
    {
        addSystemError("Could not open file for writing", errno);
        return -1;
    }
    errno = 0;
    const bool written = PEM_write_X509(file, m_certificate) == 1;
    const int writeError = errno;
    if (!uaCloseFileSynced(file) || !written)
    {
        addLibraryErrors();
        addSystemError("Could not write the file", written ? errno : writeError);
        return -1;
    }
    return 0;
}

int UaPkiCertificate::toDERFile(const UaString& fileName)
{
    const UaByteString der = toDER();
    if (der.length() <= 0)
        return -1;
    errno = 0;
    FILE* file = uaOpenFile(fileName.toUtf8(), "wb");
    if (!file)
    {
        addSystemError("Could not open file for writing", errno);
        return -1;
    }
    errno = 0;
    const bool written = std::fwrite(der.data(), static_cast<std::size_t>(der.length()), 1, file) == 1;
    const int writeError = errno;
    if (!uaCloseFileSynced(file) || !written)
    {
        addSystemError("Could not write the file", written ? errno : writeError);
        return -1;
    }
    return 0;
}
