// The subscription services: the subscription manager does the work; Publish, Republish and the
// monitored-item services are answered later by the subscription, the others at once.
#include "uaserver.h"

#include "operationlimits.h"
#include "pendingmonitoreditemrequests.h"
#include "uamonitoreditem.h"
#include "publishrequestcontext.h"
#include "uasession.h"
#include "uasubscriptionmanager.h"

#include <uatrace.h>

#include <cstring>
#include <vector>

namespace
{
bool isEmpty(OpcUa_Int32 count, const void* array)
{
    return count <= 0 || array == nullptr;
}

std::vector<OpcUa_UInt32> idsOf(OpcUa_Int32 count, const OpcUa_UInt32* ids)
{
    return isEmpty(count, ids) ? std::vector<OpcUa_UInt32>{} : std::vector<OpcUa_UInt32>(ids, ids + count);
}

// A zero-filled array of count stack values for a response (null for none).
template <typename T> T* stackArray(size_t count)
{
    if (count == 0)
        return nullptr;
    auto* array = static_cast<T*>(OpcUa_Memory_Alloc(sizeof(T) * count));
    if (array != nullptr)
        std::memset(static_cast<void*>(array), 0, sizeof(T) * count);
    return array;
}

// Nothing to do, too many monitored items for one call, or Good.
OpcUa_StatusCode itemCountStatus(OpcUa_Int32 count, const void* items)
{
    return OperationLimits::countStatus(count, items, OperationLimits::kMaxMonitoredItemsPerCall);
}

bool tooMany(OpcUa_Int32 count)
{
    return count > 0 && static_cast<OpcUa_UInt32>(count) > OperationLimits::kMaxMonitoredItemsPerCall;
}

bool validTimestamps(OpcUa_TimestampsToReturn timestamps)
{
    return static_cast<OpcUa_UInt32>(timestamps) <= OpcUa_TimestampsToReturn_Neither;
}
} // namespace

template <typename Request, typename Fill>
OpcUa_StatusCode UaServer::answerAtOnce(const char* service, OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                        Request* request, OpcUa_EncodeableType* requestType, bool nothingToDo,
                                        Fill fill)
{
    if (!beginService(service, endpoint, context, request, requestType))
        return OpcUa_Good;
    UaSession* session = nullptr;
    OpcUa_UInt32 channelId = 0;
    OpcUa_StatusCode result = findValidSession(endpoint, context, request->RequestHeader, session, channelId);
    if (OpcUa_IsGood(result) && nothingToDo)
        result = OpcUa_BadNothingToDo;
    OpcUa_Void* response = nullptr;
    OpcUa_EncodeableType* responseType = nullptr;
    if (OpcUa_IsGood(result))
        result = fill(session, response, responseType);
    sendResponse(endpoint, session, context, request, requestType, result, response, responseType);
    traceServiceExit(service, result);
    return OpcUa_Good;
}

template <typename Pending, typename Request>
OpcUa_StatusCode UaServer::answerLater(const char* service, OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                       Request* request, OpcUa_EncodeableType* requestType,
                                       OpcUa_StatusCode check,
                                       UaStatus (UaSubscriptionManager::*begin)(Pending*))
{
    if (!beginService(service, endpoint, context, request, requestType))
        return OpcUa_Good;
    UaSession* session = nullptr;
    OpcUa_UInt32 channelId = 0;
    OpcUa_StatusCode result = findValidSession(endpoint, context, request->RequestHeader, session, channelId);
    if (OpcUa_IsGood(result))
        result = check;
    if (OpcUa_IsGood(result))
    {
        // The subscription answers once every item is done; it takes the request and the
        // session's service count over.
        auto* pending = new Pending(endpoint, context, requestType, session, request);
        result = (m_pSubscriptionManager->*begin)(pending).statusCode();
        if (OpcUa_IsGood(result))
        {
            traceServiceExit(service, OpcUa_Good);
            return OpcUa_Good;
        }
        delete pending;
    }
    sendResponse(endpoint, session, context, request, requestType, result, nullptr, nullptr);
    traceServiceExit(service, result);
    return OpcUa_Good;
}

OpcUa_StatusCode UaServer::CreateSubscription(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                              OpcUa_CreateSubscriptionRequest* request,
                                              OpcUa_EncodeableType* requestType)
{
    return answerAtOnce(
        "CreateSubscription", endpoint, context, request, requestType, false,
        [&](UaSession* session, OpcUa_Void*& response, OpcUa_EncodeableType*& responseType)
        {
            OpcUa_Double interval = request->RequestedPublishingInterval;
            OpcUa_UInt32 lifetime = request->RequestedLifetimeCount;
            OpcUa_UInt32 keepAlive = request->RequestedMaxKeepAliveCount;
            OpcUa_UInt32 id = 0;
            OpcUa_StatusCode result =
                m_pSubscriptionManager
                    ->createSubscription(session, interval, lifetime, keepAlive,
                                         request->MaxNotificationsPerPublish,
                                         request->PublishingEnabled != OpcUa_False, request->Priority, id)
                    .statusCode();
            if (OpcUa_IsGood(result))
                result = OpcUa_Endpoint_BeginSendResponse(endpoint, context, &response, &responseType);
            if (OpcUa_IsGood(result))
            {
                auto* created = static_cast<OpcUa_CreateSubscriptionResponse*>(response);
                created->SubscriptionId = id;
                created->RevisedPublishingInterval = interval;
                created->RevisedLifetimeCount = lifetime;
                created->RevisedMaxKeepAliveCount = keepAlive;
            }
            return result;
        });
}

OpcUa_StatusCode UaServer::ModifySubscription(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                              OpcUa_ModifySubscriptionRequest* request,
                                              OpcUa_EncodeableType* requestType)
{
    return answerAtOnce(
        "ModifySubscription", endpoint, context, request, requestType, false,
        [&](UaSession* session, OpcUa_Void*& response, OpcUa_EncodeableType*& responseType)
        {
            OpcUa_Double interval = request->RequestedPublishingInterval;
            OpcUa_UInt32 lifetime = request->RequestedLifetimeCount;
            OpcUa_UInt32 keepAlive = request->RequestedMaxKeepAliveCount;
            OpcUa_StatusCode result =
                m_pSubscriptionManager
                    ->modifySubscription(session, request->SubscriptionId, interval, lifetime, keepAlive,
                                         request->MaxNotificationsPerPublish, request->Priority)
                    .statusCode();
            if (OpcUa_IsGood(result))
                result = OpcUa_Endpoint_BeginSendResponse(endpoint, context, &response, &responseType);
            if (OpcUa_IsGood(result))
            {
                auto* modified = static_cast<OpcUa_ModifySubscriptionResponse*>(response);
                modified->RevisedPublishingInterval = interval;
                modified->RevisedLifetimeCount = lifetime;
                modified->RevisedMaxKeepAliveCount = keepAlive;
            }
            return result;
        });
}

template <typename Response, typename PerId>
OpcUa_StatusCode UaServer::answerPerId(OpcUa_Endpoint endpoint, OpcUa_Handle context, OpcUa_Void*& response,
                                       OpcUa_EncodeableType*& responseType, OpcUa_Int32 count,
                                       const OpcUa_UInt32* ids, PerId perId)
{
    const OpcUa_StatusCode begun =
        OpcUa_Endpoint_BeginSendResponse(endpoint, context, &response, &responseType);
    if (OpcUa_IsBad(begun))
        return begun;
    auto* answer = static_cast<Response*>(response);
    answer->Results = stackArray<OpcUa_StatusCode>(static_cast<size_t>(count));
    answer->NoOfResults = answer->Results != nullptr ? count : 0;
    for (OpcUa_Int32 i = 0; i < answer->NoOfResults; ++i)
        answer->Results[i] = perId(ids[i]);
    return OpcUa_Good;
}

OpcUa_StatusCode UaServer::SetPublishingMode(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                             OpcUa_SetPublishingModeRequest* request,
                                             OpcUa_EncodeableType* requestType)
{
    return answerAtOnce("SetPublishingMode", endpoint, context, request, requestType,
                        isEmpty(request->NoOfSubscriptionIds, request->SubscriptionIds),
                        [&](UaSession* session, OpcUa_Void*& response, OpcUa_EncodeableType*& responseType)
                        {
                            return answerPerId<OpcUa_SetPublishingModeResponse>(
                                endpoint, context, response, responseType, request->NoOfSubscriptionIds,
                                request->SubscriptionIds,
                                [&](OpcUa_UInt32 id)
                                {
                                    return m_pSubscriptionManager
                                        ->setPublishingMode(session, id,
                                                            request->PublishingEnabled != OpcUa_False)
                                        .statusCode();
                                });
                        });
}

OpcUa_StatusCode UaServer::DeleteSubscriptions(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                               OpcUa_DeleteSubscriptionsRequest* request,
                                               OpcUa_EncodeableType* requestType)
{
    return answerAtOnce(
        "DeleteSubscriptions", endpoint, context, request, requestType,
        isEmpty(request->NoOfSubscriptionIds, request->SubscriptionIds),
        [&](UaSession* session, OpcUa_Void*& response, OpcUa_EncodeableType*& responseType)
        {
            return answerPerId<OpcUa_DeleteSubscriptionsResponse>(
                endpoint, context, response, responseType, request->NoOfSubscriptionIds,
                request->SubscriptionIds,
                [&](OpcUa_UInt32 id)
                { return m_pSubscriptionManager->deleteSubscription(session, id).statusCode(); });
        });
}

OpcUa_StatusCode UaServer::TransferSubscriptions(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                                 OpcUa_TransferSubscriptionsRequest* request,
                                                 OpcUa_EncodeableType* requestType)
{
    return answerAtOnce(
        "TransferSubscriptions", endpoint, context, request, requestType,
        isEmpty(request->NoOfSubscriptionIds, request->SubscriptionIds),
        [&](UaSession* session, OpcUa_Void*& response, OpcUa_EncodeableType*& responseType)
        {
            const OpcUa_StatusCode begun =
                OpcUa_Endpoint_BeginSendResponse(endpoint, context, &response, &responseType);
            if (OpcUa_IsBad(begun))
                return begun;
            auto* transferred = static_cast<OpcUa_TransferSubscriptionsResponse*>(response);
            transferred->Results =
                stackArray<OpcUa_TransferResult>(static_cast<size_t>(request->NoOfSubscriptionIds));
            transferred->NoOfResults = transferred->Results != nullptr ? request->NoOfSubscriptionIds : 0;
            // A transfer refused for every id still gives a good response.
            for (OpcUa_Int32 i = 0; i < transferred->NoOfResults; ++i)
            {
                std::vector<OpcUa_UInt32> available;
                OpcUa_TransferResult& result = transferred->Results[i];
                result.StatusCode =
                    m_pSubscriptionManager
                        ->transferSubscription(session, request->SubscriptionIds[i],
                                               request->SendInitialValues != OpcUa_False, available)
                        .statusCode();
                result.AvailableSequenceNumbers = stackArray<OpcUa_UInt32>(available.size());
                if (result.AvailableSequenceNumbers != nullptr)
                {
                    std::copy(available.begin(), available.end(), result.AvailableSequenceNumbers);
                    result.NoOfAvailableSequenceNumbers = static_cast<OpcUa_Int32>(available.size());
                }
            }
            return OpcUa_StatusCode(OpcUa_Good);
        });
}

OpcUa_StatusCode UaServer::SetTriggering(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                         OpcUa_SetTriggeringRequest* request,
                                         OpcUa_EncodeableType* requestType)
{
    if (!beginService("SetTriggering", endpoint, context, request, requestType))
        return OpcUa_Good;
    UaSession* session = nullptr;
    OpcUa_UInt32 channelId = 0;
    OpcUa_StatusCode result = findValidSession(endpoint, context, request->RequestHeader, session, channelId);
    // Nothing to do is told even before a session error.
    if (isEmpty(request->NoOfLinksToAdd, request->LinksToAdd) &&
        isEmpty(request->NoOfLinksToRemove, request->LinksToRemove))
        result = OpcUa_BadNothingToDo;
    else if (OpcUa_IsGood(result) &&
             (tooMany(request->NoOfLinksToAdd) || tooMany(request->NoOfLinksToRemove)))
        result = OpcUa_BadTooManyOperations;
    OpcUa_Void* response = nullptr;
    OpcUa_EncodeableType* responseType = nullptr;
    if (OpcUa_IsGood(result))
    {
        std::vector<OpcUa_StatusCode> added, removed;
        result =
            m_pSubscriptionManager
                ->setTriggering(session, request->SubscriptionId, request->TriggeringItemId,
                                idsOf(request->NoOfLinksToAdd, request->LinksToAdd),
                                idsOf(request->NoOfLinksToRemove, request->LinksToRemove), added, removed)
                .statusCode();
        if (OpcUa_IsGood(result))
            result = OpcUa_Endpoint_BeginSendResponse(endpoint, context, &response, &responseType);
        if (OpcUa_IsGood(result))
        {
            auto* triggering = static_cast<OpcUa_SetTriggeringResponse*>(response);
            triggering->AddResults = stackArray<OpcUa_StatusCode>(added.size());
            if (triggering->AddResults != nullptr)
            {
                std::copy(added.begin(), added.end(), triggering->AddResults);
                triggering->NoOfAddResults = static_cast<OpcUa_Int32>(added.size());
            }
            triggering->RemoveResults = stackArray<OpcUa_StatusCode>(removed.size());
            if (triggering->RemoveResults != nullptr)
            {
                std::copy(removed.begin(), removed.end(), triggering->RemoveResults);
                triggering->NoOfRemoveResults = static_cast<OpcUa_Int32>(removed.size());
            }
        }
    }
    sendResponse(endpoint, session, context, request, requestType, result, response, responseType);
    traceServiceExit("SetTriggering", result);
    return OpcUa_Good;
}

OpcUa_StatusCode UaServer::CreateMonitoredItems(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                                OpcUa_CreateMonitoredItemsRequest* request,
                                                OpcUa_EncodeableType* requestType)
{
    const OpcUa_StatusCode count = itemCountStatus(request->NoOfItemsToCreate, request->ItemsToCreate);
    const OpcUa_StatusCode check = count != OpcUa_Good ? count
                                   : !validTimestamps(request->TimestampsToReturn)
                                       ? OpcUa_BadTimestampsToReturnInvalid
                                       : OpcUa_Good;
    return answerLater("CreateMonitoredItems", endpoint, context, request, requestType, check,
                       &UaSubscriptionManager::beginCreateMonitoredItems);
}

OpcUa_StatusCode UaServer::ModifyMonitoredItems(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                                OpcUa_ModifyMonitoredItemsRequest* request,
                                                OpcUa_EncodeableType* requestType)
{
    const OpcUa_StatusCode count = itemCountStatus(request->NoOfItemsToModify, request->ItemsToModify);
    const OpcUa_StatusCode check = count != OpcUa_Good ? count
                                   : !validTimestamps(request->TimestampsToReturn)
                                       ? OpcUa_BadTimestampsToReturnInvalid
                                       : OpcUa_Good;
    return answerLater("ModifyMonitoredItems", endpoint, context, request, requestType, check,
                       &UaSubscriptionManager::beginModifyMonitoredItems);
}

OpcUa_StatusCode UaServer::SetMonitoringMode(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                             OpcUa_SetMonitoringModeRequest* request,
                                             OpcUa_EncodeableType* requestType)
{
    // A mode outside Disabled, Sampling and Reporting would leave the items in a state no client can
    // name.
    const OpcUa_StatusCode count = itemCountStatus(request->NoOfMonitoredItemIds, request->MonitoredItemIds);
    const OpcUa_StatusCode check = count != OpcUa_Good ? count
                                   : !UaMonitoredItem::isValidMode(request->MonitoringMode)
                                       ? OpcUa_BadMonitoringModeInvalid
                                       : OpcUa_Good;
    return answerLater("SetMonitoringMode", endpoint, context, request, requestType, check,
                       &UaSubscriptionManager::beginSetMonitoringMode);
}

OpcUa_StatusCode UaServer::DeleteMonitoredItems(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                                OpcUa_DeleteMonitoredItemsRequest* request,
                                                OpcUa_EncodeableType* requestType)
{
    return answerLater("DeleteMonitoredItems", endpoint, context, request, requestType,
                       itemCountStatus(request->NoOfMonitoredItemIds, request->MonitoredItemIds),
                       &UaSubscriptionManager::deleteMonitoredItems);
}

OpcUa_StatusCode UaServer::Publish(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                   OpcUa_PublishRequest* request, OpcUa_EncodeableType* requestType)
{
    if (!beginService("Publish", endpoint, context, request, requestType))
        return OpcUa_Good;
    UaSession* session = nullptr;
    OpcUa_UInt32 channelId = 0;
    OpcUa_StatusCode result = findValidSession(endpoint, context, request->RequestHeader, session, channelId);
    if (OpcUa_IsGood(result))
    {
        // The request waits at its session (holding the service count) until a subscription
        // answers it.
        auto* publish = new PublishRequestContext(endpoint, context, request, requestType);
        publish->m_serviceContext.setSession(session, request->RequestHeader);
        result = m_pSubscriptionManager->beginPublish(publish).statusCode();
        if (OpcUa_IsGood(result))
        {
            traceServiceExit("Publish", OpcUa_Good);
            return OpcUa_Good;
        }
        // The request message goes back to the entry, which answers with it.
        publish->m_pRequest = nullptr;
        delete publish;
    }
    sendResponse(endpoint, session, context, request, requestType, result, nullptr, nullptr);
    traceServiceExit("Publish", result);
    return OpcUa_Good;
}

OpcUa_StatusCode UaServer::Republish(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                     OpcUa_RepublishRequest* request, OpcUa_EncodeableType* requestType)
{
    if (!beginService("Republish", endpoint, context, request, requestType))
        return OpcUa_Good;
    UaSession* session = nullptr;
    OpcUa_UInt32 channelId = 0;
    OpcUa_StatusCode result = findValidSession(endpoint, context, request->RequestHeader, session, channelId);
    if (OpcUa_IsGood(result))
    {
        result = m_pSubscriptionManager
                     ->beginRepublish(session, endpoint, context, request->RequestHeader,
                                      request->SubscriptionId, request->RetransmitSequenceNumber)
                     .statusCode();
        if (OpcUa_IsGood(result))
        {
            // Answered by the subscription: the request and the service are done here.
            OpcUa_EncodeableObject_Delete(requestType, reinterpret_cast<OpcUa_Void**>(&request));
            session->finishedServiceProcessing();
            traceServiceExit("Republish", OpcUa_Good);
            return OpcUa_Good;
        }
    }
    sendResponse(endpoint, session, context, request, requestType, result, nullptr, nullptr);
    traceServiceExit("Republish", result);
    return OpcUa_Good;
}
