#include "uacertificatestore.h"

UaCertificateStore::UaCertificateStore(const UaString& certificateFile, const UaString& revocationList,
                                       const UaString& trustedFolder)
    : UaPkiProviderFileStore(trustedFolder, revocationList), m_certificateFile(certificateFile)
{
}

UaStatus UaCertificateStore::loadCertificate(UaByteString& certificate, const UaString& file)
{
    return UaPkiProvider::loadCertificate(file, certificate);
}

UaStatus UaCertificateStore::loadPrivateKey(UaByteString& key, const UaString& file, OpcUa_UInt32 format,
                                            const UaString& password)
{
    return UaPkiProvider::loadPrivateKey(file, format, password, key);
}
