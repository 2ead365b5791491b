#ifndef UABASE_UAPKIPROVIDER_H
#define UABASE_UAPKIPROVIDER_H

#include "uabytestring.h"
#include "uastatus.h"
#include "uastring.h"

#include <opcua_pki.h>

// One instance of the stack's PKI provider over a folder store: opens and closes the store and
// loads certificates (DER out) and private keys. The provider exists while the store is open.
class UaPkiProvider
{
public:
    UaPkiProvider(const UaString& trustListLocation, const UaString& revocationListLocation);
    // The copy takes the locations and configuration; it starts closed and without a provider.
    UaPkiProvider(const UaPkiProvider& other);
    UaPkiProvider& operator=(const UaPkiProvider&) = delete;
    virtual ~UaPkiProvider();

    // BadInvalidArgument when already open.
    UaStatus openCertificateStore();
    // BadInvalidArgument when not open.
    UaStatus closeCertificateStore();
    UaStatus loadCertificate(const UaString& name, UaByteString& certificate);
    UaStatus loadPrivateKey(const UaString& file, OpcUa_UInt32 format, const UaString& password,
                            UaByteString& key);

    bool isOpen() const { return m_isOpen; }
    const UaString& trustListLocation() const { return m_trustListLocation; }
    const UaString& revocationListLocation() const { return m_revocationListLocation; }
    // The store configuration in the stack's form (for the endpoints).
    OpcUa_CertificateStoreConfiguration* pkiConfig() { return &m_configuration; }

private:
    void pointConfigurationAtOwnStrings();
    void deleteProvider();

    UaString m_trustListLocation;
    UaString m_revocationListLocation;
    OpcUa_PKIProvider m_provider{};
    bool m_hasProvider = false;
    OpcUa_CertificateStoreConfiguration m_configuration{};
    OpcUa_Void* m_store = nullptr;
    bool m_isOpen = false;
};

// The folder store as the application creates it.
class UaPkiProviderFileStore : public UaPkiProvider
{
public:
    using UaPkiProvider::UaPkiProvider;
};

#endif
