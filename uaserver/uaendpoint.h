#ifndef UASERVER_UAENDPOINT_H
#define UASERVER_UAENDPOINT_H

#include <uabytestring.h>
#include <uastatus.h>
#include <uastring.h>

#include <opcua.h>
#include <opcua_pki.h>

#include <memory>
#include <vector>

// One security policy offered on an endpoint with the message security modes allowed for it.
class UaEndpointSecuritySetting
{
public:
    UaEndpointSecuritySetting();
    UaEndpointSecuritySetting(const UaEndpointSecuritySetting& other);
    UaEndpointSecuritySetting& operator=(const UaEndpointSecuritySetting& other);
    virtual ~UaEndpointSecuritySetting();

    void setSecurityPolicy(const UaString& uri);
    // A value from 1 to 4 is ORed into the mode set (0x1 None, 0x2 Sign, 0x4 SignAndEncrypt);
    // any other value gives BadInvalidArgument and changes nothing.
    UaStatus addMessageSecurityMode(OpcUa_UInt32 mode);
    // How many of the bits 0x1, 0x2 and 0x4 are set.
    OpcUa_UInt32 messageSecurityModeCount() const;
    OpcUa_UInt16 messageSecurityModes() const { return m_messageSecurityModes; }
    UaString securityPolicy() const { return m_securityPolicy; }

private:
    UaString m_securityPolicy;
    OpcUa_UInt16 m_messageSecurityModes;
};

// The record of one configured server endpoint, as the application's configuration fills it and
// the server runtime reads it when it opens endpoints and answers discovery.
class UaEndpoint
{
public:
    UaEndpoint();
    // Copies every field: new security settings, a new PKI record, the same stack handle.
    UaEndpoint(const UaEndpoint& other);
    UaEndpoint& operator=(const UaEndpoint&) = delete;
    virtual ~UaEndpoint();

    // 1 or 2 (the serializer type the endpoint is opened with); any other value gives
    // BadInvalidArgument and changes nothing. 0 until set.
    UaStatus setMode(OpcUa_UInt32 value);
    OpcUa_UInt32 mode() const { return m_mode; }

    void setEndpointUrl(const UaString& url, bool alsoSecondUrl);
    // The URL that is opened and announced (the second URL).
    UaString endpointUrl() const { return m_secondUrl; }

    // Keeps both byte strings and a copy of the certificate store configuration (null for none).
    void setCertificate(const UaByteString& certificate, const UaByteString& privateKey,
                        const OpcUa_CertificateStoreConfiguration* pkiRecord);
    const UaByteString& certificate() const { return m_certificate; }
    const UaByteString& privateKey() const { return m_privateKey; }
    // The store configuration of the PKI record; null while none was set.
    OpcUa_CertificateStoreConfiguration* pkiConfig() const;

    // Appends a copy of setting.
    void addSecuritySetting(const UaEndpointSecuritySetting& setting);
    OpcUa_UInt32 securitySettingCount() const { return static_cast<OpcUa_UInt32>(m_securitySettings.size()); }
    // Null for an index out of range.
    const UaEndpointSecuritySetting* securitySetting(OpcUa_UInt32 index) const;

    // The stack's endpoint while it is open, 0 otherwise.
    void setEndpointHandle(OpcUa_Endpoint handle) { m_endpointHandle = handle; }
    OpcUa_Endpoint endpointHandle() const { return m_endpointHandle; }

    // Set at construction; the runtime clears it when the endpoint fails to open, and lists,
    // opens and announces only endpoints that have it.
    void setFirstFlag(bool value) { m_firstFlag = value; }
    bool firstFlag() const { return m_firstFlag; }
    // Set at construction; announced URLs need it as well.
    bool secondFlag() const { return m_secondFlag; }

private:
    class PkiRecord;

    UaByteString m_certificate;
    UaByteString m_privateKey;
    OpcUa_UInt32 m_mode;
    UaString m_endpointUrl;
    UaString m_secondUrl;
    std::vector<std::unique_ptr<UaEndpointSecuritySetting>> m_securitySettings;
    OpcUa_Endpoint m_endpointHandle;
    std::unique_ptr<PkiRecord> m_pkiRecord;
    bool m_firstFlag;
    bool m_secondFlag;
};

#endif
