#ifndef UASERVER_RUNTIME_UASUBSCRIPTION_H
#define UASERVER_RUNTIME_UASUBSCRIPTION_H

#include "uamonitoreditem.h"

#include <referencecounter.h>

#include <uadatetime.h>
#include <uastatus.h>

#include <opcua.h>

#include <atomic>
#include <deque>
#include <vector>

class NodeManager;
class PublishRequestContext;
class ServerManagerLink;
class UaSession;
class UaThreadPool;

// One subscription of a client session, reference counted. It counts its publishing cycles on the
// subscription manager's timer, takes Publish requests from its session, answers them with its
// items' notifications or a keep-alive, keeps sent messages for Republish until acknowledged and
// closes itself when its lifetime runs out. It has no thread of its own.
//
// Its mutex is recursive: a transfer queues a late subscription at its new session with the mutex
// held, and the session may publish on this thread at once.
class UaSubscription : public ReferenceCounter
{
public:
    enum State
    {
        CLOSED = 0,
        NORMAL = 2,
        LATE = 3,
        KEEPALIVE = 4
    };

    // The values are already revised by the subscription manager; lifetimeCount is settled to a
    // multiple of the keep-alive count and written back.
    UaSubscription(UaSession* session, ServerManagerLink* serverManager, OpcUa_Double publishingInterval,
                   OpcUa_UInt32& lifetimeCount, OpcUa_UInt32 maxKeepAliveCount,
                   OpcUa_UInt32 maxRetransmissionQueueSize, OpcUa_UInt32 maxNotificationsPerPublish,
                   bool publishingEnabled, OpcUa_Byte priority);
    ~UaSubscription() override;

    void setSubscriptionId(OpcUa_UInt32 subscriptionId);
    OpcUa_UInt32 subscriptionId();
    void setMonitoredItemLimits(OpcUa_UInt32 maxPerServer, OpcUa_UInt32 maxPerSubscription);
    void setThreadPool(UaThreadPool* threadPool);
    virtual OpcUa_UInt32 getState();
    OpcUa_UInt32 getPendingTransactionCount();
    // Sleeps 10 ms at a time (at most about 10 s) while more than limit transactions run.
    void waitForTransactions(OpcUa_UInt32 limit);
    // The session that owns the subscription, with a reference for the caller; null once closed.
    UaSession* session();

    virtual void setPublishingMode(bool publishingEnabled);
    virtual void modifySubscription(OpcUa_Double publishingInterval, OpcUa_UInt32& lifetimeCount,
                                    OpcUa_UInt32 maxKeepAliveCount, OpcUa_UInt32 maxNotificationsPerPublish,
                                    OpcUa_Byte priority);
    // Ends the subscription; sessionIsClosing keeps it from calling back into its session.
    virtual UaStatus close(bool sessionIsClosing);
    virtual UaStatus transfer(UaSession* newSession, bool sendInitialValues,
                              std::vector<OpcUa_UInt32>& availableSequenceNumbers);
    virtual UaStatus setTriggering(OpcUa_UInt32 triggeringItemId, const std::vector<OpcUa_UInt32>& linksToAdd,
                                   const std::vector<OpcUa_UInt32>& linksToRemove,
                                   std::vector<OpcUa_StatusCode>& addResults,
                                   std::vector<OpcUa_StatusCode>& removeResults);

    // Answers request from this subscription (the request is the subscription's from now on);
    // moreNotifications tells whether notifications are left for another response.
    virtual UaStatus publish(PublishRequestContext* request, bool& moreNotifications);
    // Answers a Republish request on its context with the kept message of sequenceNumber.
    // BadMessageNotAvailable leaves the context to the caller.
    virtual UaStatus republish(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                               const OpcUa_RequestHeader& header, OpcUa_UInt32 sequenceNumber);
    // Milliseconds until the next check; publishDue when a cycle has ended.
    virtual OpcUa_UInt32 checkPublishTimer(bool& publishDue);
    // One publishing cycle on a pool thread.
    virtual void checkAvailableNotifications();
    OpcUa_StatusCode ackNotification(OpcUa_UInt32 sequenceNumber);

    // The monitored-item table: ids from 1, the most recently freed id reused first.
    MonitoredItemOwner* itemOwner() { return &m_items; }
    // Takes item over; 0 when the configured limits refuse it.
    OpcUa_UInt32 addMonitoredItem(UaMonitoredItem* item);
    bool deleteMonitoredItem(OpcUa_UInt32 monitoredItemId);
    // Valid while the caller holds the item owner's mutex.
    UaMonitoredItem* monitoredItem(OpcUa_UInt32 monitoredItemId);
    OpcUa_UInt32 monitoredItemCount();

    static OpcUa_Int32 instanceCount() { return s_instances.load(); }
    // Monitored items of all subscriptions.
    static OpcUa_UInt32 serverItemCount() { return s_serverItems.load(); }

protected:
    // A subscription without session or items, for doubles that answer requests themselves.
    UaSubscription();

private:
    // Called with the mutex held; the new state is traced when it changes.
    void setState(OpcUa_UInt32 state);
    // Gets a request from the session, or goes LATE and queues itself there; the mutex is released.
    void publishOrGoLate(UaMutexLocker& lock, bool countKeepAlive);
    // Collects queued notifications under the mutex, at most m_maxNotificationsPerPublish.
    void collect(std::vector<OpcUa_MonitoredItemNotification>& data,
                 std::vector<OpcUa_EventFieldList>& events, bool& moreNotifications);
    void collectFrom(UaMonitoredItem* item, std::vector<OpcUa_MonitoredItemNotification>& data,
                     std::vector<OpcUa_EventFieldList>& events);
    bool anyNotificationsLeft();
    // The oldest records go beyond the queue's size.
    void trimRetransmissionQueue();
    void deleteAllItems();

    MonitoredItemOwner m_items;
    OpcUa_UInt32 m_state = NORMAL;
    bool m_isClosed = false;
    OpcUa_UInt32 m_subscriptionId = 0;
    UaSession* m_pSession = nullptr;
    NodeManager* m_pNodeManagerRoot = nullptr;
    bool m_publishingEnabled = true;
    OpcUa_UInt32 m_maxNotificationsPerPublish = 0;
    OpcUa_Byte m_priority = 0;
    OpcUa_Double m_publishingInterval = 0;
    UaDateTime m_lastCycleTime;
    OpcUa_UInt32 m_maxKeepAliveCount = 1;
    OpcUa_UInt32 m_keepAliveCounter = 0;
    OpcUa_UInt32 m_lifetimeCounter = 0;
    OpcUa_UInt32 m_lifetimeKeepAlives = 3;
    std::vector<UaMonitoredItem*> m_monitoredItems;
    std::vector<OpcUa_UInt32> m_freeItemIds;
    OpcUa_UInt32 m_usedItems = 0;
    OpcUa_UInt32 m_nextSequenceNumber = 1;
    bool m_sendInitialValues = false;
    bool m_sendingInProgress = false;
    OpcUa_UInt32 m_maxDataQueueSize = 100;
    OpcUa_UInt32 m_maxMonitoredItemsPerServer = 0;
    OpcUa_UInt32 m_maxMonitoredItemsPerSubscription = 0;
    OpcUa_UInt32 m_pendingTransactions = 0;
    OpcUa_UInt32 m_maxRetransmissionQueueSize = 0;
    // Deep copies of the sent messages, oldest first: a response's own data is freed with it.
    std::deque<OpcUa_NotificationMessage> m_retransmissionQueue;
    UaThreadPool* m_pThreadPool = nullptr;

    static std::atomic<OpcUa_Int32> s_instances;
    static std::atomic<OpcUa_UInt32> s_serverItems;
};

#endif
