/* The stack's crypto provider: the operations of one security policy
   (RSA signatures and encryption, symmetric keys, nonces) for the server's
   session services, and the validation of a certificate against a folder
   certificate store. */
#ifndef OPCUA_CRYPTO_H
#define OPCUA_CRYPTO_H

#include <opcua_builtintypes.h>
#include <opcua_transport.h>

OPCUA_BEGIN_EXTERN_C

/* Key types beside the RSA private key of <opcua_transport.h>. */
#define OpcUa_Crypto_KeyType_Random 1
#define OpcUa_Crypto_KeyType_Rsa_Public 6

#define OpcUa_SecurityPolicy_Basic128Rsa15 "http://opcfoundation.org/UA/SecurityPolicy#Basic128Rsa15"
#define OpcUa_SecurityPolicy_Basic256 "http://opcfoundation.org/UA/SecurityPolicy#Basic256"
#define OpcUa_AlgorithmUri_RsaSha1 "http://www.w3.org/2000/09/xmldsig#rsa-sha1"
#define OpcUa_AlgorithmUri_Rsa15 "http://www.w3.org/2001/04/xmlenc#rsa-1_5"
#define OpcUa_AlgorithmUri_RsaOaep "http://www.w3.org/2001/04/xmlenc#rsa-oaep"

struct _OpcUa_CryptoProvider;
typedef struct _OpcUa_CryptoProvider OpcUa_CryptoProvider;

/* key receives keyLength random bytes (type Random); the caller clears key->Key. */
typedef OpcUa_StatusCode(OpcUa_CryptoProvider_PfnGenerateKey)(OpcUa_CryptoProvider* provider,
                                                              OpcUa_Int32 keyLength, OpcUa_Key* key);
/* P_SHA1(secret, seed) stretched to keyLength bytes into key (type Random). */
typedef OpcUa_StatusCode(OpcUa_CryptoProvider_PfnDeriveKey)(OpcUa_CryptoProvider* provider,
                                                            OpcUa_ByteString secret, OpcUa_ByteString seed,
                                                            OpcUa_Int32 keyLength, OpcUa_Key* key);
/* RSA-SHA1 signature of data with an RSA private key; signature receives stack memory. */
typedef OpcUa_StatusCode(OpcUa_CryptoProvider_PfnAsymmetricSign)(OpcUa_CryptoProvider* provider,
                                                                 OpcUa_ByteString data, OpcUa_Key* privateKey,
                                                                 OpcUa_ByteString* signature);
/* Good when signature is the RSA-SHA1 signature of data under publicKey, else BadSecurityChecksFailed. */
typedef OpcUa_StatusCode(OpcUa_CryptoProvider_PfnAsymmetricVerify)(OpcUa_CryptoProvider* provider,
                                                                   OpcUa_ByteString data,
                                                                   OpcUa_Key* publicKey,
                                                                   OpcUa_ByteString* signature);
/* Encrypts (public key) or decrypts (private key) with the policy's RSA padding, block by block.
   With output null, *outputLength receives the largest size the result can have; otherwise
   *outputLength gives the room at output and receives the size written (BadInvalidArgument
   when the room is too small). A decryption that fails is BadSecurityChecksFailed. */
typedef OpcUa_StatusCode(OpcUa_CryptoProvider_PfnAsymmetricCrypt)(OpcUa_CryptoProvider* provider,
                                                                  const OpcUa_Byte* input,
                                                                  OpcUa_UInt32 inputLength, OpcUa_Key* key,
                                                                  OpcUa_Byte* output,
                                                                  OpcUa_UInt32* outputLength);
/* publicKey receives the DER public key (type Rsa_Public) of the DER certificate; password unused. */
typedef OpcUa_StatusCode(OpcUa_CryptoProvider_PfnGetPublicKeyFromCert)(OpcUa_CryptoProvider* provider,
                                                                       OpcUa_ByteString* certificate,
                                                                       OpcUa_StringA password,
                                                                       OpcUa_Key* publicKey);
/* Modulus length in bits of an RSA public or private key. */
typedef OpcUa_StatusCode(OpcUa_CryptoProvider_PfnGetAsymmetricKeyLength)(OpcUa_CryptoProvider* provider,
                                                                         OpcUa_Key key, OpcUa_UInt32* bits);
/* HMAC-SHA1 of data (20 bytes into signature, stack memory) / check of one (BadSecurityChecksFailed). */
typedef OpcUa_StatusCode(OpcUa_CryptoProvider_PfnSymmetricSign)(OpcUa_CryptoProvider* provider,
                                                                OpcUa_ByteString data, OpcUa_Key* key,
                                                                OpcUa_ByteString* signature);
typedef OpcUa_StatusCode(OpcUa_CryptoProvider_PfnSymmetricVerify)(OpcUa_CryptoProvider* provider,
                                                                  OpcUa_ByteString data, OpcUa_Key* key,
                                                                  OpcUa_ByteString* signature);
/* AES-CBC of whole 16-byte blocks in place of data; key of the policy's length, iv of 16 bytes. */
typedef OpcUa_StatusCode(OpcUa_CryptoProvider_PfnSymmetricCrypt)(OpcUa_CryptoProvider* provider,
                                                                 OpcUa_Byte* data, OpcUa_UInt32 length,
                                                                 OpcUa_Key* key, OpcUa_ByteString* iv);

struct _OpcUa_CryptoProvider
{
    /* The policy's own parameters. */
    OpcUa_Handle Handle;
    /* Lengths the policy fixes, in bytes. */
    OpcUa_UInt32 NonceLength;
    OpcUa_UInt32 SymmetricSigningKeyLength;
    OpcUa_UInt32 SymmetricEncryptionKeyLength;
    OpcUa_UInt32 SymmetricSignatureLength;
    OpcUa_UInt32 SymmetricBlockSize;
    /* Accepted RSA modulus lengths in bits. */
    OpcUa_UInt32 MinimumAsymmetricKeyLength;
    OpcUa_UInt32 MaximumAsymmetricKeyLength;
    OpcUa_CryptoProvider_PfnGenerateKey* GenerateKey;
    OpcUa_CryptoProvider_PfnDeriveKey* DeriveKey;
    OpcUa_CryptoProvider_PfnAsymmetricSign* AsymmetricSign;
    OpcUa_CryptoProvider_PfnAsymmetricVerify* AsymmetricVerify;
    OpcUa_CryptoProvider_PfnAsymmetricCrypt* AsymmetricEncrypt;
    OpcUa_CryptoProvider_PfnAsymmetricCrypt* AsymmetricDecrypt;
    OpcUa_CryptoProvider_PfnGetPublicKeyFromCert* GetPublicKeyFromCert;
    OpcUa_CryptoProvider_PfnGetAsymmetricKeyLength* GetAsymmetricKeyLength;
    OpcUa_CryptoProvider_PfnSymmetricSign* SymmetricSign;
    OpcUa_CryptoProvider_PfnSymmetricVerify* SymmetricVerify;
    OpcUa_CryptoProvider_PfnSymmetricCrypt* SymmetricEncrypt;
    OpcUa_CryptoProvider_PfnSymmetricCrypt* SymmetricDecrypt;
};

/* Fills provider for the policy (Basic128Rsa15 or Basic256). BadInvalidArgument for null
   arguments, BadSecurityPolicyRejected for another URI (None included); the record is zeroed
   then. */
OPCUA_EXPORT OpcUa_StatusCode OpcUa_CryptoProvider_Create(const OpcUa_CharA* securityPolicyUri,
                                                          OpcUa_CryptoProvider* provider);
/* Zeroes the record; accepts a zeroed one. */
OPCUA_EXPORT OpcUa_StatusCode OpcUa_CryptoProvider_Delete(OpcUa_CryptoProvider* provider);

/* Validates a DER certificate against the folder store that configuration (an
   OpcUa_CertificateStoreConfiguration of <opcua_pki.h>) names: signature, validity period,
   revocation lists of the store and trust (the certificate or an issuer of it is in the
   trusted folder). Good, or BadCertificateInvalid, BadCertificateTimeInvalid,
   BadCertificateIssuerTimeInvalid, BadCertificateRevoked, BadCertificateIssuerRevoked,
   BadCertificateRevocationUnknown, BadCertificateUntrusted; BadInvalidArgument for null
   arguments, BadNotSupported for a store type other than the folder store. */
OPCUA_EXPORT OpcUa_StatusCode OpcUa_PKIProvider_ValidateCertificate(const OpcUa_Void* configuration,
                                                                    const OpcUa_ByteString* certificate);

OPCUA_END_EXTERN_C

#endif
