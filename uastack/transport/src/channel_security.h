// How a secure channel protects its chunks. The channel and chunk layers only
// talk to this interface, so signing and encryption slot in as further
// implementations beside the None policy.
#pragma once
#include "binary_io.h"

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

class ChannelSecurity
{
public:
    virtual ~ChannelSecurity() = default;
    virtual const std::string& policyUri() const = 0;
    virtual SecurityMode mode() const = 0;
    // Largest message body that fits into one chunk of chunkSize bytes whose
    // headers (up to and including the sequence header) take headerSize bytes.
    virtual size_t maxBodySize(size_t chunkSize, size_t headerSize, bool asymmetric) const = 0;
    // Signs and/or encrypts a finished plain chunk in place; the chunk may grow
    // and its size field is set. securedFrom is where encryption starts.
    virtual uint32_t protect(Bytes& chunk, size_t securedFrom, bool asymmetric) = 0;
    // Verifies and/or decrypts a received chunk in place; plainEnd receives the
    // end of the plain text (padding and signature excluded).
    virtual uint32_t unprotect(Bytes& chunk, size_t securedFrom, bool asymmetric, size_t& plainEnd) = 0;
};

// The None policy: chunks travel as they are.
class NoSecurity final : public ChannelSecurity
{
public:
    const std::string& policyUri() const override { return m_uri; }
    SecurityMode mode() const override { return SecurityMode::None; }
    size_t maxBodySize(size_t chunkSize, size_t headerSize, bool) const override
    {
        return chunkSize > headerSize ? chunkSize - headerSize : 0;
    }
    uint32_t protect(Bytes& chunk, size_t, bool) override;
    uint32_t unprotect(Bytes& chunk, size_t, bool, size_t& plainEnd) override
    {
        plainEnd = chunk.size();
        return 0;
    }

private:
    std::string m_uri = kSecurityPolicyNone;
};

// Creates the protection for a policy and mode; null when the stack does not
// implement that combination.
std::unique_ptr<ChannelSecurity> createChannelSecurity(const std::string& policyUri, SecurityMode mode);
} // namespace uatcp
