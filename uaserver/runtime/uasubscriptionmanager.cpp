#include "uasubscriptionmanager.h"

#include "pendingmonitoreditemrequests.h"
#include "publishrequestcontext.h"
#include "uasession.h"
#include "uasubscription.h"

#include <nodemanager.h>
#include <nodemanagerwithevents.h>
#include <serverconfig.h>
#include <servermanager.h>
#include <uanodeinterfaces.h>
#include <uathreadjob.h>
#include <uathreadpool.h>

#include <uadatetime.h>
#include <uatrace.h>
#include <uavariant.h>

namespace
{
// The diagnostics summary's subscription counters of the Server object.
constexpr OpcUa_UInt32 kCurrentSubscriptionCount = 2285;
constexpr OpcUa_UInt32 kCumulatedSubscriptionCount = 2286;

// One publishing cycle of a subscription on a worker, or the answer of a Publish request by a
// late subscription.
class PublishJob : public UaThreadJob
{
public:
    PublishJob(UaSubscription* subscription, PublishRequestContext* request = nullptr)
        : m_pSubscription(subscription), m_pRequest(request)
    {
        m_pSubscription->addReference();
    }
    ~PublishJob() override { m_pSubscription->releaseReference(); }
    void execute() override
    {
        if (m_pRequest == nullptr)
        {
            m_pSubscription->checkAvailableNotifications();
            return;
        }
        auto* session = static_cast<UaSession*>(m_pRequest->m_serviceContext.pSession());
        session->addReference();
        m_pSubscription->publishAll(session, m_pRequest);
        session->releaseReference();
    }

private:
    UaSubscription* m_pSubscription;
    PublishRequestContext* m_pRequest;
};

class EventManagerRegisteredJob : public UaThreadJob
{
public:
    EventManagerRegisteredJob(UaSubscriptionManager* manager, EventManager* eventManager)
        : m_pManager(manager), m_pEventManager(eventManager)
    {
    }
    void execute() override { m_pManager->executeDynamicEventManagerRegistered(m_pEventManager); }

private:
    UaSubscriptionManager* m_pManager;
    EventManager* m_pEventManager;
};

void traceExit(const char* operation, const UaStatus& result)
{
    if (UaTrace::isTraceLevelOn(6))
        UaTrace::traceLevel6("<-- UaSubscriptionManager::%s [ret=0x%lx]", operation,
                             static_cast<unsigned long>(result.statusCode()));
}

UaVariable* variableNode(NodeManager* root, OpcUa_UInt32 id)
{
    if (root == nullptr)
        return nullptr;
    UaNode* node = root->getNode(UaNodeId(id, 0));
    if (node == nullptr)
        return nullptr;
    if (node->nodeClass() != OpcUa_NodeClass_Variable)
    {
        node->releaseReference();
        return nullptr;
    }
    return static_cast<UaVariable*>(node);
}
} // namespace

UaSubscriptionManager::UaSubscriptionManager(ServerManagerLink* serverManager)
    : m_pNodeManagerRoot(serverManager != nullptr ? serverManager->getNodeManagerRoot() : nullptr),
      m_pServerManager(serverManager),
      m_pServerConfig(serverManager != nullptr ? serverManager->getServerConfig() : nullptr)
{
    m_scanCursor = m_subscriptions.end();
    UaTrace::traceLevel5("Ctor UaSubscriptionManager");
}

UaSubscriptionManager::~UaSubscriptionManager()
{
    if (m_pFullServerManager != nullptr)
        m_pFullServerManager->removeDynamicEventManagerCallback(this);
    {
        UaMutexLocker lock(&m_mutex);
        m_stopThread = true;
    }
    wait(OpcUa_Infinite);
    while (isRunning())
        UaThread::sleep(100);
    UaMutexLocker lock(&m_mutex);
    if (m_pCurrentCountNode != nullptr)
        m_pCurrentCountNode->releaseReference();
    if (m_pCumulatedCountNode != nullptr)
        m_pCumulatedCountNode->releaseReference();
    std::map<OpcUa_UInt32, UaSubscription*> subscriptions;
    subscriptions.swap(m_subscriptions);
    m_scanCursor = m_subscriptions.end();
    m_lastSubscriptionId = 0;
    std::list<UaSubscription*> retired;
    retired.swap(m_retired);
    lock.unlock();
    UaThreadPool* pool;
    {
        UaMutexLocker poolLock(&m_poolMutex);
        pool = m_pWorkerPool;
        m_pWorkerPool = nullptr;
    }
    for (auto& [id, subscription] : subscriptions)
    {
        if (subscription != nullptr)
            subscription->releaseReference();
    }
    // Nothing may stay behind in a stopped server: retired ones are released too.
    for (UaSubscription* subscription : retired)
        subscription->releaseReference();
    delete pool;
    m_pNodeManagerRoot = nullptr;
    UaTrace::traceLevel5("Dtor UaSubscriptionManager");
}

UaStatus UaSubscriptionManager::startUp()
{
    UaTrace::traceLevel6("--> UaSubscriptionManager::startUp");
    UaStatus result = OpcUa_Good;
    if (m_pServerConfig == nullptr)
    {
        result = UaStatus(OpcUa_BadInternalError);
    }
    else
    {
        OpcUa_UInt32 minTransactions = 1, maxTransactions = 4, minSize = 1, maxSize = 4;
        result = m_pServerConfig->getThreadPoolSettings(minTransactions, maxTransactions, minSize, maxSize);
        if (maxSize == 0)
            maxSize = 1;
        if (minSize == 0)
            minSize = 1;
        if (minSize > maxSize)
            minSize = maxSize;
        UaThreadPool* pool = new UaThreadPool(minSize, maxSize);
        {
            UaMutexLocker lock(&m_poolMutex);
            m_pWorkerPool = pool;
        }
        result = m_pServerConfig->getSubscriptionLimits(m_maxSubscriptionCount, m_maxMonitoredItemCount,
                                                        m_maxMonitoredItemPerSubscriptionCount);
    }
    m_pCurrentCountNode = variableNode(m_pNodeManagerRoot, kCurrentSubscriptionCount);
    if (m_pCurrentCountNode != nullptr)
        m_pCumulatedCountNode = variableNode(m_pNodeManagerRoot, kCumulatedSubscriptionCount);
    if (m_pCurrentCountNode == nullptr || m_pCumulatedCountNode == nullptr)
    {
        UaTrace::traceLevel6(
            "<-- UaSubscriptionManager::startUp [ret=OpcUa_BadInternalError] - diagnostic node not found");
        return OpcUa_BadInternalError;
    }
    if (auto* serverManager = dynamic_cast<ServerManager*>(m_pServerManager))
    {
        m_pFullServerManager = serverManager;
        serverManager->addDynamicEventManagerCallback(this);
        addObjectStatistics(serverManager);
    }
    traceExit("startUp", result);
    return result;
}

void UaSubscriptionManager::addObjectStatistics(ServerManager* serverManager)
{
    UaNode* statistics = m_pNodeManagerRoot != nullptr
                             ? m_pNodeManagerRoot->getNode(UaNodeId("ObjectStatistics", 1))
                             : nullptr;
    NodeManagerNS1* namespaceOne = serverManager->getNodeManagerNS1();
    if (statistics != nullptr && namespaceOne != nullptr)
    {
        // A failure leaves the statistics short; the server runs all the same.
        namespaceOne->addStatisticsVariable("Subscription", UaSubscription::instanceCounter());
        namespaceOne->addStatisticsVariable("MonitoredItemData", UaMonitoredItemData::instanceCounter());
        namespaceOne->addStatisticsVariable("MonitoredItemEvent", UaMonitoredItemEvent::instanceCounter());
    }
    if (statistics != nullptr)
        statistics->releaseReference();
}

UaStatus UaSubscriptionManager::revise(const char* operation, SubscriptionSettings& settings,
                                       OpcUa_Double& publishingInterval, OpcUa_UInt32& lifetimeCount,
                                       OpcUa_UInt32& maxKeepAliveCount,
                                       OpcUa_UInt32& maxNotificationsPerPublish)
{
    // Without a configuration there are no settings to revise with.
    UaStatus result =
        m_pServerConfig == nullptr
            ? UaStatus(OpcUa_BadInternalError)
            : m_pServerConfig->getSubscriptionSettings(
                  settings.minPublishingInterval, settings.maxPublishingInterval,
                  settings.minKeepAliveInterval, settings.minLifetimeInterval, settings.maxLifetimeInterval,
                  settings.retransmissionQueueSize, settings.maxNotificationsPerPublish);
    if (result.isBad())
    {
        UaTrace::traceLevel6("<-- UaSubscriptionManager::%s [ret=0x%lx] - getSubscriptionSettings failed",
                             operation, static_cast<unsigned long>(result.statusCode()));
        return result;
    }
    SubscriptionRevision::reviseTiming(settings, publishingInterval, maxKeepAliveCount, lifetimeCount);
    maxNotificationsPerPublish = SubscriptionRevision::reviseNotificationsPerPublish(
        *m_pServerConfig, settings, maxNotificationsPerPublish);
    return result;
}

UaStatus UaSubscriptionManager::createSubscription(UaSession* session, OpcUa_Double& publishingInterval,
                                                   OpcUa_UInt32& lifetimeCount,
                                                   OpcUa_UInt32& maxKeepAliveCount,
                                                   OpcUa_UInt32 maxNotificationsPerPublish,
                                                   bool publishingEnabled, OpcUa_Byte priority,
                                                   OpcUa_UInt32& subscriptionId)
{
    UaTrace::traceLevel6("--> UaSubscriptionManager::createSubscription");
    {
        UaMutexLocker lock(&m_mutex);
        if (m_maxSubscriptionCount > 0 && m_currentSubscriptionCount >= m_maxSubscriptionCount)
        {
            UaTrace::traceLevel6(
                "<-- UaSubscriptionManager::createSubscription [ret=OpcUa_BadTooManySubscriptions] - "
                "maximum number of subscription reached (%d)",
                static_cast<int>(m_maxSubscriptionCount));
            return OpcUa_BadTooManySubscriptions;
        }
    }
    if (session->subscriptionCount() >= kMaxSubscriptionsPerSession)
    {
        traceExit("createSubscription", OpcUa_BadTooManySubscriptions);
        return OpcUa_BadTooManySubscriptions;
    }
    SubscriptionSettings settings;
    UaStatus result = revise("createSubscription", settings, publishingInterval, lifetimeCount,
                             maxKeepAliveCount, maxNotificationsPerPublish);
    if (result.isBad())
        return result;
    UaSubscription* subscription = createSubscriptionObject(
        session, publishingInterval, lifetimeCount, maxKeepAliveCount, settings.retransmissionQueueSize,
        maxNotificationsPerPublish, publishingEnabled, priority);
    subscription->setMonitoredItemLimits(m_maxMonitoredItemCount, m_maxMonitoredItemPerSubscriptionCount);

    UaMutexLocker lock(&m_mutex);
    subscriptionId = addSubscription(subscription);
    if (subscriptionId == 0)
    {
        lock.unlock();
        result = OpcUa_BadTooManySubscriptions;
        subscription->close(false);
        subscription->releaseReference();
    }
    else
    {
        subscription->setSubscriptionId(subscriptionId);
        subscription->setThreadPool(workerPool());
        setCount(m_pCurrentCountNode, ++m_currentSubscriptionCount);
        setCount(m_pCumulatedCountNode, ++m_cumulatedSubscriptionCount);
        lock.unlock();
        session->subscriptionCreated(subscription);
        onSubscriptionCreated(subscription);
    }
    if (!isRunning())
        start();
    traceExit("createSubscription", result);
    return result;
}

UaSubscription* UaSubscriptionManager::createSubscriptionObject(
    UaSession* session, OpcUa_Double publishingInterval, OpcUa_UInt32& lifetimeCount,
    OpcUa_UInt32 maxKeepAliveCount, OpcUa_UInt32 retransmissionQueueSize,
    OpcUa_UInt32 maxNotificationsPerPublish, bool publishingEnabled, OpcUa_Byte priority)
{
    return new UaSubscription(session, m_pServerManager, publishingInterval, lifetimeCount, maxKeepAliveCount,
                              retransmissionQueueSize, maxNotificationsPerPublish, publishingEnabled,
                              priority);
}

OpcUa_UInt32 UaSubscriptionManager::getNextSubscriptionId()
{
    if (++m_lastSubscriptionId == 0)
        ++m_lastSubscriptionId;
    return m_lastSubscriptionId;
}

void UaSubscriptionManager::setLastSubscriptionId(OpcUa_UInt32 lastId)
{
    UaMutexLocker lock(&m_mutex);
    m_lastSubscriptionId = lastId;
}

OpcUa_UInt32 UaSubscriptionManager::addSubscription(UaSubscription* subscription)
{
    OpcUa_UInt32 id = getNextSubscriptionId();
    for (int retry = 0; retry <= 10000; ++retry)
    {
        auto found = m_subscriptions.find(id);
        if (found == m_subscriptions.end() || found->second == nullptr)
        {
            m_subscriptions[id] = subscription;
            return id;
        }
        id = getNextSubscriptionId();
    }
    return 0;
}

UaSubscription* UaSubscriptionManager::findSubscription(OpcUa_UInt32 subscriptionId)
{
    auto found = m_subscriptions.find(subscriptionId);
    return found == m_subscriptions.end() ? nullptr : found->second;
}

size_t UaSubscriptionManager::removeSubscription(OpcUa_UInt32 subscriptionId)
{
    if (m_scanCursor != m_subscriptions.end() && m_scanCursor->first == subscriptionId)
        ++m_scanCursor;
    return m_subscriptions.erase(subscriptionId);
}

UaSubscription* UaSubscriptionManager::firstSubscription()
{
    m_scanCursor = m_subscriptions.begin();
    return m_scanCursor == m_subscriptions.end() ? nullptr : m_scanCursor->second;
}

UaSubscription* UaSubscriptionManager::nextSubscription()
{
    if (m_scanCursor != m_subscriptions.end())
        ++m_scanCursor;
    return m_scanCursor == m_subscriptions.end() ? nullptr : m_scanCursor->second;
}

void UaSubscriptionManager::setCount(UaVariable* node, OpcUa_UInt32 value)
{
    if (node == nullptr)
        return;
    UaVariant variant;
    variant.setUInt32(value);
    UaDataValue dataValue;
    dataValue.setValue(variant, true, true);
    node->setValue(nullptr, dataValue, false);
}

UaSubscription* UaSubscriptionManager::lookUp(UaSession* session, OpcUa_UInt32 subscriptionId,
                                              const char* operation, bool checkNullSession, UaStatus& result)
{
    UaMutexLocker lock(&m_mutex);
    result = OpcUa_BadSubscriptionIdInvalid;
    UaSubscription* subscription = findSubscription(subscriptionId);
    if (subscription == nullptr)
    {
        UaTrace::traceLevel1("Error: UaSubscriptionManager::%s - can not find subscription with ID=%u",
                             operation, subscriptionId);
        return nullptr;
    }
    UaSession* owner = subscription->session();
    if (owner == nullptr)
    {
        UaTrace::traceLevel1("Error: UaSubscriptionManager::%s - session invalid in subscription with ID=%u",
                             operation, subscriptionId);
        return nullptr;
    }
    const OpcUa_UInt32 ownerId = owner->getSessionId();
    owner->releaseReference();
    if (session == nullptr && checkNullSession)
    {
        UaTrace::traceLevel1("Error: UaSubscriptionManager::%s - passed session pointer is NULL", operation);
        return nullptr;
    }
    if (session == nullptr || ownerId != session->getSessionId())
    {
        UaTrace::traceLevel1(
            "Error: UaSubscriptionManager::%s - subscription is assigned to SID=%d, call to SID=%d",
            operation, static_cast<int>(ownerId),
            static_cast<int>(session != nullptr ? session->getSessionId() : 0));
        return nullptr;
    }
    subscription->addReference();
    result = OpcUa_Good;
    return subscription;
}

UaStatus UaSubscriptionManager::modifySubscription(UaSession* session, OpcUa_UInt32 subscriptionId,
                                                   OpcUa_Double& publishingInterval,
                                                   OpcUa_UInt32& lifetimeCount,
                                                   OpcUa_UInt32& maxKeepAliveCount,
                                                   OpcUa_UInt32 maxNotificationsPerPublish,
                                                   OpcUa_Byte priority)
{
    UaTrace::traceLevel6("--> UaSubscriptionManager::modifySubscription");
    SubscriptionSettings settings;
    UaStatus result = revise("modifySubscription", settings, publishingInterval, lifetimeCount,
                             maxKeepAliveCount, maxNotificationsPerPublish);
    if (result.isBad())
        return result;
    UaSubscription* subscription = lookUp(session, subscriptionId, "modifySubscription", true, result);
    if (subscription != nullptr)
    {
        subscription->modifySubscription(publishingInterval, lifetimeCount, maxKeepAliveCount,
                                         maxNotificationsPerPublish, priority);
        onSubscriptionModified(subscription);
        subscription->releaseReference();
    }
    traceExit("modifySubscription", result);
    return result;
}

UaStatus UaSubscriptionManager::setPublishingMode(UaSession* session, OpcUa_UInt32 subscriptionId,
                                                  bool publishingEnabled)
{
    UaTrace::traceLevel6("--> UaSubscriptionManager::setPublishingMode");
    UaStatus result;
    UaSubscription* subscription = lookUp(session, subscriptionId, "setPublishingMode", true, result);
    if (subscription != nullptr)
    {
        subscription->setPublishingMode(publishingEnabled);
        subscription->releaseReference();
        onPublishingModeSet(subscription);
    }
    traceExit("setPublishingMode", result);
    return result;
}

UaStatus UaSubscriptionManager::deleteSubscription(UaSession* session, OpcUa_UInt32 subscriptionId)
{
    UaTrace::traceLevel6("--> UaSubscriptionManager::deleteSubscription");
    UaStatus result;
    UaSubscription* subscription = lookUp(session, subscriptionId, "deleteSubscription", true, result);
    if (subscription != nullptr)
    {
        {
            UaMutexLocker lock(&m_mutex);
            // The lookup's reference stands in for the table's, which is gone with the entry.
            if (removeSubscription(subscriptionId) == 1)
            {
                setCount(m_pCurrentCountNode, --m_currentSubscriptionCount);
                subscription->releaseReference();
            }
        }
        subscription->close(false);
        onSubscriptionDeleted(subscription);
        retireSubscription(subscription);
        subscription->releaseReference();
    }
    traceExit("deleteSubscription", result);
    return result;
}

UaStatus UaSubscriptionManager::transferSubscription(UaSession* newSession, OpcUa_UInt32 subscriptionId,
                                                     bool sendInitialValues,
                                                     std::vector<OpcUa_UInt32>& availableSequenceNumbers)
{
    UaTrace::traceLevel6("--> UaSubscriptionManager::transferSubscription");
    UaStatus result = OpcUa_BadSubscriptionIdInvalid;
    UaMutexLocker lock(&m_mutex);
    UaSubscription* subscription = findSubscription(subscriptionId);
    UaSession* owner = subscription != nullptr ? subscription->session() : nullptr;
    if (subscription == nullptr)
        UaTrace::traceLevel1(
            "Error: UaSubscriptionManager::transferSubscription - can not find subscription with ID=%u",
            subscriptionId);
    else if (owner == nullptr)
        UaTrace::traceLevel1(
            "Error: UaSubscriptionManager::transferSubscription - session invalid in subscription "
            "with ID=%u",
            subscriptionId);
    else if (newSession == nullptr)
        UaTrace::traceLevel1(
            "Error: UaSubscriptionManager::transferSubscription - passed session pointer is NULL");
    else
        result = subscription->transfer(newSession, sendInitialValues, availableSequenceNumbers);
    if (owner != nullptr)
        owner->releaseReference();
    lock.unlock();
    traceExit("transferSubscription", result);
    return result;
}

UaStatus UaSubscriptionManager::setTriggering(UaSession* session, OpcUa_UInt32 subscriptionId,
                                              OpcUa_UInt32 triggeringItemId,
                                              const std::vector<OpcUa_UInt32>& linksToAdd,
                                              const std::vector<OpcUa_UInt32>& linksToRemove,
                                              std::vector<OpcUa_StatusCode>& addResults,
                                              std::vector<OpcUa_StatusCode>& removeResults)
{
    UaTrace::traceLevel6("--> UaSubscriptionManager::setTriggering");
    UaStatus result;
    UaSubscription* subscription = lookUp(session, subscriptionId, "setTriggering", true, result);
    if (subscription != nullptr)
    {
        result = subscription->setTriggering(triggeringItemId, linksToAdd, linksToRemove, addResults,
                                             removeResults);
        subscription->releaseReference();
    }
    traceExit("setTriggering", result);
    return result;
}

OpcUa_StatusCode UaSubscriptionManager::acknowledge(UaSession* session, OpcUa_UInt32 subscriptionId,
                                                    OpcUa_UInt32 sequenceNumber)
{
    // Only the session's own subscriptions: another client must not purge a queue it does not own.
    UaStatus result;
    UaSubscription* subscription = lookUp(session, subscriptionId, "acknowledge", true, result);
    if (subscription == nullptr)
        return OpcUa_BadSubscriptionIdInvalid;
    const OpcUa_StatusCode acknowledged = subscription->ackNotification(sequenceNumber);
    subscription->releaseReference();
    return acknowledged;
}

void UaSubscriptionManager::retireSubscription(UaSubscription* subscription)
{
    if (subscription->getPendingTransactionCount() == 0)
        return;
    UaMutexLocker lock(&m_mutex);
    subscription->addReference();
    m_retired.push_back(subscription);
}

void UaSubscriptionManager::releaseIdleRetired()
{
    for (auto it = m_retired.begin(); it != m_retired.end();)
    {
        if ((*it)->getPendingTransactionCount() != 0)
        {
            ++it;
            continue;
        }
        (*it)->releaseReference();
        it = m_retired.erase(it);
    }
}

OpcUa_UInt32 UaSubscriptionManager::retiredCount()
{
    UaMutexLocker lock(&m_mutex);
    return static_cast<OpcUa_UInt32>(m_retired.size());
}

OpcUa_UInt32 UaSubscriptionManager::currentSubscriptionCount()
{
    UaMutexLocker lock(&m_mutex);
    return m_currentSubscriptionCount;
}

OpcUa_UInt32 UaSubscriptionManager::cumulatedSubscriptionCount()
{
    UaMutexLocker lock(&m_mutex);
    return m_cumulatedSubscriptionCount;
}

void UaSubscriptionManager::run()
{
    OpcUa_UInt32 waitMs = 50;
    UaMutexLocker lock(&m_mutex);
    while (!m_stopThread)
    {
        lock.unlock();
        UaThread::sleep(waitMs);
        lock.lock(&m_mutex);
        waitMs = 1000;
        UaSubscription* subscription = firstSubscription();
        while (subscription != nullptr && !m_stopThread)
        {
            if (subscription->getState() == UaSubscription::CLOSED)
            {
                removeSubscription(m_scanCursor->first);
                setCount(m_pCurrentCountNode, --m_currentSubscriptionCount);
                lock.unlock();
                subscription->close(false);
                retireSubscription(subscription);
                subscription->releaseReference();
                lock.lock(&m_mutex);
                waitMs = 0;
                break;
            }
            releaseIdleRetired();
            subscription->addReference();
            lock.unlock();
            bool due = false;
            const OpcUa_UInt32 left = subscription->checkPublishTimer(due);
            // A refused cycle (or none after shutDown) is asked for again in a later pass.
            if (due)
            {
                auto* job = new PublishJob(subscription);
                if (!addToPool(job))
                    delete job;
            }
            lock.lock(&m_mutex);
            subscription->releaseReference();
            waitMs = std::min(waitMs, left);
            subscription = nextSubscription();
        }
    }
}

void UaSubscriptionManager::waitForIdleSubscriptions()
{
    for (int round = 0; round < 1000; ++round)
    {
        UaMutexLocker lock(&m_mutex);
        UaSubscription* busy = nullptr;
        for (auto& [id, subscription] : m_subscriptions)
        {
            if (subscription != nullptr && subscription->getPendingTransactionCount() > 0)
            {
                busy = subscription;
                break;
            }
        }
        if (busy == nullptr)
            break;
        busy->addReference();
        lock.unlock();
        busy->waitForTransactions(0);
        busy->releaseReference();
    }
    for (int round = 0; round < 1000; ++round)
    {
        UaMutexLocker lock(&m_mutex);
        releaseIdleRetired();
        if (m_retired.empty())
            return;
        UaSubscription* busy = m_retired.front();
        busy->addReference();
        lock.unlock();
        busy->waitForTransactions(0);
        busy->releaseReference();
    }
}

UaStatus UaSubscriptionManager::shutDown()
{
    UaTrace::traceLevel6("--> UaSubscriptionManager::shutDown");
    {
        UaMutexLocker lock(&m_mutex);
        for (auto& [id, subscription] : m_subscriptions)
        {
            if (subscription != nullptr && subscription->getState() != UaSubscription::CLOSED)
                subscription->close(false);
        }
    }
    waitForIdleSubscriptions();
    {
        UaMutexLocker lock(&m_mutex);
        // A late answer after the wait sends from its own thread.
        for (auto& [id, subscription] : m_subscriptions)
        {
            if (subscription != nullptr)
                subscription->setThreadPool(nullptr);
        }
    }
    UaThreadPool* pool;
    {
        UaMutexLocker lock(&m_poolMutex);
        pool = m_pWorkerPool;
        m_pWorkerPool = nullptr;
    }
    // Jobs already accepted run before the pool goes.
    delete pool;
    traceExit("shutDown", OpcUa_Good);
    return OpcUa_Good;
}

UaThreadPool* UaSubscriptionManager::workerPool()
{
    UaMutexLocker lock(&m_poolMutex);
    return m_pWorkerPool;
}

bool UaSubscriptionManager::addToPool(UaThreadJob* job)
{
    // Held while adding: shutDown cannot delete the pool meanwhile.
    UaMutexLocker lock(&m_poolMutex);
    return m_pWorkerPool != nullptr && OpcUa_IsGood(m_pWorkerPool->addJob(job));
}

void UaSubscriptionManager::runJob(UaThreadJob* job)
{
    if (addToPool(job))
        return;
    job->execute();
    delete job;
}

UaStatus UaSubscriptionManager::beginPublish(PublishRequestContext* request)
{
    UaTrace::traceLevel6("--> UaSubscriptionManager::beginPublish");
    auto* session = static_cast<UaSession*>(request->m_serviceContext.pSession());
    const OpcUa_PublishRequest& message = *request->m_pRequest;
    if (message.NoOfSubscriptionAcknowledgements > 0)
    {
        const auto count = static_cast<OpcUa_UInt32>(message.NoOfSubscriptionAcknowledgements);
        request->m_acknowledgeResults.create(count);
        for (OpcUa_UInt32 i = 0; i < count; ++i)
        {
            const OpcUa_SubscriptionAcknowledgement& ack = message.SubscriptionAcknowledgements[i];
            request->m_acknowledgeResults[i] = acknowledge(session, ack.SubscriptionId, ack.SequenceNumber);
        }
    }
    UaSubscription* late = nullptr;
    UaStatus result = session->queuePublishRequest(request, late);
    if (late != nullptr)
    {
        // Without a pool the late subscription answers from this thread.
        runJob(new PublishJob(late, request));
        late->releaseReference();
    }
    traceExit("beginPublish", result);
    return result;
}

UaStatus UaSubscriptionManager::beginRepublish(UaSession* session, OpcUa_Endpoint endpoint,
                                               OpcUa_Handle context, const OpcUa_RequestHeader& header,
                                               OpcUa_UInt32 subscriptionId, OpcUa_UInt32 sequenceNumber)
{
    UaTrace::traceLevel6("--> UaSubscriptionManager::beginRepublish");
    UaStatus result;
    UaSubscription* subscription = lookUp(session, subscriptionId, "beginRepublish", false, result);
    if (subscription != nullptr)
    {
        result = subscription->republish(endpoint, context, header, sequenceNumber);
        subscription->releaseReference();
    }
    traceExit("beginRepublish", result);
    return result;
}

template <typename Request>
UaStatus UaSubscriptionManager::forward(Request* request, const char* operation,
                                        UaStatus (UaSubscription::*begin)(Request*))
{
    UaTrace::traceLevel6("--> UaSubscriptionManager::%s", operation);
    UaStatus result;
    UaSubscription* subscription =
        lookUp(request->session(), request->subscriptionId(), operation, false, result);
    if (subscription != nullptr)
    {
        result = (subscription->*begin)(request);
        subscription->releaseReference();
    }
    traceExit(operation, result);
    return result;
}

UaStatus UaSubscriptionManager::beginCreateMonitoredItems(PendingCreateMonitoredItemsRequest* request)
{
    return forward(request, "beginCreateMonitoredItems", &UaSubscription::beginCreateMonitoredItems);
}

UaStatus UaSubscriptionManager::beginModifyMonitoredItems(PendingModifyMonitoredItemsRequest* request)
{
    return forward(request, "beginModifyMonitoredItems", &UaSubscription::beginModifyMonitoredItems);
}

UaStatus UaSubscriptionManager::beginSetMonitoringMode(PendingSetMonitoringModeRequest* request)
{
    return forward(request, "beginSetMonitoringMode", &UaSubscription::beginSetMonitoringMode);
}

UaStatus UaSubscriptionManager::deleteMonitoredItems(PendingDeleteMonitoredItemsRequest* request)
{
    return forward(request, "deleteMonitoredItems", &UaSubscription::beginDeleteMonitoredItems);
}

UaStatus UaSubscriptionManager::beginConditionRefresh(const ServiceContext& serviceContext,
                                                      OpcUa_UInt32 subscriptionId)
{
    UaTrace::traceLevel6("--> UaSubscriptionManager::beginConditionRefresh");
    UaStatus result;
    UaSubscription* subscription = lookUp(static_cast<UaSession*>(serviceContext.pSession()), subscriptionId,
                                          "beginConditionRefresh", true, result);
    if (subscription != nullptr)
    {
        result = subscription->beginConditionRefresh(serviceContext);
        subscription->releaseReference();
    }
    traceExit("beginConditionRefresh", result);
    return result;
}

void UaSubscriptionManager::dynamicEventManagerRegistered(EventManager* eventManager)
{
    runJob(new EventManagerRegisteredJob(this, eventManager));
    UaTrace::traceLevel6("<-- UaSubscriptionManager::dynamicEventManagerRegistered");
}

void UaSubscriptionManager::executeDynamicEventManagerRegistered(EventManager* eventManager)
{
    std::vector<UaSubscription*> open;
    {
        UaMutexLocker lock(&m_mutex);
        for (auto& [id, subscription] : m_subscriptions)
        {
            if (subscription == nullptr || subscription->getState() == UaSubscription::CLOSED)
                continue;
            subscription->addReference();
            open.push_back(subscription);
        }
    }
    for (UaSubscription* subscription : open)
    {
        subscription->dynamicEventManagerRegistered(eventManager);
        subscription->releaseReference();
    }
    UaTrace::traceLevel6("<-- UaSubscriptionManager::executeDynamicEventManagerRegistered");
}
