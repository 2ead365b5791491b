#ifndef UASERVER_RUNTIME_USERPASSWORD_H
#define UASERVER_RUNTIME_USERPASSWORD_H

#include <uabytestring.h>
#include <uastring.h>

#include <opcua.h>

// The password of a user name token that a client encrypted (rsa-1_5) with the server's public
// key: the plaintext is a 32-bit little-endian length L, then L bytes that end with the session's
// last server nonce. A secret that ends with another nonce was captured from another logon and is
// replayed: BadIdentityTokenRejected. Every other failure is BadIdentityTokenInvalid.
OpcUa_StatusCode decryptUserPassword(const UaByteString& encrypted, const UaByteString& privateKey,
                                     const UaByteString& serverNonce, UaString& password);

// The check of a decrypted plaintext alone (the same rules and result).
OpcUa_StatusCode passwordFromPlaintext(const OpcUa_Byte* plaintext, OpcUa_UInt32 size,
                                       const UaByteString& serverNonce, UaString& password);

#endif
