#include "uasession.h"

#include "publishrequestcontext.h"
#include "registerednode.h"
#include "uasubscription.h"

#include <handletable.h>

#include <uamutex.h>
#include <uatrace.h>

#include <atomic>
#include <list>
#include <map>
#include <set>
#include <utility>
#include <vector>

struct UaSession::Private
{
    std::list<UaSubscription*> subscriptions;
    HandleTable<RegisteredNode> handleTable;
    // The alias of each registered node.
    std::map<UaNodeId, OpcUa_UInt32> aliases;
    std::list<PublishRequestContext*> publishRequests;
    std::list<UaSubscription*> lateSubscriptions;
    std::list<std::pair<OpcUa_UInt32, OpcUa_StatusCode>> statusChanges;
    UaMutex sendResponseMutex;
    UaByteString serverNonce;
    bool boundToCertificate = false;
    OpcUa_UInt32 activeServiceCount = 0;
    UaEndpoint* activatingEndpoint = nullptr;
    std::atomic<OpcUa_UInt32> monitoredItems{0};
    // Set while the destructor runs: the count of references is 0 already.
    bool destroying = false;
};

UaSession::UaSession(OpcUa_UInt32 sessionId, const UaNodeId& authenticationToken)
    : Session(sessionId, authenticationToken), e(std::make_unique<Private>())
{
    if (UaTrace::isTraceLevelOn(5))
        UaTrace::traceLevel5("Ctor UaSession [ID=%d]", static_cast<int>(sessionId));
}

UaSession::~UaSession()
{
    if (UaTrace::isTraceLevelOn(5))
        UaTrace::traceLevel5("--> Dtor UaSession [ID=%d]", static_cast<int>(sessionId()));
    // The base destructor could only reach Session::close: close here, so that the
    // subscriptions and queued requests are let go of.
    e->destroying = true;
    if (!isClosed())
        close(false);
    clearPublishRequests();
    std::list<UaSubscription*> late;
    {
        UaMutexLocker lock(sessionMutex());
        late.swap(e->lateSubscriptions);
        late.splice(late.end(), e->subscriptions);
    }
    for (UaSubscription* subscription : late)
        subscription->releaseReference();
}

UaStatus UaSession::close(bool deleteSubscriptions)
{
    if (UaTrace::isTraceLevelOn(6))
        UaTrace::traceLevel6("--> UaSession::close [ID=%d]", static_cast<int>(sessionId()));
    if (!markClosed())
    {
        if (UaTrace::isTraceLevelOn(6))
            UaTrace::traceLevel6("<-- UaSession::close [ret=OpcUa_BadInvalidState]");
        return OpcUa_BadInvalidState;
    }
    std::list<UaSubscription*> subscriptions;
    bool requestsQueued;
    {
        UaMutexLocker lock(sessionMutex());
        subscriptions.swap(e->subscriptions);
    }
    for (UaSubscription* subscription : subscriptions)
    {
        if (deleteSubscriptions)
            subscription->close(true);
        subscription->releaseReference();
    }
    {
        UaMutexLocker lock(sessionMutex());
        requestsQueued = !e->publishRequests.empty();
    }
    if (requestsQueued)
        cancelPublishRequests(OpcUa_BadSessionClosed);
    std::list<UaSubscription*> late;
    {
        UaMutexLocker lock(sessionMutex());
        late.swap(e->lateSubscriptions);
    }
    for (UaSubscription* subscription : late)
        subscription->releaseReference();
    afterClose();
    if (UaTrace::isTraceLevelOn(6))
        UaTrace::traceLevel6("<-- UaSession::close [ret=0x%lx]", static_cast<unsigned long>(OpcUa_Good));
    return OpcUa_Good;
}

void UaSession::invalidateSecureChannel()
{
    clearPublishRequests();
    Session::invalidateSecureChannel();
}

void UaSession::lockSendResponse()
{
    if (UaTrace::isTraceLevelOn(6))
        UaTrace::traceLevel6("--> UaSession::lockSendResponse [ID=%d]", static_cast<int>(sessionId()));
    e->sendResponseMutex.lock();
}

void UaSession::unlockSendResponse()
{
    if (UaTrace::isTraceLevelOn(6))
        UaTrace::traceLevel6("--> UaSession::unlockSendResponse [ID=%d]", static_cast<int>(sessionId()));
    e->sendResponseMutex.unlock();
}

bool UaSession::secureChannelStillValid()
{
    lockSendResponse();
    const bool valid = isSecureChannelValid();
    unlockSendResponse();
    return valid;
}

void UaSession::startingServiceProcessing()
{
    UaMutexLocker lock(sessionMutex());
    addReference();
    ++e->activeServiceCount;
    if (UaTrace::isTraceLevelOn(6))
        UaTrace::traceLevel6("<-- UaSession::startingServiceProcessing - activeServiceCount = %d",
                             static_cast<int>(e->activeServiceCount));
}

void UaSession::finishedServiceProcessing()
{
    {
        UaMutexLocker lock(sessionMutex());
        --e->activeServiceCount;
        if (UaTrace::isTraceLevelOn(6))
            UaTrace::traceLevel6("<-- UaSession::finishedServiceProcessing - activeServiceCount = %d",
                                 static_cast<int>(e->activeServiceCount));
        if (e->destroying)
            return;
    }
    releaseReference(); // may be the last: nothing of the session is touched after it
}

OpcUa_UInt32 UaSession::activeServiceCount() const
{
    UaMutexLocker lock(sessionMutex());
    return e->activeServiceCount;
}

bool UaSession::isSameUser(Session* otherSession)
{
    if (otherSession == nullptr)
        return false;
    const OpcUa_UInt32 type = identityType();
    return type != 0 && type == otherSession->identityType() && userName() == otherSession->userName();
}

UaStatus UaSession::queuePublishRequest(PublishRequestContext* request, UaSubscription*& lateSubscription)
{
    lateSubscription = nullptr;
    UaMutexLocker lock(sessionMutex());
    if (!isActivated())
        return OpcUa_BadSessionClosed;
    if (!e->subscriptions.empty())
    {
        while (!e->lateSubscriptions.empty())
        {
            UaSubscription* late = e->lateSubscriptions.front();
            e->lateSubscriptions.pop_front();
            lock.unlock();
            const bool closed = late->getState() == UaSubscription::CLOSED;
            if (!closed)
            {
                if (UaTrace::isTraceLevelOn(6))
                    UaTrace::traceLevel6("<-- UaSession::queuePublishRequest [ret=OpcUa_Good] - found "
                                         "subscription in late state");
                lateSubscription = late; // with the reference the queue held
                return OpcUa_Good;
            }
            late->releaseReference();
            lock.lock(sessionMutex());
        }
    }
    if (e->statusChanges.empty())
    {
        if (e->subscriptions.empty())
            return OpcUa_BadNoSubscription;
        e->publishRequests.push_back(request);
        if (e->publishRequests.size() <= kMaxQueuedPublishRequests)
            return OpcUa_Good;
        PublishRequestContext* oldest = e->publishRequests.front();
        e->publishRequests.pop_front();
        lock.unlock();
        cancelPublishRequest(oldest, OpcUa_BadTooManyPublishRequests);
        return OpcUa_Good;
    }
    const auto [subscriptionId, status] = e->statusChanges.front();
    e->statusChanges.pop_front();
    lock.unlock();
    sendSubscriptionStatusChangeNotification(request, subscriptionId, status);
    return OpcUa_Good;
}

PublishRequestContext* UaSession::getPublishRequest()
{
    for (;;)
    {
        PublishRequestContext* request;
        {
            UaMutexLocker lock(sessionMutex());
            if (!isActivated() || e->publishRequests.empty())
                return nullptr;
            request = e->publishRequests.front();
            e->publishRequests.pop_front();
        }
        if (!request->hasTimedOut())
            return request;
        cancelPublishRequest(request, OpcUa_BadTimeout);
    }
}

UaStatus UaSession::queueSubscriptionForPublish(UaSubscription* subscription)
{
    PublishRequestContext* request;
    {
        UaMutexLocker lock(sessionMutex());
        if (!isActivated())
            return OpcUa_BadSessionClosed;
        if (e->publishRequests.empty())
        {
            subscription->addReference();
            e->lateSubscriptions.push_back(subscription);
            return OpcUa_Good;
        }
        request = e->publishRequests.front();
        e->publishRequests.pop_front();
    }
    bool moreNotifications = false;
    subscription->publish(request, moreNotifications);
    return OpcUa_Good;
}

void UaSession::queueSubscriptionStatusChangeNotification(OpcUa_UInt32 subscriptionId,
                                                          OpcUa_StatusCode status)
{
    UaMutexLocker lock(sessionMutex());
    e->statusChanges.emplace_back(subscriptionId, status);
}

UaStatus UaSession::subscriptionCreated(UaSubscription* subscription)
{
    UaMutexLocker lock(sessionMutex());
    if (!isActivated())
        return OpcUa_BadSessionClosed;
    subscription->addReference();
    e->subscriptions.push_back(subscription);
    return OpcUa_Good;
}

UaStatus UaSession::subscriptionInvalidated(UaSubscription* subscription)
{
    std::vector<UaSubscription*> released;
    bool cancel;
    {
        UaMutexLocker lock(sessionMutex());
        for (std::list<UaSubscription*>* list : {&e->subscriptions, &e->lateSubscriptions})
        {
            for (auto it = list->begin(); it != list->end();)
            {
                if (*it == subscription)
                {
                    released.push_back(*it);
                    it = list->erase(it);
                }
                else
                    ++it;
            }
        }
        cancel = e->subscriptions.empty() && !e->publishRequests.empty();
    }
    for (UaSubscription* s : released)
        s->releaseReference();
    if (cancel)
        cancelPublishRequests(OpcUa_BadNoSubscription);
    return OpcUa_Good;
}

void UaSession::sendSubscriptionStatusChangeNotification(PublishRequestContext* request,
                                                         OpcUa_UInt32 subscriptionId, OpcUa_StatusCode status)
{
    OpcUa_Void* response = nullptr;
    OpcUa_EncodeableType* responseType = nullptr;
    if (OpcUa_IsBad(beginPublishAnswer(request, "UaSession::sendSubscriptionStatusChangeNotification",
                                       response, responseType)))
        return;
    auto* publish = static_cast<OpcUa_PublishResponse*>(response);
    UaStatus(OpcUa_Good).fillResponseHeader(request->m_pRequest->RequestHeader, publish->ResponseHeader);
    publish->SubscriptionId = subscriptionId;
    publish->MoreNotifications = OpcUa_False;
    OpcUa_NotificationMessage& message = publish->NotificationMessage;
    message.SequenceNumber = 0;
    message.PublishTime = UaDateTime::now();
    message.NotificationData =
        static_cast<OpcUa_ExtensionObject*>(OpcUa_Memory_Alloc(sizeof(OpcUa_ExtensionObject)));
    if (message.NotificationData != nullptr)
    {
        OpcUa_ExtensionObject_Initialize(message.NotificationData);
        message.NoOfNotificationData = 1;
        OpcUa_Void* body = nullptr;
        if (OpcUa_IsGood(OpcUa_EncodeableObject_CreateExtension(
                &OpcUa_StatusChangeNotification_EncodeableType, message.NotificationData, &body)))
            static_cast<OpcUa_StatusChangeNotification*>(body)->Status = status;
    }
    // The acknowledgement results go with whichever response the request gets.
    UaStatusCodeArray& results = request->m_acknowledgeResults;
    publish->NoOfResults = static_cast<OpcUa_Int32>(results.length());
    publish->Results = results.data();
    results.detach();
    sendPublishAnswer(request, response, responseType, "Response");
}

UaStatus UaSession::cancelPublishRequest(PublishRequestContext* request, OpcUa_StatusCode status)
{
    if (UaTrace::isTraceLevelOn(6))
        UaTrace::traceLevel6("--> UaSession::cancelPublishRequest [ID=%d] [status=0x%lx]",
                             static_cast<int>(sessionId()), static_cast<unsigned long>(status));
    OpcUa_Void* response = nullptr;
    OpcUa_EncodeableType* responseType = nullptr;
    const OpcUa_StatusCode begun =
        beginPublishAnswer(request, "UaSession::cancelPublishRequest", response, responseType);
    if (OpcUa_IsBad(begun))
        return begun;
    OpcUa_EncodeableObject_Delete(responseType, &response);
    OpcUa_ServerApi_CreateFault(&request->m_pRequest->RequestHeader, status, nullptr, nullptr, nullptr,
                                &response, &responseType);
    sendPublishAnswer(request, response, responseType, "Fault Response");
    return OpcUa_Good;
}

void UaSession::sendPublishAnswer(PublishRequestContext* request, OpcUa_Void* response,
                                  OpcUa_EncodeableType* responseType, const char* what,
                                  OpcUa_NotificationMessage* lent)
{
    const OpcUa_UInt32 requestHandle = request->requestHandle();
    if (secureChannelStillValid())
    {
        const OpcUa_StatusCode result = response != nullptr
                                            ? static_cast<OpcUa_ResponseHeader*>(response)->ServiceResult
                                            : OpcUa_BadInternalError;
        if (UaTrace::isTraceLevelOn(4))
            UaTrace::traceLevel4("CALL  Send %s for Publish [Request=%d][ServiceResult=0x%lx]", what,
                                 static_cast<int>(requestHandle), static_cast<unsigned long>(result));
        OpcUa_Endpoint_EndSendResponse(request->m_hEndpoint, &request->m_hContext, OpcUa_Good, response,
                                       responseType);
    }
    else
    {
        if (UaTrace::isTraceLevelOn(4))
            UaTrace::traceLevel4("CALL  Cancel Response - Secure Channel is invalid [Request=%d]",
                                 static_cast<int>(requestHandle));
        // Status 0: nothing is sent on a channel that is gone.
        OpcUa_Endpoint_CancelSendResponse(request->m_hEndpoint, OpcUa_Good, nullptr, &request->m_hContext);
    }
    if (lent != nullptr)
        OpcUa_NotificationMessage_Initialize(lent);
    OpcUa_EncodeableObject_Delete(responseType, &response);
    delete request;
    finishedServiceProcessing();
}

OpcUa_StatusCode UaSession::beginPublishAnswer(PublishRequestContext* request, const char* caller,
                                               OpcUa_Void*& response, OpcUa_EncodeableType*& responseType)
{
    const OpcUa_StatusCode begun =
        OpcUa_Endpoint_BeginSendResponse(request->m_hEndpoint, request->m_hContext, &response, &responseType);
    if (OpcUa_IsGood(begun))
        return begun;
    if (UaTrace::isTraceLevelOn(1))
        UaTrace::traceLevel1("Error: %s [ret=0x%lx] - BeginSendResponse FAILED - deleted Request", caller,
                             static_cast<unsigned long>(begun));
    // The stack still holds the request: it answers with the failure, or drops it with its channel.
    OpcUa_Endpoint_CancelSendResponse(request->m_hEndpoint, begun, nullptr, &request->m_hContext);
    delete request;
    finishedServiceProcessing();
    return begun;
}

void UaSession::cancelPublishRequests(OpcUa_StatusCode status)
{
    std::list<PublishRequestContext*> requests;
    {
        UaMutexLocker lock(sessionMutex());
        if (!e->subscriptions.empty() && isActivated())
            return;
        requests.swap(e->publishRequests);
    }
    for (PublishRequestContext* request : requests)
        cancelPublishRequest(request, status);
}

void UaSession::clearPublishRequests()
{
    std::list<PublishRequestContext*> requests;
    {
        UaMutexLocker lock(sessionMutex());
        requests.swap(e->publishRequests);
    }
    for (PublishRequestContext* request : requests)
    {
        // No answer, but the stack's context is given back (a cancel with status 0 sends nothing).
        OpcUa_Endpoint_CancelSendResponse(request->m_hEndpoint, OpcUa_Good, nullptr, &request->m_hContext);
        delete request;
        finishedServiceProcessing();
    }
}

RegisteredNode* UaSession::getHandleEntry(OpcUa_UInt32 handle)
{
    UaMutexLocker lock(sessionMutex());
    return e->handleTable.get(handle);
}

OpcUa_UInt32 UaSession::addHandleEntry(RegisteredNode* entry)
{
    if (entry == nullptr)
        return 0;
    std::vector<OpcUa_UInt32> aliases;
    return registerNodes({entry}, aliases).isGood() ? aliases.front() : 0;
}

UaStatus UaSession::registerNodes(const std::vector<RegisteredNode*>& entries,
                                  std::vector<OpcUa_UInt32>& aliases)
{
    aliases.assign(entries.size(), 0);
    std::vector<RegisteredNode*> unused;
    UaStatus result = OpcUa_Good;
    {
        UaMutexLocker lock(sessionMutex());
        // Counted before anything is entered: the call registers all its new nodes or none.
        std::set<UaNodeId> fresh;
        for (const RegisteredNode* entry : entries)
            if (e->aliases.count(entry->nodeId()) == 0)
                fresh.insert(entry->nodeId());
        if (e->aliases.size() + fresh.size() > kMaxRegisteredNodes)
        {
            result = OpcUa_BadTooManyOperations;
            unused = entries;
        }
        else
        {
            for (size_t i = 0; i < entries.size(); ++i)
            {
                auto known = e->aliases.find(entries[i]->nodeId());
                if (known != e->aliases.end())
                {
                    aliases[i] = known->second;
                    unused.push_back(entries[i]);
                    continue;
                }
                aliases[i] = e->handleTable.add(entries[i]);
                e->aliases[entries[i]->nodeId()] = aliases[i];
            }
        }
    }
    if (result.isBad())
        aliases.clear();
    for (RegisteredNode* entry : unused)
        delete entry; // releases its references outside the session's mutex
    return result;
}

OpcUa_UInt32 UaSession::registeredNodeCount() const
{
    UaMutexLocker lock(sessionMutex());
    return static_cast<OpcUa_UInt32>(e->aliases.size());
}

bool UaSession::registeredNode(OpcUa_UInt32 alias, UaNodeId& nodeId,
                               ReferenceHolder<ReferenceCounter>& handle)
{
    UaMutexLocker lock(sessionMutex());
    const RegisteredNode* entry = e->handleTable.get(alias);
    if (entry == nullptr)
        return false;
    nodeId = entry->nodeId();
    handle = entry->handle();
    return true;
}

UaStatus UaSession::removeHandleEntry(OpcUa_UInt32 handle)
{
    RegisteredNode* entry;
    {
        UaMutexLocker lock(sessionMutex());
        entry = e->handleTable.get(handle);
        if (entry == nullptr)
            return OpcUa_BadInvalidArgument;
        e->handleTable.markPosted(handle);
        e->aliases.erase(entry->nodeId());
    }
    delete entry; // releases its references outside the session's mutex
    return OpcUa_Good;
}

UaByteString UaSession::serverNonce() const
{
    UaMutexLocker lock(sessionMutex());
    return e->serverNonce;
}

void UaSession::setServerNonce(const UaByteString& nonce)
{
    UaMutexLocker lock(sessionMutex());
    e->serverNonce = nonce;
}

bool UaSession::isBoundToCertificate() const
{
    UaMutexLocker lock(sessionMutex());
    return e->boundToCertificate;
}

void UaSession::setBoundToCertificate(bool bound)
{
    UaMutexLocker lock(sessionMutex());
    e->boundToCertificate = bound;
}

UaEndpoint* UaSession::activatingEndpoint() const
{
    UaMutexLocker lock(sessionMutex());
    return e->activatingEndpoint;
}

void UaSession::setActivatingEndpoint(UaEndpoint* endpoint)
{
    UaMutexLocker lock(sessionMutex());
    e->activatingEndpoint = endpoint;
}

OpcUa_UInt32 UaSession::publishRequestCount() const
{
    UaMutexLocker lock(sessionMutex());
    return static_cast<OpcUa_UInt32>(e->publishRequests.size());
}

OpcUa_UInt32 UaSession::subscriptionCount() const
{
    UaMutexLocker lock(sessionMutex());
    return static_cast<OpcUa_UInt32>(e->subscriptions.size());
}

bool UaSession::reserveMonitoredItems(OpcUa_UInt32 count, bool force)
{
    OpcUa_UInt32 current = e->monitoredItems.load();
    do
    {
        if (!force && current + static_cast<OpcUa_UInt64>(count) > kMaxMonitoredItems)
            return false;
    } while (!e->monitoredItems.compare_exchange_weak(current, current + count));
    return true;
}

void UaSession::releaseMonitoredItems(OpcUa_UInt32 count)
{
    e->monitoredItems.fetch_sub(count);
}

OpcUa_UInt32 UaSession::monitoredItemCount() const
{
    return e->monitoredItems.load();
}
