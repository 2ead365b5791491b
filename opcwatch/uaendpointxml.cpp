#include "uaendpointxml.h"

#include "opcwatchcertificate.h"

#include <uatrace.h>

#include <os/text.h>

#include <opcua_pki.h>

#include <windows.h>

namespace
{
const OpcUa_UInt32 kModeBits[] = {OpcMessageSecurityNone, OpcMessageSecuritySign,
                                  OpcMessageSecuritySignAndEncrypt};

bool fileFound(const std::u16string& path)
{
    WIN32_FIND_DATAW data;
    HANDLE found = FindFirstFileW(path.c_str(), &data);
    if (found == INVALID_HANDLE_VALUE)
        return false;
    FindClose(found);
    return true;
}
} // namespace

UaEndpointXml::UaEndpointXml() = default;

UaEndpointXml::~UaEndpointXml() = default;

UaStatus UaEndpointXml::loadFromConfig(const OpcEndpointConfig& config,
                                       const std::u16string& certificateStoreRoot,
                                       const std::string& serverInstanceUri)
{
    setEndpointUrl(UaString(config.m_url.c_str()), true);
    setMode(static_cast<OpcUa_UInt32>(config.m_serializerType));
    for (const OpcSecuritySettingConfig& settingConfig : config.m_securitySettings)
    {
        UaEndpointSecuritySetting setting;
        setting.setSecurityPolicy(UaString(settingConfig.m_securityPolicy.c_str()));
        for (OpcUa_UInt32 bit : kModeBits)
            if (settingConfig.m_messageSecurityModes & bit)
                setting.addMessageSecurityMode(bit);
        addSecuritySetting(setting);
    }
    return loadCertificate(certificateStoreRoot, serverInstanceUri);
}

UaStatus UaEndpointXml::loadCertificate(const std::u16string& certificateStoreRoot,
                                        const std::string& serverInstanceUri)
{
    const std::u16string certificateFile = opcwatchCertificateFile(certificateStoreRoot);
    const std::u16string keyFile = opcwatchPrivateKeyFile(certificateStoreRoot);
    // Only missing files are made anew; a damaged one is kept for someone to look at.
    if (!fileFound(certificateFile) || !fileFound(keyFile))
    {
        UaTrace::traceLevel3("Certificate not found - try autocreate");
        createSelfSignedCertificate(certificateStoreRoot, serverInstanceUri, endpointUrl().toUtf8());
    }

    if (!m_certificateStore)
        m_certificateStore = std::make_unique<UaCertificateStore>(
            UaString(certificateFile.c_str()),
            UaString(opcwatchRevocationListFile(certificateStoreRoot).c_str()),
            UaString(opcwatchTrustedFolder(certificateStoreRoot).c_str()));

    UaStatus status = m_certificateStore->openCertificateStore();
    if (status.isNotGood())
    {
        UaTrace::traceLevel1("openCertificateStore failed (s=%s) [ret=0x%08x]",
                             os::toUtf8(certificateStoreRoot).c_str(), status.statusCode());
        return status;
    }
    UaByteString certificate;
    status = m_certificateStore->loadCertificate(certificate, UaString(certificateFile.c_str()));
    if (status.isNotGood())
    {
        UaTrace::traceLevel1("loadCertificate failed (s=%s) [ret=0x%08x]",
                             os::toUtf8(certificateFile).c_str(), status.statusCode());
        return status;
    }
    UaByteString privateKey;
    status = m_certificateStore->loadPrivateKey(privateKey, UaString(keyFile.c_str()), OPCUA_PKI_FORMAT_PEM,
                                                UaString(""));
    if (status.isNotGood())
    {
        UaTrace::traceLevel1("loadPrivateKey failed (s=%s) [ret=0x%08x]", os::toUtf8(keyFile).c_str(),
                             status.statusCode());
        return status;
    }
    status = m_certificateStore->closeCertificateStore();
    if (status.isGood())
        setCertificate(certificate, privateKey, m_certificateStore->pkiConfig());
    return status;
}

std::vector<std::unique_ptr<UaEndpointXml>> loadOpcEndpoints(const OpcServerConfigData& config,
                                                             const std::u16string& certificateStoreRoot)
{
    std::vector<std::unique_ptr<UaEndpointXml>> endpoints;
    for (const OpcEndpointConfig& endpointConfig : config.m_endpoints)
    {
        auto endpoint = std::make_unique<UaEndpointXml>();
        if (endpoint->loadFromConfig(endpointConfig, certificateStoreRoot, config.m_serverInstanceUri)
                .isNotGood())
        {
            UaTrace::traceLevel1("Failed to load XML endpoint configuration");
            continue;
        }
        endpoints.push_back(std::move(endpoint));
    }
    return endpoints;
}
