#include "uasubscription.h"

#include "publishrequestcontext.h"
#include "subscriptionrevision.h"
#include "uasession.h"

#include <eventdata.h>
#include <serverconfig.h>
#include <servermanagerlink.h>

#include <uathread.h>
#include <uatrace.h>

#include <algorithm>

std::atomic<OpcUa_Int32> UaSubscription::s_instances{0};
std::atomic<OpcUa_UInt32> UaSubscription::s_serverItems{0};

namespace
{
const char* stateName(OpcUa_UInt32 state)
{
    switch (state)
    {
    case UaSubscription::CLOSED:
        return "CLOSED";
    case UaSubscription::LATE:
        return "LATE";
    case UaSubscription::KEEPALIVE:
        return "KEEPALIVE";
    default:
        return "NORMAL";
    }
}

void trimTimestamps(OpcUa_DataValue& value, OpcUa_TimestampsToReturn timestamps)
{
    if (timestamps == OpcUa_TimestampsToReturn_Source || timestamps == OpcUa_TimestampsToReturn_Neither)
    {
        OpcUa_DateTime_Initialize(&value.ServerTimestamp);
        value.ServerPicoseconds = 0;
    }
    if (timestamps == OpcUa_TimestampsToReturn_Server || timestamps == OpcUa_TimestampsToReturn_Neither)
    {
        OpcUa_DateTime_Initialize(&value.SourceTimestamp);
        value.SourcePicoseconds = 0;
    }
}

// A deep copy of message: the queue's record never shares data with a response in flight.
OpcUa_NotificationMessage copyMessage(const OpcUa_NotificationMessage& message)
{
    OpcUa_NotificationMessage copy;
    OpcUa_NotificationMessage_Initialize(&copy);
    copy.SequenceNumber = message.SequenceNumber;
    copy.PublishTime = message.PublishTime;
    if (message.NoOfNotificationData <= 0)
        return copy;
    copy.NotificationData = static_cast<OpcUa_ExtensionObject*>(
        OpcUa_Memory_Alloc(sizeof(OpcUa_ExtensionObject) * message.NoOfNotificationData));
    if (copy.NotificationData == nullptr)
        return copy;
    copy.NoOfNotificationData = message.NoOfNotificationData;
    for (OpcUa_Int32 i = 0; i < message.NoOfNotificationData; ++i)
    {
        OpcUa_ExtensionObject_Initialize(&copy.NotificationData[i]);
        OpcUa_ExtensionObject_CopyTo(&message.NotificationData[i], &copy.NotificationData[i]);
    }
    return copy;
}

template <class T> T* toStackArray(std::vector<T>& items)
{
    auto* array = static_cast<T*>(OpcUa_Memory_Alloc(sizeof(T) * items.size()));
    if (array != nullptr)
        std::copy(items.begin(), items.end(), array);
    return array;
}

// Publishing cycles fall on this phase of a grid of the tick count, halfway between two passes of
// the samplers, whose passes fall on multiples of their base interval (50 ms by default): a value
// sampled for a cycle is not taken over by the next sample before the cycle collects it, however
// the threads are held up by a few milliseconds.
constexpr OpcUa_UInt32 kCycleGridMs = 50;
constexpr OpcUa_UInt32 kCyclePhaseMs = 25;

// The latest tick at or before tick that lies on the cycles' phase.
OpcUa_UInt32 onCyclePhase(OpcUa_UInt32 tick)
{
    return tick - (tick + kCycleGridMs - kCyclePhaseMs) % kCycleGridMs;
}

OpcUa_UInt32 intervalTicks(OpcUa_Double publishingInterval)
{
    return publishingInterval >= 1.0 ? static_cast<OpcUa_UInt32>(publishingInterval) : 1;
}
} // namespace

UaSubscription::UaSubscription()
{
    s_instances.fetch_add(1);
}

UaSubscription::UaSubscription(UaSession* session, ServerManagerLink* serverManager,
                               OpcUa_Double publishingInterval, OpcUa_UInt32& lifetimeCount,
                               OpcUa_UInt32 maxKeepAliveCount, OpcUa_UInt32 maxRetransmissionQueueSize,
                               OpcUa_UInt32 maxNotificationsPerPublish, bool publishingEnabled,
                               OpcUa_Byte priority)
    : m_pSession(session), m_publishingEnabled(publishingEnabled),
      m_maxNotificationsPerPublish(maxNotificationsPerPublish), m_priority(priority),
      m_publishingInterval(publishingInterval),
      m_nextCycleTick(onCyclePhase(OpcUa_GetTickCount() + intervalTicks(publishingInterval))),
      m_maxRetransmissionQueueSize(maxRetransmissionQueueSize)
{
    s_instances.fetch_add(1);
    m_pSession->addReference();
    m_maxKeepAliveCount = maxKeepAliveCount == 0 ? 1 : maxKeepAliveCount;
    m_keepAliveCounter = m_maxKeepAliveCount - 1;
    m_lifetimeKeepAlives = SubscriptionRevision::settleLifetime(m_maxKeepAliveCount, lifetimeCount);

    OpcUa_UInt32 dataLimit = 100;
    OpcUa_UInt32 eventLimit = 1000;
    ServerConfig* config = serverManager != nullptr ? serverManager->getServerConfig() : nullptr;
    if (serverManager != nullptr)
        m_pNodeManagerRoot = serverManager->getNodeManagerRoot();
    if (config != nullptr)
        config->getMonitoredItemQueueLimits(dataLimit, eventLimit);
    m_maxDataQueueSize = dataLimit == 0 ? 1 : dataLimit == 0xFFFFFFFF ? 10000 : dataLimit;
    m_items.maxEventQueueSize = eventLimit == 0 ? 1 : eventLimit == 0xFFFFFFFF ? 100000 : eventLimit;
    if (UaTrace::isTraceLevelOn(5))
        UaTrace::traceLevel5("Ctor UaSubscription");
}

UaSubscription::~UaSubscription()
{
    if (UaTrace::isTraceLevelOn(5))
        UaTrace::traceLevel5("--> Dtor UaSubscription [SubID=%d]", static_cast<int>(m_subscriptionId));
    if (!m_isClosed && m_pSession != nullptr)
        UaSubscription::close(false);
    while (getPendingTransactionCount() > 0)
        waitForTransactions(0);
    deleteAllItems();
    m_retransmissionQueue.clear();
    s_instances.fetch_sub(1);
    if (UaTrace::isTraceLevelOn(5))
        UaTrace::traceLevel5("<-- Dtor UaSubscription");
}

void UaSubscription::setSubscriptionId(OpcUa_UInt32 subscriptionId)
{
    UaMutexLocker lock(&m_items.mutex);
    m_subscriptionId = subscriptionId;
}

OpcUa_UInt32 UaSubscription::subscriptionId()
{
    UaMutexLocker lock(&m_items.mutex);
    return m_subscriptionId;
}

void UaSubscription::setMonitoredItemLimits(OpcUa_UInt32 maxPerServer, OpcUa_UInt32 maxPerSubscription)
{
    UaMutexLocker lock(&m_items.mutex);
    m_maxMonitoredItemsPerServer = maxPerServer;
    m_maxMonitoredItemsPerSubscription = maxPerSubscription;
}

void UaSubscription::setThreadPool(UaThreadPool* threadPool)
{
    UaMutexLocker lock(&m_items.mutex);
    m_pThreadPool = threadPool;
}

OpcUa_UInt32 UaSubscription::getState()
{
    UaMutexLocker lock(&m_items.mutex);
    return m_state;
}

OpcUa_UInt32 UaSubscription::getPendingTransactionCount()
{
    UaMutexLocker lock(&m_items.mutex);
    return static_cast<OpcUa_UInt32>(m_transactions.size()) + m_completing;
}

void UaSubscription::waitForTransactions(OpcUa_UInt32 limit)
{
    // Woken by the transaction that leaves; bounded in real time, as a manager may never answer.
    std::unique_lock<UaMutex> lock(m_items.mutex);
    m_transactionsLeft.wait_for(lock, std::chrono::seconds(10),
                                [&] { return m_transactions.size() + m_completing <= limit; });
}

UaSession* UaSubscription::session()
{
    UaMutexLocker lock(&m_items.mutex);
    if (m_pSession != nullptr)
        m_pSession->addReference();
    return m_pSession;
}

void UaSubscription::setState(OpcUa_UInt32 state)
{
    if (m_state == state)
        return;
    m_state = state;
    if (UaTrace::isTraceLevelOn(4))
        UaTrace::traceLevel4("STATE of UaSubscription changed to %s [SubID=%d]", stateName(state),
                             static_cast<int>(m_subscriptionId));
}

void UaSubscription::setPublishingMode(bool publishingEnabled)
{
    UaMutexLocker lock(&m_items.mutex);
    if (m_state == CLOSED)
    {
        UaTrace::traceLevel6("<-- UaSubscription::setPublishingMode - Subscription in CLOSED state");
        return;
    }
    m_publishingEnabled = publishingEnabled;
}

void UaSubscription::modifySubscription(OpcUa_Double publishingInterval, OpcUa_UInt32& lifetimeCount,
                                        OpcUa_UInt32 maxKeepAliveCount,
                                        OpcUa_UInt32 maxNotificationsPerPublish, OpcUa_Byte priority)
{
    UaMutexLocker lock(&m_items.mutex);
    if (m_state == CLOSED)
    {
        UaTrace::traceLevel6("<-- UaSubscription::modifySubscription - Subscription in CLOSED state");
        return;
    }
    m_publishingInterval = publishingInterval;
    m_maxNotificationsPerPublish = maxNotificationsPerPublish;
    m_priority = priority;
    m_maxKeepAliveCount = maxKeepAliveCount == 0 ? 1 : maxKeepAliveCount;
    m_lifetimeKeepAlives = SubscriptionRevision::settleLifetime(m_maxKeepAliveCount, lifetimeCount);
    m_lifetimeCounter = 0;
}

OpcUa_UInt32 UaSubscription::checkPublishTimer(bool& publishDue)
{
    publishDue = false;
    UaMutexLocker lock(&m_items.mutex);
    if (m_state == CLOSED)
        return 10000;
    const OpcUa_UInt32 interval = intervalTicks(m_publishingInterval);
    const OpcUa_UInt32 now = OpcUa_GetTickCount();
    auto ahead = static_cast<OpcUa_Int32>(m_nextCycleTick - now);
    // The clock went back, or the interval was shortened: the cycles start afresh from now.
    if (ahead > static_cast<OpcUa_Int32>(interval))
    {
        m_nextCycleTick = onCyclePhase(now + interval);
        ahead = static_cast<OpcUa_Int32>(m_nextCycleTick - now);
    }
    if (ahead <= 0)
    {
        // Each cycle is due one interval after the one before was due, so that the cycles keep
        // pace with the sampling; cycles missed by a whole interval or more are dropped.
        const auto late = static_cast<OpcUa_UInt32>(-static_cast<OpcUa_Int64>(ahead));
        m_nextCycleTick += interval * (late / interval + 1);
        if (m_state == LATE)
        {
            if (++m_keepAliveCounter >= m_maxKeepAliveCount)
            {
                m_keepAliveCounter = 0;
                if (++m_lifetimeCounter >= m_lifetimeKeepAlives)
                    setState(CLOSED);
            }
        }
        else
        {
            publishDue = true;
        }
        ahead = static_cast<OpcUa_Int32>(m_nextCycleTick - now);
    }
    const auto left = static_cast<OpcUa_UInt32>(ahead);
    if (UaTrace::isTraceLevelOn(7))
        UaTrace::traceLevel7("<-- UaSubscription::checkPublishTimer time=%d", static_cast<int>(left));
    return left;
}

void UaSubscription::publishOrGoLate(UaMutexLocker& lock, bool countKeepAlive)
{
    UaSession* session = m_pSession;
    session->addReference();
    lock.unlock();
    PublishRequestContext* request = session->getPublishRequest();
    if (request != nullptr)
    {
        publishAll(session, request);
    }
    else
    {
        lock.lock(&m_items.mutex);
        if (countKeepAlive)
            m_keepAliveCounter += 1;
        const bool goLate = m_state != CLOSED && !m_isClosed;
        if (goLate)
            setState(LATE);
        lock.unlock();
        if (goLate)
            session->queueSubscriptionForPublish(this);
    }
    session->releaseReference();
}

void UaSubscription::publishAll(UaSession* session, PublishRequestContext* request)
{
    bool more = false;
    publish(request, more);
    while (more)
    {
        request = session->getPublishRequest();
        if (request == nullptr)
        {
            session->queueSubscriptionForPublish(this);
            return;
        }
        publish(request, more);
    }
}

void UaSubscription::checkAvailableNotifications()
{
    UaMutexLocker lock(&m_items.mutex);
    if (m_sendingInProgress && UaTrace::isTraceLevelOn(2))
        UaTrace::traceLevel2("WARNING: UaSubscription::checkAvailableNotifications [SubID=%d] - sending of "
                             "previous response still in progress",
                             static_cast<int>(m_subscriptionId));
    if (m_isClosed || m_pSession == nullptr)
        return;
    if (m_items.pendingDataNotifications == 0 && m_items.pendingEventNotifications == 0 &&
        m_items.moreNotificationsPending > 0 && !anyNotificationsLeft())
        m_items.moreNotificationsPending = 0;
    const bool nothing = !m_publishingEnabled ||
                         (m_items.pendingDataNotifications < 1 && m_items.pendingEventNotifications < 1 &&
                          m_items.moreNotificationsPending < 1);
    if (nothing)
    {
        if (m_state != KEEPALIVE)
            setState(KEEPALIVE);
        if (++m_keepAliveCounter < m_maxKeepAliveCount)
            return;
        m_keepAliveCounter = 0;
        publishOrGoLate(lock, false);
        return;
    }
    m_sendingInProgress = true;
    publishOrGoLate(lock, true);
    lock.lock(&m_items.mutex);
    m_sendingInProgress = false;
}

bool UaSubscription::anyNotificationsLeft()
{
    for (UaMonitoredItem* item : m_monitoredItems)
    {
        if (item == nullptr)
            continue;
        if (item->monitoringMode() == OpcUa_MonitoringMode_Reporting && item->hasNotifications())
            return true;
        if (!item->isTriggered())
            continue;
        for (OpcUa_UInt32 linked : item->triggerLinks())
        {
            UaMonitoredItem* target = monitoredItem(linked);
            if (target != nullptr && target->hasNotifications())
                return true;
        }
    }
    return false;
}

void UaSubscription::collectFrom(UaMonitoredItem* item, std::vector<OpcUa_MonitoredItemNotification>& data,
                                 std::vector<OpcUa_EventFieldList>& events)
{
    const auto room = [&]
    { return m_maxNotificationsPerPublish - static_cast<OpcUa_UInt32>(data.size() + events.size()); };
    if (item->itemType() == UaMonitoredItem::Data)
    {
        auto* dataItem = static_cast<UaMonitoredItemData*>(item);
        while (room() > 0)
        {
            OpcUa_MonitoredItemNotification notification;
            OpcUa_MonitoredItemNotification_Initialize(&notification);
            if (!dataItem->popValue(notification.Value))
                break;
            notification.ClientHandle = item->clientHandle();
            trimTimestamps(notification.Value, item->timestampsToReturn());
            data.push_back(notification);
        }
        return;
    }
    // Events beyond the maximum stay queued for the next response.
    static_cast<UaMonitoredItemEvent*>(item)->takeEvents(room(), events);
}

void UaSubscription::collect(std::vector<OpcUa_MonitoredItemNotification>& data,
                             std::vector<OpcUa_EventFieldList>& events, bool& moreNotifications)
{
    const auto full = [&] { return data.size() + events.size() >= m_maxNotificationsPerPublish; };
    for (UaMonitoredItem* item : m_monitoredItems)
    {
        if (full())
            break;
        if (item == nullptr)
            continue;
        if (item->monitoringMode() == OpcUa_MonitoringMode_Reporting)
            collectFrom(item, data, events);
        if (!item->isTriggered())
            continue;
        for (OpcUa_UInt32 linked : item->triggerLinks())
        {
            UaMonitoredItem* target = monitoredItem(linked);
            if (target != nullptr && target->monitoringMode() != OpcUa_MonitoringMode_Reporting && !full())
                collectFrom(target, data, events);
        }
        item->clearTriggered();
    }
    // A response stopped at the maximum says so only when something is in fact left.
    moreNotifications = full() && anyNotificationsLeft();
}

UaStatus UaSubscription::publish(PublishRequestContext* request, bool& moreNotifications)
{
    moreNotifications = false;
    UaMutexLocker lock(&m_items.mutex);
    UaSession* session = m_pSession;
    if (m_state == CLOSED || m_isClosed || session == nullptr)
    {
        UaSession* owner = request->m_serviceContext.pSession() != nullptr
                               ? static_cast<UaSession*>(request->m_serviceContext.pSession())
                               : session;
        if (owner != nullptr)
            owner->cancelPublishRequest(request, OpcUa_BadTimeout);
        UaTrace::traceLevel6("<-- UaSubscription::publish [ret=OpcUa_BadSubscriptionIdInvalid]");
        return OpcUa_BadSubscriptionIdInvalid;
    }
    session->addReference();
    OpcUa_Void* response = nullptr;
    OpcUa_EncodeableType* responseType = nullptr;
    const OpcUa_StatusCode begun =
        session->beginPublishAnswer(request, "UaSubscription::publish", response, responseType);
    if (OpcUa_IsBad(begun))
    {
        session->releaseReference();
        return begun;
    }

    std::vector<OpcUa_MonitoredItemNotification>& data = m_collected;
    data.clear();
    std::vector<OpcUa_EventFieldList> events;
    if (m_publishingEnabled &&
        (m_items.pendingDataNotifications > 0 || m_items.pendingEventNotifications > 0 ||
         m_items.moreNotificationsPending > 0))
    {
        collect(data, events, moreNotifications);
        m_items.pendingDataNotifications = 0;
        m_items.pendingEventNotifications = 0;
        m_items.moreNotificationsPending = moreNotifications ? 1 : 0;
    }
    const bool hasNotifications = !data.empty() || !events.empty();
    const OpcUa_UInt32 sequenceNumber = m_nextSequenceNumber;
    if (hasNotifications)
        m_nextSequenceNumber = m_nextSequenceNumber == 0xFFFFFFFF ? 1 : m_nextSequenceNumber + 1;

    auto* publish = static_cast<OpcUa_PublishResponse*>(response);
    UaStatus(OpcUa_Good).fillResponseHeader(request->m_pRequest->RequestHeader, publish->ResponseHeader);
    publish->SubscriptionId = m_subscriptionId;
    std::vector<OpcUa_UInt32> available;
    for (const auto& kept : m_retransmissionQueue)
        available.push_back(kept->message().SequenceNumber);
    if (hasNotifications)
        available.push_back(sequenceNumber);
    publish->NoOfAvailableSequenceNumbers = static_cast<OpcUa_Int32>(available.size());
    publish->AvailableSequenceNumbers = available.empty() ? nullptr : toStackArray(available);
    publish->MoreNotifications = moreNotifications ? OpcUa_True : OpcUa_False;
    setState(NORMAL);
    m_keepAliveCounter = 0;
    m_lifetimeCounter = 0;

    OpcUa_NotificationMessage& message = publish->NotificationMessage;
    std::shared_ptr<const KeptMessage> kept;
    message.SequenceNumber = sequenceNumber;
    message.PublishTime = UaDateTime::now();
    const OpcUa_Int32 parts = (data.empty() ? 0 : 1) + (events.empty() ? 0 : 1);
    if (parts > 0)
    {
        message.NotificationData =
            static_cast<OpcUa_ExtensionObject*>(OpcUa_Memory_Alloc(sizeof(OpcUa_ExtensionObject) * parts));
        OpcUa_Int32 part = 0;
        if (!data.empty())
        {
            OpcUa_ExtensionObject_Initialize(&message.NotificationData[part]);
            OpcUa_Void* body = nullptr;
            OpcUa_EncodeableObject_CreateExtension(&OpcUa_DataChangeNotification_EncodeableType,
                                                   &message.NotificationData[part++], &body);
            auto* change = static_cast<OpcUa_DataChangeNotification*>(body);
            change->NoOfMonitoredItems = static_cast<OpcUa_Int32>(data.size());
            change->MonitoredItems = toStackArray(data);
        }
        if (!events.empty())
        {
            OpcUa_ExtensionObject_Initialize(&message.NotificationData[part]);
            OpcUa_Void* body = nullptr;
            OpcUa_EncodeableObject_CreateExtension(&OpcUa_EventNotificationList_EncodeableType,
                                                   &message.NotificationData[part++], &body);
            auto* list = static_cast<OpcUa_EventNotificationList*>(body);
            list->NoOfEvents = static_cast<OpcUa_Int32>(events.size());
            list->Events = toStackArray(events);
        }
        message.NoOfNotificationData = part;
        data.clear();
        if (m_maxRetransmissionQueueSize != 0)
        {
            // The queue keeps the message's data; the response only borrows it while it is sent.
            kept = std::make_shared<const KeptMessage>(message);
            m_retransmissionQueue.push_back(kept);
            trimRetransmissionQueue();
        }
    }
    else if (UaTrace::isTraceLevelOn(4))
    {
        UaTrace::traceLevel4("KEEPALIVE message for UaSubscription [SubID=%d]",
                             static_cast<int>(m_subscriptionId));
    }
    UaStatusCodeArray& results = request->m_acknowledgeResults;
    publish->NoOfResults = static_cast<OpcUa_Int32>(results.length());
    publish->Results = results.data();
    results.detach();
    lock.unlock();

    session->sendPublishAnswer(request, response, responseType, "Response", kept ? &message : nullptr);
    UaTrace::traceLevel4("DONE  Send Response for Publish");
    session->releaseReference();
    return OpcUa_Good;
}

void UaSubscription::trimRetransmissionQueue()
{
    while (m_retransmissionQueue.size() > m_maxRetransmissionQueueSize)
        m_retransmissionQueue.pop_front();
}

UaStatus UaSubscription::republish(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                   const OpcUa_RequestHeader& header, OpcUa_UInt32 sequenceNumber)
{
    UaMutexLocker lock(&m_items.mutex);
    if (m_state == CLOSED || m_isClosed)
    {
        UaTrace::traceLevel6("<-- UaSubscription::republish [ret=OpcUa_BadSubscriptionIdInvalid]");
        return OpcUa_BadSubscriptionIdInvalid;
    }
    auto kept = std::find_if(m_retransmissionQueue.begin(), m_retransmissionQueue.end(),
                             [&](const auto& m) { return m->message().SequenceNumber == sequenceNumber; });
    if (kept == m_retransmissionQueue.end())
    {
        UaTrace::traceLevel6("<-- UaSubscription::republish [ret=OpcUa_BadMessageNotAvailable]");
        return OpcUa_BadMessageNotAvailable;
    }
    OpcUa_Void* response = nullptr;
    OpcUa_EncodeableType* responseType = nullptr;
    const OpcUa_StatusCode begun =
        OpcUa_Endpoint_BeginSendResponse(endpoint, context, &response, &responseType);
    if (OpcUa_IsBad(begun))
    {
        UaTrace::traceLevel6("<-- UaSubscription::republish [ret=0x%lx] - BeginSendResponse FAILED",
                             static_cast<unsigned long>(begun));
        return begun;
    }
    auto* republish = static_cast<OpcUa_RepublishResponse*>(response);
    UaStatus(OpcUa_Good).fillResponseHeader(header, republish->ResponseHeader);
    republish->NotificationMessage = copyMessage((*kept)->message());
    // The republished message moves to the end of the queue.
    const std::shared_ptr<const KeptMessage> record = *kept;
    m_retransmissionQueue.erase(kept);
    m_retransmissionQueue.push_back(record);
    UaSession* session = m_pSession;
    session->addReference();
    lock.unlock();

    if (session->secureChannelStillValid())
    {
        UaTrace::traceLevel4("CALL  Send Response for Republish [Request=%d][ServiceResult=0x%lx]",
                             static_cast<int>(header.RequestHandle), 0ul);
        OpcUa_Endpoint_EndSendResponse(endpoint, &context, OpcUa_Good, response, responseType);
    }
    else
    {
        UaTrace::traceLevel4("CALL  Cancel Response - Secure Channel is invalid [Request=%d]",
                             static_cast<int>(header.RequestHandle));
        OpcUa_Endpoint_CancelSendResponse(endpoint, OpcUa_Good, nullptr, &context);
    }
    OpcUa_EncodeableObject_Delete(responseType, &response);
    UaTrace::traceLevel4("DONE  Send Response for Republish");
    session->releaseReference();
    return OpcUa_Good;
}

OpcUa_StatusCode UaSubscription::ackNotification(OpcUa_UInt32 sequenceNumber)
{
    UaTrace::traceLevel6("--> UaSubscription::ackNotification sequenceNumber = %d",
                         static_cast<int>(sequenceNumber));
    UaMutexLocker lock(&m_items.mutex);
    OpcUa_StatusCode result = OpcUa_BadSequenceNumberUnknown;
    for (auto it = m_retransmissionQueue.begin(); it != m_retransmissionQueue.end(); ++it)
    {
        if ((*it)->message().SequenceNumber == sequenceNumber)
        {
            m_retransmissionQueue.erase(it);
            result = OpcUa_Good;
            break;
        }
    }
    UaTrace::traceLevel6("<-- UaSubscription::ackNotification [ret=0x%lx]",
                         static_cast<unsigned long>(result));
    return result;
}

UaStatus UaSubscription::transfer(UaSession* newSession, bool sendInitialValues,
                                  std::vector<OpcUa_UInt32>& availableSequenceNumbers)
{
    UaMutexLocker lock(&m_items.mutex);
    if (m_state == CLOSED || m_pSession == nullptr)
    {
        UaTrace::traceLevel6("<-- UaSubscription::transfer - Subscription in CLOSED state");
        return OpcUa_BadSubscriptionIdInvalid;
    }
    if (!newSession->isSameUser(m_pSession))
    {
        UaTrace::traceLevel6(
            "<-- UaSubscription::transfer - Users do not match ret = OpcUa_BadUserAccessDenied");
        return OpcUa_BadUserAccessDenied;
    }
    m_sendInitialValues = sendInitialValues;
    UaSession* oldSession = m_pSession;
    newSession->addReference();
    // The items count against the session that owns them.
    oldSession->releaseMonitoredItems(m_usedItems);
    newSession->reserveMonitoredItems(m_usedItems, true);
    m_pSession = newSession;
    const OpcUa_UInt32 id = m_subscriptionId;
    lock.unlock();
    oldSession->subscriptionInvalidated(this);
    oldSession->queueSubscriptionStatusChangeNotification(id, OpcUa_GoodSubscriptionTransferred);
    UaStatus result = newSession->subscriptionCreated(this);

    lock.lock(&m_items.mutex);
    if (result.isGood())
    {
        if (m_sendInitialValues)
        {
            // The new session's client has seen nothing yet: Reporting values are sent again.
            for (UaMonitoredItem* item : m_monitoredItems)
            {
                if (item == nullptr || item->itemType() != UaMonitoredItem::Data ||
                    item->monitoringMode() != OpcUa_MonitoringMode_Reporting)
                    continue;
                static_cast<UaMonitoredItemData*>(item)->requeueLastValue();
            }
        }
        if (m_state == LATE)
            newSession->queueSubscriptionForPublish(this);
        availableSequenceNumbers.clear();
        for (const auto& kept : m_retransmissionQueue)
            availableSequenceNumbers.push_back(kept->message().SequenceNumber);
    }
    lock.unlock();
    oldSession->releaseReference();
    UaTrace::traceLevel6("<-- UaSubscription::transfer [ret=0x%lx]",
                         static_cast<unsigned long>(result.statusCode()));
    return result;
}

UaStatus UaSubscription::close(bool sessionIsClosing)
{
    UaMutexLocker lock(&m_items.mutex);
    if (m_pSession == nullptr || m_isClosed)
    {
        UaTrace::traceLevel6("<-- UaSubscription::close - already closed");
        return OpcUa_Good;
    }
    const OpcUa_UInt32 previous = m_state;
    if (UaTrace::isTraceLevelOn(4))
        UaTrace::traceLevel4("STATE of UaSubscription changed to CLOSED [SubID=%d]",
                             static_cast<int>(m_subscriptionId));
    m_state = CLOSED;
    m_isClosed = true;
    UaSession* session = m_pSession;
    const OpcUa_UInt32 id = m_subscriptionId;
    lock.unlock();
    if (!sessionIsClosing)
    {
        session->subscriptionInvalidated(this);
        if (previous == CLOSED)
            session->queueSubscriptionStatusChangeNotification(id, OpcUa_BadTimeout);
    }
    // The managers' stop answers remove the items; what no manager answers stays until the
    // destructor, which waits for every transaction.
    stopAllItems(session);
    waitForTransactions(0);
    lock.lock(&m_items.mutex);
    m_pSession = nullptr;
    lock.unlock();
    session->releaseReference();
    return OpcUa_Good;
}

UaStatus UaSubscription::setTriggering(OpcUa_UInt32 triggeringItemId,
                                       const std::vector<OpcUa_UInt32>& linksToAdd,
                                       const std::vector<OpcUa_UInt32>& linksToRemove,
                                       std::vector<OpcUa_StatusCode>& addResults,
                                       std::vector<OpcUa_StatusCode>& removeResults)
{
    UaMutexLocker lock(&m_items.mutex);
    if (m_state == CLOSED)
    {
        UaTrace::traceLevel6("<-- UaSubscription::setTriggering [ret=OpcUa_BadSubscriptionIdInvalid] - "
                             "Subscription in CLOSED state");
        return OpcUa_BadSubscriptionIdInvalid;
    }
    UaMonitoredItem* item = monitoredItem(triggeringItemId);
    if (item == nullptr)
    {
        UaTrace::traceLevel6("<-- UaSubscription::setTriggering [ret=OpcUa_BadMonitoredItemIdInvalid] - "
                             "TriggeringItem not found");
        return OpcUa_BadMonitoredItemIdInvalid;
    }
    std::vector<OpcUa_UInt32>& links = item->triggerLinks();
    removeResults.assign(linksToRemove.size(), OpcUa_BadMonitoredItemIdInvalid);
    for (size_t i = 0; i < linksToRemove.size(); ++i)
    {
        auto it = std::find(links.begin(), links.end(), linksToRemove[i]);
        if (monitoredItem(linksToRemove[i]) == nullptr || it == links.end())
            continue;
        links.erase(it);
        removeResults[i] = OpcUa_Good;
    }
    addResults.assign(linksToAdd.size(), OpcUa_BadMonitoredItemIdInvalid);
    for (size_t i = 0; i < linksToAdd.size(); ++i)
    {
        if (monitoredItem(linksToAdd[i]) == nullptr ||
            std::find(links.begin(), links.end(), linksToAdd[i]) != links.end())
            continue;
        links.push_back(linksToAdd[i]);
        addResults[i] = OpcUa_Good;
    }
    if (links.empty())
        std::vector<OpcUa_UInt32>().swap(links);
    return OpcUa_Good;
}

UaStatus UaSubscription::beginConditionRefresh(const ServiceContext& serviceContext)
{
    struct Refresh
    {
        std::vector<EventManager*> managers;
        std::vector<OpcUa_UInt32> handles;
    };
    std::vector<Refresh> refreshes;
    {
        UaMutexLocker lock(&m_items.mutex);
        if (m_state == CLOSED || m_isClosed)
            return OpcUa_BadSubscriptionIdInvalid;
        for (UaMonitoredItem* item : m_monitoredItems)
        {
            if (item == nullptr || item->itemType() != UaMonitoredItem::Event ||
                item->monitoringMode() != OpcUa_MonitoringMode_Reporting)
                continue;
            auto* events = static_cast<UaMonitoredItemEvent*>(item);
            refreshes.push_back({events->eventManagers(), events->eventManagerHandles()});
        }
    }
    // The managers are called outside the mutex: they answer with events into the items.
    for (const Refresh& refresh : refreshes)
    {
        UaByteString startId, endId, none;
        EventData::createEventId(none, startId);
        EventData::createEventId(none, endId);
        // The first and the last manager still serving the item frame the refresh, so the client
        // gets one start and one end event even when a slot's manager has gone.
        std::vector<size_t> serving;
        for (size_t i = 0; i < refresh.managers.size(); ++i)
        {
            if (refresh.managers[i] != nullptr)
                serving.push_back(i);
        }
        for (size_t i : serving)
        {
            const UaStatus refreshed = refresh.managers[i]->beginConditionRefresh(
                serviceContext, refresh.handles[i], i == serving.front() ? startId : none,
                i == serving.back() ? endId : none);
            if (refreshed.isBad())
                UaTrace::traceLevel1(
                    "Error: UaSubscription::beginConditionRefresh - beginConditionRefresh to "
                    "EventManager failed [ret=0x%lx]",
                    static_cast<unsigned long>(refreshed.statusCode()));
        }
    }
    return OpcUa_Good;
}

OpcUa_UInt32 UaSubscription::addMonitoredItem(UaMonitoredItem* item, OpcUa_StatusCode* refusal)
{
    UaMutexLocker lock(&m_items.mutex);
    OpcUa_StatusCode refused = OpcUa_Good;
    const OpcUa_UInt32 serverLimit =
        m_maxMonitoredItemsPerServer != 0 ? m_maxMonitoredItemsPerServer : kMaxServerMonitoredItems;
    // Counted in before the other checks, so that items added at once on other subscriptions
    // cannot pass the limit together.
    OpcUa_UInt32 serverItems = s_serverItems.load();
    do
    {
        if (serverItems >= serverLimit)
        {
            refused = OpcUa_BadTooManyMonitoredItems;
            break;
        }
    } while (!s_serverItems.compare_exchange_weak(serverItems, serverItems + 1));
    if (OpcUa_IsGood(refused))
    {
        if (m_maxMonitoredItemsPerSubscription != 0 && m_usedItems >= m_maxMonitoredItemsPerSubscription)
            refused = OpcUa_BadOutOfMemory;
        else if (m_pSession != nullptr && !m_pSession->reserveMonitoredItems(1, false))
            refused = OpcUa_BadTooManyMonitoredItems;
        if (OpcUa_IsBad(refused))
            s_serverItems.fetch_sub(1);
    }
    if (OpcUa_IsBad(refused))
    {
        if (refusal != nullptr)
            *refusal = refused;
        return 0;
    }
    OpcUa_UInt32 id;
    if (!m_freeItemIds.empty())
    {
        id = m_freeItemIds.back();
        m_freeItemIds.pop_back();
        m_monitoredItems[id - 1] = item;
    }
    else
    {
        if (m_monitoredItems.size() == m_monitoredItems.capacity())
            m_monitoredItems.reserve(m_monitoredItems.size() + 100);
        m_monitoredItems.push_back(item);
        id = static_cast<OpcUa_UInt32>(m_monitoredItems.size());
    }
    ++m_usedItems;
    return id;
}

bool UaSubscription::deleteMonitoredItem(OpcUa_UInt32 monitoredItemId)
{
    UaMonitoredItem* item;
    {
        UaMutexLocker lock(&m_items.mutex);
        item = monitoredItem(monitoredItemId);
        if (item == nullptr)
            return false;
        m_monitoredItems[monitoredItemId - 1] = nullptr;
        m_freeItemIds.push_back(monitoredItemId);
        --m_usedItems;
        s_serverItems.fetch_sub(1);
        if (m_pSession != nullptr)
            m_pSession->releaseMonitoredItems(1);
    }
    delete item;
    return true;
}

UaMonitoredItem* UaSubscription::monitoredItem(OpcUa_UInt32 monitoredItemId)
{
    UaMutexLocker lock(&m_items.mutex);
    if (monitoredItemId == 0 || monitoredItemId > m_monitoredItems.size())
        return nullptr;
    return m_monitoredItems[monitoredItemId - 1];
}

OpcUa_UInt32 UaSubscription::monitoredItemCount()
{
    UaMutexLocker lock(&m_items.mutex);
    return m_usedItems;
}

void UaSubscription::deleteAllItems()
{
    std::vector<UaMonitoredItem*> items;
    {
        UaMutexLocker lock(&m_items.mutex);
        for (UaMonitoredItem* item : m_monitoredItems)
        {
            if (item != nullptr)
                items.push_back(item);
        }
        s_serverItems.fetch_sub(m_usedItems);
        if (m_pSession != nullptr)
            m_pSession->releaseMonitoredItems(m_usedItems);
        m_monitoredItems.clear();
        m_freeItemIds.clear();
        m_usedItems = 0;
    }
    for (UaMonitoredItem* item : items)
        delete item;
}
