#ifndef UAPKICPP_UAPKICERTIFICATE_H
#define UAPKICPP_UAPKICERTIFICATE_H

#include "uabytestring.h"
#include "uapkierrors.h"
#include "uapkiidentity.h"
#include "uapkikeys.h"

#include <openssl/types.h>

// An X.509 certificate. Copies share the library's certificate object. Failures leave a null
// certificate or an empty result and are recorded in the error list; nothing throws.
class UaPkiCertificate : public UaPkiErrorList
{
public:
    UaPkiCertificate();
    // Makes and signs a new version 3 certificate for the key pair's public key.
    UaPkiCertificate(const UaPkiCertificateInfo& info, const UaPkiIdentity& subject,
                     const UaPkiRsaKeyPair& keyPair, const UaPkiIdentity& issuer,
                     const UaPkiPrivateKey& issuerPrivateKey);
    UaPkiCertificate(const UaPkiCertificateInfo& info, const UaPkiIdentity& subject,
                     const UaPkiPublicKey& subjectPublicKey, const UaPkiIdentity& issuer,
                     const UaPkiPrivateKey& issuerPrivateKey);
    UaPkiCertificate(const UaPkiCertificate& other);
    UaPkiCertificate& operator=(const UaPkiCertificate& other);
    ~UaPkiCertificate();

    // One DER certificate; a null certificate when the bytes do not decode.
    static UaPkiCertificate fromDER(const UaByteString& der);

    bool isNull() const { return m_certificate == nullptr; }
    UaByteString toDER();
    // SHA-1 digest of the DER encoding (20 bytes).
    UaByteString thumbPrint();
    UaPkiIdentity subject();
    // Both writers return 0 once the file is complete on the disk, or -1 with the failure recorded
    // (the system's reason with it, such as "No space left on device"); a failed write may leave a
    // partial file behind.
    int toPEMFile(const UaString& fileName);
    int toDERFile(const UaString& fileName);

private:
    void create(const UaPkiCertificateInfo& info, const UaPkiIdentity& subject, EVP_PKEY* subjectKey,
                const UaPkiIdentity& issuer, const UaPkiPrivateKey& issuerPrivateKey);
    bool checkNotNull();

    X509* m_certificate;
};

#endif
