#include "subscriptionrevision.h"

#include <serverconfig.h>

#include <algorithm>
#include <cmath>

namespace SubscriptionRevision
{
void reviseTiming(const SubscriptionSettings& settings, OpcUa_Double& publishingInterval,
                  OpcUa_UInt32& maxKeepAliveCount, OpcUa_UInt32& lifetimeCount)
{
    OpcUa_Double interval = publishingInterval;
    // A NaN compares false everywhere: it is taken for "too small" before any conversion.
    if (std::isnan(interval))
        interval = 1.0;
    if (settings.maxPublishingInterval != 0 && interval > settings.maxPublishingInterval)
        interval = settings.maxPublishingInterval;
    if (interval > 2147483647.0)
        interval = 2147483647.0;
    if (std::trunc(interval) < 1.0)
        interval = 1.0;
    if (settings.minPublishingInterval > interval)
        interval = settings.minPublishingInterval;
    publishingInterval = interval;

    const OpcUa_UInt64 wholeInterval = static_cast<OpcUa_UInt64>(std::trunc(interval));
    OpcUa_UInt64 keepAlive = maxKeepAliveCount;
    if (static_cast<OpcUa_Double>(keepAlive) * interval < settings.minKeepAliveInterval)
        keepAlive = static_cast<OpcUa_UInt64>(std::trunc(settings.minKeepAliveInterval / interval)) + 1;
    keepAlive = std::min<OpcUa_UInt64>(keepAlive, kMaxKeepAliveCount);

    OpcUa_UInt64 lifetime = std::max<OpcUa_UInt64>(lifetimeCount, 3 * keepAlive);
    const OpcUa_Double lifetimeMs = static_cast<OpcUa_Double>(lifetime) * interval;
    if (settings.minLifetimeInterval > lifetimeMs)
        lifetime = settings.minLifetimeInterval / wholeInterval;
    if (settings.maxLifetimeInterval != 0 && settings.maxLifetimeInterval > settings.minLifetimeInterval &&
        settings.maxLifetimeInterval < lifetimeMs)
        lifetime = settings.maxLifetimeInterval / wholeInterval;
    if (lifetime < 3 * keepAlive)
        keepAlive = lifetime / 3;

    maxKeepAliveCount = static_cast<OpcUa_UInt32>(keepAlive);
    lifetimeCount = static_cast<OpcUa_UInt32>(lifetime);
}

OpcUa_UInt32 settleLifetime(OpcUa_UInt32 maxKeepAliveCount, OpcUa_UInt32& lifetimeCount)
{
    const OpcUa_UInt32 keepAlive = maxKeepAliveCount == 0 ? 1 : maxKeepAliveCount;
    const OpcUa_UInt32 periods = std::max<OpcUa_UInt32>(lifetimeCount / keepAlive, 3);
    lifetimeCount = periods * keepAlive;
    return periods;
}

OpcUa_UInt32 reviseNotificationsPerPublish(ServerConfig& config, const SubscriptionSettings& settings,
                                           OpcUa_UInt32 requested)
{
    OpcUa_Int32 maxAlloc = 0, maxString = 0, maxByteString = 0, maxArray = 0, maxMessage = 0;
    OpcUa_UInt32 limit = 65000;
    if (config.getSerializerConfiguration(maxAlloc, maxString, maxByteString, maxArray, maxMessage)
            .isGood() &&
        maxArray > 0)
        limit = static_cast<OpcUa_UInt32>(maxArray);
    OpcUa_UInt32 revised = requested == 0 ? limit : std::min(requested, limit);
    if (settings.maxNotificationsPerPublish != 0)
        revised = std::min(revised, settings.maxNotificationsPerPublish);
    return revised;
}
} // namespace SubscriptionRevision
