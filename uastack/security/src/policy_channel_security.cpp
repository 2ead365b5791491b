#include "policy_channel_security.h"

#include "security_status.h"

#include <openssl/crypto.h>
#include <openssl/x509.h>

#include <climits>

namespace uasec
{
namespace
{
constexpr size_t kSequenceHeaderSize = 8;

void patchSize(Bytes& chunk, size_t size)
{
    for (int i = 0; i < 4; ++i)
        chunk[4 + static_cast<size_t>(i)] = static_cast<uint8_t>(size >> (8 * i));
}

void appendPadding(Bytes& chunk, size_t padding, bool extraByte)
{
    chunk.insert(chunk.end(), padding + 1, static_cast<uint8_t>(padding & 0xFF));
    if (extraByte)
        chunk.push_back(static_cast<uint8_t>(padding >> 8));
}
} // namespace

Bytes firstCertificate(const Bytes& chain)
{
    if (chain.empty() || chain.size() > INT_MAX)
        return {};
    const unsigned char* p = chain.data();
    X509* certificate = d2i_X509(nullptr, &p, static_cast<long>(chain.size()));
    if (!certificate)
        return {};
    X509_free(certificate);
    return Bytes(chain.data(), p);
}

size_t stripPadding(const Bytes& chunk, size_t end, size_t minEnd, bool extraPaddingByte)
{
    if (end > chunk.size() || end < minEnd + 1 + (extraPaddingByte ? 1 : 0))
        return 0;
    size_t padding = 0;
    if (extraPaddingByte)
        padding = static_cast<size_t>(chunk[--end]) << 8;
    uint8_t low = chunk[end - 1];
    padding |= low;
    if (end - 1 < minEnd + padding)
        return 0;
    size_t start = end - 1 - padding;
    uint8_t bad = 0;
    for (size_t i = start; i < end - 1; ++i)
        bad |= static_cast<uint8_t>(chunk[i] ^ low);
    return bad == 0 ? start : 0;
}

PolicyChannelSecurity::PolicyChannelSecurity(const PolicyDescription& policy, Role role, Bytes ownCertificate,
                                             RsaKey ownKey, Bytes expectedPeer, CertificateCheck check)
    : m_policy(policy), m_role(role), m_uri(policy.uri), m_ownCertificate(std::move(ownCertificate)),
      m_ownKey(std::move(ownKey)), m_expectedPeer(firstCertificate(expectedPeer)), m_check(std::move(check))
{
}

uatcp::SecurityMode PolicyChannelSecurity::mode() const
{
    std::lock_guard lock(m_mutex);
    return m_mode;
}

uint32_t PolicyChannelSecurity::setMode(uatcp::SecurityMode mode)
{
    if (mode != uatcp::SecurityMode::Sign && mode != uatcp::SecurityMode::SignAndEncrypt)
        return status::BadSecurityModeRejected;
    std::lock_guard lock(m_mutex);
    // A renewal must not change the channel's mode.
    if (m_mode != uatcp::SecurityMode::Invalid && m_mode != mode)
        return status::BadSecurityModeRejected;
    m_mode = mode;
    return status::Good;
}

uint32_t PolicyChannelSecurity::acceptPeer(const Bytes& senderCertificate, const Bytes& receiverThumbprint)
{
    Bytes certificate = firstCertificate(senderCertificate);
    if (certificate.empty())
        return status::BadCertificateInvalid;
    Bytes ownThumbprint = sha1(m_ownCertificate.data(), m_ownCertificate.size());
    if (receiverThumbprint.size() != ownThumbprint.size() ||
        !equalBytes(receiverThumbprint.data(), ownThumbprint.data(), ownThumbprint.size()))
        return status::BadSecurityChecksFailed;
    {
        std::lock_guard lock(m_mutex);
        // The peer of a channel keeps its certificate over renewals.
        if (!m_peerCertificate.empty())
            return m_peerCertificate == certificate ? status::Good : status::BadCertificateInvalid;
    }
    if (!m_expectedPeer.empty() && certificate != m_expectedPeer)
        return status::BadCertificateInvalid;
    RsaKey key = RsaKey::fromCertificate(certificate.data(), certificate.size());
    if (key.isNull())
        return status::BadCertificateInvalid;
    if (key.sizeInBits() < m_policy.minKeyBits || key.sizeInBits() > m_policy.maxKeyBits)
        return status::BadCertificateUseNotAllowed;
    uint32_t result = m_check ? m_check(certificate) : status::BadCertificateUntrusted;
    if (status::isBad(result))
        return result;
    std::lock_guard lock(m_mutex);
    m_peerCertificate = std::move(certificate);
    m_peerKey = std::move(key);
    return status::Good;
}

Bytes PolicyChannelSecurity::receiverThumbprint() const
{
    std::lock_guard lock(m_mutex);
    const Bytes& peer = m_peerCertificate.empty() ? m_expectedPeer : m_peerCertificate;
    return peer.empty() ? Bytes() : sha1(peer.data(), peer.size());
}

Bytes PolicyChannelSecurity::createNonce()
{
    return randomBytes(m_policy.nonceLength);
}

uint32_t PolicyChannelSecurity::activateToken(uint32_t tokenId, const Bytes& clientNonce,
                                              const Bytes& serverNonce)
{
    if (clientNonce.size() != m_policy.nonceLength || serverNonce.size() != m_policy.nonceLength)
        return status::BadNonceInvalid;
    // Each side signs and encrypts with the keys derived from the other side's nonce as secret.
    SymmetricKeys clientKeys = deriveKeys(m_policy, serverNonce, clientNonce);
    SymmetricKeys serverKeys = deriveKeys(m_policy, clientNonce, serverNonce);
    if (clientKeys.iv.empty() || serverKeys.iv.empty())
        return status::BadInternalError;
    auto keys = std::make_shared<TokenKeys>();
    keys->send = m_role == Role::Server ? serverKeys : clientKeys;
    keys->receive = m_role == Role::Server ? clientKeys : serverKeys;
    std::lock_guard lock(m_mutex);
    m_tokens[tokenId] = std::move(keys);
    return status::Good;
}

void PolicyChannelSecurity::retireToken(uint32_t tokenId)
{
    std::lock_guard lock(m_mutex);
    m_tokens.erase(tokenId);
}

std::shared_ptr<const PolicyChannelSecurity::TokenKeys> PolicyChannelSecurity::keysOf(uint32_t tokenId) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_tokens.find(tokenId);
    return it == m_tokens.end() ? nullptr : it->second;
}

RsaKey PolicyChannelSecurity::peerKey() const
{
    std::lock_guard lock(m_mutex);
    if (!m_peerKey.isNull() || m_expectedPeer.empty())
        return m_peerKey;
    // A client encrypts its first OpenSecureChannel for the server it expects.
    return RsaKey::fromCertificate(m_expectedPeer.data(), m_expectedPeer.size());
}

size_t PolicyChannelSecurity::maxBodySize(size_t chunkSize, size_t headerSize, bool asymmetric) const
{
    if (asymmetric)
    {
        RsaKey peer = peerKey();
        if (peer.isNull())
            return 0;
        return maxBodyFor(chunkSize, headerSize,
                          asymmetricSizes(m_policy, peer.sizeInBytes(), m_ownKey.sizeInBytes()), true);
    }
    return maxBodyFor(chunkSize, headerSize, symmetricSizes(), mode() == uatcp::SecurityMode::SignAndEncrypt);
}

uint32_t PolicyChannelSecurity::protect(Bytes& chunk, size_t securedFrom, bool asymmetric, uint32_t tokenId)
{
    if (chunk.size() < securedFrom + kSequenceHeaderSize || securedFrom < 12)
        return status::BadInternalError;
    return asymmetric ? protectAsymmetric(chunk, securedFrom) : protectSymmetric(chunk, securedFrom, tokenId);
}

uint32_t PolicyChannelSecurity::unprotect(Bytes& chunk, size_t securedFrom, bool asymmetric, uint32_t tokenId,
                                          size_t& plainEnd)
{
    plainEnd = 0;
    if (chunk.size() < securedFrom + kSequenceHeaderSize || securedFrom < 12)
        return status::BadSecurityChecksFailed;
    return asymmetric ? unprotectAsymmetric(chunk, securedFrom, plainEnd)
                      : unprotectSymmetric(chunk, securedFrom, tokenId, plainEnd);
}

uint32_t PolicyChannelSecurity::protectAsymmetric(Bytes& chunk, size_t securedFrom)
{
    RsaKey peer = peerKey();
    if (peer.isNull())
        return status::BadSecurityChecksFailed;
    BlockSizes sizes = asymmetricSizes(m_policy, peer.sizeInBytes(), m_ownKey.sizeInBytes());
    size_t padding = paddingFor(chunk.size() - securedFrom, sizes);
    appendPadding(chunk, padding, sizes.extraPaddingByte);
    size_t plainSize = chunk.size() - securedFrom + sizes.signature;
    if (sizes.plainBlock == 0 || plainSize % sizes.plainBlock != 0)
        return status::BadInternalError;
    patchSize(chunk, securedFrom + plainSize / sizes.plainBlock * sizes.cipherBlock);
    Bytes signature;
    uint32_t result = rsaSha1Sign(m_ownKey, chunk.data(), chunk.size(), signature);
    if (status::isBad(result))
        return result;
    if (signature.size() != sizes.signature)
        return status::BadInternalError;
    chunk.insert(chunk.end(), signature.begin(), signature.end());
    Bytes encrypted;
    result = rsaEncrypt(peer, m_policy.asymmetricPadding, chunk.data() + securedFrom,
                        chunk.size() - securedFrom, encrypted);
    if (status::isBad(result))
        return result;
    OPENSSL_cleanse(chunk.data() + securedFrom, chunk.size() - securedFrom);
    chunk.resize(securedFrom);
    chunk.insert(chunk.end(), encrypted.begin(), encrypted.end());
    return status::Good;
}

uint32_t PolicyChannelSecurity::unprotectAsymmetric(Bytes& chunk, size_t securedFrom, size_t& plainEnd)
{
    RsaKey peer = peerKey();
    if (peer.isNull())
        return status::BadSecurityChecksFailed;
    Bytes plain;
    uint32_t result = rsaDecrypt(m_ownKey, m_policy.asymmetricPadding, chunk.data() + securedFrom,
                                 chunk.size() - securedFrom, plain);
    if (status::isBad(result))
        return status::BadSecurityChecksFailed;
    // The plain text replaces the cipher text inside the chunk's own buffer.
    std::copy(plain.begin(), plain.end(), chunk.begin() + static_cast<long>(securedFrom));
    OPENSSL_cleanse(plain.data(), plain.size());
    chunk.resize(securedFrom + plain.size());
    size_t signatureSize = peer.sizeInBytes();
    if (chunk.size() < securedFrom + kSequenceHeaderSize + signatureSize + 1)
        return status::BadSecurityChecksFailed;
    size_t signedEnd = chunk.size() - signatureSize;
    result = rsaSha1Verify(peer, chunk.data(), signedEnd, chunk.data() + signedEnd, signatureSize);
    if (status::isBad(result))
        return status::BadSecurityChecksFailed;
    BlockSizes sizes = asymmetricSizes(m_policy, m_ownKey.sizeInBytes(), signatureSize);
    plainEnd = stripPadding(chunk, signedEnd, securedFrom + kSequenceHeaderSize, sizes.extraPaddingByte);
    return plainEnd == 0 ? status::BadSecurityChecksFailed : status::Good;
}

uint32_t PolicyChannelSecurity::protectSymmetric(Bytes& chunk, size_t securedFrom, uint32_t tokenId)
{
    auto keys = keysOf(tokenId);
    if (!keys)
        return status::BadSecureChannelTokenUnknown;
    bool encrypt = mode() == uatcp::SecurityMode::SignAndEncrypt;
    BlockSizes sizes = symmetricSizes();
    if (encrypt)
        appendPadding(chunk, paddingFor(chunk.size() - securedFrom, sizes), false);
    patchSize(chunk, chunk.size() + sizes.signature);
    Bytes mac = hmacSha1(keys->send.signingKey, chunk.data(), chunk.size());
    if (mac.size() != sizes.signature)
        return status::BadInternalError;
    chunk.insert(chunk.end(), mac.begin(), mac.end());
    if (!encrypt)
        return status::Good;
    return aesCbc(true, keys->send.encryptingKey, keys->send.iv, chunk.data() + securedFrom,
                  chunk.size() - securedFrom);
}

uint32_t PolicyChannelSecurity::unprotectSymmetric(Bytes& chunk, size_t securedFrom, uint32_t tokenId,
                                                   size_t& plainEnd)
{
    auto keys = keysOf(tokenId);
    if (!keys)
        return status::BadSecureChannelTokenUnknown;
    uatcp::SecurityMode current = mode();
    if (current != uatcp::SecurityMode::Sign && current != uatcp::SecurityMode::SignAndEncrypt)
        return status::BadSecurityChecksFailed;
    bool encrypted = current == uatcp::SecurityMode::SignAndEncrypt;
    BlockSizes sizes = symmetricSizes();
    if (encrypted)
    {
        if ((chunk.size() - securedFrom) % sizes.cipherBlock != 0)
            return status::BadSecurityChecksFailed;
        uint32_t result = aesCbc(false, keys->receive.encryptingKey, keys->receive.iv,
                                 chunk.data() + securedFrom, chunk.size() - securedFrom);
        if (status::isBad(result))
            return status::BadSecurityChecksFailed;
    }
    if (chunk.size() < securedFrom + kSequenceHeaderSize + sizes.signature + (encrypted ? 1 : 0))
        return status::BadSecurityChecksFailed;
    size_t signedEnd = chunk.size() - sizes.signature;
    Bytes mac = hmacSha1(keys->receive.signingKey, chunk.data(), signedEnd);
    if (mac.size() != sizes.signature || !equalBytes(mac.data(), chunk.data() + signedEnd, sizes.signature))
        return status::BadSecurityChecksFailed;
    plainEnd =
        encrypted ? stripPadding(chunk, signedEnd, securedFrom + kSequenceHeaderSize, false) : signedEnd;
    return plainEnd == 0 ? status::BadSecurityChecksFailed : status::Good;
}
} // namespace uasec
