#include "opcwatchcertificate.h"

#include <uapkicertificate.h>
#include <uapkikeys.h>

#include <os/text.h>

#include <windows.h>

#include <vector>

namespace
{
constexpr int kKeyBits = 1024;
// Five years of 365 days.
constexpr OpcUa_Int32 kValidSeconds = 157680000;
// Neutral stand-ins: the certificate names no real town or state.
constexpr char kLocality[] = "Locality";
constexpr char kState[] = "N/A";

UaString uaString(const std::u16string& text)
{
    return UaString(text.c_str());
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

    UaPkiRsaKeyPair keyPair(kKeyBits);
    const std::u16string keyFile = opcwatchPrivateKeyFile(certificateStoreRoot);
    DeleteFileW(keyFile.c_str());
    keyPair.toPEMFile(uaString(keyFile), nullptr);

    const std::u16string certificateFile = opcwatchCertificateFile(certificateStoreRoot);
    DeleteFileW(certificateFile.c_str());
    UaPkiCertificate certificate(info, identity, keyPair.publicKey(), identity, keyPair.privateKey());
    certificate.toDERFile(uaString(certificateFile));
    return OpcUa_Good;
}
