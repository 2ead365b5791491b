/* The stack's PKI provider: a certificate store kept in folders of the file system, with
   certificate and private-key files in DER or PEM. Paths are UTF-8 device paths ("\" or "/"). */
#ifndef OPCUA_PKI_H
#define OPCUA_PKI_H

#include <opcua_builtintypes.h>

OPCUA_BEGIN_EXTERN_C

/* Kinds of store a configuration asks for; only the folder store exists. */
#define OPCUA_PKI_TYPE_NONE 0u
#define OPCUA_PKI_TYPE_DIRECTORY_STORE 3u

/* Encodings of certificate and key files. */
#define OPCUA_PKI_FORMAT_DER 1u
#define OPCUA_PKI_FORMAT_PEM 2u

typedef struct _OpcUa_CertificateStoreConfiguration
{
    OpcUa_UInt32 PkiType;
    /* Folder of trusted certificates; it must exist when the store is opened. */
    OpcUa_CharA* TrustedCertificateListLocation;
    /* File or folder of revocation lists (not read before certificates are validated). */
    OpcUa_CharA* RevokedCertificateListLocation;
    /* No flag is defined yet; 0. */
    OpcUa_UInt32 Flags;
    /* 0. */
    OpcUa_UInt32 Reserved;
} OpcUa_CertificateStoreConfiguration;

struct _OpcUa_PKIProvider;

/* *store receives the open store. BadNotFound when the trusted folder is missing. */
typedef OpcUa_StatusCode(OpcUa_PKIProvider_PfnOpenCertificateStore)(struct _OpcUa_PKIProvider* provider,
                                                                    OpcUa_Void** store);
/* Releases the store and sets *store to null. */
typedef OpcUa_StatusCode(OpcUa_PKIProvider_PfnCloseCertificateStore)(struct _OpcUa_PKIProvider* provider,
                                                                     OpcUa_Void** store);
/* loadHandle is the UTF-8 path of a DER or PEM certificate file; certificate receives its DER
   encoding (stack memory; the caller clears it). BadNotFound for a missing file,
   BadCertificateInvalid when it holds no certificate. */
typedef OpcUa_StatusCode(OpcUa_PKIProvider_PfnLoadCertificate)(struct _OpcUa_PKIProvider* provider,
                                                               const OpcUa_Void* loadHandle,
                                                               OpcUa_Void* store,
                                                               OpcUa_ByteString* certificate);
/* Writes the DER certificate to the UTF-8 path saveHandle (created or truncated).
   BadCertificateInvalid when the bytes are no certificate. */
typedef OpcUa_StatusCode(OpcUa_PKIProvider_PfnSaveCertificate)(struct _OpcUa_PKIProvider* provider,
                                                               const OpcUa_ByteString* certificate,
                                                               OpcUa_Void* store,
                                                               const OpcUa_Void* saveHandle);
/* Reads a PEM private key; password (UTF-8, null or "" for none) decrypts a protected one and
   nothing is ever asked for interactively. privateKey receives the key in DER (for RSA the
   PKCS #1 RSAPrivateKey). BadNotFound for a missing file, BadNotSupported for a format other than
   PEM, BadSecurityChecksFailed when a protected key does not open with the password,
   BadDecodingError when the file holds no key. */
typedef OpcUa_StatusCode(OpcUa_PKIProvider_PfnLoadPrivateKeyFromFile)(const OpcUa_CharA* file,
                                                                      OpcUa_UInt32 format,
                                                                      const OpcUa_CharA* password,
                                                                      OpcUa_ByteString* privateKey);

/* Validates a DER certificate against the store's trusted folder and revocation lists: its
   signature, validity period, revocation and trust (the certificate or an issuer of it is
   trusted). Returns Good or the reason it is refused (BadCertificateInvalid,
   BadCertificateTimeInvalid, BadCertificateIssuerTimeInvalid, BadCertificateRevoked,
   BadCertificateIssuerRevoked, BadCertificateRevocationUnknown, BadCertificateUntrusted);
   validationCode (may be null) receives the same status. store may be null. */
typedef OpcUa_StatusCode(OpcUa_PKIProvider_PfnValidateCertificate)(struct _OpcUa_PKIProvider* provider,
                                                                   const OpcUa_ByteString* certificate,
                                                                   OpcUa_Void* store,
                                                                   OpcUa_Int32* validationCode);

typedef struct _OpcUa_PKIProvider
{
    /* The provider's own copy of its configuration. */
    OpcUa_Handle Handle;
    OpcUa_PKIProvider_PfnOpenCertificateStore* OpenCertificateStore;
    OpcUa_PKIProvider_PfnCloseCertificateStore* CloseCertificateStore;
    OpcUa_PKIProvider_PfnLoadCertificate* LoadCertificate;
    OpcUa_PKIProvider_PfnSaveCertificate* SaveCertificate;
    OpcUa_PKIProvider_PfnLoadPrivateKeyFromFile* LoadPrivateKeyFromFile;
    /* Null when the stack is built without its security policies. */
    OpcUa_PKIProvider_PfnValidateCertificate* ValidateCertificate;
} OpcUa_PKIProvider;

/* configuration is an OpcUa_CertificateStoreConfiguration (copied). BadInvalidArgument for null
   arguments or a missing trusted folder name, BadNotSupported for a type other than the folder
   store. On failure the provider is left zeroed. */
OPCUA_EXPORT OpcUa_StatusCode OpcUa_PKIProvider_Create(OpcUa_Void* configuration,
                                                       OpcUa_PKIProvider* provider);
/* Frees what Create made and zeroes the record; accepts a zeroed one. */
OPCUA_EXPORT OpcUa_StatusCode OpcUa_PKIProvider_Delete(OpcUa_PKIProvider* provider);

OPCUA_END_EXTERN_C

#endif
