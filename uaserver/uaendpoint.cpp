#include "uaendpoint.h"

#include <bit>
#include <string>

// An owned copy of a certificate store configuration: the stack structure points at our strings.
class UaEndpoint::PkiRecord
{
public:
    explicit PkiRecord(const OpcUa_CertificateStoreConfiguration& source)
        : m_trustedLocation(textOf(source.TrustedCertificateListLocation)),
          m_revokedLocation(textOf(source.RevokedCertificateListLocation)),
          m_hasTrusted(source.TrustedCertificateListLocation != nullptr),
          m_hasRevoked(source.RevokedCertificateListLocation != nullptr)
    {
        m_configuration = source;
        m_configuration.TrustedCertificateListLocation = m_hasTrusted ? m_trustedLocation.data() : nullptr;
        m_configuration.RevokedCertificateListLocation = m_hasRevoked ? m_revokedLocation.data() : nullptr;
    }
    PkiRecord(const PkiRecord& other) : PkiRecord(other.m_configuration) {}
    PkiRecord& operator=(const PkiRecord&) = delete;

    OpcUa_CertificateStoreConfiguration* configuration() { return &m_configuration; }

private:
    static std::string textOf(const char* text) { return text != nullptr ? text : ""; }

    std::string m_trustedLocation;
    std::string m_revokedLocation;
    bool m_hasTrusted;
    bool m_hasRevoked;
    OpcUa_CertificateStoreConfiguration m_configuration;
};

UaEndpointSecuritySetting::UaEndpointSecuritySetting() : m_messageSecurityModes(0) {}

UaEndpointSecuritySetting::UaEndpointSecuritySetting(const UaEndpointSecuritySetting& other) = default;

UaEndpointSecuritySetting&
UaEndpointSecuritySetting::operator=(const UaEndpointSecuritySetting& other) = default;

UaEndpointSecuritySetting::~UaEndpointSecuritySetting() = default;

void UaEndpointSecuritySetting::setSecurityPolicy(const UaString& uri)
{
    m_securityPolicy = uri;
}

UaStatus UaEndpointSecuritySetting::addMessageSecurityMode(OpcUa_UInt32 mode)
{
    if (mode < 1 || mode > 4)
        return OpcUa_BadInvalidArgument;
    m_messageSecurityModes = static_cast<OpcUa_UInt16>(m_messageSecurityModes | mode);
    return OpcUa_Good;
}

OpcUa_UInt32 UaEndpointSecuritySetting::messageSecurityModeCount() const
{
    return static_cast<OpcUa_UInt32>(std::popcount(static_cast<unsigned>(m_messageSecurityModes & 0x7u)));
}

UaEndpoint::UaEndpoint() : m_mode(0), m_endpointHandle(nullptr), m_firstFlag(true), m_secondFlag(true) {}

UaEndpoint::UaEndpoint(const UaEndpoint& other)
    : m_certificate(other.m_certificate), m_privateKey(other.m_privateKey), m_mode(other.m_mode),
      m_endpointUrl(other.m_endpointUrl), m_secondUrl(other.m_secondUrl),
      m_endpointHandle(other.m_endpointHandle),
      m_pkiRecord(other.m_pkiRecord ? std::make_unique<PkiRecord>(*other.m_pkiRecord) : nullptr),
      m_firstFlag(other.m_firstFlag), m_secondFlag(other.m_secondFlag)
{
    for (const auto& setting : other.m_securitySettings)
        m_securitySettings.push_back(std::make_unique<UaEndpointSecuritySetting>(*setting));
}

UaEndpoint::~UaEndpoint() = default;

UaStatus UaEndpoint::setMode(OpcUa_UInt32 value)
{
    if (value != 1 && value != 2)
        return OpcUa_BadInvalidArgument;
    m_mode = value;
    return OpcUa_Good;
}

void UaEndpoint::setEndpointUrl(const UaString& url, bool alsoSecondUrl)
{
    m_endpointUrl = url;
    if (alsoSecondUrl)
        m_secondUrl = url;
}

void UaEndpoint::setCertificate(const UaByteString& certificate, const UaByteString& privateKey,
                                const OpcUa_CertificateStoreConfiguration* pkiRecord)
{
    m_certificate = certificate;
    m_privateKey = privateKey;
    m_pkiRecord = pkiRecord != nullptr ? std::make_unique<PkiRecord>(*pkiRecord) : nullptr;
}

OpcUa_CertificateStoreConfiguration* UaEndpoint::pkiConfig() const
{
    return m_pkiRecord ? m_pkiRecord->configuration() : nullptr;
}

void UaEndpoint::addSecuritySetting(const UaEndpointSecuritySetting& setting)
{
    m_securitySettings.push_back(std::make_unique<UaEndpointSecuritySetting>(setting));
}

const UaEndpointSecuritySetting* UaEndpoint::securitySetting(OpcUa_UInt32 index) const
{
    return index < m_securitySettings.size() ? m_securitySettings[index].get() : nullptr;
}
