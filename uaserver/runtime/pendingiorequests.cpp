#include "pendingiorequests.h"

#include <uadatetime.h>
#include <uatrace.h>
#include <uavariant.h>

OpcUa_StatusCode PendingReadRequest::prepareResults()
{
    return prepareResultsFor(m_results, request()->NoOfNodesToRead);
}

bool PendingReadRequest::finishRead(OpcUa_UInt32 callbackHandle, UaDataValue& dataValue, bool mayMove,
                                    UaDiagnosticInfo* diagnosticInfo)
{
    return finishItem(callbackHandle,
                      [&](OpcUa_UInt32 index)
                      {
                          OpcUa_DataValue* result = &m_results[index];
                          OpcUa_DataValue_Clear(result);
                          if (!mayMove || dataValue.detachTo(result) == nullptr)
                              dataValue.copyTo(result);
                          setDiagnosticInfo(index, diagnosticInfo);
                      });
}

void PendingReadRequest::sendResponse()
{
    auto* response = responseWithResults<OpcUa_ReadResponse>("Read", m_results);
    if (response == nullptr)
        return;
    if (UaTrace::isTraceLevelOn(7))
    {
        UaTrace::traceLevel7("Read Response [Request=%d]:", static_cast<int>(requestHandle()));
        UaTrace::traceLevel7("  NoOfResults = %d", static_cast<int>(response->NoOfResults));
        for (OpcUa_Int32 i = 0; i < response->NoOfResults; ++i)
        {
            const OpcUa_DataValue& value = response->Results[i];
            if (OpcUa_IsBad(value.StatusCode))
                UaTrace::traceLevel7("    Node[%d] Status = 0x%lx", static_cast<int>(i),
                                     static_cast<unsigned long>(value.StatusCode));
            else
                UaTrace::traceLevel7("    Node[%d] SrvTS=%s SrcTS=%s Val=%s", static_cast<int>(i),
                                     UaDateTime(value.ServerTimestamp).toString().toUtf8(),
                                     UaDateTime(value.SourceTimestamp).toString().toUtf8(),
                                     UaVariant(value.Value).toString().toUtf8());
        }
    }
    sendOrCancel("Read");
}

OpcUa_StatusCode PendingWriteRequest::prepareResults()
{
    return prepareResultsFor(m_results, request()->NoOfNodesToWrite);
}

bool PendingWriteRequest::finishWrite(OpcUa_UInt32 callbackHandle, const UaStatus& status)
{
    return finishItem(callbackHandle,
                      [&](OpcUa_UInt32 index)
                      {
                          m_results[index] = status.statusCode();
                          setDiagnosticInfo(index, status.diagnostics());
                      });
}

void PendingWriteRequest::sendResponse()
{
    auto* response = responseWithResults<OpcUa_WriteResponse>("Write", m_results);
    if (response == nullptr)
        return;
    if (UaTrace::isTraceLevelOn(7))
    {
        UaTrace::traceLevel7("Write Response [Request=%d]:", static_cast<int>(requestHandle()));
        UaTrace::traceLevel7("  NoOfResults = %d", static_cast<int>(response->NoOfResults));
        for (OpcUa_Int32 i = 0; i < response->NoOfResults; ++i)
            UaTrace::traceLevel7("    Node[%d] Status = 0x%lx", static_cast<int>(i),
                                 static_cast<unsigned long>(response->Results[i]));
    }
    sendOrCancel("Write");
}
