// The C face of the policies' crypto for the server's session services.
#include "certificate_validation.h"
#include "security_policies.h"
#include "security_status.h"

#include <opcua_crypto.h>
#include <opcua_memory.h>
#include <opcua_pki.h>
#include <os/deviceroot.h>

#include <openssl/crypto.h>

#include <climits>
#include <cstring>

namespace
{
using namespace uasec;

const PolicyDescription* policyOf(OpcUa_CryptoProvider* provider)
{
    return provider ? static_cast<const PolicyDescription*>(provider->Handle) : nullptr;
}

const uint8_t* dataOf(const OpcUa_ByteString& s)
{
    return s.Length > 0 ? s.Data : nullptr;
}

size_t sizeOf(const OpcUa_ByteString& s)
{
    return s.Length > 0 && s.Data ? static_cast<size_t>(s.Length) : 0;
}

OpcUa_StatusCode toByteString(const Bytes& bytes, OpcUa_ByteString* target)
{
    OpcUa_ByteString_Initialize(target);
    if (bytes.empty() || bytes.size() > INT32_MAX)
        return status::BadInvalidArgument;
    target->Data = static_cast<OpcUa_Byte*>(OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(bytes.size())));
    if (!target->Data)
        return status::BadOutOfMemory;
    std::memcpy(target->Data, bytes.data(), bytes.size());
    target->Length = static_cast<OpcUa_Int32>(bytes.size());
    return status::Good;
}

OpcUa_StatusCode toKey(const Bytes& bytes, OpcUa_UInt32 type, OpcUa_Key* key)
{
    OpcUa_StatusCode result = toByteString(bytes, &key->Key);
    key->Type = OpcUa_IsGood(result) ? type : static_cast<OpcUa_UInt32>(OpcUa_Crypto_KeyType_Invalid);
    return result;
}

RsaKey rsaKeyOf(const OpcUa_Key* key)
{
    if (!key || sizeOf(key->Key) == 0)
        return {};
    if (key->Type == OpcUa_Crypto_KeyType_Rsa_Private)
        return RsaKey::fromPrivateKey(key->Key.Data, sizeOf(key->Key));
    if (key->Type == OpcUa_Crypto_KeyType_Rsa_Public)
        return RsaKey::fromPublicKey(key->Key.Data, sizeOf(key->Key));
    return {};
}

Bytes bytesOf(const OpcUa_ByteString& s)
{
    return Bytes(dataOf(s), dataOf(s) + sizeOf(s));
}

OpcUa_StatusCode generateKey(OpcUa_CryptoProvider* provider, OpcUa_Int32 keyLength, OpcUa_Key* key)
{
    if (!policyOf(provider) || !key || keyLength <= 0)
        return status::BadInvalidArgument;
    Bytes random = randomBytes(static_cast<size_t>(keyLength));
    return random.empty() ? status::BadInternalError : toKey(random, OpcUa_Crypto_KeyType_Random, key);
}

OpcUa_StatusCode deriveKey(OpcUa_CryptoProvider* provider, OpcUa_ByteString secret, OpcUa_ByteString seed,
                           OpcUa_Int32 keyLength, OpcUa_Key* key)
{
    if (!policyOf(provider) || !key || keyLength <= 0 || sizeOf(secret) == 0)
        return status::BadInvalidArgument;
    Bytes derived = pSha1(bytesOf(secret), bytesOf(seed), static_cast<size_t>(keyLength));
    return derived.empty() ? status::BadInternalError : toKey(derived, OpcUa_Crypto_KeyType_Random, key);
}

OpcUa_StatusCode asymmetricSign(OpcUa_CryptoProvider* provider, OpcUa_ByteString data, OpcUa_Key* privateKey,
                                OpcUa_ByteString* signature)
{
    if (!policyOf(provider) || !signature || !privateKey ||
        privateKey->Type != OpcUa_Crypto_KeyType_Rsa_Private)
        return status::BadInvalidArgument;
    OpcUa_ByteString_Initialize(signature);
    RsaKey key = rsaKeyOf(privateKey);
    if (key.isNull())
        return status::BadInvalidArgument;
    Bytes result;
    OpcUa_StatusCode code = rsaSha1Sign(key, dataOf(data), sizeOf(data), result);
    return OpcUa_IsBad(code) ? code : toByteString(result, signature);
}

OpcUa_StatusCode asymmetricVerify(OpcUa_CryptoProvider* provider, OpcUa_ByteString data, OpcUa_Key* publicKey,
                                  OpcUa_ByteString* signature)
{
    if (!policyOf(provider) || !signature || !publicKey)
        return status::BadInvalidArgument;
    RsaKey key = rsaKeyOf(publicKey);
    if (key.isNull())
        return status::BadInvalidArgument;
    if (sizeOf(*signature) == 0)
        return status::BadSecurityChecksFailed;
    return rsaSha1Verify(key, dataOf(data), sizeOf(data), signature->Data, sizeOf(*signature));
}

// Hands a result out under the length protocol of the crypt calls.
OpcUa_StatusCode deliver(Bytes& result, OpcUa_Byte* output, OpcUa_UInt32* outputLength)
{
    OpcUa_StatusCode code = status::Good;
    if (result.size() > *outputLength)
        code = status::BadInvalidArgument;
    else
    {
        std::memcpy(output, result.data(), result.size());
        *outputLength = static_cast<OpcUa_UInt32>(result.size());
    }
    OPENSSL_cleanse(result.data(), result.size());
    return code;
}

OpcUa_StatusCode asymmetricEncrypt(OpcUa_CryptoProvider* provider, const OpcUa_Byte* input,
                                   OpcUa_UInt32 inputLength, OpcUa_Key* publicKey, OpcUa_Byte* output,
                                   OpcUa_UInt32* outputLength)
{
    const PolicyDescription* policy = policyOf(provider);
    RsaKey key = rsaKeyOf(publicKey);
    if (!policy || key.isNull() || !outputLength || (!input && inputLength > 0))
        return status::BadInvalidArgument;
    size_t plainBlock = key.sizeInBytes() - rsaPaddingOverhead(policy->asymmetricPadding);
    size_t needed = (inputLength + plainBlock - 1) / plainBlock * key.sizeInBytes();
    if (!output)
    {
        *outputLength = static_cast<OpcUa_UInt32>(needed);
        return status::Good;
    }
    Bytes result;
    OpcUa_StatusCode code = rsaEncrypt(key, policy->asymmetricPadding, input, inputLength, result);
    return OpcUa_IsBad(code) ? code : deliver(result, output, outputLength);
}

OpcUa_StatusCode asymmetricDecrypt(OpcUa_CryptoProvider* provider, const OpcUa_Byte* input,
                                   OpcUa_UInt32 inputLength, OpcUa_Key* privateKey, OpcUa_Byte* output,
                                   OpcUa_UInt32* outputLength)
{
    const PolicyDescription* policy = policyOf(provider);
    RsaKey key =
        privateKey && privateKey->Type == OpcUa_Crypto_KeyType_Rsa_Private ? rsaKeyOf(privateKey) : RsaKey();
    if (!policy || key.isNull() || !outputLength || !input)
        return status::BadInvalidArgument;
    if (inputLength == 0 || inputLength % key.sizeInBytes() != 0)
        return status::BadSecurityChecksFailed;
    if (!output)
    {
        size_t plainBlock = key.sizeInBytes() - rsaPaddingOverhead(policy->asymmetricPadding);
        *outputLength = static_cast<OpcUa_UInt32>(inputLength / key.sizeInBytes() * plainBlock);
        return status::Good;
    }
    Bytes result;
    OpcUa_StatusCode code = rsaDecrypt(key, policy->asymmetricPadding, input, inputLength, result);
    return OpcUa_IsBad(code) ? code : deliver(result, output, outputLength);
}

OpcUa_StatusCode getPublicKeyFromCert(OpcUa_CryptoProvider* provider, OpcUa_ByteString* certificate,
                                      OpcUa_StringA, OpcUa_Key* publicKey)
{
    if (!policyOf(provider) || !certificate || !publicKey)
        return status::BadInvalidArgument;
    publicKey->Type = OpcUa_Crypto_KeyType_Invalid;
    OpcUa_ByteString_Initialize(&publicKey->Key);
    RsaKey key = RsaKey::fromCertificate(dataOf(*certificate), sizeOf(*certificate));
    if (key.isNull())
        return status::BadCertificateInvalid;
    return toKey(key.publicKeyDer(), OpcUa_Crypto_KeyType_Rsa_Public, publicKey);
}

OpcUa_StatusCode getAsymmetricKeyLength(OpcUa_CryptoProvider* provider, OpcUa_Key key, OpcUa_UInt32* bits)
{
    RsaKey rsa = rsaKeyOf(&key);
    if (!policyOf(provider) || !bits || rsa.isNull())
        return status::BadInvalidArgument;
    *bits = static_cast<OpcUa_UInt32>(rsa.sizeInBits());
    return status::Good;
}

OpcUa_StatusCode symmetricSign(OpcUa_CryptoProvider* provider, OpcUa_ByteString data, OpcUa_Key* key,
                               OpcUa_ByteString* signature)
{
    if (!policyOf(provider) || !key || sizeOf(key->Key) == 0 || !signature)
        return status::BadInvalidArgument;
    return toByteString(hmacSha1(bytesOf(key->Key), dataOf(data), sizeOf(data)), signature);
}

OpcUa_StatusCode symmetricVerify(OpcUa_CryptoProvider* provider, OpcUa_ByteString data, OpcUa_Key* key,
                                 OpcUa_ByteString* signature)
{
    if (!policyOf(provider) || !key || sizeOf(key->Key) == 0 || !signature)
        return status::BadInvalidArgument;
    Bytes mac = hmacSha1(bytesOf(key->Key), dataOf(data), sizeOf(data));
    return sizeOf(*signature) == mac.size() && equalBytes(mac.data(), signature->Data, mac.size())
               ? status::Good
               : status::BadSecurityChecksFailed;
}

OpcUa_StatusCode symmetricCrypt(bool encrypt, OpcUa_CryptoProvider* provider, OpcUa_Byte* data,
                                OpcUa_UInt32 length, OpcUa_Key* key, OpcUa_ByteString* iv)
{
    const PolicyDescription* policy = policyOf(provider);
    if (!policy || !data || !key || !iv || sizeOf(key->Key) != policy->encryptingKeyLength)
        return status::BadInvalidArgument;
    return aesCbc(encrypt, bytesOf(key->Key), bytesOf(*iv), data, length);
}

OpcUa_StatusCode symmetricEncrypt(OpcUa_CryptoProvider* provider, OpcUa_Byte* data, OpcUa_UInt32 length,
                                  OpcUa_Key* key, OpcUa_ByteString* iv)
{
    return symmetricCrypt(true, provider, data, length, key, iv);
}

OpcUa_StatusCode symmetricDecrypt(OpcUa_CryptoProvider* provider, OpcUa_Byte* data, OpcUa_UInt32 length,
                                  OpcUa_Key* key, OpcUa_ByteString* iv)
{
    return symmetricCrypt(false, provider, data, length, key, iv);
}
} // namespace

OpcUa_StatusCode OpcUa_CryptoProvider_Create(const OpcUa_CharA* securityPolicyUri,
                                             OpcUa_CryptoProvider* provider)
{
    if (!provider)
        return status::BadInvalidArgument;
    std::memset(provider, 0, sizeof *provider);
    if (!securityPolicyUri)
        return status::BadInvalidArgument;
    const PolicyDescription* policy = findPolicy(securityPolicyUri);
    if (!policy)
        return status::BadSecurityPolicyRejected;
    provider->Handle = const_cast<PolicyDescription*>(policy);
    provider->NonceLength = static_cast<OpcUa_UInt32>(policy->nonceLength);
    provider->SymmetricSigningKeyLength = static_cast<OpcUa_UInt32>(policy->signingKeyLength);
    provider->SymmetricEncryptionKeyLength = static_cast<OpcUa_UInt32>(policy->encryptingKeyLength);
    provider->SymmetricSignatureLength = static_cast<OpcUa_UInt32>(kSymmetricSignatureSize);
    provider->SymmetricBlockSize = static_cast<OpcUa_UInt32>(kSymmetricBlockSize);
    provider->MinimumAsymmetricKeyLength = static_cast<OpcUa_UInt32>(policy->minKeyBits);
    provider->MaximumAsymmetricKeyLength = static_cast<OpcUa_UInt32>(policy->maxKeyBits);
    provider->GenerateKey = generateKey;
    provider->DeriveKey = deriveKey;
    provider->AsymmetricSign = asymmetricSign;
    provider->AsymmetricVerify = asymmetricVerify;
    provider->AsymmetricEncrypt = asymmetricEncrypt;
    provider->AsymmetricDecrypt = asymmetricDecrypt;
    provider->GetPublicKeyFromCert = getPublicKeyFromCert;
    provider->GetAsymmetricKeyLength = getAsymmetricKeyLength;
    provider->SymmetricSign = symmetricSign;
    provider->SymmetricVerify = symmetricVerify;
    provider->SymmetricEncrypt = symmetricEncrypt;
    provider->SymmetricDecrypt = symmetricDecrypt;
    return status::Good;
}

OpcUa_StatusCode OpcUa_CryptoProvider_Delete(OpcUa_CryptoProvider* provider)
{
    if (!provider)
        return status::BadInvalidArgument;
    std::memset(provider, 0, sizeof *provider);
    return status::Good;
}

OpcUa_StatusCode OpcUa_PKIProvider_ValidateCertificate(const OpcUa_Void* configuration,
                                                       const OpcUa_ByteString* certificate)
{
    if (!configuration || !certificate)
        return status::BadInvalidArgument;
    auto* store = static_cast<const OpcUa_CertificateStoreConfiguration*>(configuration);
    if (store->PkiType != OPCUA_PKI_TYPE_DIRECTORY_STORE)
        return status::BadNotSupported;
    if (!store->TrustedCertificateListLocation || !*store->TrustedCertificateListLocation)
        return status::BadInvalidArgument;
    CertificateStorePaths paths;
    paths.trustedFolder =
        os::toHostPath(std::string_view(store->TrustedCertificateListLocation)).value_or(std::string());
    if (store->RevokedCertificateListLocation && *store->RevokedCertificateListLocation)
        paths.revocationPath =
            os::toHostPath(std::string_view(store->RevokedCertificateListLocation)).value_or(std::string());
    return validateCertificate(paths, dataOf(*certificate), sizeOf(*certificate));
}
