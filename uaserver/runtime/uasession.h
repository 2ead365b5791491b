#ifndef UASERVER_RUNTIME_UASESSION_H
#define UASERVER_RUNTIME_UASESSION_H

#include "session.h"

#include <memory>
#include <vector>

class PublishRequestContext;
class RegisteredNode;
class UaEndpoint;
class UaSubscription;

// The session the server creates: on top of Session it serialises the responses sent on the
// session, counts the services in progress and runs the session's Publish machinery: the queue of
// Publish requests waiting for a subscription with something to send, the subscriptions that are
// late (ready without a request) and the subscription status changes still to be reported.
//
// The session's mutex is never held while calling a subscription, sending or cancelling: queues
// are moved out first. Every queued Publish request ends in exactly one finishedServiceProcessing.
class UaSession : public Session
{
public:
    // Nothing else bounds what one client makes: beyond these the session refuses.
    static constexpr OpcUa_UInt32 kMaxQueuedPublishRequests = 200;
    static constexpr OpcUa_UInt32 kMaxMonitoredItems = 20000;
    // A session registers at most as many nodes as it may monitor.
    static constexpr OpcUa_UInt32 kMaxRegisteredNodes = kMaxMonitoredItems;

    UaSession(OpcUa_UInt32 sessionId, const UaNodeId& authenticationToken);
    // Closes the session (its subscriptions live on) and empties its queues.
    ~UaSession() override;

    // Closes; deleteSubscriptions also closes the subscriptions, which otherwise live on for a
    // transfer. Queued Publish requests are answered with BadSessionClosed.
    UaStatus close(bool deleteSubscriptions) override;
    // Publish requests received on a dead channel can never be answered: they are dropped.
    void invalidateSecureChannel() override;

    // Taken by a sender around its look at the secure channel. The send itself is not under it:
    // the transport keeps every response whole and in order and never waits for the peer, so a
    // request of the session never waits behind another's write.
    void lockSendResponse();
    void unlockSendResponse();
    // Whether a response may go out on the session's secure channel, under the send lock.
    bool secureChannelStillValid();
    // A service in progress holds a reference and counts; a queued Publish request too.
    void startingServiceProcessing();
    void finishedServiceProcessing();
    OpcUa_UInt32 activeServiceCount() const;

    virtual bool isSameUser(Session* otherSession);
    // Good when the request was queued or lateSubscription (with a reference for the caller)
    // is to publish with it at once; BadSessionClosed, BadNoSubscription. A full queue answers its
    // oldest request with BadTooManyPublishRequests.
    virtual UaStatus queuePublishRequest(PublishRequestContext* request, UaSubscription*& lateSubscription);
    // The oldest queued request still within its TimeoutHint (now the caller's); those past it
    // are answered with BadTimeout. Null when none, or when the session is not activated.
    virtual PublishRequestContext* getPublishRequest();
    virtual UaStatus queueSubscriptionForPublish(UaSubscription* subscription);
    virtual void queueSubscriptionStatusChangeNotification(OpcUa_UInt32 subscriptionId,
                                                           OpcUa_StatusCode status);
    virtual UaStatus subscriptionCreated(UaSubscription* subscription);
    virtual UaStatus subscriptionInvalidated(UaSubscription* subscription);
    // Answers request with one StatusChangeNotification.
    virtual void sendSubscriptionStatusChangeNotification(PublishRequestContext* request,
                                                          OpcUa_UInt32 subscriptionId,
                                                          OpcUa_StatusCode status);
    virtual RegisteredNode* getHandleEntry(OpcUa_UInt32 handle);
    // The session owns the entry from now on. A node the session registered before keeps its alias
    // (the new entry is deleted); 0 for a null entry, and for a new node past kMaxRegisteredNodes
    // (the entry is deleted).
    virtual OpcUa_UInt32 addHandleEntry(RegisteredNode* entry);
    // The entries registered together, under one lock: aliases gets one per entry, a node
    // registered before (or twice in entries) keeping one alias. When the new nodes would pass
    // kMaxRegisteredNodes nothing is registered: BadTooManyOperations. The session owns (or
    // deletes) every entry.
    UaStatus registerNodes(const std::vector<RegisteredNode*>& entries, std::vector<OpcUa_UInt32>& aliases);
    OpcUa_UInt32 registeredNodeCount() const;
    // Deletes the entry; Bad for a handle out of range or already empty.
    UaStatus removeHandleEntry(OpcUa_UInt32 handle);

    // The NodeId and handle of a registered node, the handle with a reference for the caller, taken
    // under the session's lock: an UnregisterNodes on another thread cannot free them meanwhile.
    // False for an unknown alias.
    bool registeredNode(OpcUa_UInt32 alias, UaNodeId& nodeId, ReferenceHolder<ReferenceCounter>& handle);

    // The names the services use for the handle entries.
    OpcUa_UInt32 registerNode(RegisteredNode* entry) { return addHandleEntry(entry); }
    RegisteredNode* getRegisteredNode(OpcUa_UInt32 alias) { return getHandleEntry(alias); }
    UaStatus unregisterNode(OpcUa_UInt32 alias) { return removeHandleEntry(alias); }

    // Answers request with a ServiceFault of status (a cancel on an invalid channel).
    UaStatus cancelPublishRequest(PublishRequestContext* request, OpcUa_StatusCode status);
    // Answers every queued request with status, unless the session still has subscriptions
    // and is activated.
    void cancelPublishRequests(OpcUa_StatusCode status);
    // Drops every queued request without an answer.
    void clearPublishRequests();

    UaByteString serverNonce() const;
    void setServerNonce(const UaByteString& nonce);
    // Whether CreateSession came on a secured channel: such a session is activated only on a
    // secured channel opened with the certificate it was created with.
    bool isBoundToCertificate() const;
    void setBoundToCertificate(bool bound);
    // The endpoint the session was last activated through (not owned); null before.
    UaEndpoint* activatingEndpoint() const;
    void setActivatingEndpoint(UaEndpoint* endpoint);

    OpcUa_UInt32 publishRequestCount() const;
    // The monitored items of the session's subscriptions: false (and nothing counted) when count
    // more would pass kMaxMonitoredItems, unless force (a transferred subscription brings its own).
    bool reserveMonitoredItems(OpcUa_UInt32 count, bool force);
    void releaseMonitoredItems(OpcUa_UInt32 count);
    OpcUa_UInt32 monitoredItemCount() const;
    OpcUa_UInt32 subscriptionCount() const;

    // Sends response (or cancels it on an invalid channel) under the send lock, then ends the
    // service and deletes request and response. Subscriptions answer their requests through it too.
    // A lent message (the NotificationMessage of a Publish response whose data another owner keeps)
    // is taken out of the response before the response is deleted.
    void sendPublishAnswer(PublishRequestContext* request, OpcUa_Void* response,
                           OpcUa_EncodeableType* responseType, const char* what,
                           OpcUa_NotificationMessage* lent = nullptr);
    // Begins the response of request; on failure (traced for caller, "Class::operation") the request is
    // cancelled with the failure, its service ended and the request deleted.
    OpcUa_StatusCode beginPublishAnswer(PublishRequestContext* request, const char* caller,
                                        OpcUa_Void*& response, OpcUa_EncodeableType*& responseType);

private:
    struct Private;

    std::unique_ptr<Private> e;
};

#endif
