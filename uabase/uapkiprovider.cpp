#include "uapkiprovider.h"

UaPkiProvider::UaPkiProvider(const UaString& trustListLocation, const UaString& revocationListLocation)
    : m_trustListLocation(trustListLocation), m_revocationListLocation(revocationListLocation)
{
    m_configuration.PkiType = OPCUA_PKI_TYPE_DIRECTORY_STORE;
    pointConfigurationAtOwnStrings();
}

UaPkiProvider::UaPkiProvider(const UaPkiProvider& other)
    : m_trustListLocation(other.m_trustListLocation), m_revocationListLocation(other.m_revocationListLocation)
{
    m_configuration.PkiType = other.m_configuration.PkiType;
    m_configuration.Flags = other.m_configuration.Flags;
    m_configuration.Reserved = other.m_configuration.Reserved;
    pointConfigurationAtOwnStrings();
}

UaPkiProvider::~UaPkiProvider()
{
    if (m_isOpen)
        closeCertificateStore();
    deleteProvider();
}

void UaPkiProvider::pointConfigurationAtOwnStrings()
{
    // The configuration's text pointers are into this object's own strings, never another's.
    m_configuration.TrustedCertificateListLocation = const_cast<OpcUa_CharA*>(m_trustListLocation.toUtf8());
    m_configuration.RevokedCertificateListLocation =
        const_cast<OpcUa_CharA*>(m_revocationListLocation.toUtf8());
}

void UaPkiProvider::deleteProvider()
{
    if (!m_hasProvider)
        return;
    OpcUa_PKIProvider_Delete(&m_provider);
    m_hasProvider = false;
}

UaStatus UaPkiProvider::openCertificateStore()
{
    if (m_isOpen)
        return OpcUa_BadInvalidArgument;
    deleteProvider();
    OpcUa_StatusCode status = OpcUa_PKIProvider_Create(&m_configuration, &m_provider);
    if (OpcUa_IsBad(status))
        return status;
    m_hasProvider = true;
    status = m_provider.OpenCertificateStore(&m_provider, &m_store);
    if (OpcUa_IsBad(status))
    {
        deleteProvider();
        m_store = nullptr;
        return status;
    }
    m_isOpen = true;
    return status;
}

UaStatus UaPkiProvider::closeCertificateStore()
{
    if (!m_isOpen)
        return OpcUa_BadInvalidArgument;
    const OpcUa_StatusCode status = m_provider.CloseCertificateStore(&m_provider, &m_store);
    m_isOpen = false;
    m_store = nullptr;
    deleteProvider();
    return status;
}

UaStatus UaPkiProvider::loadCertificate(const UaString& name, UaByteString& certificate)
{
    if (!m_isOpen)
        return OpcUa_BadInvalidArgument;
    OpcUa_ByteString loaded{-1, nullptr};
    const OpcUa_StatusCode status = m_provider.LoadCertificate(&m_provider, name.toUtf8(), m_store, &loaded);
    if (OpcUa_IsGood(status))
        certificate.attach(&loaded);
    else
        OpcUa_ByteString_Clear(&loaded);
    return status;
}

UaStatus UaPkiProvider::loadPrivateKey(const UaString& file, OpcUa_UInt32 format, const UaString& password,
                                       UaByteString& key)
{
    if (!m_isOpen)
        return OpcUa_BadInvalidArgument;
    OpcUa_ByteString loaded{-1, nullptr};
    const OpcUa_StatusCode status =
        m_provider.LoadPrivateKeyFromFile(file.toUtf8(), format, password.toUtf8(), &loaded);
    if (OpcUa_IsGood(status))
        key.attach(&loaded);
    else
        OpcUa_ByteString_Clear(&loaded);
    return status;
}
