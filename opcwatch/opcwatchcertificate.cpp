#include "opcwatchcertificate.h"

#include <uafilepaths.h>
#include <uapkicertificate.h>
#include <uapkikeys.h>
#include <uatrace.h>

#include <os/text.h>

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace
{
constexpr int kKeyBits = 1024;
// Five years of 365 days.
constexpr OpcUa_Int32 kValidSeconds = 157680000;
// Neutral stand-ins: the certificate names no real town or state.
constexpr char kLocality[] = "Locality";
constexpr char kState[] = "N/A";

// A file of the pair while it is written.
constexpr char16_t kNewSuffix[] = u".new";

UaString uaString(const std::u16string& text)
{
    return UaString(text.c_str());
}

std::string hostFile(const std::u16string& file)
{
    return uaHostPath(UaUniString(file.c_str())).value_or(os::toUtf8(file));
}

// "<file>: <the writer's last error>".
std::string describeFailure(const std::u16string& file, const UaPkiErrorList& writer)
{
    return hostFile(file) + ": " +
           (writer.errors().empty() ? "not written" : writer.errors().back().toUtf8());
}

void removeFile(const std::u16string& file)
{
    ::unlink(hostFile(file).c_str());
}

bool renameFile(const std::u16string& from, const std::u16string& to, std::string& failure)
{
    if (std::rename(hostFile(from).c_str(), hostFile(to).c_str()) == 0)
        return true;
    failure = hostFile(to) + ": " + std::strerror(errno);
    return false;
}
} // namespace

std::u16string opcwatchCertificateFile(const std::u16string& certificateStoreRoot)
{
    return certificateStoreRoot + u"PKI/CA/certs/Corvanta_Opcwatch.der";
}

std::u16string opcwatchPrivateKeyFile(const std::u16string& certificateStoreRoot)
{
    return certificateStoreRoot + u"PKI/CA/private/Corvanta_Opcwatch.pem";
}

std::u16string opcwatchTrustedFolder(const std::u16string& certificateStoreRoot)
{
    return certificateStoreRoot + u"PKI\\CA\\certs\\";
}

std::u16string opcwatchRevocationListFile(const std::u16string& certificateStoreRoot)
{
    return certificateStoreRoot + u"PKI\\CA\\crl\\examplecrl.crl";
}

std::u16string opcwatchRejectedCertificateFolder(const std::u16string& certificateStoreRoot)
{
    return certificateStoreRoot + u"PKI/CA/crl/";
}

std::string opcwatchDeviceName()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Ident", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::string();
    // The size first, so that no name is cut.
    DWORD type = 0;
    DWORD size = 0;
    std::u16string name;
    if (RegQueryValueExW(key, u"Name", nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_SZ)
    {
        std::vector<WCHAR> buffer(size / sizeof(WCHAR) + 1);
        if (RegQueryValueExW(key, u"Name", nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) ==
            ERROR_SUCCESS)
            name.assign(buffer.data());
    }
    RegCloseKey(key);
    return os::toUtf8(name);
}

UaStatus createSelfSignedCertificate(const std::u16string& certificateStoreRoot,
                                     const std::string& serverInstanceUri, const std::string& /*endpointUrl*/)
{
    const std::string deviceName = opcwatchDeviceName();
    UaPkiIdentity identity;
    identity.organization = "Corvanta";
    identity.organizationUnit = "Ua";
    identity.locality = kLocality;
    identity.state = kState;
    identity.country = "DE";
    identity.commonName = serverInstanceUri.c_str();
    identity.domainComponent = deviceName.c_str();

    UaPkiCertificateInfo info;
    info.URI = serverInstanceUri.c_str();
    info.DNSName = deviceName.c_str();
    info.validTime = kValidSeconds;

    // Both files are written beside their places and renamed into them only once both are complete
    // on the disk: a full disk or a stop half-way leaves no file that a later start would keep as
    // damaged, and that start makes the pair again.
    const std::u16string keyFile = opcwatchPrivateKeyFile(certificateStoreRoot);
    const std::u16string certificateFile = opcwatchCertificateFile(certificateStoreRoot);
    const std::u16string newKeyFile = keyFile + kNewSuffix;
    const std::u16string newCertificateFile = certificateFile + kNewSuffix;
    std::string failure;
    UaPkiRsaKeyPair keyPair(kKeyBits);
    if (keyPair.toPEMFile(uaString(newKeyFile), nullptr) != 0)
        failure = describeFailure(newKeyFile, keyPair);
    else
    {
        UaPkiCertificate certificate(info, identity, keyPair.publicKey(), identity, keyPair.privateKey());
        if (certificate.toDERFile(uaString(newCertificateFile)) != 0)
            failure = describeFailure(newCertificateFile, certificate);
    }
    if (failure.empty())
    {
        // The old pair goes first: a stop between the two renames leaves the certificate missing, so
        // the next start makes a new pair rather than load a key with a certificate of another.
        removeFile(certificateFile);
        removeFile(keyFile);
        if (!renameFile(newKeyFile, keyFile, failure) ||
            !renameFile(newCertificateFile, certificateFile, failure))
        {
            removeFile(keyFile);
            removeFile(certificateFile);
        }
    }
    if (failure.empty())
        return OpcUa_Good;
    removeFile(newKeyFile);
    removeFile(newCertificateFile);
    UaTrace::traceLevel1("Failed to create the server certificate: %s", failure.c_str());
    return OpcUa_BadInternalError;
}
