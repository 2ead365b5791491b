#include "opcuamethodmanager.h"

#include <uatrace.h>

#include <vector>

UaStatus COpcUaMethodManager::beginCall(MethodCallCallback* pCallback, const ServiceContext&,
                                        OpcUa_UInt32 callbackHandle, MethodHandle* pMethodHandle,
                                        const UaVariantArray& inputArguments)
{
    UaTrace::traceLevel6("=>COpcUaMethodManager::beginCall ");
    UaStatus result = OpcUa_Good;
    UaNode* method = pMethodHandle ? pMethodHandle->pMethod() : nullptr;
    if (!method || !pCallback)
        result = OpcUa_BadInvalidArgument;
    else if (auto* pSync = dynamic_cast<COpcUaMethod*>(method))
    {
        UaStatusCodeArray inputArgumentResults;
        UaDiagnosticInfos inputArgumentDiagnosticInfos;
        UaVariantArray outputArguments;
        UaTrace::traceLevel4("CALL pSync->Call");
        UaStatus status = pSync->Call(inputArguments, outputArguments);
        UaTrace::traceLevel4("DONE pSync->Call");
        pCallback->callFinished(callbackHandle, inputArgumentResults, inputArgumentDiagnosticInfos,
                                outputArguments, status);
    }
    else if (auto* pAsync = dynamic_cast<COpcUaMethodAsync*>(method))
    {
        const OpcUa_Handle key = pAsync->registerCall(pCallback, callbackHandle);
        UaTrace::traceLevel4("CALL pAsync->BeginCall");
        pAsync->BeginCall(inputArguments, key);
        UaTrace::traceLevel4("DONE pAsync->BeginCall");
    }
    else
        result = OpcUa_BadMethodInvalid;
    UaTrace::traceLevel6("<=COpcUaMethodManager::beginCall [ret=08x%x]",
                         static_cast<unsigned>(result.statusCode()));
    return result;
}

COpcUaMethodAsync::~COpcUaMethodAsync() = default;

OpcUa_Handle COpcUaMethodAsync::registerCall(MethodCallCallback* pCallback, OpcUa_UInt32 callbackHandle)
{
    expireCalls();
    std::lock_guard guard(m_lock);
    const OpcUa_UInt64 key = m_nextKey++;
    m_pendingCalls.emplace(key, PendingCall{pCallback, callbackHandle, OpcUa_GetTickCount()});
    return reinterpret_cast<OpcUa_Handle>(static_cast<uintptr_t>(key));
}

void COpcUaMethodAsync::expireCalls()
{
    std::vector<OpcUa_UInt64> expired;
    {
        std::lock_guard guard(m_lock);
        const OpcUa_UInt32 now = OpcUa_GetTickCount();
        for (const auto& [key, call] : m_pendingCalls)
            // A tick count below the start means the counter wrapped: the call counts as expired.
            if (now < call.startTick || now - call.startTick >= Timeout())
                expired.push_back(key);
    }
    for (OpcUa_UInt64 key : expired)
    {
        UaTrace::traceLevel2("COpcUaMethodAsync method call timed out");
        UaStatusCodeArray inputArgumentResults;
        UaDiagnosticInfos inputArgumentDiagnosticInfos;
        UaVariantArray outputArguments;
        EndCall(reinterpret_cast<OpcUa_Handle>(static_cast<uintptr_t>(key)), OpcUa_BadInternalError,
                inputArgumentResults, inputArgumentDiagnosticInfos, outputArguments);
    }
}

UaStatus COpcUaMethodAsync::EndCall(OpcUa_Handle key, UaStatus status,
                                    UaStatusCodeArray& inputArgumentResults,
                                    UaDiagnosticInfos& inputArgumentDiagnosticInfos,
                                    UaVariantArray& outputArguments)
{
    UaTrace::traceLevel6("=>COpcUaMethodAsync::EndCall");
    PendingCall call{};
    {
        std::lock_guard guard(m_lock);
        const auto found = m_pendingCalls.find(static_cast<OpcUa_UInt64>(reinterpret_cast<uintptr_t>(key)));
        if (found == m_pendingCalls.end())
            return OpcUa_BadInternalError;
        call = found->second;
        m_pendingCalls.erase(found);
    }
    call.pCallback->callFinished(call.callbackHandle, inputArgumentResults, inputArgumentDiagnosticInfos,
                                 outputArguments, status);
    UaTrace::traceLevel6("<=COpcUaMethodAsync::EndCall [ret=OpcUa_Good]");
    return OpcUa_Good;
}

std::size_t COpcUaMethodAsync::pendingCount() const
{
    std::lock_guard guard(m_lock);
    return m_pendingCalls.size();
}
