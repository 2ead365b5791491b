#include "pendingcallrequest.h"

#include <uatrace.h>
#include <uavariant.h>

OpcUa_StatusCode PendingCallRequest::prepareResults()
{
    return prepareResultsFor(m_results, request()->NoOfMethodsToCall);
}

UaStatus PendingCallRequest::callFinished(OpcUa_UInt32 callbackHandle,
                                          UaStatusCodeArray& inputArgumentResults,
                                          UaDiagnosticInfos& inputArgumentDiagnosticInfos,
                                          UaVariantArray& outputArguments, UaStatus& statusCode)
{
    const bool completed =
        finishItem(callbackHandle,
                   [&](OpcUa_UInt32 index)
                   {
                       OpcUa_CallMethodResult& result = m_results[index];
                       OpcUa_CallMethodResult_Clear(&result);
                       result.StatusCode = statusCode.statusCode();
                       result.NoOfInputArgumentResults =
                           static_cast<OpcUa_Int32>(inputArgumentResults.length());
                       result.InputArgumentResults = inputArgumentResults.data();
                       inputArgumentResults.detach();
                       result.NoOfInputArgumentDiagnosticInfos =
                           static_cast<OpcUa_Int32>(inputArgumentDiagnosticInfos.length());
                       result.InputArgumentDiagnosticInfos = inputArgumentDiagnosticInfos.data();
                       inputArgumentDiagnosticInfos.detach();
                       result.NoOfOutputArguments = static_cast<OpcUa_Int32>(outputArguments.length());
                       result.OutputArguments = outputArguments.data();
                       outputArguments.detach();
                       setDiagnosticInfo(index, statusCode.diagnostics());
                   });
    if (completed)
    {
        sendResponse();
        delete this;
    }
    return OpcUa_Good;
}

void PendingCallRequest::sendResponse()
{
    auto* response = responseWithResults<OpcUa_CallResponse>("Call", m_results);
    if (response == nullptr)
        return;
    if (UaTrace::isTraceLevelOn(7))
    {
        UaTrace::traceLevel7("Call Response [Request=%d]:", static_cast<int>(requestHandle()));
        UaTrace::traceLevel7("  NoOfResults = %d", static_cast<int>(response->NoOfResults));
        for (OpcUa_Int32 i = 0; i < response->NoOfResults; ++i)
        {
            const OpcUa_CallMethodResult& result = response->Results[i];
            UaTrace::traceLevel7("    Method %d:", static_cast<int>(i));
            UaTrace::traceLevel7("      Status = 0x%lx", static_cast<unsigned long>(result.StatusCode));
            UaTrace::traceLevel7("      NoOfInputArgumentResults = %d",
                                 static_cast<int>(result.NoOfInputArgumentResults));
            for (OpcUa_Int32 j = 0; j < result.NoOfInputArgumentResults; ++j)
                UaTrace::traceLevel7("        Status[%d] = 0x%lx", static_cast<int>(j),
                                     static_cast<unsigned long>(result.InputArgumentResults[j]));
            for (OpcUa_Int32 j = 0; j < result.NoOfOutputArguments; ++j)
                UaTrace::traceLevel7("        OutputArgutment[%d] = %s", static_cast<int>(j),
                                     UaVariant(result.OutputArguments[j]).toString().toUtf8());
        }
    }
    sendOrCancel("Call");
}
