#include "userpassword.h"

#include <uatrace.h>

#include <opcua_crypto.h>

#include <algorithm>
#include <cstring>
#include <vector>

OpcUa_StatusCode passwordFromPlaintext(const OpcUa_Byte* plaintext, OpcUa_UInt32 size,
                                       const UaByteString& serverNonce, UaString& password)
{
    if (size < 4)
        return OpcUa_BadIdentityTokenInvalid;
    const OpcUa_UInt32 length =
        static_cast<OpcUa_UInt32>(plaintext[0]) | (static_cast<OpcUa_UInt32>(plaintext[1]) << 8) |
        (static_cast<OpcUa_UInt32>(plaintext[2]) << 16) | (static_cast<OpcUa_UInt32>(plaintext[3]) << 24);
    // Compared as "L > size - 4": "L + 4 > size" wraps for a length near 2^32 and lets it pass.
    if (length > size - 4)
        return OpcUa_BadIdentityTokenInvalid;
    const OpcUa_UInt32 nonceLength =
        serverNonce.length() > 0 ? static_cast<OpcUa_UInt32>(serverNonce.length()) : 0;
    // Without a nonce nothing binds the secret to this logon.
    if (nonceLength == 0 || nonceLength > length)
        return OpcUa_BadIdentityTokenInvalid;
    const OpcUa_Byte* secret = plaintext + 4;
    if (std::memcmp(secret + length - nonceLength, serverNonce.data(), nonceLength) != 0)
        return OpcUa_BadIdentityTokenRejected;
    password =
        UaString::fromBytes(reinterpret_cast<const char*>(secret), static_cast<int>(length - nonceLength));
    return OpcUa_Good;
}

OpcUa_StatusCode decryptUserPassword(const UaByteString& encrypted, const UaByteString& privateKey,
                                     const UaByteString& serverNonce, UaString& password)
{
    if (encrypted.length() < 1)
        return OpcUa_BadIdentityTokenInvalid;
    OpcUa_CryptoProvider provider{};
    if (UaTrace::isTraceLevelOn(4))
        UaTrace::traceLevel4("CALL OpcUa_CryptoProvider_Create for User");
    if (OpcUa_IsBad(OpcUa_CryptoProvider_Create(OpcUa_SecurityPolicy_Basic128Rsa15, &provider)))
        return OpcUa_BadIdentityTokenInvalid;
    OpcUa_Key key;
    key.Type = OpcUa_Crypto_KeyType_Rsa_Private;
    key.Key = *privateKey.toOpcUaByteString();
    const auto inputLength = static_cast<OpcUa_UInt32>(encrypted.length());
    OpcUa_UInt32 size = 0;
    if (UaTrace::isTraceLevelOn(4))
        UaTrace::traceLevel4("CALL cryptoProviderUser.AsymmetricDecrypt");
    OpcUa_StatusCode result =
        provider.AsymmetricDecrypt(&provider, encrypted.data(), inputLength, &key, nullptr, &size);
    std::vector<OpcUa_Byte> plaintext;
    if (OpcUa_IsGood(result))
    {
        plaintext.resize(size > 0 ? size : 1);
        if (UaTrace::isTraceLevelOn(4))
            UaTrace::traceLevel4("CALL cryptoProviderUser.AsymmetricDecrypt");
        result = provider.AsymmetricDecrypt(&provider, encrypted.data(), inputLength, &key, plaintext.data(),
                                            &size);
    }
    OpcUa_CryptoProvider_Delete(&provider);
    // A failed decryption is an invalid token like every other failure.
    if (OpcUa_IsBad(result))
        return OpcUa_BadIdentityTokenInvalid;
    result = passwordFromPlaintext(plaintext.data(), size, serverNonce, password);
    std::fill(plaintext.begin(), plaintext.end(), 0);
    return result;
}
