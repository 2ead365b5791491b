#ifndef UASERVER_RUNTIME_UASUBSCRIPTIONMANAGER_H
#define UASERVER_RUNTIME_UASUBSCRIPTIONMANAGER_H

#include "conditionrefreshhandler.h"
#include "subscriptionrevision.h"

#include <dynamiceventmanagercallback.h>

#include <uamutex.h>
#include <uastatus.h>
#include <uathread.h>

#include <opcua.h>

#include <list>
#include <map>
#include <vector>

class EventManager;
class NodeManager;
class PendingCreateMonitoredItemsRequest;
class PendingDeleteMonitoredItemsRequest;
class PendingModifyMonitoredItemsRequest;
class PendingMonitoredItemsRequest;
class PendingSetMonitoringModeRequest;
class PublishRequestContext;
class ServerConfig;
class ServerManager;
class ServerManagerLink;
class UaSession;
class UaSubscription;
class UaThreadJob;
class UaThreadPool;
class UaVariable;

// Owns every subscription of the server under its id, revises what clients ask for, forwards the
// subscription services to the subscription named after checking it belongs to the caller's
// session, and drives publishing: its thread asks each subscription for its timer and hands due
// cycles to its worker pool. It keeps CurrentSubscriptionCount and CumulatedSubscriptionCount.
//
// Lock order: the manager's mutex before a subscription's.
class UaSubscriptionManager : public DynamicEventManagerCallback,
                              public UaThread,
                              public ConditionRefreshHandler
{
public:
    // At most this many subscriptions per session: nothing else bounds what a client makes.
    static constexpr OpcUa_UInt32 kMaxSubscriptionsPerSession = 100;

    explicit UaSubscriptionManager(ServerManagerLink* serverManager);
    ~UaSubscriptionManager() override;

    UaStatus startUp();
    UaStatus createSubscription(UaSession* session, OpcUa_Double& publishingInterval,
                                OpcUa_UInt32& lifetimeCount, OpcUa_UInt32& maxKeepAliveCount,
                                OpcUa_UInt32 maxNotificationsPerPublish, bool publishingEnabled,
                                OpcUa_Byte priority, OpcUa_UInt32& subscriptionId);
    UaStatus modifySubscription(UaSession* session, OpcUa_UInt32 subscriptionId,
                                OpcUa_Double& publishingInterval, OpcUa_UInt32& lifetimeCount,
                                OpcUa_UInt32& maxKeepAliveCount, OpcUa_UInt32 maxNotificationsPerPublish,
                                OpcUa_Byte priority);
    UaStatus setPublishingMode(UaSession* session, OpcUa_UInt32 subscriptionId, bool publishingEnabled);
    UaStatus deleteSubscription(UaSession* session, OpcUa_UInt32 subscriptionId);
    UaStatus transferSubscription(UaSession* newSession, OpcUa_UInt32 subscriptionId, bool sendInitialValues,
                                  std::vector<OpcUa_UInt32>& availableSequenceNumbers);
    UaStatus setTriggering(UaSession* session, OpcUa_UInt32 subscriptionId, OpcUa_UInt32 triggeringItemId,
                           const std::vector<OpcUa_UInt32>& linksToAdd,
                           const std::vector<OpcUa_UInt32>& linksToRemove,
                           std::vector<OpcUa_StatusCode>& addResults,
                           std::vector<OpcUa_StatusCode>& removeResults);
    // The subscription of session under subscriptionId, with a reference for the caller; null with
    // the lookup's status in result otherwise (operation names the caller in the traces).
    UaSubscription* lookUp(UaSession* session, OpcUa_UInt32 subscriptionId, const char* operation,
                           bool checkNullSession, UaStatus& result);
    // Acknowledges sequenceNumber of session's subscriptionId; another session's subscription
    // answers BadSubscriptionIdInvalid.
    OpcUa_StatusCode acknowledge(UaSession* session, OpcUa_UInt32 subscriptionId,
                                 OpcUa_UInt32 sequenceNumber);

    // Applies the request's acknowledgements and queues it at its session, or hands it to a late
    // subscription on the pool. Good: the request is taken; else it stays the caller's.
    UaStatus beginPublish(PublishRequestContext* request);
    // Answers a Republish on its context; a bad result leaves the context to the caller.
    UaStatus beginRepublish(UaSession* session, OpcUa_Endpoint endpoint, OpcUa_Handle context,
                            const OpcUa_RequestHeader& header, OpcUa_UInt32 subscriptionId,
                            OpcUa_UInt32 sequenceNumber);
    // The monitored-item services: Good when the subscription took the request over.
    UaStatus beginCreateMonitoredItems(PendingCreateMonitoredItemsRequest* request);
    UaStatus beginModifyMonitoredItems(PendingModifyMonitoredItemsRequest* request);
    UaStatus beginSetMonitoringMode(PendingSetMonitoringModeRequest* request);
    UaStatus deleteMonitoredItems(PendingDeleteMonitoredItemsRequest* request);
    UaStatus beginConditionRefresh(const ServiceContext& serviceContext,
                                   OpcUa_UInt32 subscriptionId) override;

    // Queues the telling of every open subscription on the pool (at once without one).
    void dynamicEventManagerRegistered(EventManager* eventManager) override;
    virtual void executeDynamicEventManagerRegistered(EventManager* eventManager);

    void waitForIdleSubscriptions();
    UaStatus shutDown();

    OpcUa_UInt32 currentSubscriptionCount();
    OpcUa_UInt32 cumulatedSubscriptionCount();
    OpcUa_UInt32 retiredCount();
    // For tests of the id wrap: the next id is lastId + 1.
    void setLastSubscriptionId(OpcUa_UInt32 lastId);

protected:
    virtual UaSubscription* createSubscriptionObject(UaSession* session, OpcUa_Double publishingInterval,
                                                     OpcUa_UInt32& lifetimeCount,
                                                     OpcUa_UInt32 maxKeepAliveCount,
                                                     OpcUa_UInt32 retransmissionQueueSize,
                                                     OpcUa_UInt32 maxNotificationsPerPublish,
                                                     bool publishingEnabled, OpcUa_Byte priority);
    virtual OpcUa_UInt32 getNextSubscriptionId();
    virtual void onSubscriptionCreated(UaSubscription*) {}
    virtual void onSubscriptionModified(UaSubscription*) {}
    virtual void onPublishingModeSet(UaSubscription*) {}
    virtual void onSubscriptionDeleted(UaSubscription*) {}

    // The publish-timer loop.
    void run() override;

private:
    // The caller holds the mutex for these.
    OpcUa_UInt32 addSubscription(UaSubscription* subscription);
    UaSubscription* findSubscription(OpcUa_UInt32 subscriptionId);
    size_t removeSubscription(OpcUa_UInt32 subscriptionId);
    UaSubscription* firstSubscription();
    UaSubscription* nextSubscription();
    void setCount(UaVariable* node, OpcUa_UInt32 value);
    // The three live counts below ObjectStatistics of namespace 1, when the server manager has it.
    void addObjectStatistics(ServerManager* serverManager);
    void releaseIdleRetired();

    void retireSubscription(UaSubscription* subscription);
    UaThreadPool* workerPool();
    // False when there is no pool (after shutDown) or it refused: the job stays the caller's.
    bool addToPool(UaThreadJob* job);
    // On the pool, or at once on this thread.
    void runJob(UaThreadJob* job);
    // Hands request to the subscription it names, when that belongs to request's session.
    template <typename Request>
    UaStatus forward(Request* request, const char* operation, UaStatus (UaSubscription::*begin)(Request*));
    // Reads the settings and revises the request with them; traced for operation when that fails.
    UaStatus revise(const char* operation, SubscriptionSettings& settings, OpcUa_Double& publishingInterval,
                    OpcUa_UInt32& lifetimeCount, OpcUa_UInt32& maxKeepAliveCount,
                    OpcUa_UInt32& maxNotificationsPerPublish);

    UaMutex m_mutex;
    NodeManager* m_pNodeManagerRoot;
    ServerManagerLink* m_pServerManager;
    // The full server manager behind the link, when it is one: announcements of late event managers
    // and namespace 1 come from it.
    ServerManager* m_pFullServerManager = nullptr;
    ServerConfig* m_pServerConfig;
    bool m_stopThread = false;
    // The pool has a lock of its own: adding may wait for a worker, whose job may need m_mutex.
    UaMutex m_poolMutex;
    UaThreadPool* m_pWorkerPool = nullptr;
    OpcUa_UInt32 m_lastSubscriptionId = 0;
    UaVariable* m_pCurrentCountNode = nullptr;
    OpcUa_UInt32 m_currentSubscriptionCount = 0;
    UaVariable* m_pCumulatedCountNode = nullptr;
    OpcUa_UInt32 m_cumulatedSubscriptionCount = 0;
    OpcUa_UInt32 m_maxSubscriptionCount = 0;
    OpcUa_UInt32 m_maxMonitoredItemCount = 0;
    OpcUa_UInt32 m_maxMonitoredItemPerSubscriptionCount = 0;
    std::map<OpcUa_UInt32, UaSubscription*> m_subscriptions;
    std::map<OpcUa_UInt32, UaSubscription*>::iterator m_scanCursor;
    std::list<UaSubscription*> m_retired;
};

#endif
