#include "pendinghistoryrequests.h"

#include "uasession.h"

#include <historyreadcontinuationpoint.h>

OpcUa_StatusCode PendingHistoryReadRequest::prepareResults()
{
    return prepareResultsFor(m_results, request()->NoOfNodesToRead);
}

template <typename Fill>
bool PendingHistoryReadRequest::finishHistoryRead(OpcUa_UInt32 callbackHandle, const UaStatus& status,
                                                  HistoryReadContinuationPoint* continuationPoint,
                                                  OpcUa_EncodeableType& historyDataType, Fill fill)
{
    const bool completed =
        finishItem(callbackHandle,
                   [&](OpcUa_UInt32 index)
                   {
                       OpcUa_HistoryReadResult& result = m_results[index];
                       OpcUa_HistoryReadResult_Clear(&result);
                       result.StatusCode = status.statusCode();
                       setDiagnosticInfo(index, status.diagnostics());
                       if (!status.isGood())
                           return;
                       OpcUa_Void* body = nullptr;
                       if (OpcUa_IsGood(OpcUa_EncodeableObject_CreateExtension(&historyDataType,
                                                                               &result.HistoryData, &body)))
                           fill(body);
                       if (continuationPoint != nullptr && session() != nullptr)
                       {
                           // The session takes the point over, also when it cannot park it.
                           session()->queueHistoryReadCP(continuationPoint, result.ContinuationPoint);
                           continuationPoint = nullptr;
                       }
                   });
    // Not handed to the session: a bad status, or a handle out of range.
    delete continuationPoint;
    return completed;
}

namespace
{
// Hands the values over to a HistoryData or HistoryModifiedData body.
template <typename Body> void moveDataValues(OpcUa_Void* body, UaDataValueArray& values)
{
    auto* data = static_cast<Body*>(body);
    data->NoOfDataValues = static_cast<OpcUa_Int32>(values.length());
    data->DataValues = values.data();
    values.detach();
}
} // namespace

bool PendingHistoryReadRequest::finishHistoryReadData(OpcUa_UInt32 callbackHandle, const UaStatus& status,
                                                      HistoryReadContinuationPoint* continuationPoint,
                                                      UaDataValueArray& values)
{
    return finishHistoryRead(callbackHandle, status, continuationPoint, OpcUa_HistoryData_EncodeableType,
                             [&](OpcUa_Void* body) { moveDataValues<OpcUa_HistoryData>(body, values); });
}

bool PendingHistoryReadRequest::finishHistoryReadModifiedData(OpcUa_UInt32 callbackHandle,
                                                              const UaStatus& status,
                                                              HistoryReadContinuationPoint* continuationPoint,
                                                              UaDataValueArray& values)
{
    return finishHistoryRead(
        callbackHandle, status, continuationPoint, OpcUa_HistoryModifiedData_EncodeableType,
        [&](OpcUa_Void* body) { moveDataValues<OpcUa_HistoryModifiedData>(body, values); });
}

bool PendingHistoryReadRequest::finishHistoryReadEvent(OpcUa_UInt32 callbackHandle, const UaStatus& status,
                                                       HistoryReadContinuationPoint* continuationPoint,
                                                       UaHistoryEventFieldListArray& events)
{
    return finishHistoryRead(callbackHandle, status, continuationPoint, OpcUa_HistoryEvent_EncodeableType,
                             [&](OpcUa_Void* body)
                             {
                                 auto* history = static_cast<OpcUa_HistoryEvent*>(body);
                                 history->NoOfEvents = static_cast<OpcUa_Int32>(events.length());
                                 history->Events = events.data();
                                 events.detach();
                             });
}

void PendingHistoryReadRequest::sendResponse()
{
    if (responseWithResults<OpcUa_HistoryReadResponse>("HistoryRead", m_results) != nullptr)
        sendOrCancel("HistoryRead");
}

OpcUa_StatusCode PendingHistoryUpdateRequest::prepareResults()
{
    return prepareResultsFor(m_results, request()->NoOfHistoryUpdateDetails);
}

bool PendingHistoryUpdateRequest::finishHistoryUpdate(OpcUa_UInt32 callbackHandle, const UaStatus& status,
                                                      UaStatusCodeArray& operationResults,
                                                      UaDiagnosticInfos& diagnosticInfos)
{
    return finishItem(callbackHandle,
                      [&](OpcUa_UInt32 index)
                      {
                          OpcUa_HistoryUpdateResult& result = m_results[index];
                          OpcUa_HistoryUpdateResult_Clear(&result);
                          result.StatusCode = status.statusCode();
                          result.NoOfOperationResults = static_cast<OpcUa_Int32>(operationResults.length());
                          result.OperationResults = operationResults.data();
                          operationResults.detach();
                          result.NoOfDiagnosticInfos = static_cast<OpcUa_Int32>(diagnosticInfos.length());
                          result.DiagnosticInfos = diagnosticInfos.data();
                          diagnosticInfos.detach();
                          setDiagnosticInfo(index, status.diagnostics());
                      });
}

void PendingHistoryUpdateRequest::sendResponse()
{
    if (responseWithResults<OpcUa_HistoryUpdateResponse>("HistoryUpdate", m_results) != nullptr)
        sendOrCancel("HistoryUpdate");
}
