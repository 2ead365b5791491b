// Signing and encryption of secure channel chunks for the RSA/AES policies:
// asymmetric (OpenSecureChannel) chunks are always signed with the sender's
// key and encrypted for the receiver's; symmetric chunks are signed with
// HMAC-SHA1 and, in SignAndEncrypt, encrypted with AES-CBC (sign, then
// encrypt). Every check fails closed.
#pragma once
#include "channel_security.h"
#include "security_policies.h"

#include <functional>
#include <map>
#include <mutex>

namespace uasec
{
// Decides whether a peer's DER certificate is acceptable (trust, validity,
// revocation); a bad status refuses it.
using CertificateCheck = std::function<uint32_t(const Bytes& certificate)>;

class PolicyChannelSecurity final : public uatcp::ChannelSecurity
{
public:
    enum class Role
    {
        Server,
        Client
    };
    // expectedPeer: the client's copy of the server certificate (empty on the server).
    PolicyChannelSecurity(const PolicyDescription& policy, Role role, Bytes ownCertificate, RsaKey ownKey,
                          Bytes expectedPeer, CertificateCheck check);

    const std::string& policyUri() const override { return m_uri; }
    uatcp::SecurityMode mode() const override;
    uint32_t setMode(uatcp::SecurityMode mode) override;
    uint32_t acceptPeer(const Bytes& senderCertificate, const Bytes& receiverThumbprint) override;
    Bytes senderCertificate() const override { return m_ownCertificate; }
    Bytes receiverThumbprint() const override;
    Bytes createNonce() override;
    uint32_t activateToken(uint32_t tokenId, const Bytes& clientNonce, const Bytes& serverNonce) override;
    void retireToken(uint32_t tokenId) override;
    size_t maxBodySize(size_t chunkSize, size_t headerSize, bool asymmetric) const override;
    uint32_t protect(Bytes& chunk, size_t securedFrom, bool asymmetric, uint32_t tokenId) override;
    uint32_t unprotect(Bytes& chunk, size_t securedFrom, bool asymmetric, uint32_t tokenId,
                       size_t& plainEnd) override;

private:
    struct TokenKeys
    {
        SymmetricKeys send;
        SymmetricKeys receive;
    };
    std::shared_ptr<const TokenKeys> keysOf(uint32_t tokenId) const;
    RsaKey peerKey() const;
    uint32_t protectAsymmetric(Bytes& chunk, size_t securedFrom);
    uint32_t unprotectAsymmetric(Bytes& chunk, size_t securedFrom, size_t& plainEnd);
    uint32_t protectSymmetric(Bytes& chunk, size_t securedFrom, uint32_t tokenId);
    uint32_t unprotectSymmetric(Bytes& chunk, size_t securedFrom, uint32_t tokenId, size_t& plainEnd);

    const PolicyDescription& m_policy;
    const Role m_role;
    const std::string m_uri;
    const Bytes m_ownCertificate;
    const RsaKey m_ownKey;
    const Bytes m_expectedPeer;
    const CertificateCheck m_check;

    mutable std::mutex m_mutex;
    uatcp::SecurityMode m_mode = uatcp::SecurityMode::Invalid;
    Bytes m_peerCertificate;
    RsaKey m_peerKey;
    std::map<uint32_t, std::shared_ptr<const TokenKeys>> m_tokens;
};

// The first certificate of a DER chain; empty when the bytes hold none.
Bytes firstCertificate(const Bytes& chain);
// Removes the padding (with its size byte or bytes) that ends at end; returns
// the new end, or 0 when the padding is malformed or reaches below minEnd.
size_t stripPadding(const Bytes& chunk, size_t end, size_t minEnd, bool extraPaddingByte);
} // namespace uasec
