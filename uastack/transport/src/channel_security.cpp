#include "channel_security.h"

#include "tcp_status.h"

#include <map>
#include <mutex>

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

namespace
{
struct Registry
{
    std::mutex mutex;
    std::map<std::string, ChannelSecurityFactory> factories;
};

Registry& registry()
{
    static Registry instance;
    return instance;
}
} // namespace

void registerChannelSecurity(const std::string& policyUri, ChannelSecurityFactory factory)
{
    std::lock_guard lock(registry().mutex);
    registry().factories[policyUri] = std::move(factory);
}

std::unique_ptr<ChannelSecurity> createChannelSecurity(const std::string& policyUri,
                                                       const SecurityCredentials& credentials)
{
    if (policyUri == kSecurityPolicyNone)
        return std::make_unique<NoSecurity>();
    ChannelSecurityFactory factory;
    {
        std::lock_guard lock(registry().mutex);
        auto it = registry().factories.find(policyUri);
        if (it == registry().factories.end())
            return nullptr;
        factory = it->second;
    }
    return factory(credentials);
}
} // namespace uatcp
