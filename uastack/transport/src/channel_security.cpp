#include "channel_security.h"

namespace uatcp
{
uint32_t NoSecurity::protect(Bytes& chunk, size_t, bool)
{
    BinaryWriter(chunk).patchUInt32(4, static_cast<uint32_t>(chunk.size()));
    return 0;
}

std::unique_ptr<ChannelSecurity> createChannelSecurity(const std::string& policyUri, SecurityMode mode)
{
    if (policyUri == kSecurityPolicyNone && mode == SecurityMode::None)
        return std::make_unique<NoSecurity>();
    return nullptr;
}
} // namespace uatcp
