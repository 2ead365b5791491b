// The server's certificate store below the certificate store root (the program folder with a
// trailing "\"), and the self-signed certificate the server makes for itself when its
// certificate or key file is missing. The folders are not made here: they must exist.
#pragma once

#include <uastatus.h>

#include <string>

// "PKI/CA/certs/Corvanta_Opcwatch.der": the server's certificate (DER).
std::u16string opcwatchCertificateFile(const std::u16string& certificateStoreRoot);
// "PKI/CA/private/Corvanta_Opcwatch.pem": its private key (PEM, no password).
std::u16string opcwatchPrivateKeyFile(const std::u16string& certificateStoreRoot);
// "PKI\CA\certs\": the trusted certificates.
std::u16string opcwatchTrustedFolder(const std::u16string& certificateStoreRoot);
// "PKI\CA\crl\examplecrl.crl": the revocation list handed to the store.
std::u16string opcwatchRevocationListFile(const std::u16string& certificateStoreRoot);
// "PKI/CA/crl/": where the runtime puts rejected client certificates.
std::u16string opcwatchRejectedCertificateFolder(const std::u16string& certificateStoreRoot);

// The device's name: HKLM "Ident" "Name" in UTF-8; empty when the key or value is missing.
std::string opcwatchDeviceName();

// Replaces both files by a new RSA key (1024 bits) and a certificate signed with it: subject and
// issuer O "Corvanta", OU "Ua", C "DE", CN the server instance URI, DC the device name; the URI
// and the device name (as DNS name) as alternative names; valid 157,680,000 s from now. Empty
// names add no entry. Both are written to files of their own and renamed into place once both are
// complete: good then; otherwise neither file is left, "Failed to create the server certificate:"
// with the file and the reason is written at level 1, and the result is OpcUa_BadInternalError.
UaStatus createSelfSignedCertificate(const std::u16string& certificateStoreRoot,
                                     const std::string& serverInstanceUri, const std::string& endpointUrl);
