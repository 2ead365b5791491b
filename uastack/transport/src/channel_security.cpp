#include "channel_security.h"

#include "tcp_status.h"

namespace uatcp
{
uint32_t NoSecurity::setMode(SecurityMode mode)
{
    return mode == SecurityMode::None ? status::Good : status::BadSecurityModeRejected;
}

uint32_t NoSecurity::protect(Bytes& chunk, size_t, bool, uint32_t)
{
    BinaryWriter(chunk).patchUInt32(4, static_cast<uint32_t>(chunk.size()));
    return status::Good;
}

std::unique_ptr<ChannelSecurity> createChannelSecurity(const std::string& policyUri, const SecurityCredentials&)
{
    if (policyUri == kSecurityPolicyNone)
        return std::make_unique<NoSecurity>();
    return nullptr;
}
} // namespace uatcp
