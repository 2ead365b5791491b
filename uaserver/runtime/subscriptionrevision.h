#ifndef UASERVER_RUNTIME_SUBSCRIPTIONREVISION_H
#define UASERVER_RUNTIME_SUBSCRIPTIONREVISION_H

#include <opcua.h>

class ServerConfig;

// The seven subscription settings of the server configuration, times in milliseconds.
struct SubscriptionSettings
{
    OpcUa_UInt32 minPublishingInterval = 0;
    OpcUa_UInt32 maxPublishingInterval = 0; // 0: none
    OpcUa_UInt32 minKeepAliveInterval = 0;
    OpcUa_UInt32 minLifetimeInterval = 0;
    OpcUa_UInt32 maxLifetimeInterval = 0; // 0: none
    OpcUa_UInt32 retransmissionQueueSize = 0;
    OpcUa_UInt32 maxNotificationsPerPublish = 0; // 0: none
};

namespace SubscriptionRevision
{
// The largest keep-alive count: three of them still fit a 32-bit lifetime.
constexpr OpcUa_UInt32 kMaxKeepAliveCount = 715827882;

// Revises what a client asked for in CreateSubscription or ModifySubscription. The interval is
// settled first (not-a-number and out-of-range values before any conversion), then the keep-alive
// and lifetime counts against the configured intervals.
void reviseTiming(const SubscriptionSettings& settings, OpcUa_Double& publishingInterval,
                  OpcUa_UInt32& maxKeepAliveCount, OpcUa_UInt32& lifetimeCount);

// What the subscription itself does to the lifetime: a multiple of the keep-alive count (1 for 0)
// and at least three of them. Returns the lifetime in keep-alive periods.
OpcUa_UInt32 settleLifetime(OpcUa_UInt32 maxKeepAliveCount, OpcUa_UInt32& lifetimeCount);

// The limit A is the serializer's array limit (65000 when the query fails); the result is the
// least of the request (0 counting as A), the configured maximum when not 0, and A.
OpcUa_UInt32 reviseNotificationsPerPublish(ServerConfig& config, const SubscriptionSettings& settings,
                                           OpcUa_UInt32 requested);
} // namespace SubscriptionRevision

#endif
