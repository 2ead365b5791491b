// The parameters of the secured policies: nonce and derived key lengths,
// the asymmetric encryption padding and the accepted RSA key sizes.
#pragma once
#include "crypto_primitives.h"

#include <string>

namespace uasec
{
constexpr const char* kPolicyBasic128Rsa15 = "http://opcfoundation.org/UA/SecurityPolicy#Basic128Rsa15";
constexpr const char* kPolicyBasic256 = "http://opcfoundation.org/UA/SecurityPolicy#Basic256";
constexpr size_t kSymmetricBlockSize = 16;     // AES
constexpr size_t kSymmetricSignatureSize = 20; // HMAC-SHA1
constexpr size_t kInitializationVectorSize = 16;

struct PolicyDescription
{
    const char* uri;
    size_t nonceLength;
    size_t signingKeyLength;    // derived HMAC key
    size_t encryptingKeyLength; // derived AES key
    RsaPadding asymmetricPadding;
    size_t minKeyBits;
    size_t maxKeyBits;
};

// The description of a secured policy; null for None and unknown ones.
const PolicyDescription* findPolicy(const std::string& uri);

// Keys of one direction of a token.
struct SymmetricKeys
{
    Bytes signingKey;
    Bytes encryptingKey;
    Bytes iv;
};

// The keys derived from secret and seed as the policy lays them out
// (signing key, encrypting key, initialisation vector).
SymmetricKeys deriveKeys(const PolicyDescription& policy, const Bytes& secret, const Bytes& seed);

// Sizes that shape a secured chunk.
struct BlockSizes
{
    size_t plainBlock;  // plain text block
    size_t cipherBlock; // encrypted block
    size_t signature;
    bool extraPaddingByte; // the padding size needs a second byte
};
BlockSizes asymmetricSizes(const PolicyDescription& policy, size_t encryptingKeyBytes,
                           size_t signingKeyBytes);
BlockSizes symmetricSizes();

// Padding bytes needed so that plainSize plus padding (with its size byte or
// bytes) plus signature fills whole plain blocks.
size_t paddingFor(size_t plainSize, const BlockSizes& sizes);
// Largest body of a chunk of chunkSize whose headers (with the 8-byte
// sequence header) take headerSize, when it is encrypted (or only signed).
size_t maxBodyFor(size_t chunkSize, size_t headerSize, const BlockSizes& sizes, bool encrypted);
} // namespace uasec
