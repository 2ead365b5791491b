#ifndef UASERVER_RUNTIME_UASUBSCRIPTION_H
#define UASERVER_RUNTIME_UASUBSCRIPTION_H

#include <referencecounter.h>

#include <uastatus.h>

#include <opcua.h>

class PublishRequestContext;

// One subscription of a client session, reference counted. The session holds its subscriptions
// and its late ones with a reference each and calls only these operations.
class UaSubscription : public ReferenceCounter
{
public:
    enum State
    {
        CLOSED = 0,
        NORMAL,
        LATE,
        KEEPALIVE
    };

    UaSubscription() = default;
    ~UaSubscription() override = default;

    // Ends the subscription; sessionIsClosing keeps it from calling back into its session.
    virtual UaStatus close(bool sessionIsClosing) = 0;
    // Answers request from this subscription (the request is the subscription's from now on);
    // moreNotifications tells whether notifications are left for another response.
    virtual UaStatus publish(PublishRequestContext* request, bool& moreNotifications) = 0;
    virtual OpcUa_UInt32 getState() = 0;
};

#endif
