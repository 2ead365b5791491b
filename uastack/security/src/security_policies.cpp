#include "security_policies.h"

namespace uasec
{
namespace
{
constexpr size_t kSequenceHeaderSize = 8;

const PolicyDescription kPolicies[] = {
    {kPolicyBasic128Rsa15, 16, 16, 16, RsaPadding::Pkcs1, 1024, 2048},
    {kPolicyBasic256, 32, 24, 32, RsaPadding::OaepSha1, 1024, 2048},
};
} // namespace

const PolicyDescription* findPolicy(const std::string& uri)
{
    for (const auto& policy : kPolicies)
        if (uri == policy.uri)
            return &policy;
    return nullptr;
}

SymmetricKeys deriveKeys(const PolicyDescription& policy, const Bytes& secret, const Bytes& seed)
{
    Bytes material =
        pSha1(secret, seed, policy.signingKeyLength + policy.encryptingKeyLength + kInitializationVectorSize);
    SymmetricKeys keys;
    if (material.empty())
        return keys;
    auto at = material.begin();
    keys.signingKey.assign(at, at + static_cast<long>(policy.signingKeyLength));
    at += static_cast<long>(policy.signingKeyLength);
    keys.encryptingKey.assign(at, at + static_cast<long>(policy.encryptingKeyLength));
    at += static_cast<long>(policy.encryptingKeyLength);
    keys.iv.assign(at, material.end());
    return keys;
}

BlockSizes asymmetricSizes(const PolicyDescription& policy, size_t encryptingKeyBytes, size_t signingKeyBytes)
{
    size_t overhead = rsaPaddingOverhead(policy.asymmetricPadding);
    size_t plain = encryptingKeyBytes > overhead ? encryptingKeyBytes - overhead : 0;
    return {plain, encryptingKeyBytes, signingKeyBytes, encryptingKeyBytes > 256};
}

BlockSizes symmetricSizes()
{
    return {kSymmetricBlockSize, kSymmetricBlockSize, kSymmetricSignatureSize, false};
}

size_t paddingFor(size_t plainSize, const BlockSizes& sizes)
{
    if (sizes.plainBlock == 0)
        return 0;
    size_t fixed = plainSize + 1 + (sizes.extraPaddingByte ? 1 : 0) + sizes.signature;
    size_t rest = fixed % sizes.plainBlock;
    return rest == 0 ? 0 : sizes.plainBlock - rest;
}

size_t maxBodyFor(size_t chunkSize, size_t headerSize, const BlockSizes& sizes, bool encrypted)
{
    if (headerSize < kSequenceHeaderSize || chunkSize <= headerSize)
        return 0;
    if (!encrypted)
        return chunkSize - headerSize > sizes.signature ? chunkSize - headerSize - sizes.signature : 0;
    if (sizes.cipherBlock == 0 || sizes.plainBlock == 0)
        return 0;
    // Whole cipher blocks after the security header carry whole plain blocks.
    size_t securedFrom = headerSize - kSequenceHeaderSize;
    size_t plainCapacity = (chunkSize - securedFrom) / sizes.cipherBlock * sizes.plainBlock;
    size_t overhead = kSequenceHeaderSize + 1 + (sizes.extraPaddingByte ? 1 : 0) + sizes.signature;
    return plainCapacity > overhead ? plainCapacity - overhead : 0;
}
} // namespace uasec
