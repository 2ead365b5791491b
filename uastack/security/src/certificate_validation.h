// Validation of a peer certificate against a store kept in folders: its
// signature, validity period, revocation (lists found in the store) and trust
// (the certificate itself or one of its issuers lies in the trusted folder).
#pragma once
#include "crypto_primitives.h"

#include <string>

namespace uasec
{
struct CertificateStorePaths
{
    std::string trustedFolder;  // host path; certificates in DER or PEM
    std::string revocationPath; // host path of a list file or a folder of them; may be empty
};

// Good, or BadCertificateInvalid (unreadable, bad signature),
// BadCertificateTimeInvalid / BadCertificateIssuerTimeInvalid,
// BadCertificateRevoked / BadCertificateIssuerRevoked, BadCertificateUntrusted.
uint32_t validateCertificate(const CertificateStorePaths& store, const uint8_t* der, size_t size);
} // namespace uasec
