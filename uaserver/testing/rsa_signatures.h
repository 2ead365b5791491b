// RSA-SHA1 signatures as OPC UA clients make them (CreateSession's and ActivateSession's), and
// user passwords encrypted as they send them, through the stack's crypto provider, for tests that
// play a client.
#pragma once

#include <opcua.h>
#include <opcua_crypto.h>

#include <vector>

namespace uaserver::testing
{
using Bytes = std::vector<OpcUa_Byte>;

// RSA-SHA1 of data under a DER private key; empty on failure.
inline Bytes rsaSha1Sign(const Bytes& privateKey, Bytes data)
{
    OpcUa_CryptoProvider provider{};
    OpcUa_CryptoProvider_Create(OpcUa_SecurityPolicy_Basic128Rsa15, &provider);
    OpcUa_Key key{OpcUa_Crypto_KeyType_Rsa_Private,
                  {static_cast<OpcUa_Int32>(privateKey.size()), const_cast<OpcUa_Byte*>(privateKey.data())}};
    OpcUa_ByteString signature;
    OpcUa_ByteString_Initialize(&signature);
    Bytes result;
    if (OpcUa_IsGood(provider.AsymmetricSign(&provider, {static_cast<OpcUa_Int32>(data.size()), data.data()},
                                             &key, &signature)))
        result.assign(signature.Data, signature.Data + signature.Length);
    OpcUa_ByteString_Clear(&signature);
    OpcUa_CryptoProvider_Delete(&provider);
    return result;
}

// Whether signature signs data under the public key of a DER certificate.
inline bool rsaSha1Verify(const Bytes& certificate, Bytes data, const OpcUa_ByteString& signature)
{
    OpcUa_CryptoProvider provider{};
    OpcUa_CryptoProvider_Create(OpcUa_SecurityPolicy_Basic128Rsa15, &provider);
    OpcUa_ByteString der{static_cast<OpcUa_Int32>(certificate.size()),
                         const_cast<OpcUa_Byte*>(certificate.data())};
    OpcUa_Key key{};
    bool good = OpcUa_IsGood(provider.GetPublicKeyFromCert(&provider, &der, nullptr, &key));
    OpcUa_ByteString copy = signature;
    good = good && OpcUa_IsGood(provider.AsymmetricVerify(
                       &provider, {static_cast<OpcUa_Int32>(data.size()), data.data()}, &key, &copy));
    OpcUa_ByteString_Clear(&key.Key);
    OpcUa_CryptoProvider_Delete(&provider);
    return good;
}

inline Bytes joined(Bytes first, const Bytes& second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// clear encrypted (rsa-1_5) for the public key of a DER certificate; empty on failure.
inline Bytes rsa15Encrypt(const Bytes& certificate, const Bytes& clear)
{
    OpcUa_CryptoProvider provider{};
    OpcUa_CryptoProvider_Create(OpcUa_SecurityPolicy_Basic128Rsa15, &provider);
    OpcUa_ByteString der{static_cast<OpcUa_Int32>(certificate.size()),
                         const_cast<OpcUa_Byte*>(certificate.data())};
    OpcUa_Key key{};
    Bytes encrypted;
    if (OpcUa_IsGood(provider.GetPublicKeyFromCert(&provider, &der, nullptr, &key)))
    {
        OpcUa_UInt32 size = 0;
        provider.AsymmetricEncrypt(&provider, const_cast<OpcUa_Byte*>(clear.data()),
                                   static_cast<OpcUa_UInt32>(clear.size()), &key, nullptr, &size);
        encrypted.resize(size);
        if (OpcUa_IsGood(provider.AsymmetricEncrypt(&provider, const_cast<OpcUa_Byte*>(clear.data()),
                                                    static_cast<OpcUa_UInt32>(clear.size()), &key,
                                                    encrypted.data(), &size)))
            encrypted.resize(size);
        else
            encrypted.clear();
    }
    OpcUa_ByteString_Clear(&key.Key);
    OpcUa_CryptoProvider_Delete(&provider);
    return encrypted;
}

// The plaintext of an encrypted user password: the 32-bit little-endian length of what follows,
// then the bytes of body.
inline Bytes lengthPrefixed(OpcUa_UInt32 length, const Bytes& body)
{
    Bytes bytes = {static_cast<OpcUa_Byte>(length), static_cast<OpcUa_Byte>(length >> 8),
                   static_cast<OpcUa_Byte>(length >> 16), static_cast<OpcUa_Byte>(length >> 24)};
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}

// A password as a client sends it in a user name token: encrypted for the server certificate,
// bound to the server's last nonce.
inline Bytes encryptedPassword(const Bytes& serverCertificate, const Bytes& password, const Bytes& nonce)
{
    const Bytes body = joined(password, nonce);
    return rsa15Encrypt(serverCertificate, lengthPrefixed(static_cast<OpcUa_UInt32>(body.size()), body));
}
} // namespace uaserver::testing
