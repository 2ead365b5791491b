#ifndef UAPKICPP_UAPKIKEYS_H
#define UAPKICPP_UAPKIKEYS_H

#include "uapkierrors.h"

#include <openssl/types.h>

// Copies share the library's key object (its reference count); the last holder frees it.

// A public key.
class UaPkiPublicKey : public UaPkiErrorList
{
public:
    // An empty key object.
    UaPkiPublicKey();
    // Takes over the caller's reference.
    explicit UaPkiPublicKey(EVP_PKEY* key);
    UaPkiPublicKey(const UaPkiPublicKey& other);
    UaPkiPublicKey& operator=(const UaPkiPublicKey& other);
    ~UaPkiPublicKey();

    // A new reference for the caller, who gives it back with EVP_PKEY_free.
    EVP_PKEY* acquireKey() const;

private:
    EVP_PKEY* m_key;
};

// A private key.
class UaPkiPrivateKey
{
public:
    // An empty key object.
    UaPkiPrivateKey();
    // Takes over the caller's reference.
    explicit UaPkiPrivateKey(EVP_PKEY* key);
    UaPkiPrivateKey(const UaPkiPrivateKey& other);
    UaPkiPrivateKey& operator=(const UaPkiPrivateKey& other);
    ~UaPkiPrivateKey();

    // The key for signing; it stays this object's.
    EVP_PKEY* handle() const { return m_key; }

private:
    EVP_PKEY* m_key;
};

// An RSA key pair with public exponent 65537.
class UaPkiRsaKeyPair : public UaPkiErrorList
{
public:
    explicit UaPkiRsaKeyPair(int bits);
    UaPkiRsaKeyPair(const UaPkiRsaKeyPair& other);
    UaPkiRsaKeyPair& operator=(const UaPkiRsaKeyPair& other);
    ~UaPkiRsaKeyPair();

    bool hasKey() const;
    UaPkiPrivateKey privateKey() const;
    UaPkiPublicKey publicKey() const;
    // Writes the private key as PEM, readable by its owner only; with a password (not null, not
    // empty) it is encrypted (AES-256-CBC). 0 once the file is complete on the disk, or -1 with the
    // failure recorded (the system's reason with it); a failed write may leave a partial file behind.
    int toPEMFile(const UaString& fileName, const char* password);

private:
    EVP_PKEY* m_key;
};

#endif
