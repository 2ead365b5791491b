#ifndef UASERVER_RUNTIME_CONDITIONREFRESHHANDLER_H
#define UASERVER_RUNTIME_CONDITIONREFRESHHANDLER_H

#include <uastatus.h>

#include <opcua.h>

class ServiceContext;

// Where a Call of ConditionRefresh (ConditionType 2782, method 3875) goes: the subscription
// manager, which owns the subscriptions whose event items are refreshed. The server hands it to the
// transaction manager as its creator.
class ConditionRefreshHandler
{
public:
    virtual ~ConditionRefreshHandler() = default;

    // serviceContext carries the calling session, against which the subscription is checked.
    virtual UaStatus beginConditionRefresh(const ServiceContext& serviceContext,
                                           OpcUa_UInt32 subscriptionId) = 0;
};

#endif
