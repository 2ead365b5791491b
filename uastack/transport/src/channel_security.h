// How a secure channel protects its chunks. The channel and chunk layers only
// talk to this interface, so signing and encryption slot in as further
// implementations beside the None policy: certificates are checked when an
// OpenSecureChannel arrives, nonces are exchanged in it, and each token gets
// its own keys. A channel's reader thread and its senders call one object at
// the same time: implementations guard their per-token keys themselves.
#pragma once
#include "binary_io.h"

#include <functional>
#include <memory>
#include <string>

namespace uatcp
{
constexpr const char* kSecurityPolicyNone = "http://opcfoundation.org/UA/SecurityPolicy#None";

enum class SecurityMode : uint32_t
{
    Invalid = 0,
    None = 1,
    Sign = 2,
    SignAndEncrypt = 3
};

// What one side brings to its channels.
struct SecurityCredentials
{
    Bytes ownCertificate; // DER
    Bytes ownPrivateKey;  // as handed to the stack
    const void* pkiConfig = nullptr;
    Bytes peerCertificate; // client side: the server's certificate
};

class ChannelSecurity
{
public:
    virtual ~ChannelSecurity() = default;
    virtual const std::string& policyUri() const = 0;
    virtual SecurityMode mode() const = 0;
    // Fixes the mode the channel asked for; fails for a mode the policy cannot have.
    virtual uint32_t setMode(SecurityMode mode) = 0;
    // Checks the sender certificate and receiver thumbprint of a received OPN.
    virtual uint32_t acceptPeer(const Bytes& senderCertificate, const Bytes& receiverThumbprint) = 0;
    // The certificate and receiver thumbprint this side writes into its OPN headers.
    virtual Bytes senderCertificate() const = 0;
    virtual Bytes receiverThumbprint() const = 0;
    // A fresh nonce of the policy's length (empty for None).
    virtual Bytes createNonce() = 0;
    // Derives the keys of a token from the nonces of its OpenSecureChannel exchange.
    virtual uint32_t activateToken(uint32_t tokenId, const Bytes& clientNonce, const Bytes& serverNonce) = 0;
    // The token will not be used any more.
    virtual void retireToken(uint32_t tokenId) = 0;
    // Largest message body that fits into one chunk of chunkSize bytes whose
    // headers (up to and including the sequence header) take headerSize bytes.
    virtual size_t maxBodySize(size_t chunkSize, size_t headerSize, bool asymmetric) const = 0;
    // Signs and/or encrypts a finished plain chunk in place (asymmetric for
    // OPN, else with the keys of tokenId); the chunk may grow and its size
    // field is set. securedFrom is where encryption starts.
    virtual uint32_t protect(Bytes& chunk, size_t securedFrom, bool asymmetric, uint32_t tokenId) = 0;
    // Verifies and/or decrypts a received chunk in place; plainEnd receives the
    // end of the plain text (padding and signature excluded).
    virtual uint32_t unprotect(Bytes& chunk, size_t securedFrom, bool asymmetric, uint32_t tokenId,
                               size_t& plainEnd) = 0;
};

// The None policy: chunks travel as they are.
class NoSecurity final : public ChannelSecurity
{
public:
    const std::string& policyUri() const override { return m_uri; }
    SecurityMode mode() const override { return SecurityMode::None; }
    uint32_t setMode(SecurityMode mode) override;
    uint32_t acceptPeer(const Bytes&, const Bytes&) override { return 0; }
    Bytes senderCertificate() const override { return {}; }
    Bytes receiverThumbprint() const override { return {}; }
    Bytes createNonce() override { return {}; }
    uint32_t activateToken(uint32_t, const Bytes&, const Bytes&) override { return 0; }
    void retireToken(uint32_t) override {}
    size_t maxBodySize(size_t chunkSize, size_t headerSize, bool) const override
    {
        return chunkSize > headerSize ? chunkSize - headerSize : 0;
    }
    uint32_t protect(Bytes& chunk, size_t, bool, uint32_t) override;
    uint32_t unprotect(Bytes& chunk, size_t, bool, uint32_t, size_t& plainEnd) override
    {
        plainEnd = chunk.size();
        return 0;
    }

private:
    std::string m_uri = kSecurityPolicyNone;
};

using ChannelSecurityFactory = std::function<std::unique_ptr<ChannelSecurity>(const SecurityCredentials&)>;

// Makes a policy available to every endpoint and channel (a later
// registration of the same URI replaces the earlier one).
void registerChannelSecurity(const std::string& policyUri, ChannelSecurityFactory factory);

// Creates the protection for a policy; null when no implementation is known.
std::unique_ptr<ChannelSecurity> createChannelSecurity(const std::string& policyUri,
                                                       const SecurityCredentials& credentials);
} // namespace uatcp
