#ifndef UABASE_UACERTIFICATESTORE_H
#define UABASE_UACERTIFICATESTORE_H

#include "uapkiprovider.h"

// The application's certificate store: the folder store with the application's certificate file,
// and loads that take their result first.
class UaCertificateStore : public UaPkiProviderFileStore
{
public:
    UaCertificateStore(const UaString& certificateFile, const UaString& revocationList,
                       const UaString& trustedFolder);

    using UaPkiProvider::loadCertificate;
    using UaPkiProvider::loadPrivateKey;
    UaStatus loadCertificate(UaByteString& certificate, const UaString& file);
    UaStatus loadPrivateKey(UaByteString& key, const UaString& file, OpcUa_UInt32 format,
                            const UaString& password);

    const UaString& certificateFile() const { return m_certificateFile; }

private:
    UaString m_certificateFile;
};

#endif
