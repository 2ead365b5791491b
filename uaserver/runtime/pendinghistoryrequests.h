#ifndef UASERVER_RUNTIME_PENDINGHISTORYREQUESTS_H
#define UASERVER_RUNTIME_PENDINGHISTORYREQUESTS_H

#include "pendingservicerequest.h"

#include <uastatus.h>
#include <uastructurearrays.h>
#include <uavariantarrays.h>

class HistoryReadContinuationPoint;

// A HistoryRead whose nodes are read by their history managers; one HistoryReadResult per node.
// The finish operations take the values over and the continuation point object (null when none),
// which the session parks for a Good result and which is deleted otherwise.
class PendingHistoryReadRequest : public PendingRequestOf<OpcUa_HistoryReadRequest>
{
public:
    using PendingRequestOf::PendingRequestOf;

    OpcUa_StatusCode prepareResults();
    bool finishHistoryReadData(OpcUa_UInt32 callbackHandle, const UaStatus& status,
                               HistoryReadContinuationPoint* continuationPoint, UaDataValueArray& values);
    bool finishHistoryReadModifiedData(OpcUa_UInt32 callbackHandle, const UaStatus& status,
                                       HistoryReadContinuationPoint* continuationPoint,
                                       UaDataValueArray& values);
    bool finishHistoryReadEvent(OpcUa_UInt32 callbackHandle, const UaStatus& status,
                                HistoryReadContinuationPoint* continuationPoint,
                                UaHistoryEventFieldListArray& events);
    void sendResponse() override;

    UaHistoryReadResultArray m_results;

private:
    // Stores status and, when it is Good, an extension object of historyDataType that fill(body)
    // gives the values, and the parked continuation point.
    template <typename Fill>
    bool finishHistoryRead(OpcUa_UInt32 callbackHandle, const UaStatus& status,
                           HistoryReadContinuationPoint* continuationPoint,
                           OpcUa_EncodeableType& historyDataType, Fill fill);
};

// A HistoryUpdate whose details go to the history managers of their nodes; one
// HistoryUpdateResult per details object.
class PendingHistoryUpdateRequest : public PendingRequestOf<OpcUa_HistoryUpdateRequest>
{
public:
    using PendingRequestOf::PendingRequestOf;

    OpcUa_StatusCode prepareResults();
    // Takes the operation results and their diagnostics over.
    bool finishHistoryUpdate(OpcUa_UInt32 callbackHandle, const UaStatus& status,
                             UaStatusCodeArray& operationResults, UaDiagnosticInfos& diagnosticInfos);
    void sendResponse() override;

    UaHistoryUpdateResultArray m_results;
};

#endif
