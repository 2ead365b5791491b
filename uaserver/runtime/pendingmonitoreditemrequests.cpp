#include "pendingmonitoreditemrequests.h"

#include <uastatus.h>
#include <uatrace.h>

namespace
{
OpcUa_UInt32 countOf(OpcUa_Int32 n)
{
    return n > 0 ? static_cast<OpcUa_UInt32>(n) : 0;
}

void moveFilterResult(OpcUa_ExtensionObject& from, OpcUa_ExtensionObject& to)
{
    if (from.Encoding == OpcUa_ExtensionObjectEncoding_None)
        return;
    OpcUa_ExtensionObject_Clear(&to);
    to = from;
    OpcUa_ExtensionObject_Initialize(&from);
}
} // namespace

OpcUa_UInt32 PendingCreateMonitoredItemsRequest::requestItemCount() const
{
    return countOf(request()->NoOfItemsToCreate);
}

OpcUa_StatusCode PendingCreateMonitoredItemsRequest::prepareResults()
{
    return prepareResultsFor(m_results, request()->NoOfItemsToCreate);
}

void PendingCreateMonitoredItemsRequest::setResult(OpcUa_UInt32 index, OpcUa_StatusCode status,
                                                   OpcUa_UInt32 monitoredItemId,
                                                   OpcUa_Double revisedSamplingInterval,
                                                   OpcUa_UInt32 revisedQueueSize)
{
    OpcUa_MonitoredItemCreateResult& result = m_results[index];
    result.StatusCode = status;
    if (OpcUa_IsBad(status))
        return;
    result.MonitoredItemId = monitoredItemId;
    result.RevisedSamplingInterval = revisedSamplingInterval;
    result.RevisedQueueSize = revisedQueueSize;
}

void PendingCreateMonitoredItemsRequest::setFilterResult(OpcUa_UInt32 index,
                                                         OpcUa_ExtensionObject& filterResult)
{
    moveFilterResult(filterResult, m_results[index].FilterResult);
}

void PendingCreateMonitoredItemsRequest::sendResponse()
{
    auto* response =
        responseWithResults<OpcUa_CreateMonitoredItemsResponse>("CreateMonitoredItems", m_results);
    if (response == nullptr)
        return;
    if (UaTrace::isTraceLevelOn(7))
    {
        UaTrace::traceLevel7("CreateMonitoredItems Response [Request=%d]:",
                             static_cast<int>(requestHandle()));
        UaTrace::traceLevel7("  NoOfResults = %d", static_cast<int>(response->NoOfResults));
        for (OpcUa_Int32 i = 0; i < response->NoOfResults; ++i)
        {
            const OpcUa_MonitoredItemCreateResult& result = response->Results[i];
            if (OpcUa_IsBad(result.StatusCode))
                UaTrace::traceLevel7("    Node[%d] Status = %s", static_cast<int>(i),
                                     UaStatus(result.StatusCode).toString().toUtf8());
            else
                UaTrace::traceLevel7("    Node[%d] MonitoredItemId=%d RevisedSamplingInterval=%.1fms "
                                     "RevisedQueueSize=%d",
                                     static_cast<int>(i), static_cast<int>(result.MonitoredItemId),
                                     result.RevisedSamplingInterval,
                                     static_cast<int>(result.RevisedQueueSize));
        }
    }
    sendOrCancel("CreateMonitoredItems");
}

OpcUa_UInt32 PendingModifyMonitoredItemsRequest::requestItemCount() const
{
    return countOf(request()->NoOfItemsToModify);
}

OpcUa_StatusCode PendingModifyMonitoredItemsRequest::prepareResults()
{
    return prepareResultsFor(m_results, request()->NoOfItemsToModify);
}

void PendingModifyMonitoredItemsRequest::setResult(OpcUa_UInt32 index, OpcUa_StatusCode status, OpcUa_UInt32,
                                                   OpcUa_Double revisedSamplingInterval,
                                                   OpcUa_UInt32 revisedQueueSize)
{
    OpcUa_MonitoredItemModifyResult& result = m_results[index];
    result.StatusCode = status;
    if (OpcUa_IsBad(status))
        return;
    result.RevisedSamplingInterval = revisedSamplingInterval;
    result.RevisedQueueSize = revisedQueueSize;
}

void PendingModifyMonitoredItemsRequest::setFilterResult(OpcUa_UInt32 index,
                                                         OpcUa_ExtensionObject& filterResult)
{
    moveFilterResult(filterResult, m_results[index].FilterResult);
}

void PendingModifyMonitoredItemsRequest::sendResponse()
{
    if (responseWithResults<OpcUa_ModifyMonitoredItemsResponse>("ModifyMonitoredItems", m_results) != nullptr)
        sendOrCancel("ModifyMonitoredItems");
}

OpcUa_UInt32 PendingSetMonitoringModeRequest::requestItemCount() const
{
    return countOf(request()->NoOfMonitoredItemIds);
}

OpcUa_StatusCode PendingSetMonitoringModeRequest::prepareResults()
{
    return prepareResultsFor(m_results, request()->NoOfMonitoredItemIds);
}

void PendingSetMonitoringModeRequest::setResult(OpcUa_UInt32 index, OpcUa_StatusCode status, OpcUa_UInt32,
                                                OpcUa_Double, OpcUa_UInt32)
{
    // An item whose mode needed no manager call was answered GoodNoData: plain Good to the client.
    m_results[index] = status == OpcUa_GoodNoData ? OpcUa_Good : status;
}

void PendingSetMonitoringModeRequest::sendResponse()
{
    if (responseWithResults<OpcUa_SetMonitoringModeResponse>("SetMonitoringMode", m_results) != nullptr)
        sendOrCancel("SetMonitoringMode");
}

OpcUa_UInt32 PendingDeleteMonitoredItemsRequest::requestItemCount() const
{
    return countOf(request()->NoOfMonitoredItemIds);
}

OpcUa_StatusCode PendingDeleteMonitoredItemsRequest::prepareResults()
{
    return prepareResultsFor(m_results, request()->NoOfMonitoredItemIds);
}

void PendingDeleteMonitoredItemsRequest::setResult(OpcUa_UInt32 index, OpcUa_StatusCode status, OpcUa_UInt32,
                                                   OpcUa_Double, OpcUa_UInt32)
{
    m_results[index] = status;
}

void PendingDeleteMonitoredItemsRequest::sendResponse()
{
    if (responseWithResults<OpcUa_DeleteMonitoredItemsResponse>("DeleteMonitoredItems", m_results) != nullptr)
        sendOrCancel("DeleteMonitoredItems");
}
